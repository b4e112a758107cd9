#pragma once

#include "pixels/upscale/UpscaleKernels.h"

// The row loops of the permuting kernels, written once over a level's
// vectors. Include this only inside a region compiled for that level
// (#pragma GCC target), after the level's `Vectors` are defined: its loops
// are then that level's code, and internal to its file.
//
// `Vectors` gives its `Chunks<Pixel>`; `ReadVertical(row, base)`, a row's
// pixels of one output chunk's columns, and `ReadColumns(row, base)`, those
// with their left and right neighbours; `RuleChunk<Pixel, bothHalves>(above,
// columns, below, control, upper, lower)`, which finds the rule's values of
// those columns and lays them out into that chunk of the upper (and the
// lower) output row; and `LayOutChunk(left, right, base, control, output)`,
// which lays out values already found. For strips exactly twice as wide as
// their source it also gives `lanes<Pixel>`, `ReadVector(from)`, a whole
// vector of pixels, `Rule<Pixel, bothHalves>(above, columns, below, upper,
// lower, place)`, which hands the rule's left and right values of each half
// to `place(to, left, right)`, and `Interleaving<Pixel>`, such a `place`.

namespace {

// Calls `chunk(base, control, at)` for each chunk, `at` its first output
// column; the last chunk may overlap the one before.
template <typename Chunks, typename ChunkFunction>
void ForEachChunk(const OutputChunks& chunks, ChunkFunction chunk)
{
    constexpr uint32_t parts = Chunks::pixels / Chunks::partPixels;
    const uint32_t* base = chunks.base;
    const uint8_t* control = chunks.control;
    uint32_t at = 0;
    for (const uint32_t* const last = base + (chunks.count - 1) * parts; base != last;) {
        chunk(base, control, at);
        base += parts;
        control += Chunks::controlBytes;
        at += Chunks::pixels;
    }
    chunk(base, control, chunks.lastStart);
}

// The chunks are independent, so the rule's values never leave the
// registers. Without a lower row, `lower` is `upper`, unused.
template <typename Vectors, typename Pixel, bool bothHalves>
void RuleChunks(const NeighbourRows<Pixel> rows, const OutputChunks& chunks, Pixel* upper, Pixel* lower)
{
    ForEachChunk<typename Vectors::template Chunks<Pixel>>(
        chunks, [&](const uint32_t* base, const uint8_t* control, uint32_t at) {
            Vectors::template RuleChunk<Pixel, bothHalves>(
                Vectors::ReadVertical(rows.vertical, base), Vectors::ReadColumns(rows.current, base),
                Vectors::ReadVertical(rows.opposite, base), control, upper + at, lower + at);
        });
}

// Each row of a pair is the other's vertical neighbour, read once for both;
// every row is read before the first store, which may alias the plan.
template <typename Vectors, typename Pixel, bool firstBoth, bool secondBoth>
void RuleChunkPairs(const RowPair<Pixel> rows, const OutputChunks& chunks, const PairOutput<Pixel> out)
{
    ForEachChunk<typename Vectors::template Chunks<Pixel>>(
        chunks, [&](const uint32_t* base, const uint8_t* control, uint32_t at) {
            const auto above = Vectors::ReadVertical(rows.above, base);
            const auto first = Vectors::ReadColumns(rows.first, base);
            const auto second = Vectors::ReadColumns(rows.second, base);
            const auto below = Vectors::ReadVertical(rows.below, base);
            Vectors::template RuleChunk<Pixel, firstBoth>(above, first, second.own, control, out.firstUpper + at,
                                                          out.firstLower + at);
            Vectors::template RuleChunk<Pixel, secondBoth>(first.own, second, below, control, out.secondUpper + at,
                                                           out.secondLower + at);
        });
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
void KeepBlockEdges(const Pixel* current, const StripColumns& columns, const OutputChunks& chunks, Pixel* upper,
                    Pixel* lower)
{
    const uint32_t outputColumns = chunks.lastStart + Vectors::template Chunks<Pixel>::pixels;
    KeepEdges(current, columns, chunks, outputColumns, upper);
    if (lower)
        KeepEdges(current, columns, chunks, outputColumns, lower);
}

// The compiler leaves the vectors' upper halves set across the call that
// writes the edges, and so on return, where the caller's SSE code would then
// pay on every instruction: they are cleared before returning.
inline void ClearUpperHalves()
{
    _mm256_zeroupper();
}

template <typename Vectors, typename Pixel>
void BlockRows(const NeighbourRows<Pixel>& rows, const StripColumns& columns, const ColumnWidths& widths,
               Pixel* upper, Pixel* lower, RuleValues<Pixel>&)
{
    const OutputChunks& chunks = *widths.chunks;
    if (lower)
        RuleChunks<Vectors, Pixel, true>(rows, chunks, upper, lower);
    else
        RuleChunks<Vectors, Pixel, false>(rows, chunks, upper, upper);
    KeepBlockEdges<Vectors>(rows.current, columns, chunks, upper, lower);
    ClearUpperHalves();
}

template <typename Vectors, typename Pixel, bool firstBoth>
void RuleChunkPairsFor(const RowPair<Pixel>& rows, const OutputChunks& chunks, const PairOutput<Pixel>& targets,
                       bool secondBoth)
{
    if (secondBoth)
        RuleChunkPairs<Vectors, Pixel, firstBoth, true>(rows, chunks, targets);
    else
        RuleChunkPairs<Vectors, Pixel, firstBoth, false>(rows, chunks, targets);
}

template <typename Vectors, typename Pixel>
void BlockRowPairs(const RowPair<Pixel>& rows, const StripColumns& columns, const ColumnWidths& widths,
                   const PairOutput<Pixel>& out)
{
    const OutputChunks& chunks = *widths.chunks;
    // A row without a lower half is given its upper one, unused.
    const PairOutput<Pixel> targets = {out.firstUpper, out.firstLower ? out.firstLower : out.firstUpper,
                                       out.secondUpper, out.secondLower ? out.secondLower : out.secondUpper};
    if (out.firstLower)
        RuleChunkPairsFor<Vectors, Pixel, true>(rows, chunks, targets, out.secondLower != nullptr);
    else
        RuleChunkPairsFor<Vectors, Pixel, false>(rows, chunks, targets, out.secondLower != nullptr);
    KeepBlockEdges<Vectors>(rows.first, columns, chunks, out.firstUpper, out.firstLower);
    KeepBlockEdges<Vectors>(rows.second, columns, chunks, out.secondUpper, out.secondLower);
    ClearUpperHalves();
}

template <typename Vectors, typename Pixel>
void LayOutRow(const Pixel* left, const Pixel* right, const ColumnWidths& widths, Pixel* output)
{
    ForEachChunk<typename Vectors::template Chunks<Pixel>>(
        *widths.chunks, [&](const uint32_t* base, const uint8_t* control, uint32_t at) {
            Vectors::LayOutChunk(left, right, base, control, output + at);
        });
}

template <typename Vectors, typename Pixel>
RowKernels<Pixel> PermutingKernelsOf()
{
    return {BlockRows<Vectors, Pixel>, LayOutRow<Vectors, Pixel>, BlockRowPairs<Vectors, Pixel>};
}

template <typename Vectors, typename Pixel>
typename Vectors::Columns ReadVectorColumns(const Pixel* from)
{
    return {Vectors::ReadVector(from - 1), Vectors::ReadVector(from), Vectors::ReadVector(from + 1)};
}

// Exactly twice as wide, every column shows its left value and then its right
// one: a whole vector of columns is worked at once, read with plain loads,
// and its values interleaved into two vectors of output. The last vector may
// overlap the one before.
template <typename Vectors, typename Pixel, bool bothHalves>
void DoubleColumns(const NeighbourRows<Pixel>& rows, uint32_t count, Pixel* upper, Pixel* lower)
{
    constexpr uint32_t lanes = Vectors::template lanes<Pixel>;
    const typename Vectors::template Interleaving<Pixel> interleave;
    const auto columns = [&](uint32_t at) {
        Vectors::template Rule<Pixel, bothHalves>(Vectors::ReadVector(rows.vertical + at),
                                                  ReadVectorColumns<Vectors>(rows.current + at),
                                                  Vectors::ReadVector(rows.opposite + at), upper + 2 * at,
                                                  lower + 2 * at, interleave);
    };
    for (uint32_t at = 0; at + lanes < count; at += lanes)
        columns(at);
    columns(count - lanes);
}

// The strip's output is cut into chunks all the same, for its first and last
// rows, and they say where the frame's edge columns are shown.
template <typename Vectors, typename Pixel>
void DoubleRows(const NeighbourRows<Pixel>& rows, const StripColumns& columns, const ColumnWidths& widths,
                Pixel* upper, Pixel* lower, RuleValues<Pixel>&)
{
    if (lower)
        DoubleColumns<Vectors, Pixel, true>(rows, columns.count, upper, lower);
    else
        DoubleColumns<Vectors, Pixel, false>(rows, columns.count, upper, upper);
    KeepBlockEdges<Vectors>(rows.current, columns, *widths.chunks, upper, lower);
    ClearUpperHalves();
}

// A level's kernels for strips exactly twice as wide as their source, of at
// least a vector of columns: their first and last rows are laid out as
// `permuting` lays them out.
template <typename Vectors, typename Pixel>
RowKernels<Pixel> DoublingKernelsOf(RowKernels<Pixel> permuting)
{
    return {DoubleRows<Vectors, Pixel>, permuting.spread};
}

}
