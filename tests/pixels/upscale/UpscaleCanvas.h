#pragma once

#include <cstdint>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "pixels/support/GuardedBuffer.h"
#include "pixels/upscale/Upscale.h"

// What the upscaling tests share: the two pixel formats, one call for either,
// the kernel levels this processor runs, and output bitmaps that show any
// write outside the pixels a call was meant to write.

// The 8-bit routines compare and write screen colours.
struct Bits8 {
    using Source = uint8_t;
    using Output = uint32_t;
};

struct Bits16 {
    using Source = uint16_t;
    using Output = uint16_t;
};

constexpr uint8_t sentinelByte = 0xA5;

// A null rect is the whole frame; the 16-bit routines have no colours, and
// the output's type tells them apart from the 16-to-32 ones.
inline void Scale(const uint8_t* source, const uint32_t* colours, uint32_t* output, const ScaleGeometry& geometry,
                  const PixelRect* rect)
{
    if (rect)
        ScaleRect8(source, colours, output, geometry, *rect);
    else
        ScaleFrame8(source, colours, output, geometry);
}

inline void Scale(const uint16_t* source, const uint32_t*, uint16_t* output, const ScaleGeometry& geometry,
                  const PixelRect* rect)
{
    if (rect)
        ScaleRect16(source, output, geometry, *rect);
    else
        ScaleFrame16(source, output, geometry);
}

inline void Scale(const uint16_t* source, const uint32_t*, uint32_t* output, const ScaleGeometry& geometry,
                  const PixelRect* rect)
{
    if (rect)
        ScaleRect16To32(source, output, geometry, *rect);
    else
        ScaleFrame16To32(source, output, geometry);
}

inline std::vector<UpscaleKernels> AvailableKernels()
{
    std::vector<UpscaleKernels> kernels;
    for (int level = 0; level <= int(BestUpscaleKernels()); ++level)
        kernels.push_back(UpscaleKernels(level));
    return kernels;
}

// An output bitmap whose last pixel ends where an inaccessible page begins
// (give or take the row alignment), so that a write past it faults; every
// byte starts as the sentinel, and the padding of each row is watched.
template <typename Output>
class Canvas {
public:
    Canvas(uint32_t width_, uint32_t height_, uint32_t padBytes)
        : width(width_), height(height_), pitch(width_ * sizeof(Output) + padBytes),
          memory_(height_ == 0 ? 0 : size_t(pitch) * (height_ - 1) + width_ * sizeof(Output))
    {
        Clear();
    }

    void Clear() { std::memset(memory_.Data(), sentinelByte, memory_.Size()); }

    Output At(uint32_t x, uint32_t y) const
    {
        Output value;
        std::memcpy(&value, Row(y) + x * sizeof(Output), sizeof(Output));
        return value;
    }

    Output* Pixels() { return reinterpret_cast<Output*>(memory_.Data()); }

    bool GuardsIntact() const
    {
        for (uint32_t y = 0; y + 1 < height; ++y)
            for (uint32_t offset = width * sizeof(Output); offset < pitch; ++offset)
                if (Row(y)[offset] != sentinelByte)
                    return false;
        return memory_.SlackIntact();
    }

    // Whether row y holds `expected` from column `left` on.
    bool RowHolds(uint32_t y, uint32_t left, const Output* expected, uint32_t count) const
    {
        return count == 0 || std::memcmp(Row(y) + left * sizeof(Output), expected, count * sizeof(Output)) == 0;
    }

    uint32_t width;
    uint32_t height;
    uint32_t pitch;

private:
    const uint8_t* Row(uint32_t y) const { return memory_.Data() + size_t(y) * pitch; }

    GuardedBuffer memory_;
};

// The pixels where a canvas differs from what it should hold, the reference
// (row by row, as wide as the canvas) inside `area` and the sentinel outside;
// the first `listed` of them are described.
struct CanvasDifferences {
    uint64_t count = 0;
    std::string firstOnes;
};

template <typename Output>
CanvasDifferences DifferencesFrom(const Canvas<Output>& canvas, const std::vector<Output>& reference,
                                  const PixelRect& area, uint32_t listed)
{
    Output sentinel;
    std::memset(&sentinel, sentinelByte, sizeof(sentinel));
    const std::vector<Output> sentinelRow(canvas.width, sentinel);
    CanvasDifferences differences;
    std::ostringstream text;
    for (uint32_t y = 0; y < canvas.height; ++y) {
        const bool rowInside = y >= area.top && y < area.bottom && area.left < area.right;
        const Output* expectedRow = rowInside ? reference.data() + size_t(y) * canvas.width : nullptr;
        if (!rowInside && canvas.RowHolds(y, 0, sentinelRow.data(), canvas.width))
            continue;
        if (rowInside && canvas.RowHolds(y, 0, sentinelRow.data(), area.left) &&
            canvas.RowHolds(y, area.left, expectedRow + area.left, area.right - area.left) &&
            canvas.RowHolds(y, area.right, sentinelRow.data(), canvas.width - area.right))
            continue;
        for (uint32_t x = 0; x < canvas.width; ++x) {
            const bool inside = rowInside && x >= area.left && x < area.right;
            const Output expected = inside ? expectedRow[x] : sentinel;
            if (canvas.At(x, y) == expected)
                continue;
            if (differences.count++ < listed)
                text << " (" << x << "," << y << ") is 0x" << std::hex << uint64_t(canvas.At(x, y)) << ", not 0x"
                     << uint64_t(expected) << (inside ? "" : " (outside)") << std::dec << ";";
        }
    }
    differences.firstOnes = text.str();
    return differences;
}
