#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "Yardstick.h"
#include "pixels/blit/Blit.h"
#include "pixels/edges/EdgeSmoothing.h"

// Finding the edge pixels of a sprite sheet, and of a sheet dense with edges,
// against a plain copy of the sheet's bytes on every kernel the processor
// runs, and a keyed sprite copy with its edges smoothed against a plain copy
// of the sprite's (Yardstick.h).

namespace {

constexpr uint16_t spriteKey = 0xF81F;

// A picture of 16-bit pixels with no row padding, all key to start with.
struct Picture {
    Picture(uint32_t width_, uint32_t height_)
        : width(width_), height(height_), pixels(size_t(width_) * height_, spriteKey)
    {
    }

    void Disc(int centreX, int centreY, int radius, uint16_t colour)
    {
        for (int y = -radius; y <= radius; ++y)
            for (int x = -radius; x <= radius; ++x)
                if (x * x + y * y <= radius * radius)
                    Rectangle(centreX + x, centreY + y, 1, 1, colour);
    }

    void Rectangle(int left, int top, int rectWidth, int rectHeight, uint16_t colour)
    {
        for (int y = std::max(top, 0); y < std::min(top + rectHeight, int(height)); ++y)
            for (int x = std::max(left, 0); x < std::min(left + rectWidth, int(width)); ++x)
                pixels[size_t(y) * width + x] = colour;
    }

    uint32_t width;
    uint32_t height;
    PageVector<uint16_t> pixels;
};

constexpr uint32_t sheetWidth = 640;
constexpr uint32_t sheetHeight = 480;
constexpr uint32_t cellWidth = 64;
constexpr uint32_t cellHeight = 60;

// Ten by eight cells of round, square and hollow shapes with a second colour
// inside, about half of the sheet the key.
Picture SpriteSheet()
{
    Picture sheet(sheetWidth, sheetHeight);
    for (uint32_t cell = 0; cell < (sheetWidth / cellWidth) * (sheetHeight / cellHeight); ++cell) {
        const int left = int(cell % (sheetWidth / cellWidth) * cellWidth);
        const int top = int(cell / (sheetWidth / cellWidth) * cellHeight);
        const int centreX = left + 32, centreY = top + 30;
        const uint16_t outer = uint16_t(0x2104 * (cell % 7 + 1)), inner = uint16_t(0x1082 * (cell % 5 + 3));
        switch (cell % 4) {
        case 0:
            sheet.Disc(centreX, centreY, 26, outer);
            sheet.Rectangle(centreX - 8, centreY - 3, 16, 6, inner);
            break;
        case 1:
            sheet.Rectangle(left + 10, top + 10, 44, 40, outer);
            sheet.Disc(centreX, centreY, 9, inner);
            break;
        case 2:
            sheet.Disc(centreX, centreY, 29, outer);
            sheet.Disc(centreX, centreY, 18, spriteKey);
            sheet.Disc(centreX, centreY, 7, inner);
            break;
        default:
            sheet.Rectangle(left + 4, top + 4, 56, 52, outer);
            sheet.Rectangle(left + 8, top + 8, 48, 44, spriteKey);
            sheet.Disc(centreX, centreY, 16, inner);
            break;
        }
    }
    return sheet;
}

// Rows of runs of 1 to 24 pixels, key and colour by turns, each row starting
// with either: about half of the sheet is the key, and most key pixels are
// edge pixels, beside a run of colour or above or below one in the next row.
Picture DenseSheet()
{
    Picture sheet(sheetWidth, sheetHeight);
    std::mt19937 random(11);
    for (uint32_t y = 0; y < sheetHeight; ++y) {
        bool keyRun = random() % 2;
        for (uint32_t x = 0; x < sheetWidth; keyRun = !keyRun) {
            const uint32_t run = std::min(1 + uint32_t(random() % 24), sheetWidth - x);
            uint16_t colour = uint16_t(random());
            colour = keyRun ? spriteKey : colour == spriteKey ? uint16_t(~spriteKey) : colour;
            std::fill_n(sheet.pixels.begin() + ptrdiff_t(y * sheetWidth + x), run, colour);
            x += run;
        }
    }
    return sheet;
}

void BM_MemcpyEdgeSheet(benchmark::State& state)
{
    MeasureYardstick(state, Yardstick::Memcpy, sheetWidth * sheetHeight * sizeof(uint16_t));
}
BENCHMARK(BM_MemcpyEdgeSheet);

void EveryKernel(benchmark::internal::Benchmark* benchmark)
{
    benchmark->ArgName("kernels");
    for (int kernels = 0; kernels <= int(BestBlitKernels()); ++kernels)
        benchmark->Arg(kernels);
}

void MeasureEdgeList(benchmark::State& state, const Picture& sheet)
{
    SelectBlitKernels(BlitKernels(state.range(0)));
    uint32_t count = 0;
    const double seconds = SecondsPerIteration(state, [&] {
        EdgePixel* list = nullptr;
        count = BuildEdgeList(sheet.pixels.data(), sheet.height, sheet.width, int32_t(sheet.width), spriteKey, &list);
        benchmark::DoNotOptimize(list);
        delete[] list;
    });
    SelectBlitKernels(BestBlitKernels());
    ReportAgainst(state, Yardstick::Memcpy, seconds, sheet.pixels.size() * sizeof(uint16_t));
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(sheet.pixels.size()));
    state.counters["edges"] = count;
    uint32_t keyPixels = 0;
    for (uint16_t pixel : sheet.pixels)
        keyPixels += pixel == spriteKey;
    state.counters["key_percent"] = 100.0 * keyPixels / double(sheet.pixels.size());
}

