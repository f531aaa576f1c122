#pragma once

// What a received frame costs the window thread when frames come as they do from the links:
// queued from another thread at a set rate into a running event loop that paints the shown
// tabs on its own schedule. The rate goes up step by step until the window thread can no
// longer keep up.
class RateBenchmark
{
public:
    // False when the window thread saturates below the target rate, or a log lacks frames.
    bool run();
};
