#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "Yardstick.h"
#include "pixels/blit/Blit.h"

// The blits of a 640 x 480 frame against a plain memset or memcpy of the
// bytes they write (Yardstick.h), on every kernel the processor runs.

namespace {

constexpr uint32_t frameWidth = 640;
constexpr uint32_t frameHeight = 480;
constexpr size_t framePixels = size_t(frameWidth) * frameHeight;
constexpr uint32_t spriteKey = 0;

void BM_BlitMemset(benchmark::State& state)
{
    MeasureYardstick(state, Yardstick::Memset, size_t(state.range(0)));
}
BENCHMARK(BM_BlitMemset)->ArgName("bytes")->Arg(framePixels)->Arg(framePixels * 2);

void BM_BlitMemcpy(benchmark::State& state)
{
    MeasureYardstick(state, Yardstick::Memcpy, size_t(state.range(0)));
}
BENCHMARK(BM_BlitMemcpy)->ArgName("bytes")->Arg(framePixels)->Arg(framePixels * 2);

void EveryKernel(benchmark::internal::Benchmark* benchmark)
{
    benchmark->ArgName("kernels");
    for (int kernels = 0; kernels <= int(BestBlitKernels()); ++kernels)
        benchmark->Arg(kernels);
}

template <typename Pixel>
struct Frame {
    explicit Frame(uint32_t width_ = frameWidth, uint32_t height_ = frameHeight)
        : width(width_), height(height_), pixels(size_t(width_) * height_, Pixel(1))
    {
    }

    PixelPlane Plane() { return {reinterpret_cast<uint8_t*>(pixels.data()), ptrdiff_t(width * sizeof(Pixel))}; }
    PixelRect Whole() const { return {0, 0, width, height}; }
    size_t Bytes() const { return pixels.size() * sizeof(Pixel); }

