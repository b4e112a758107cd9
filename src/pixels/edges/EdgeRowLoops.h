#pragma once

// The row loops of the 16-byte and 32-byte levels, written once over a set of
// lane operations (Lanes below) that each level defines where its target
// pragma is in force. Include this only inside such a region, after
// EdgeKernels.h and <cstring>: everything here is made there, for that level,
// and inlines into its loops.

namespace {

// Lanes supplies, for vectors of Lanes::count 16-bit lanes:
//   Vector, Load, Broadcast, Zero, Equal, And, AndNot (~a & b), Or, Add, Sub,
//   ShiftLeft<n>, ShiftRight<n>, MultiplyHigh (unsigned), Shuffle (bytes of a
//   16-entry table by index bytes, a top bit giving 0), ByteTable (16 bytes
//   for Shuffle), LaneBits (bit i for an all-ones lane i), SumLanes;
//   Positions, FirstPositions(x | y << 16), NextPositions, and
//   StoreRecords(records, positions, weights, colours), which stores the
//   records of all lanes in lane order.

// Lanes of an all-ones lane for each pixel of a whole vector that is a key
// pixel with a neighbour showing. Each pointer is at the pixel left of the
// vector's first, in its row.
template <typename Lanes>
typename Lanes::Vector EdgeLanes(const uint16_t* above, const uint16_t* row, const uint16_t* below,
                                 typename Lanes::Vector keys)
{
    using L = Lanes;
    const auto isKey = [keys](const uint16_t* pixels) { return L::Equal(L::Load(pixels), keys); };
    const auto columnKey = [&](uint32_t column) {
        return L::And(L::And(isKey(above + column), isKey(below + column)), isKey(row + column));
    };
    // The row's own pixel is its own column's middle; it is a key pixel
    // anyway where it counts.
    const typename L::Vector allKey = L::And(L::And(columnKey(0), columnKey(1)), columnKey(2));
    return L::AndNot(allKey, isKey(row + 1));
}

// The lanes of the first `inRow` pixels, all of them from a whole vector on.
template <typename Lanes>
uint32_t LanesInRow(uint32_t inRow)
{
    return inRow >= Lanes::count ? (uint32_t(1) << Lanes::count) - 1 : (uint32_t(1) << inRow) - 1;
}

template <typename Lanes>
uint32_t CountRow(const EdgeRows& rows, uint32_t width, uint16_t key)
{
    using L = Lanes;
    const typename L::Vector keys = L::Broadcast(key);
    typename L::Vector counts = L::Zero();
    const uint16_t* above = rows.above - 1;
    const uint16_t* row = rows.row - 1;
    const uint16_t* below = rows.below - 1;
    uint32_t left = width;
    for (; left >= L::count; left -= L::count, above += L::count, row += L::count, below += L::count)
        counts = L::Sub(counts, EdgeLanes<L>(above, row, below, keys));
    uint32_t last = 0;
    if (left)
        last = uint32_t(__builtin_popcount(L::LaneBits(EdgeLanes<L>(above, row, below, keys)) & LanesInRow<L>(left)));
    return L::SumLanes(counts) + last;
}

// Adds a neighbour that counts `weight` times to the weight total and the
// channel sums. A key neighbour adds nothing to the sums and takes one off the
// total, which starts from all weights counted.
template <typename Lanes>
struct NeighbourSums {
    using Vector = typename Lanes::Vector;

    // Written out, not defaulted: an implicit constructor would be made
    // without the target pragma.
    NeighbourSums() : keyCount(Lanes::Zero()), red(Lanes::Zero()), green(Lanes::Zero()), blue(Lanes::Zero()) {}

    void Add(Vector pixel, Vector keys, Vector greens, Vector blues)
    {
        using L = Lanes;
        const Vector key = L::Equal(pixel, keys);
        keyCount = L::Add(keyCount, key);
        const Vector shown = L::AndNot(key, pixel);
        red = L::Add(red, L::template ShiftRight<11>(shown));
        green = L::Add(green, L::And(shown, greens));
        blue = L::Add(blue, L::And(shown, blues));
    }

