#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>

#include "Yardstick.h"
#include "pixels/upscale/Expand.h"

namespace {

constexpr uint32_t width = 640;
constexpr uint32_t height = 480;
constexpr size_t outputBytes = size_t(width) * height * sizeof(uint32_t);

void BM_MemcpyExpandOutput640x480(benchmark::State& state)
{
    MeasureYardstick(state, Yardstick::Memcpy, outputBytes);
}
BENCHMARK(BM_MemcpyExpandOutput640x480);

void BM_ExpandFrame8_640x480(benchmark::State& state)
{
    PageVector<uint8_t> source(width * height);
    std::mt19937 random(1);
    for (uint8_t& pixel : source)
        pixel = static_cast<uint8_t>(random());
    uint32_t colours[256];
    for (uint32_t index = 0; index < 256; ++index)
        colours[index] = index * 0x010203u;
    PageVector<uint32_t> output(width * height);
    const PixelRect frame = {0, 0, width, height};
    const double seconds = SecondsPerIteration(state, [&] {
        ExpandRect8(source.data(), width, colours, output.data(), width * sizeof(uint32_t), frame);
        benchmark::DoNotOptimize(output.data());
        benchmark::ClobberMemory();
    });
    ReportAgainst(state, Yardstick::Memcpy, seconds, outputBytes);
}
BENCHMARK(BM_ExpandFrame8_640x480);

}
