#pragma once

#include <cstdint>

#include "pixels/blit/Blit.h"
#include "pixels/edges/EdgeSmoothing.h"

// The checks and the dispatch of Blt and BltFast, on what the caller's flags
// and structures have already been read into. Every rectangle, parameter and
// depth is checked before the first pixel is written, so a refused request
// changes nothing.

// What the blitter needs of a surface: its pixels, size and bits per pixel.
struct BlitSurface {
    PixelPlane plane;
    uint32_t width;
    uint32_t height;
    uint32_t depth;
};

// A rectangle as a caller passes it: any values at all.
struct SignedRect {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};

enum class BlitResult { Done, InvalidRect, InvalidParams, UnsupportedFormat, InvalidPixelFormat, OutOfMemory };

// What was changed: the destination area, and whether a present should take
// it as the whole frame.
struct BlitOutcome {
    BlitResult result;
    SignedRect area;
    bool wholeFrame;
};

// A Blt: a colour fill, or a copy from `source` (null when the caller gave
// none), each rectangle null for its whole surface. `effectsGiven` tells
// whether the call came with its effects structure, `effectsNeeded` whether
// its flags name values that live there; `fillColour` and `copy` hold what was
// read from it and from the source's own key. A keyed copy of the whole source
// at its own size into a 16-bit destination then blends in the source's edge
// list, if it has one, sparing destination pixels equal to the destination's
// own key when it has one.
struct BltRequest {
    const SignedRect* destinationRect;
    const BlitSurface* source;
    const SignedRect* sourceRect;
    bool colourFill;
    bool effectsGiven;
    bool effectsNeeded;
    uint32_t fillColour;
    CopyEffects copy;
    const EdgePixel* edgeList;
    uint32_t edgeCount;
    bool destinationKeyed;
    uint32_t destinationKey;
};

BlitOutcome PerformBlt(const BlitSurface& destination, const BltRequest& request);

// A BltFast of `sourceRect` (null for the whole source) to (x, y), keyed by
// `key` alone. A whole source onto a surface of the same shape is one block
// copy of every byte (rows top-down), of any depth and unkeyed.
BlitOutcome PerformBltFast(const BlitSurface& destination, uint32_t x, uint32_t y, const BlitSurface& source,
                           const SignedRect* sourceRect, const CopyEffects& key);
