#pragma once

// The row loops of the 16-byte and 32-byte levels, written once over a set of
// lane operations (Lanes below) that each level defines where its target
// pragma is in force, and what the 64-byte ones share with them. Include this
// inside the first such region of a file, after EdgeKernels.h and <cstring>.
// Everything here is always inlined into the entry points that each level
// defines in its own region, so that its lane operations inline there too; a
// function from outside the regions may not be inlined into them at all on
// the 32-bit build.

#define EDGE_LOOP [[gnu::always_inline]] inline

namespace {

// The pixels of the three rows from a vector's first on.
struct EdgeColumns {
    const uint16_t* above;
    const uint16_t* row;
    const uint16_t* below;
};

// The three rows a vector of `lanes` pixels at a time, from their first
// pixels on: the rows themselves up to tailStart, a multiple of any vector's
// width, then their tails.
template <uint32_t lanes>
class ColumnCursor {
public:
    EDGE_LOOP explicit ColumnCursor(const EdgeRows& rows)
        : rows_(rows), at_{rows.above, rows.row, rows.below}, wholeEnd_(rows.row + rows.tailStart)
    {
        if (at_.row == wholeEnd_)
            ToTails();
    }

    EDGE_LOOP const EdgeColumns& operator*() const { return at_; }

    EDGE_LOOP void Next()
    {
        at_.above += lanes;
        at_.row += lanes;
        at_.below += lanes;
        if (at_.row == wholeEnd_)
            ToTails();
    }

private:
    EDGE_LOOP void ToTails() { at_ = {rows_.aboveTail, rows_.rowTail, rows_.belowTail}; }

