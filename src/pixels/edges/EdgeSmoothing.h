#pragma once

#include <cstdint>

#include "pixels/blit/Blit.h"

// Softened outlines for colour-keyed 16-bit RGB565 sprites. A key pixel that
// touches a visible pixel is an edge pixel: it records the weighted mean colour
// of its visible neighbours (weight 2 for the four beside it, 1 for the four
// diagonal ones) and a blend weight that grows with their total. A keyed copy
// of the whole sprite then mixes each recorded colour into the destination
// pixel under the key pixel, which the copy itself leaves alone.

// One edge pixel: its position in the sprite, the share of `colour` in the
// mix in percent (8, 17, 25, 33, 42 or 50) and the RGB565 colour to mix in.
struct EdgePixel {
    uint16_t x;
    uint16_t y;
    uint8_t weight;
    uint16_t colour;
};

// Lists the edge pixels of a `width` x `height` surface of 16-bit pixels whose
// rows are `pitch` pixels apart, in row order and left to right within a row,
// and returns their number. Neighbours outside the surface do not exist: rows
// do not wrap. When there is at least one, the list is made with new[] at its
// exact size and stored in `*list`, which its owner frees with delete[];
// otherwise, when no memory is left for it, or when the surface is wider or
// higher than 65535 pixels, whose positions the records cannot hold, `*list`
// is not written and the result is 0. The pixels are only read.
uint32_t BuildEdgeList(const uint16_t* pixels, uint32_t height, uint32_t width, int32_t pitch, uint16_t key,
                       EdgePixel** list);

// The mix of two RGB565 colours, channel by channel, with `weight` percent of
// `colour`: one of the list's weights, any other value meaning half and half.
uint16_t BlendRgb565(uint16_t destination, uint16_t colour, uint8_t weight);

// Where a keyed copy of a whole `sourceWidth` x `sourceHeight` sprite landed:
// its destination rectangle's top-left pixel and its mirrors.
struct EdgeListPlacement {
    uint32_t left;
    uint32_t top;
    uint32_t sourceWidth;
    uint32_t sourceHeight;
    bool mirrorLeftRight;
    bool mirrorUpDown;
};

// Blends each record of `list` into the destination pixel under it, in list
// order: (left + x, top + y), the column counted from the right under a
// left-right mirror and the row from the bottom under an up-down mirror. When
// the destination is keyed itself, target pixels equal to its key are left
// alone. Records outside the sprite are skipped. Never reads the source.
void ApplyEdgeList(const PixelPlane& destination, const EdgeListPlacement& placement, const EdgePixel* list,
                   uint32_t count, bool destinationKeyed, uint32_t destinationKey);
