#pragma once

#include "present/pixels/UpscaleKernels.h"

// The row loops of the permuting kernels, written once over a level's
// vectors. Include this only inside a region compiled for that level
// (#pragma GCC target), after the level's `Vectors` are defined: its loops
// are then that level's code, and internal to its file.
//
// `Vectors` gives its `Chunks<Pixel>`, `RuleChunk<Pixel, bothHalves>(rows,
// base, control, upper, lower)`, which finds the rule's values of the columns
// one output chunk shows and lays them out into that chunk of the upper (and
// the lower) output row, and `LayOutChunk(left, right, base, control,
// output)`, which lays out values already found.

namespace {

// The chunks are independent, so the rule's values never leave the
// registers; the last chunk may overlap the one before.
template <typename Vectors, typename Pixel, bool bothHalves>
void RuleChunks(const NeighbourRows<Pixel> rows, const OutputChunks& chunks, Pixel* upper, Pixel* lower)
{
    using Chunks = typename Vectors::template Chunks<Pixel>;
    constexpr uint32_t parts = Chunks::pixels / Chunks::partPixels;
    const uint32_t* base = chunks.base;
    const uint8_t* control = chunks.control;
    Pixel* upperOut = upper;
    Pixel* lowerOut = lower;
    for (const uint32_t* const last = base + (chunks.count - 1) * parts; base != last;) {
        Vectors::template RuleChunk<Pixel, bothHalves>(rows, base, control, upperOut, lowerOut);
        base += parts;
        control += Chunks::controlBytes;
        upperOut += Chunks::pixels;
        lowerOut += Chunks::pixels;
    }
    Vectors::template RuleChunk<Pixel, bothHalves>(rows, base, control, upper + chunks.lastStart,
                                                   lower + chunks.lastStart);
}

// The chunks work the frame's edge columns like the others, reading the
// pixels beside the row, which lie in the frame's memory since a rule row is
// never the frame's first or last; what they show is then rewritten.
template <typename Pixel>
void KeepEdges(const Pixel* current, const StripColumns& columns, const OutputChunks& chunks,
               uint32_t outputColumns, Pixel* output)
{
    for (uint32_t place = 0; place < chunks.leadingEdge; ++place)
        output[place] = current[0];
    Pixel* const trailing = output + outputColumns - chunks.trailingEdge;
    for (uint32_t place = 0; place < chunks.trailingEdge; ++place)
        trailing[place] = current[columns.count - 1];
}

template <typename Vectors, typename Pixel>
void BlockRows(const NeighbourRows<Pixel>& rows, const StripColumns& columns, const ColumnWidths& widths,
               Pixel* upper, Pixel* lower, RuleValues<Pixel>&)
{
    const OutputChunks& chunks = *widths.chunks;
    const uint32_t outputColumns = chunks.lastStart + Vectors::template Chunks<Pixel>::pixels;
    if (lower) {
        RuleChunks<Vectors, Pixel, true>(rows, chunks, upper, lower);
        KeepEdges(rows.current, columns, chunks, outputColumns, lower);
    } else {
        RuleChunks<Vectors, Pixel, false>(rows, chunks, upper, upper);
    }
    KeepEdges(rows.current, columns, chunks, outputColumns, upper);
}

template <typename Vectors, typename Pixel>
void LayOutRow(const Pixel* left, const Pixel* right, const ColumnWidths& widths, Pixel* output)
{
    using Chunks = typename Vectors::template Chunks<Pixel>;
    constexpr uint32_t parts = Chunks::pixels / Chunks::partPixels;
    const OutputChunks chunks = *widths.chunks;
    const uint32_t* base = chunks.base;
    const uint8_t* control = chunks.control;
    Pixel* out = output;
    for (uint32_t chunk = 1; chunk < chunks.count; ++chunk) {
        Vectors::LayOutChunk(left, right, base, control, out);
        base += parts;
        control += Chunks::controlBytes;
        out += Chunks::pixels;
    }
    Vectors::LayOutChunk(left, right, base, control, output + chunks.lastStart);
}

template <typename Vectors, typename Pixel>
RowKernels<Pixel> PermutingKernelsOf()
{
    return {BlockRows<Vectors, Pixel>, LayOutRow<Vectors, Pixel>};
}

}