    const EdgeRows& rows_;
    EdgeColumns at_;
    const uint16_t* wholeEnd_;
};

// Lanes supplies, for vectors of Lanes::count 16-bit lanes:
//   Vector, Load, Store, Broadcast, Zero, Equal, And, AndNot (~a & b), Or,
//   Add, ShiftLeft<n>, ShiftRight<n>, MultiplyHigh (unsigned), LaneBits (bit
//   i for an all-ones lane i), CountBits; LookUp(totals), the reciprocals and
//   blend weights of the weight totals (EdgeTables);
//   Positions, FirstPositions(x | y << 16), NextPositions;
//   StoreRecords(records, positions, weights, colours), which stores the
//   records of all lanes in lane order; and StoreEdgeRecords(out, positions,
//   weights, colours, bits), which stores those of the lanes in `bits`
//   packed from `out` on, and returns the place after them, storing over
//   no more records from `out` on than there are lanes.

// The lanes of the first `inRow` pixels, all of them from a whole vector on.
template <typename Lanes>
EDGE_LOOP uint32_t LanesInRow(uint32_t inRow)
{
    return inRow >= Lanes::count ? (uint32_t(1) << Lanes::count) - 1 : (uint32_t(1) << inRow) - 1;
}

// Lanes of the vector at `columns` whose column of three pixels shows one.
template <typename Lanes>
EDGE_LOOP uint32_t ShownColumns(const EdgeColumns& columns, typename Lanes::Vector keys)
{
    using L = Lanes;
    const typename L::Vector allKey = L::And(
        L::And(L::Equal(L::Load(columns.above), keys), L::Equal(L::Load(columns.below), keys)),
        L::Equal(L::Load(columns.row), keys));
    return ~L::LaneBits(allKey) & LanesInRow<L>(L::count);
}

// A key pixel is an edge pixel where its own column or one beside it shows a
// pixel; its own can show one only above or below it. The columns of a vector
// are one mask; those beside its first and last come from the masks of the
// vectors before and after it.
template <typename Lanes>
EDGE_LOOP uint32_t CountRow(const EdgeRows& rows, uint32_t width, uint16_t key)
{
    using L = Lanes;
    const typename L::Vector keys = L::Broadcast(key);
    uint32_t count = 0;
    uint32_t before = 0;
    ColumnCursor<L::count> columns(rows);
    uint32_t shown = ShownColumns<L>(*columns, keys);
    for (uint32_t x = 0; x < width; x += L::count) {
        const uint16_t* const row = (*columns).row;
        columns.Next();
        const uint32_t after = width - x > L::count ? ShownColumns<L>(*columns, keys) : 0;
        const uint32_t near = shown | shown << 1 | shown >> 1 | before >> (L::count - 1) | after << (L::count - 1);
        const uint32_t keyPixels = L::LaneBits(L::Equal(L::Load(row), keys));
        count += L::CountBits(keyPixels & near & LanesInRow<L>(width - x));
        before = shown;
        shown = after;
    }
    return count;
}

// Stores, for each column of the row, the channel sums of what it gives the
// pixels beside it (its pixels above and below once, its own twice) and the
// pixel between its others (those twice), of the pixels that show. Beside
// green, in place from bit 5, lies their weight total, at most 12, in the
// five bits below it. A key pixel, all ones, is minus one; each pixel adds one
// more, four in all for either sum.
template <typename Lanes>
EDGE_LOOP void SumColumns(const EdgeRows& rows, uint32_t width, typename Lanes::Vector keys)
{
    using L = Lanes;
    using Vector = typename L::Vector;
    const Vector greens = L::Broadcast(0x07E0);
    const Vector blues = L::Broadcast(0x001F);
    const Vector fours = L::Broadcast(4);
    uint16_t* sums = rows.sums;
    const ptrdiff_t stride = rows.sumStride;
    for (ColumnCursor<L::count> columns(rows); sums < rows.sums + width; columns.Next(), sums += L::count) {
        const Vector abovePixels = L::Load((*columns).above);
        const Vector belowPixels = L::Load((*columns).below);
        const Vector rowPixels = L::Load((*columns).row);
        const Vector aboveKey = L::Equal(abovePixels, keys);
        const Vector belowKey = L::Equal(belowPixels, keys);
        const Vector rowKey = L::Equal(rowPixels, keys);
        const Vector aboveShown = L::AndNot(aboveKey, abovePixels);
        const Vector belowShown = L::AndNot(belowKey, belowPixels);
        const Vector rowShown = L::AndNot(rowKey, rowPixels);
        const Vector red = L::Add(L::template ShiftRight<11>(aboveShown), L::template ShiftRight<11>(belowShown));
        const Vector green = L::Add(L::Add(L::Add(L::And(aboveShown, greens), L::And(belowShown, greens)), aboveKey),
                                    belowKey);
        const Vector blue = L::Add(L::And(aboveShown, blues), L::And(belowShown, blues));
        const Vector rowRed = L::template ShiftRight<11>(rowShown);
        const Vector rowGreen = L::Add(L::And(rowShown, greens), rowKey);
        const Vector rowBlue = L::And(rowShown, blues);
        L::Store(sums, L::Add(red, L::Add(rowRed, rowRed)));
        L::Store(sums + stride, L::Add(L::Add(green, fours), L::Add(rowGreen, rowGreen)));
        L::Store(sums + 2 * stride, L::Add(blue, L::Add(rowBlue, rowBlue)));
        L::Store(sums + 3 * stride, L::Add(red, red));
        L::Store(sums + 4 * stride, L::Add(L::Add(green, fours), green));
        L::Store(sums + 5 * stride, L::Add(blue, blue));
    }
}

// The sum of a pixel's three columns: those beside it at x - 1 and x + 1 and
// its own.
template <typename Lanes>
EDGE_LOOP typename Lanes::Vector ThreeColumns(const uint16_t* beside, const uint16_t* between)
{
    using L = Lanes;
    return L::Add(L::Add(L::Load(beside - 1), L::Load(beside + 1)), L::Load(between));
}

// Stores the records of the lanes in `bits` from `out` on: packed by the
// level where the list has room for a whole vector of them, else one by one
// through a copy of all lanes.
template <typename Lanes>
EDGE_LOOP EdgePixel* EmitRecords(EdgePixel* out, EdgePixel* end, const typename Lanes::Positions& positions,
                                 typename Lanes::Vector weights, typename Lanes::Vector colours, uint32_t bits)
{
    if (end - out >= ptrdiff_t(Lanes::count))
        return Lanes::StoreEdgeRecords(out, positions, weights, colours, bits);
    EdgePixel records[Lanes::count];
    Lanes::StoreRecords(records, positions, weights, colours);
    for (; bits; bits &= bits - 1)
        std::memcpy(out++, records + __builtin_ctz(bits), sizeof(EdgePixel));
    return out;
}

template <typename Lanes>
EDGE_LOOP EdgePixel* PlaceRow(EdgePixel* out, EdgePixel* end, const EdgeRows& rows, uint32_t width, uint32_t y,
                              uint16_t key)
{
    using L = Lanes;
    using Vector = typename L::Vector;
    const Vector keys = L::Broadcast(key);
    SumColumns<L>(rows, width, keys);
    const Vector totals = L::Broadcast(0x000F);
    typename L::Positions positions = L::FirstPositions(y << 16);
    const uint16_t* sums = rows.sums;
    const ptrdiff_t stride = rows.sumStride;
    ColumnCursor<L::count> columns(rows);
    for (uint32_t x = 0; x < width;
         x += L::count, sums += L::count, columns.Next(), positions = L::NextPositions(positions)) {
        const Vector green = ThreeColumns<L>(sums + stride, sums + 4 * stride);
        const Vector total = L::And(green, totals);
        const Vector edges = L::AndNot(L::Equal(total, L::Zero()), L::Equal(L::Load((*columns).row), keys));
        const uint32_t bits = L::LaneBits(edges) & LanesInRow<L>(width - x);
        if (!bits)
            continue;
        const typename L::Divisors looked = L::LookUp(total);
        const Vector reciprocals = looked.reciprocals;
        const Vector weights = looked.weights;
        // Twice each sum; the total, below 16, leaves bit 0 of twice green's.
        const Vector red = L::MultiplyHigh(L::template ShiftLeft<1>(ThreeColumns<L>(sums, sums + 3 * stride)),
                                           reciprocals);
        const Vector blue = L::MultiplyHigh(
            L::template ShiftLeft<1>(ThreeColumns<L>(sums + 2 * stride, sums + 5 * stride)), reciprocals);
        const Vector colours = L::Or(
            L::Or(L::template ShiftLeft<11>(red),
                  L::template ShiftLeft<5>(L::MultiplyHigh(L::template ShiftRight<4>(green), reciprocals))),
            blue);
        out = EmitRecords<L>(out, end, positions, weights, colours, bits);
    }
    return out;
}

}
