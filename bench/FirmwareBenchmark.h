#pragma once

// Uploads firmware to the simulated serial reader of a shown window through the firmware
// engine: the time of a 256 KB local upgrade on an unpaced line, the rate on a line paced at
// 115200 baud against what the answer layout allows, the rounds that 1 % lost fragments take,
// and the window's longest stall meanwhile.
class FirmwareBenchmark
{
public:
    // False when a target is missed or a run fails.
    bool run();
};
