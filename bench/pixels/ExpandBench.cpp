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

template <typename Source, typename Expand>
void MeasureExpandFrame(benchmark::State& state, Expand expand)
{
    PageVector<Source> source(width * height);
    std::mt19937 random(1);
    for (Source& pixel : source)
        pixel = static_cast<Source>(random());
    PageVector<uint32_t> output(width * height);
    const PixelRect frame = {0, 0, width, height};
    const double seconds = SecondsPerIteration(state, [&] {
        expand(source.data(), output.data(), frame);
        benchmark::DoNotOptimize(output.data());
        benchmark::ClobberMemory();
    });
    ReportAgainst(state, Yardstick::Memcpy, seconds, outputBytes);
}

void BM_ExpandFrame8_640x480(benchmark::State& state)
{
    uint32_t colours[256];
    for (uint32_t index = 0; index < 256; ++index)
        colours[index] = index * 0x010203u;
    MeasureExpandFrame<uint8_t>(state, [&](const uint8_t* source, uint32_t* output, const PixelRect& frame) {
        ExpandRect8(source, width, colours, output, width * sizeof(uint32_t), frame);
    });
}
BENCHMARK(BM_ExpandFrame8_640x480);

// A 16-bit frame shown 1:1 on a 32-bit screen.
void BM_ExpandFrame16_640x480(benchmark::State& state)
{
    MeasureExpandFrame<uint16_t>(state, [](const uint16_t* source, uint32_t* output, const PixelRect& frame) {
        ExpandRect16(source, width * sizeof(uint16_t), output, width * sizeof(uint32_t), frame);
    });
}
BENCHMARK(BM_ExpandFrame16_640x480);

}
