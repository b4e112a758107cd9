#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <utility>
#include <vector>

#include "Yardstick.h"
#include "pixels/upscale/Upscale.h"

// Each upscaler against a plain copy of its output's bytes (Yardstick.h), on
// every kernel level the processor runs.

namespace {

constexpr uint32_t sourceWidth = 640;
constexpr uint32_t sourceHeight = 480;

enum class Content { Game, Noise };

template <typename Pixel>
using Bitmap = PageVector<Pixel>;

void Rectangle(Bitmap<uint8_t>& frame, int left, int top, int width, int height, uint8_t index)
{
    for (int y = std::max(top, 0); y < std::min(top + height, int(sourceHeight)); ++y)
        for (int x = std::max(left, 0); x < std::min(left + width, int(sourceWidth)); ++x)
            frame[y * sourceWidth + x] = index;
}

void Disc(Bitmap<uint8_t>& frame, int centreX, int centreY, int radius, uint8_t index)
{
    for (int y = -radius; y <= radius; ++y)
        for (int x = -radius; x <= radius; ++x)
            if (x * x + y * y <= radius * radius)
                Rectangle(frame, centreX + x, centreY + y, 1, 1, index);
}

// Sky bands over a tiled floor, sprites with round outlines, and a panel of
// one-pixel glyph strokes: flat areas, edges of every slope, and text.
Bitmap<uint8_t> GameFrame()
{
    Bitmap<uint8_t> frame(sourceWidth * sourceHeight);
    for (uint32_t band = 0; band < 10; ++band)
        Rectangle(frame, 0, int(band * 20), sourceWidth, 20, uint8_t(10 + band));
    for (uint32_t tile = 0; tile < 20 * 6; ++tile)
        Rectangle(frame, int(tile % 20 * 32), int(200 + tile / 20 * 32), 32, 32, uint8_t(30 + (tile + tile / 20) % 2));
    std::mt19937 random(7);
    for (uint32_t sprite = 0; sprite < 40; ++sprite) {
        const int x = int(random() % sourceWidth), y = int(random() % 400), radius = int(8 + random() % 24);
        Disc(frame, x, y, radius, uint8_t(40 + sprite % 8));
        Disc(frame, x, y, radius - 3, uint8_t(60 + sprite % 16));
        Rectangle(frame, x - radius / 2, y - 2, radius, 4, uint8_t(80 + sprite % 4));
    }
    Rectangle(frame, 0, 400, sourceWidth, 80, 100);
    for (uint32_t glyph = 0; glyph < 100 * 8; ++glyph) {
        const uint32_t strokes = random();
        for (uint32_t bit = 0; bit < 35; ++bit)
            if ((strokes >> (bit % 32)) & 1 && bit % 3 != 2)
                Rectangle(frame, int(4 + glyph % 100 * 6 + bit % 5), int(405 + glyph / 100 * 9 + bit / 5), 1, 1, 101);
    }
    return frame;
}

Bitmap<uint8_t> NoiseFrame()
{
    Bitmap<uint8_t> frame(sourceWidth * sourceHeight);
    std::mt19937 random(3);
    for (uint8_t& pixel : frame)
        pixel = uint8_t(random() & 1);
    return frame;
}

const Bitmap<uint8_t>& Frame8(Content content)
{
    static const Bitmap<uint8_t> game = GameFrame();
    static const Bitmap<uint8_t> noise = NoiseFrame();
    return content == Content::Game ? game : noise;
}

const Bitmap<uint16_t>& Frame16(Content content)
{
    static const auto convert = [](const Bitmap<uint8_t>& indices) {
        Bitmap<uint16_t> frame(indices.size());
        for (size_t pixel = 0; pixel < indices.size(); ++pixel)
            frame[pixel] = uint16_t(indices[pixel] * 0x0841u + 0x1000u);
        return frame;
    };
    static const Bitmap<uint16_t> game = convert(Frame8(Content::Game));
    static const Bitmap<uint16_t> noise = convert(Frame8(Content::Noise));
    return content == Content::Game ? game : noise;
}

const uint32_t* ScreenColours()
{
    static const std::vector<uint32_t> colours = [] {
        std::vector<uint32_t> table(256);
        for (uint32_t index = 0; index < 256; ++index)
            table[index] = index * 0x00030507u & 0x00FFFFFFu;
        return table;
    }();
    return colours.data();
}

ScaleGeometry Geometry(const benchmark::State& state, uint32_t sourceBytes, uint32_t outputBytes)
{
    const uint32_t width = uint32_t(state.range(0));
    const uint32_t height = uint32_t(state.range(1));
    return {sourceWidth, sourceHeight, ptrdiff_t(sourceWidth * sourceBytes), width, height,
            ptrdiff_t(width * outputBytes)};
}

void BM_MemcpyOutput(benchmark::State& state)
{
    MeasureYardstick(state, Yardstick::Memcpy, size_t(state.range(0) * state.range(1) * state.range(2)));
}
BENCHMARK(BM_MemcpyOutput)
    ->ArgNames({"w", "h", "bytes"})
    ->Args({800, 600, 4})
    ->Args({1024, 768, 4})
    ->Args({1440, 1080, 4})
    ->Args({2880, 2160, 4})
    ->Args({800, 600, 2})
    ->Args({1024, 768, 2})
    ->Args({1440, 1080, 2})
    ->Args({2880, 2160, 2});

// Times one upscaler on the kernel level of the benchmark's third argument.
template <typename Output, typename Source, typename ScaleFrame>
void MeasureScaleFrame(benchmark::State& state, const Bitmap<Source>& source, ScaleFrame scaleFrame)
{
    SelectUpscaleKernels(UpscaleKernels(state.range(2)));
    const ScaleGeometry geometry = Geometry(state, sizeof(Source), sizeof(Output));
    Bitmap<Output> output(size_t(geometry.outputWidth) * geometry.outputHeight);
    const double seconds = SecondsPerIteration(state, [&] {
        scaleFrame(source.data(), output.data(), geometry);
        benchmark::DoNotOptimize(output.data());
        benchmark::ClobberMemory();
    });
    ReportAgainst(state, Yardstick::Memcpy, seconds, output.size() * sizeof(Output));
    SelectUpscaleKernels(BestUpscaleKernels());
}

void BM_ScaleFrame8(benchmark::State& state, Content content)
{
    MeasureScaleFrame<uint32_t>(state, Frame8(content), [](const uint8_t* source, uint32_t* output,
                                                           const ScaleGeometry& geometry) {
        ScaleFrame8(source, ScreenColours(), output, geometry);
    });
}

void BM_ScaleFrame16(benchmark::State& state, Content content)
{
    MeasureScaleFrame<uint16_t>(state, Frame16(content), ScaleFrame16);
}

// A 16-bit frame shown on a 32-bit screen.
void BM_ScaleFrame16To32(benchmark::State& state, Content content)
{
    MeasureScaleFrame<uint32_t>(state, Frame16(content), ScaleFrame16To32);
}

void OutputSizesOnEveryKernel(benchmark::internal::Benchmark* benchmark)
{
    benchmark->ArgNames({"w", "h", "kernels"});
    for (int kernels = 0; kernels <= int(BestUpscaleKernels()); ++kernels)
        for (const auto& [width, height] : {std::pair{800, 600}, {1024, 768}, {1440, 1080}, {2880, 2160}})
            benchmark->Args({width, height, kernels});
}
BENCHMARK_CAPTURE(BM_ScaleFrame8, game, Content::Game)->Apply(OutputSizesOnEveryKernel);
BENCHMARK_CAPTURE(BM_ScaleFrame8, noise, Content::Noise)->Apply(OutputSizesOnEveryKernel);
BENCHMARK_CAPTURE(BM_ScaleFrame16, game, Content::Game)->Apply(OutputSizesOnEveryKernel);
BENCHMARK_CAPTURE(BM_ScaleFrame16, noise, Content::Noise)->Apply(OutputSizesOnEveryKernel);
BENCHMARK_CAPTURE(BM_ScaleFrame16To32, game, Content::Game)->Apply(OutputSizesOnEveryKernel);
BENCHMARK_CAPTURE(BM_ScaleFrame16To32, noise, Content::Noise)->Apply(OutputSizesOnEveryKernel);

}
