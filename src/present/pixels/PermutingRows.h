#pragma once

#include "present/pixels/UpscaleKernels.h"

// The row loops of the permuting kernels, written once over a level's
// vectors. Include this only inside a region compiled for that level
// (#pragma GCC target), after the level's `Vectors` are defined: its loops
// are then that level's code, and internal to its file.
//
// `Vectors` gives `lanes<Pixel>`, `Rule<Pixel, bothHalves>(rows, column,
// out)`, which finds the values of the `lanes` columns from `column`, its
// `Chunks<Pixel>` and `LayOutChunk(left, right, base, control, output)`.

namespace {

// The last vector may overlap the one before: it finds the same values again.
// Rows and outputs are copies, so that the stores need not be taken to change
// them.
template <typename Vectors, typename Pixel, bool bothHalves>
void RuleInterior(const NeighbourRows<Pixel> rows, uint32_t begin, uint32_t end, const RuleOutputs<Pixel> out)
{
    constexpr uint32_t lanes = Vectors::template lanes<Pixel>;
    uint32_t column = begin;
    for (; end - column > lanes; column += lanes)
        Vectors::template Rule<Pixel, bothHalves>(rows, column, out);
    Vectors::template Rule<Pixel, bothHalves>(rows, end - lanes, out);
}

template <typename Pixel>
void RuleColumnsInTurn(const NeighbourRows<Pixel>& rows, uint32_t begin, uint32_t end, bool bothHalves,
                       const RuleOutputs<Pixel>& out)
{
    RuleColumns(rows, begin, end, out.upperLeft, out.upperRight);
    if (bothHalves)
        RuleColumns({rows.opposite, rows.current, rows.vertical}, begin, end, out.lowerLeft, out.lowerRight);
}

template <typename Pixel>
void KeepEdgeColumns(const Pixel* current, const StripColumns& columns, Pixel* left, Pixel* right)
{
    KeepColumns(current, 0, columns.interiorBegin, left, right);
    KeepColumns(current, columns.interiorEnd, columns.count, left, right);
}

template <typename Vectors, typename Pixel>
void RuleRows(const NeighbourRows<Pixel>& rows, const StripColumns& columns, bool bothHalves,
              RuleValues<Pixel>& values)
{
    const RuleOutputs<Pixel> out = {values.upperLeft, values.upperRight, values.lowerLeft, values.lowerRight};
    // From the strip's first column even where that is the frame's, so that
    // the vectors stay aligned with the rows: the values found there are
    // replaced below. A rule row is never the frame's first, so its left
    // neighbour lies in the frame's memory.
    const uint32_t begin = 0;
    const uint32_t end = columns.interiorEnd;
    if (end - begin < Vectors::template lanes<Pixel>)
        RuleColumnsInTurn(rows, begin, end, bothHalves, out);
    else if (bothHalves)
        RuleInterior<Vectors, Pixel, true>(rows, begin, end, out);
    else
        RuleInterior<Vectors, Pixel, false>(rows, begin, end, out);
    KeepEdgeColumns(rows.current, columns, values.upperLeft, values.upperRight);
    if (bothHalves)
        KeepEdgeColumns(rows.current, columns, values.lowerLeft, values.lowerRight);
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
PermutingKernels<Pixel> PermutingKernelsOf()
{
    return {RuleRows<Vectors, Pixel>, LayOutRow<Vectors, Pixel>};
}

}
