#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

// How long each frame was on screen under one frame-rate cap, in milliseconds.
struct PhaseFigures {
    uint32_t firstFrame = 0;
    uint32_t lastFrame = 0;
    double cap = 0.0;
    double achievedFps = 0.0;
    double medianMs = 0.0;
    double p1Ms = 0.0;
    double p99Ms = 0.0;
    double maxMs = 0.0;
};

// Times the frames with the performance counter as each one is shown. The
// first two intervals of a phase (the start, or the frame a hotkey repainted)
// and intervals that held one of the game's own captures are left out. The
// intervals are counted in bins of 10 microseconds, made when the phase
// starts, so that a run of any length keeps the same memory.
class FrameClock {
public:
    FrameClock();

    void FrameShown(uint32_t frame);
    void LeaveOutNextInterval();
    // From the next frame on, frames are paced to `cap`.
    void StartPhase(double cap);

    std::vector<PhaseFigures> Phases() const;
    // Frames per second over the last few frames, for the progress line.
    double RecentFps() const;

private:
    struct Phase {
        uint32_t startFrame;
        double cap;
        std::vector<uint32_t> bins;
        uint64_t count;
        double totalMs;
        double maxMs;
    };

    void Count(Phase& phase, double milliseconds);

    double frequency = 1.0;
    LONGLONG lastShownAt = 0;
    uint32_t lastFrame = 0;
    bool skipNext = false;
    std::vector<Phase> phases;
    double recentMs[32] = {};
    uint32_t recentCount = 0;
};
