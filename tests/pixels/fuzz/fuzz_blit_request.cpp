// Blt and BltFast requests with any values at all, as a game can pass them:
// whatever the rectangles, flags and positions, the checks must keep every
// read and write inside the two surfaces, which end at guard pages.
#include <cstddef>
#include <cstdint>

#include "pixels/blit/BlitRequest.h"
#include "pixels/fuzz/FuzzInput.h"
#include "pixels/support/GuardedBuffer.h"

namespace {

struct FuzzSurface {
    FuzzSurface(uint32_t width_, uint32_t height_, uint32_t depth_)
        : width(width_), height(height_), depth(depth_), pitch((width_ * depth_ / 8 + 3) & ~3u),
          memory(size_t(pitch) * height_)
    {
    }

    BlitSurface View() { return {{memory.Data(), ptrdiff_t(pitch)}, width, height, depth}; }

    uint32_t width, height, depth, pitch;
    GuardedBuffer memory;
};

uint32_t Depth(FuzzInput& input)
{
    static constexpr uint32_t depths[] = {8, 16, 24};
    return depths[input.Below(3)];
}

// Mostly near the surface, sometimes anything a 32-bit value holds.
int32_t Coordinate(FuzzInput& input, uint32_t side)
{
    return input.Flag() ? int32_t(input.Bits32()) : int32_t(input.Between(0, side + 2)) - 1;
}

SignedRect Rect(FuzzInput& input, uint32_t width, uint32_t height)
{
    return {Coordinate(input, width), Coordinate(input, height), Coordinate(input, width),
            Coordinate(input, height)};
}

}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput input(data, size);
    FuzzSurface destination(input.Between(1, 80), input.Between(1, 80), Depth(input));
    const bool sameSurface = input.Flag();
    FuzzSurface other(input.Between(1, 80), input.Between(1, 80), input.Flag() ? destination.depth : Depth(input));
    FuzzSurface& source = sameSurface ? destination : other;
    BlitSurface to = destination.View();
    BlitSurface from = source.View();
    const SignedRect destinationRect = Rect(input, to.width, to.height);
    const SignedRect sourceRect = Rect(input, from.width, from.height);
    const CopyEffects effects = {input.Flag(), input.Flag(), input.Flag(), input.Bits32()};
    if (input.Flag()) {
        const bool wholeSource = input.Flag();
        PerformBltFast(to, input.Flag() ? input.Bits32() : input.Below(to.width + 1),
                       input.Flag() ? input.Bits32() : input.Below(to.height + 1), from,
                       wholeSource ? nullptr : &sourceRect, effects);
        return 0;
    }
    BltRequest request = {};
    request.destinationRect = input.Flag() ? nullptr : &destinationRect;
    request.source = input.Below(8) == 0 ? nullptr : &from;
    request.sourceRect = input.Flag() ? nullptr : &sourceRect;
    request.colourFill = input.Flag();
    request.effectsGiven = input.Flag();
    request.effectsNeeded = input.Flag();
    request.fillColour = input.Bits32();
    request.copy = effects;
    EdgePixel edges[4];
    for (EdgePixel& edge : edges)
        edge = {uint16_t(input.Below(from.width + 2)), uint16_t(input.Below(from.height + 2)),
                uint8_t(input.Byte()), uint16_t(input.Bits32())};
    request.edgeList = input.Flag() ? edges : nullptr;
    request.edgeCount = uint32_t(input.Below(5));
    request.destinationKeyed = input.Flag();
    request.destinationKey = input.Bits32();
    PerformBlt(to, request);
    return 0;
}
