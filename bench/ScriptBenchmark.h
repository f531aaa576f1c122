#pragma once

// Runs a long script whose every line waits for the reader's answer against the simulated
// reader of a shown window: how many lines a second the engine gets through, and how long the
// window's event loop is stuck meanwhile.
class ScriptBenchmark
{
public:
    // False when a target is missed or the run fails.
    bool run();
};
