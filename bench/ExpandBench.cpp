#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "present/pixels/Expand.h"

namespace {

constexpr uint32_t width = 640;
constexpr uint32_t height = 480;

// The memory limit of the same output: a plain copy of its bytes.
void BM_MemcpyOutput640x480(benchmark::State& state)
{
    std::vector<uint32_t> from(width * height, 1);
    std::vector<uint32_t> to(width * height);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), to.size() * sizeof(uint32_t));
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(to.size() * sizeof(uint32_t)));
}
BENCHMARK(BM_MemcpyOutput640x480);

void BM_ExpandFrame8_640x480(benchmark::State& state)
{
    std::vector<uint8_t> source(width * height);
    std::mt19937 random(1);
    for (uint8_t& pixel : source)
        pixel = static_cast<uint8_t>(random());
    uint32_t colours[256];
    for (uint32_t index = 0; index < 256; ++index)
        colours[index] = index * 0x010203u;
    std::vector<uint32_t> output(width * height);
    const PixelRect frame = {0, 0, width, height};
    for (auto _ : state) {
        ExpandRect8(source.data(), width, colours, output.data(), width * sizeof(uint32_t), frame);
        benchmark::DoNotOptimize(output.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(output.size() * sizeof(uint32_t)));
}
BENCHMARK(BM_ExpandFrame8_640x480);

}