    void Double()
    {
        keyCount = Lanes::Add(keyCount, keyCount);
        red = Lanes::Add(red, red);
        green = Lanes::Add(green, green);
        blue = Lanes::Add(blue, blue);
    }

    // Minus the weights of the key neighbours.
    Vector keyCount;
    Vector red;
    // Green in place, bits 5 to 15.
    Vector green;
    Vector blue;
};

// Stores the records of the lanes in `bits` from `out` on. Where the list
// has room for a whole vector of them, every lane's record is stored and the
// place moves on past those of edge pixels only, so that no branch depends on
// where the edges lie.
template <typename Lanes>
EdgePixel* EmitRecords(EdgePixel* out, EdgePixel* end, const EdgePixel* records, uint32_t bits)
{
    if (end - out >= ptrdiff_t(Lanes::count)) {
        for (uint32_t lane = 0; lane < Lanes::count; ++lane) {
            std::memcpy(out, records + lane, sizeof(EdgePixel));
            out += bits >> lane & 1;
        }
        return out;
    }
    for (; bits; bits &= bits - 1)
        std::memcpy(out++, records + __builtin_ctz(bits), sizeof(EdgePixel));
    return out;
}

template <typename Lanes>
EdgePixel* PlaceRow(EdgePixel* out, EdgePixel* end, const EdgeRows& rows, uint32_t width, uint32_t y, uint16_t key)
{
    using L = Lanes;
    using Vector = typename L::Vector;
    const Vector keys = L::Broadcast(key);
    const Vector greens = L::Broadcast(0x07E0);
    const Vector blues = L::Broadcast(0x001F);
    const Vector allWeights = L::Broadcast(uint16_t(largestWeightTotal));
    const Vector topBits = L::Broadcast(0x8000);
    typename L::Positions positions = L::FirstPositions(y << 16);
    const uint16_t* above = rows.above - 1;
    const uint16_t* row = rows.row - 1;
    const uint16_t* below = rows.below - 1;
    for (uint32_t x = 0; x < width;
         x += L::count, above += L::count, row += L::count, below += L::count, positions = L::NextPositions(positions)) {
        const uint32_t bits = L::LaneBits(EdgeLanes<L>(above, row, below, keys)) & LanesInRow<L>(width - x);
        if (!bits)
            continue;
        // The four neighbours beside the pixel weigh twice the diagonal ones.
        NeighbourSums<L> sums;
        sums.Add(L::Load(above + 1), keys, greens, blues);
        sums.Add(L::Load(row), keys, greens, blues);
        sums.Add(L::Load(row + 2), keys, greens, blues);
        sums.Add(L::Load(below + 1), keys, greens, blues);
        sums.Double();
        sums.Add(L::Load(above), keys, greens, blues);
        sums.Add(L::Load(above + 2), keys, greens, blues);
        sums.Add(L::Load(below), keys, greens, blues);
        sums.Add(L::Load(below + 2), keys, greens, blues);
        // The total indexes the tables in the low byte; the top bit of the
        // high byte gives it 0.
        const Vector index = L::Or(L::Add(sums.keyCount, allWeights), topBits);
        const Vector reciprocals =
            L::Or(L::Shuffle(L::ByteTable(edgeTables.reciprocalLowBytes), index),
                  L::template ShiftLeft<8>(L::Shuffle(L::ByteTable(edgeTables.reciprocalHighBytes), index)));
        const Vector weights = L::Shuffle(L::ByteTable(edgeTables.weightBytes), index);
        const Vector red = L::MultiplyHigh(L::template ShiftLeft<1>(sums.red), reciprocals);
        const Vector green = L::MultiplyHigh(L::template ShiftRight<4>(sums.green), reciprocals);
        const Vector blue = L::MultiplyHigh(L::template ShiftLeft<1>(sums.blue), reciprocals);
        const Vector colours =
            L::Or(L::Or(L::template ShiftLeft<11>(red), L::template ShiftLeft<5>(green)), blue);
        alignas(32) EdgePixel records[L::count];
        L::StoreRecords(records, positions, weights, colours);
        out = EmitRecords<L>(out, end, records, bits);
    }
    return out;
}

}