void BM_BuildEdgeList(benchmark::State& state)
{
    MeasureEdgeList(state, SpriteSheet());
}
BENCHMARK(BM_BuildEdgeList)->Apply(EveryKernel);

void BM_BuildEdgeListDense(benchmark::State& state)
{
    MeasureEdgeList(state, DenseSheet());
}
BENCHMARK(BM_BuildEdgeListDense)->Apply(EveryKernel);

constexpr uint32_t spriteSize = 64;

void BM_MemcpySprite(benchmark::State& state)
{
    MeasureYardstick(state, Yardstick::Memcpy, spriteSize * spriteSize * sizeof(uint16_t));
}
BENCHMARK(BM_MemcpySprite);

// A round sprite copied with its key onto a screen-sized backdrop, then its
// edge list blended in where it landed.
void BM_SmoothedSpriteCopy(benchmark::State& state)
{
    Picture sprite(spriteSize, spriteSize);
    sprite.Disc(32, 32, 30, 0xFFE0);
    sprite.Rectangle(12, 28, 40, 8, 0x001F);
    EdgePixel* list = nullptr;
    const uint32_t count =
        BuildEdgeList(sprite.pixels.data(), sprite.height, sprite.width, int32_t(sprite.width), spriteKey, &list);
    Picture screen(sheetWidth, sheetHeight);
    for (size_t pixel = 0; pixel < screen.pixels.size(); ++pixel)
        screen.pixels[pixel] = uint16_t(pixel / sheetWidth * 0x0841);

    const PixelPlane source = {reinterpret_cast<uint8_t*>(sprite.pixels.data()), ptrdiff_t(spriteSize * 2)};
    const PixelPlane destination = {reinterpret_cast<uint8_t*>(screen.pixels.data()), ptrdiff_t(sheetWidth * 2)};
    const CopyEffects keyed = {false, false, true, spriteKey};
    const EdgeListPlacement placement = {100, 120, spriteSize, spriteSize, false, false};
    const double seconds = SecondsPerIteration(state, [&] {
        CopyRect16(destination, placement.left, placement.top, source, {0, 0, spriteSize, spriteSize}, keyed);
        ApplyEdgeList(destination, placement, list, count, false, 0);
        benchmark::DoNotOptimize(screen.pixels.data());
        benchmark::ClobberMemory();
    });
    delete[] list;
    ReportAgainst(state, Yardstick::Memcpy, seconds, spriteSize * spriteSize * sizeof(uint16_t));
    state.counters["edges"] = count;
}
BENCHMARK(BM_SmoothedSpriteCopy);

}
