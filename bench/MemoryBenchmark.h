#pragma once

// Whether a shown reader tab keeps memory for the frames it has shown: the resident size after
// the first thousand frames and after a million more.
class MemoryBenchmark
{
public:
    explicit MemoryBenchmark(int frames);

    // False when the size grew by a megabyte or more, or a log lacks frames.
    bool run();

private:
    int m_frames;
};
