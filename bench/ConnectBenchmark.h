#pragma once

// Measures connecting from the readers table of a shown window: how long an answering reader
// takes to connect, and how long the window's event loop is stuck while readers that answer,
// stay silent or cannot be reached are connected.
class ConnectBenchmark
{
public:
    // False when a target is missed or a run fails.
    bool run();
};
