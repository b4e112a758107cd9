#include "Yardstick.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <utility>
#include <vector>

namespace {

// Seconds per iteration of the yardsticks, by kind and bytes. Only the runs
// with the most iterations count: the shorter ones are the library's trials
// for the iteration count, and run with a cold cache.
class YardstickTimes {
public:
    void Add(Yardstick yardstick, size_t bytes, benchmark::IterationCount iterations, double seconds)
    {
        runs_[{yardstick, bytes}].push_back({iterations, seconds});
    }

    // The median of the full runs; 0 when the yardstick has not run.
    double Median(Yardstick yardstick, size_t bytes) const
    {
        const auto found = runs_.find({yardstick, bytes});
        if (found == runs_.end())
            return 0;
        benchmark::IterationCount most = 0;
        for (const Run& run : found->second)
            most = std::max(most, run.iterations);
        std::vector<double> seconds;
        for (const Run& run : found->second)
            if (run.iterations == most)
                seconds.push_back(run.seconds);
        std::sort(seconds.begin(), seconds.end());
        return seconds[seconds.size() / 2];
    }

private:
    struct Run {
        benchmark::IterationCount iterations;
        double seconds;
    };
    std::map<std::pair<Yardstick, size_t>, std::vector<Run>> runs_;
};

YardstickTimes yardstickTimes;

}

void MeasureYardstick(benchmark::State& state, Yardstick yardstick, size_t bytes)
{
    PageVector<uint8_t> from(bytes, 1);
    PageVector<uint8_t> to(bytes);
    const double seconds = SecondsPerIteration(state, [&] {
        if (yardstick == Yardstick::Memcpy)
            std::memcpy(to.data(), from.data(), bytes);
        else
            std::memset(to.data(), 0x5A, bytes);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    });
    yardstickTimes.Add(yardstick, bytes, state.iterations(), seconds);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
}

void ReportAgainst(benchmark::State& state, Yardstick yardstick, double seconds, size_t bytes)
{
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
    const double yardstickSeconds = yardstickTimes.Median(yardstick, bytes);
    if (yardstickSeconds > 0)
        state.counters[yardstick == Yardstick::Memcpy ? "x_memcpy" : "x_memset"] = seconds / yardstickSeconds;
}
