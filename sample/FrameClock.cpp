#include "FrameClock.h"

#include <algorithm>
#include <numeric>

namespace {

LONGLONG Now()
{
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return counter.QuadPart;
}

constexpr size_t recentCount = 30;
constexpr uint32_t settlingIntervals = 2;

}

FrameClock::FrameClock()
{
    LARGE_INTEGER counterFrequency;
    QueryPerformanceFrequency(&counterFrequency);
    frequency = double(counterFrequency.QuadPart);
    phases.push_back({1, 75.0, {}});
}

void FrameClock::FrameShown(uint32_t frame)
{
    const LONGLONG now = Now();
    if (lastFrame != 0) {
        const double milliseconds = double(now - lastShownAt) * 1000.0 / frequency;
        Phase& phase = phases.back();
        if (!skipNext && frame >= phase.startFrame + settlingIntervals)
            phase.intervals.push_back(milliseconds);
        recent.push_back(milliseconds);
        if (recent.size() > recentCount)
            recent.erase(recent.begin());
    }
    skipNext = false;
    lastShownAt = now;
    lastFrame = frame;
}

void FrameClock::LeaveOutNextInterval()
{
    skipNext = true;
}

void FrameClock::StartPhase(double cap)
{
    phases.push_back({lastFrame + 1, cap, {}});
}

std::vector<PhaseFigures> FrameClock::Phases() const
{
    std::vector<PhaseFigures> figures;
    for (size_t index = 0; index < phases.size(); ++index) {
        const Phase& phase = phases[index];
        if (phase.intervals.empty())
            continue;
        std::vector<double> sorted = phase.intervals;
        std::sort(sorted.begin(), sorted.end());
        const size_t last = sorted.size() - 1;
        PhaseFigures phaseFigures;
        phaseFigures.firstFrame = phase.startFrame + settlingIntervals;
        phaseFigures.lastFrame = index + 1 < phases.size() ? phases[index + 1].startFrame - 1 : lastFrame;
        phaseFigures.cap = phase.cap;
        phaseFigures.achievedFps = 1000.0 * double(sorted.size()) / std::accumulate(sorted.begin(), sorted.end(), 0.0);
        phaseFigures.medianMs = sorted[last / 2];
        phaseFigures.p1Ms = sorted[last / 100];
        phaseFigures.p99Ms = sorted[last - last / 100];
        phaseFigures.maxMs = sorted[last];
        figures.push_back(phaseFigures);
    }
    return figures;
}

double FrameClock::RecentFps() const
{
    if (recent.empty())
        return 0.0;
    return 1000.0 * double(recent.size()) / std::accumulate(recent.begin(), recent.end(), 0.0);
}
