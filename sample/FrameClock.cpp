#include "FrameClock.h"

#include <algorithm>

namespace {

LONGLONG Now()
{
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return counter.QuadPart;
}

constexpr uint32_t settlingIntervals = 2;
constexpr double binMs = 0.01;
// Intervals of a second or more share the last bin.
constexpr size_t binCount = 100000;
constexpr uint32_t recentSize = 32;

// The interval at which `share` of the phase's intervals are shorter, as the
// middle of its bin.
double Percentile(const std::vector<uint32_t>& bins, uint64_t count, double share)
{
    const uint64_t wanted = std::min<uint64_t>(count - 1, uint64_t(share * double(count - 1)));
    uint64_t seen = 0;
    for (size_t bin = 0; bin < bins.size(); ++bin) {
        seen += bins[bin];
        if (seen > wanted)
            return (double(bin) + 0.5) * binMs;
    }
    return double(bins.size()) * binMs;
}

}

FrameClock::FrameClock()
{
    LARGE_INTEGER counterFrequency;
    QueryPerformanceFrequency(&counterFrequency);
    frequency = double(counterFrequency.QuadPart);
    StartPhase(75.0);
}

void FrameClock::Count(Phase& phase, double milliseconds)
{
    const size_t bin = std::min(binCount - 1, size_t(milliseconds / binMs));
    ++phase.bins[bin];
    ++phase.count;
    phase.totalMs += milliseconds;
    phase.maxMs = std::max(phase.maxMs, milliseconds);
}

void FrameClock::FrameShown(uint32_t frame)
{
    const LONGLONG now = Now();
    if (lastFrame != 0) {
        const double milliseconds = double(now - lastShownAt) * 1000.0 / frequency;
        Phase& phase = phases.back();
        if (!skipNext && frame >= phase.startFrame + settlingIntervals)
            Count(phase, milliseconds);
        recentMs[recentCount++ % recentSize] = milliseconds;
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
    if (!phases.empty() && phases.back().count == 0) {
        Phase& unused = phases.back();
        unused.startFrame = lastFrame + 1;
        unused.cap = cap;
        return;
    }
    phases.push_back({lastFrame + 1, cap, std::vector<uint32_t>(binCount), 0, 0.0, 0.0});
}

std::vector<PhaseFigures> FrameClock::Phases() const
{
    std::vector<PhaseFigures> figures;
    for (size_t index = 0; index < phases.size(); ++index) {
        const Phase& phase = phases[index];
        if (phase.count == 0)
            continue;
        PhaseFigures phaseFigures;
        phaseFigures.firstFrame = phase.startFrame + settlingIntervals;
        phaseFigures.lastFrame = index + 1 < phases.size() ? phases[index + 1].startFrame - 1 : lastFrame;
        phaseFigures.cap = phase.cap;
        phaseFigures.achievedFps = 1000.0 * double(phase.count) / phase.totalMs;
        phaseFigures.medianMs = Percentile(phase.bins, phase.count, 0.5);
        phaseFigures.p1Ms = Percentile(phase.bins, phase.count, 0.01);
        phaseFigures.p99Ms = Percentile(phase.bins, phase.count, 0.99);
        phaseFigures.maxMs = phase.maxMs;
        figures.push_back(phaseFigures);
    }
    return figures;
}

double FrameClock::RecentFps() const
{
    const uint32_t count = std::min(recentCount, recentSize);
    double total = 0.0;
    for (uint32_t index = 0; index < count; ++index)
        total += recentMs[index];
    return total > 0.0 ? 1000.0 * double(count) / total : 0.0;
}