    uint32_t width;
    uint32_t height;
    PageVector<Pixel> pixels;
};

// Sprites as a game draws them: discs of shaded colours over the key, which
// is left showing in runs on about two fifths of the frame.
template <typename Pixel>
Frame<Pixel> SpriteSheet()
{
    Frame<Pixel> frame;
    std::fill(frame.pixels.begin(), frame.pixels.end(), Pixel(spriteKey));
    std::mt19937 random(5);
    size_t keyPixels = framePixels;
    while (keyPixels > framePixels * 2 / 5) {
        const int centreX = int(random() % frameWidth), centreY = int(random() % frameHeight);
        const int radius = int(10 + random() % 30);
        const uint32_t colour = 16 + random() % 200;
        for (int y = std::max(centreY - radius, 0); y < std::min(centreY + radius, int(frameHeight)); ++y)
            for (int x = std::max(centreX - radius, 0); x < std::min(centreX + radius, int(frameWidth)); ++x) {
                const int dx = x - centreX, dy = y - centreY;
                Pixel& pixel = frame.pixels[size_t(y) * frameWidth + x];
                if (dx * dx + dy * dy > radius * radius)
                    continue;
                keyPixels -= pixel == spriteKey;
                pixel = Pixel((colour + uint32_t(x + y) % 8) * (sizeof(Pixel) == 1 ? 1 : 0x0101));
            }
    }
    return frame;
}

// Runs `blit` with the benchmark's kernels, reported against `yardstick`
// over `bytes`.
template <typename Blit>
void Measure(benchmark::State& state, Yardstick yardstick, size_t bytes, Blit blit)
{
    SelectBlitKernels(BlitKernels(state.range(0)));
    const double seconds = SecondsPerIteration(state, [&] {
        blit();
        benchmark::ClobberMemory();
    });
    SelectBlitKernels(BestBlitKernels());
    ReportAgainst(state, yardstick, seconds, bytes);
}

void BM_BlitFill8(benchmark::State& state)
{
    Frame<uint8_t> frame;
    const PixelPlane plane = frame.Plane();
    Measure(state, Yardstick::Memset, frame.Bytes(), [&] { FillRect8(plane, frame.Whole(), 0x5A); });
}
BENCHMARK(BM_BlitFill8)->Apply(EveryKernel);

// Black is a byte fill; a colour of two different bytes is not.
void BM_BlitFill16(benchmark::State& state, uint16_t colour)
{
    Frame<uint16_t> frame;
    const PixelPlane plane = frame.Plane();
    Measure(state, Yardstick::Memset, frame.Bytes(), [&] { FillRect16(plane, frame.Whole(), colour); });
}
BENCHMARK_CAPTURE(BM_BlitFill16, black, uint16_t(0x0000))->Apply(EveryKernel);
BENCHMARK_CAPTURE(BM_BlitFill16, colour, uint16_t(0x5AA5))->Apply(EveryKernel);

template <typename Pixel>
void CopyFrame(benchmark::State& state, Frame<Pixel> source, const CopyEffects& effects)
{
    Frame<Pixel> destination;
    const PixelPlane to = destination.Plane(), from = source.Plane();
    Measure(state, Yardstick::Memcpy, destination.Bytes(), [&] {
        if constexpr (sizeof(Pixel) == 1)
            CopyRect8(to, 0, 0, from, source.Whole(), effects);
        else
            CopyRect16(to, 0, 0, from, source.Whole(), effects);
    });
}

template <typename Pixel>
void BM_BlitCopy(benchmark::State& state)
{
    CopyFrame(state, SpriteSheet<Pixel>(), {});
}
BENCHMARK(BM_BlitCopy<uint8_t>)->Apply(EveryKernel);
BENCHMARK(BM_BlitCopy<uint16_t>)->Apply(EveryKernel);

template <typename Pixel>
void BM_BlitCopyKeyed(benchmark::State& state)
{
    CopyFrame(state, SpriteSheet<Pixel>(), {false, false, true, spriteKey});
}
BENCHMARK(BM_BlitCopyKeyed<uint8_t>)->Apply(EveryKernel);
BENCHMARK(BM_BlitCopyKeyed<uint16_t>)->Apply(EveryKernel);

void BM_BlitCopyMirrored16(benchmark::State& state)
{
    CopyFrame(state, SpriteSheet<uint16_t>(), {true, false, false, 0});
}
BENCHMARK(BM_BlitCopyMirrored16)->Apply(EveryKernel);

template <typename Pixel>
void StretchToFrame(benchmark::State& state, uint32_t sourceWidth, uint32_t sourceHeight)
{
    Frame<Pixel> source(sourceWidth, sourceHeight);
    Frame<Pixel> destination;
    const PixelPlane to = destination.Plane(), from = source.Plane();
    Measure(state, Yardstick::Memcpy, destination.Bytes(), [&] {
        if constexpr (sizeof(Pixel) == 1)
            StretchRect8(to, destination.Whole(), from, source.Whole(), {});
        else
            StretchRect16(to, destination.Whole(), from, source.Whole(), {});
    });
}

// A 320 x 240 picture doubled to the frame.
template <typename Pixel>
void BM_BlitStretchDouble(benchmark::State& state)
{
    StretchToFrame<Pixel>(state, frameWidth / 2, frameHeight / 2);
}
BENCHMARK(BM_BlitStretchDouble<uint8_t>)->Apply(EveryKernel);
BENCHMARK(BM_BlitStretchDouble<uint16_t>)->Apply(EveryKernel);

// 400 x 300 to the frame: the stepping of any other ratio.
template <typename Pixel>
void BM_BlitStretchAnyRatio(benchmark::State& state)
{
    StretchToFrame<Pixel>(state, 400, 300);
}
BENCHMARK(BM_BlitStretchAnyRatio<uint8_t>)->Apply(EveryKernel);
BENCHMARK(BM_BlitStretchAnyRatio<uint16_t>)->Apply(EveryKernel);

}
