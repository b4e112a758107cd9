#pragma once

#include <cstddef>
#include <cstdint>

#include "pixels/edges/EdgeSmoothing.h"

// The vector row loops behind BuildEdgeList. Each works one row of the
// sprite a vector of 16-bit lanes at a time, for every pixel at once. A first
// loop sums what each column of three pixels gives the pixels beside it and
// the one between its others: the three channel sums of those that show,
// weighted, and their weight total. A second adds the sums of each pixel's
// three columns, divides them by the total into the mean colour and stores
// the records of the row's edge pixels only. Rows off the sprite, and pixels
// past its last column, are the key, so that no load needs a test for the
// sprite's edge: a key neighbour counts as one that is not there.

// Rows above, at and below the one listed, each pointing at its first
// pixel; a row off the sprite is all key. The loops read them a whole vector
// at a time from the row's first pixel on: up to `tailStart` from the rows
// themselves, from there on from the tails, copies of each row's pixels from
// tailStart followed by key pixels, edgeTailPixels in all.
//
// `sums` points at the first of the loops' own rows of column sums,
// `sumStride` lanes apart, each 0 from edgeSumLead lanes before its first
// lane, and everywhere past the row's last vector, as a column of key pixels
// sums; the loops store only over the vectors of the row. There are
// edgeSumRows of them.
struct EdgeRows {
    const uint16_t* above;
    const uint16_t* row;
    const uint16_t* below;
    const uint16_t* aboveTail;
    const uint16_t* rowTail;
    const uint16_t* belowTail;
    uint32_t tailStart;
    uint16_t* sums;
    ptrdiff_t sumStride;
};

// The widest vector has 32 lanes, and each level's vectors start at
// multiples of its own width: tailStart, a multiple of 32, leaves fewer than
// 32 pixels to the tails, which a vector from each vector start there reads
// to the end of.
constexpr uint32_t edgeLanesMost = 32;
constexpr uint32_t edgeTailPixels = edgeLanesMost;
constexpr uint32_t edgeSumLead = edgeLanesMost;

// Red, green and blue of what a column gives the pixels beside it, then of
// what it gives the one between its others.
constexpr uint32_t edgeSumRows = 6;

struct EdgeRowKernels {
    // The number of edge pixels of a row of `width` pixels.
    uint32_t (*count)(const EdgeRows& rows, uint32_t width, uint16_t key);
    // Stores the records of the row's edge pixels, left to right, from `out`
    // on and returns the place after the last; nothing is stored at `end` or
    // past it, which the list's own records never reach.
    EdgePixel* (*place)(EdgePixel* out, EdgePixel* end, const EdgeRows& rows, uint32_t width, uint32_t y, uint16_t key);
};

extern const EdgeRowKernels sse2EdgeKernels;
extern const EdgeRowKernels ssse3EdgeKernels;
extern const EdgeRowKernels avx2EdgeKernels;
extern const EdgeRowKernels avx512EdgeKernels;

// A record is four 16-bit fields as a vector lays them out: x, y, the weight
// with a zero byte above it, and the colour.
static_assert(sizeof(EdgePixel) == 8 && offsetof(EdgePixel, y) == 2 && offsetof(EdgePixel, weight) == 4 &&
                  offsetof(EdgePixel, colour) == 6,
              "the row loops store records as four 16-bit fields");

// What the loops look up by a pixel's weight total n (0 to 12; 0 for a pixel
// with no neighbour showing, which is no edge pixel): ceil(32768 / n), which
// fits a 16-bit lane even for n = 1, and the blend weight. Whole for 16-bit
// lanes, in bytes for byte shuffles of 16 entries.
struct EdgeTables {
    alignas(64) uint16_t reciprocals[32];
    alignas(64) uint16_t weights[32];
    alignas(16) uint8_t reciprocalLowBytes[16];
    alignas(16) uint8_t reciprocalHighBytes[16];
    alignas(16) uint8_t weightBytes[16];
};

constexpr uint32_t largestWeightTotal = 12;
constexpr uint32_t largestChannelSum = largestWeightTotal * 63;

constexpr EdgeTables edgeTables = [] {
    constexpr uint8_t blendWeights[largestWeightTotal + 1] = {0, 8, 17, 25, 33, 42, 50, 50, 50, 50, 50, 50, 50};
    EdgeTables tables{};
    for (uint32_t n = 1; n <= largestWeightTotal; ++n) {
        const uint16_t reciprocal = uint16_t((32768 + n - 1) / n);
        tables.reciprocals[n] = reciprocal;
        tables.weights[n] = blendWeights[n];
        tables.reciprocalLowBytes[n] = uint8_t(reciprocal);
        tables.reciprocalHighBytes[n] = uint8_t(reciprocal >> 8);
        tables.weightBytes[n] = blendWeights[n];
    }
    return tables;
}();

// The loops take the high half of twice a channel sum times the reciprocal:
// for every sum a mean can have, that is the exact quotient, as the portable
// code's (sum * ceil(65536 / n)) >> 16 is.
static_assert(
    [] {
        for (uint32_t n = 1; n <= largestWeightTotal; ++n)
            for (uint32_t sum = 0; sum <= largestChannelSum; ++sum)
                if ((2 * sum * edgeTables.reciprocals[n]) >> 16 != sum / n ||
                    (sum * ((65536 + n - 1) / n)) >> 16 != sum / n)
                    return false;
        return true;
    }(),
    "a reciprocal gives a wrong quotient");
