#include "pixels/edges/EdgeSmoothing.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <memory>
#include <new>

#include "pixels/edges/EdgeKernels.h"

// On the portable level, the scan for edge pixels looks at four pixels at
// once, one 16-bit lane of a 64-bit word each (pixel 4c + i in bits 16i to
// 16i + 15, the order a little-endian load gives); a lane's top bit carries
// its answer. Only the edge pixels it finds are then looked at one by one.
// The vector levels' row loops (EdgeKernels.h) measure every pixel of a row
// at once instead.
static_assert(std::endian::native == std::endian::little, "the lanes follow the order of a little-endian load");

namespace {

using Lanes = uint64_t;

constexpr uint32_t lanesPerWord = 4;
constexpr Lanes laneLowBits = 0x7FFF7FFF7FFF7FFFull;
constexpr Lanes laneTopBits = 0x8000800080008000ull;
constexpr Lanes laneOnes = 0x0001000100010001ull;

// A lane's top bit is set when it is not zero. Adding 0x7FFF to the lower 15
// bits carries into the top bit unless they are all zero, and never past it,
// so no lane disturbs its neighbour.
Lanes NonZeroLanes(Lanes word)
{
    return (((word & laneLowBits) + laneLowBits) | word) & laneTopBits;
}

uint32_t LaneOf(Lanes topBits)
{
    return uint32_t(std::countr_zero(topBits)) / 16;
}

// Four pixels of one column group of three rows, ready for the edge test.
struct ColumnGroup {
    // Pixels that differ from the key in the row above, the row itself or the
    // row below.
    Lanes visibleInColumn;
    // Key pixels of the row itself that lie inside the surface.
    Lanes keyPixels;
};

// The rows above and below the scanned one; a missing one stands in as the
// scanned row itself, whose visible pixels count for the column already, so
// that it adds nothing.
struct RowTriple {
    const uint16_t* above;
    const uint16_t* row;
    const uint16_t* below;
};

class EdgeScan {
public:
    EdgeScan(const uint16_t* pixels, uint32_t height, uint32_t width, int32_t pitch, uint16_t key)
        : pixels_(pixels), height_(height), width_(width), pitch_(pitch), key_(key), keys_(key * laneOnes),
          wholeGroups_(width / lanesPerWord), lastColumns_(width % lanesPerWord)
    {
    }

    uint32_t Width() const { return width_; }
    uint32_t Height() const { return height_; }
    int32_t Pitch() const { return pitch_; }
    uint16_t Key() const { return key_; }
    const uint16_t* Row(uint32_t y) const { return pixels_ + ptrdiff_t(y) * pitch_; }

    // Calls visit(firstColumn, edges) for every group of four pixels of row y,
    // left to right, edges having the top bit of each edge pixel's lane set.
    template <typename Visit>
    void ScanRow(uint32_t y, Visit&& visit) const
    {
        const RowTriple rows = Rows(y);
        const ColumnGroup last = lastColumns_ ? TailGroup(rows) : ColumnGroup{0, 0};
        Lanes left = 0;
        ColumnGroup here = wholeGroups_ ? WholeGroup(rows, 0) : last;
        for (uint32_t group = 0; group < wholeGroups_; ++group) {
            const ColumnGroup right = group + 1 < wholeGroups_ ? WholeGroup(rows, group + 1) : last;
            visit(group * lanesPerWord, Edges(left, here, right.visibleInColumn));
            left = here.visibleInColumn;
            here = right;
        }
        if (lastColumns_)
            visit(wholeGroups_ * lanesPerWord, Edges(left, here, 0));
    }

private:
    RowTriple Rows(uint32_t y) const
    {
        const uint16_t* row = Row(y);
        return {y > 0 ? Row(y - 1) : row, row, y + 1 < height_ ? Row(y + 1) : row};
    }

    static Lanes Edges(Lanes left, const ColumnGroup& here, Lanes right)
    {
        const Lanes column = here.visibleInColumn;
        return (column | column << 16 | column >> 16 | left >> 48 | right << 48) & here.keyPixels;
    }

    static ColumnGroup Group(Lanes above, Lanes itself, Lanes below)
    {
        return {NonZeroLanes(above | itself | below), ~NonZeroLanes(itself) & laneTopBits};
    }

    Lanes Load(const uint16_t* row, uint32_t group) const
    {
        Lanes word;
        std::memcpy(&word, row + group * lanesPerWord, sizeof(word));
        return word ^ keys_;
    }

    ColumnGroup WholeGroup(const RowTriple& rows, uint32_t group) const
    {
        return Group(Load(rows.above, group), Load(rows.row, group), Load(rows.below, group));
    }

    // The lanes past the last column hold the key, so that they show no
    // visible pixel, and are no key pixels of the row; nothing past the last
    // column is read.
    Lanes LoadTail(const uint16_t* row) const
    {
        Lanes word = keys_;
        std::memcpy(&word, row + wholeGroups_ * lanesPerWord, lastColumns_ * sizeof(uint16_t));
        return word ^ keys_;
    }

    ColumnGroup TailGroup(const RowTriple& rows) const
    {
        const ColumnGroup group = Group(LoadTail(rows.above), LoadTail(rows.row), LoadTail(rows.below));
        const Lanes inside = laneTopBits >> (16 * (lanesPerWord - lastColumns_));
        return {group.visibleInColumn, group.keyPixels & inside};
    }

    const uint16_t* pixels_;
    uint32_t height_;
    uint32_t width_;
    int32_t pitch_;
    uint16_t key_;
    Lanes keys_;
    uint32_t wholeGroups_;
    uint32_t lastColumns_;
};

// The three channels of an RGB565 pixel spread apart (blue in bits 0-4, red
// in 11-15, green in 21-26), so that sums of up to twelve of them, weighted,
// keep each channel clear of the next.
uint32_t Spread(uint16_t pixel)
{
    return (pixel & 0xF81Fu) | (uint32_t(pixel & 0x07E0u) << 16);
}

// Dividing a channel sum (at most 12 x 63) by a total weight n: the quotient
// of sum * ceil(65536 / n) by 65536 is the exact one in that range.
struct TotalWeight {
    uint32_t reciprocal;
    uint8_t blendWeight;
};

constexpr std::array<TotalWeight, 13> totalWeights = [] {
    std::array<TotalWeight, 13> table{};
    constexpr uint8_t blendWeights[13] = {0, 8, 17, 25, 33, 42, 50, 50, 50, 50, 50, 50, 50};
    for (uint32_t n = 1; n < table.size(); ++n)
        table[n] = {(65536 + n - 1) / n, blendWeights[n]};
    return table;
}();

uint32_t DivideBy(uint32_t sum, uint32_t reciprocal)
{
    return (sum * reciprocal) >> 16;
}

// 1 for a pixel other than the key, 0 for the key, without a branch.
uint32_t IsVisible(uint16_t pixel, uint16_t key)
{
    return (uint32_t(pixel ^ key) + 0xFFFF) >> 16;
}

class NeighbourMean {
public:
    explicit NeighbourMean(uint16_t key) : key_(key) {}

    // `exists` is 1 for a neighbour on the surface, 0 for one off it.
    void Add(uint16_t pixel, uint32_t weight, uint32_t exists)
    {
        const uint32_t taken = IsVisible(pixel, key_) & exists;
        total_ += taken * weight;
        sum_ += (Spread(pixel) & (0 - taken)) * weight;
    }

    // All eight bytes of the record, its padding byte 0.
    void Store(EdgePixel* record, uint32_t x, uint32_t y) const
    {
        const TotalWeight& total = totalWeights[total_];
        const uint32_t red = DivideBy(sum_ >> 11 & 0x1FF, total.reciprocal);
        const uint32_t green = DivideBy(sum_ >> 21, total.reciprocal);
        const uint32_t blue = DivideBy(sum_ & 0x1FF, total.reciprocal);
        const uint64_t fields = x | y << 16 | uint64_t(total.blendWeight) << 32 |
                                uint64_t(red << 11 | green << 5 | blue) << 48;
        std::memcpy(record, &fields, sizeof(fields));
    }

private:
    uint16_t key_;
    uint32_t total_ = 0;
    uint32_t sum_ = 0;
};

// A neighbour off the surface is read at a clamped place on it and left out,
// so that no branch depends on where the edge pixel lies or on what is
// around it.
void MeasureEdgePixel(const EdgeScan& scan, EdgePixel* record)
{
    const uint32_t x = record->x, y = record->y;
    const uint32_t hasLeft = x > 0, hasRight = x + 1 < scan.Width();
    const uint32_t hasAbove = y > 0, hasBelow = y + 1 < scan.Height();
    const uint16_t* row = scan.Row(y);
    const uint16_t* above = row - ptrdiff_t(hasAbove) * scan.Pitch();
    const uint16_t* below = row + ptrdiff_t(hasBelow) * scan.Pitch();
    const uint32_t left = x - hasLeft, right = x + hasRight;
    NeighbourMean mean(scan.Key());
    mean.Add(above[left], 1, hasAbove & hasLeft);
    mean.Add(above[x], 2, hasAbove);
    mean.Add(above[right], 1, hasAbove & hasRight);
    mean.Add(row[left], 2, hasLeft);
    mean.Add(row[right], 2, hasRight);
    mean.Add(below[left], 1, hasBelow & hasLeft);
    mean.Add(below[x], 2, hasBelow);
    mean.Add(below[right], 1, hasBelow & hasRight);
    mean.Store(record, x, y);
}

uint32_t CountEdgePixels(const EdgeScan& scan)
{
    uint32_t count = 0;
    for (uint32_t y = 0; y < scan.Height(); ++y) {
        Lanes rowCounts = 0;
        scan.ScanRow(y, [&rowCounts](uint32_t, Lanes edges) { rowCounts += edges >> 15; });
        count += uint32_t((rowCounts * laneOnes) >> 48);
    }
    return count;
}

// Writes the position of every lane of the group, moving on only past those
// of edge pixels, so that no branch depends on where the edges lie; the list
// must have room for four.
EdgePixel* PlaceGroup(EdgePixel* out, uint32_t firstColumn, uint32_t y, Lanes edges)
{
    for (uint32_t lane = 0; lane < lanesPerWord; ++lane) {
        out->x = uint16_t(firstColumn + lane);
        out->y = uint16_t(y);
        out += (edges >> (16 * lane + 15)) & 1;
    }
    return out;
}

void PlaceEdgePixels(const EdgeScan& scan, EdgePixel* out, EdgePixel* end)
{
    for (uint32_t y = 0; y < scan.Height(); ++y)
        scan.ScanRow(y, [&](uint32_t firstColumn, Lanes edges) {
            if (!edges)
                return;
            if (end - out >= ptrdiff_t(lanesPerWord)) {
                out = PlaceGroup(out, firstColumn, y, edges);
                return;
            }
            for (; edges; edges &= edges - 1)
                *out++ = {uint16_t(firstColumn + LaneOf(edges)), uint16_t(y), 0, 0};
        });
}

// Positions first, colours after: the scan runs with fewer mispredicted
// branches when it does not stop at each edge pixel to measure it.
void FillEdgePixels(const EdgeScan& scan, EdgePixel* out, uint32_t count)
{
    PlaceEdgePixels(scan, out, out + count);
    for (EdgePixel* record = out; record != out + count; ++record)
        MeasureEdgePixel(scan, record);
}

// The share of `colour` in percent for each blend weight; that of the
// destination is the rest.
constexpr std::array<uint8_t, 256> colourShares = [] {
    std::array<uint8_t, 256> shares{};
    for (uint32_t weight = 0; weight < shares.size(); ++weight)
        shares[weight] = weight == 8 || weight == 17 || weight == 25 || weight == 33 || weight == 42 ? weight : 50;
    return shares;
}();

// Exact quotient by 100 for mixes of up to 100 x 63.
uint32_t DivideBy100(uint32_t sum)
{
    return (sum * 5243) >> 19;
}

uint32_t MixChannel(uint32_t destination, uint32_t colour, uint32_t destinationShare, uint32_t colourShare)
{
    return DivideBy100(destination * destinationShare + colour * colourShare);
}

// Records hold positions in 16 bits, and the count of a row is summed in a
// 16-bit lane.
constexpr uint32_t largestSide = 0xFFFF;

// At most this many records go to memory of their own before the list's size
// is known: 256 KB, which a heap takes from memory it keeps rather than from
// pages mapped afresh for each list.
constexpr size_t recordsFirst = 32768;

// The vector row loops of each blit level; the portable scan above for the
// portable level.
const EdgeRowKernels* SelectedEdgeKernels()
{
    const EdgeRowKernels* const levels[] = {nullptr,           &sse2EdgeKernels, &ssse3EdgeKernels,
                                            &ssse3EdgeKernels, &avx2EdgeKernels, &avx512EdgeKernels};
    return levels[size_t(SelectedBlitKernels())];
}

// The rows of the sheet three at a time, as the row loops read them: the
// sheet's own rows up to the last multiple of edgeLanesMost pixels, the rest
// of each copied in turn into three of four tails of key pixels. A row of key
// pixels and the fourth tail stand for the rows above the first and below the
// last. The loops' rows of sums lie after them.
class RowSource {
public:
    explicit RowSource(const EdgeScan& scan)
        : scan_(scan), tailStart_(scan.Width() / edgeLanesMost * edgeLanesMost),
          sumStride_(RoundUp(edgeSumLead + scan.Width() + 3 * edgeLanesMost)),
          memory_(new(std::nothrow) uint16_t[Total()])
    {
        if (!memory_)
            return;
        const uintptr_t address = reinterpret_cast<uintptr_t>(memory_.get());
        keyRow_ = memory_.get() + (0 - address) % vectorBytes / sizeof(uint16_t);
        tails_ = keyRow_ + tailStart_;
        sums_ = tails_ + tails * edgeTailPixels + edgeSumLead;
        std::fill(keyRow_, sums_ - edgeSumLead, scan.Key());
        std::fill_n(sums_ - edgeSumLead, edgeSumRows * sumStride_, 0);
    }

    bool Failed() const { return !memory_; }

    // Calls visit(rows, y) for each row y of the sheet from `first` on, top
    // to bottom.
    template <typename Visit>
    void ForEach(uint32_t first, Visit&& visit)
    {
        const uint16_t* const keyTail = Tail(3);
        EdgeRows rows = {keyRow_, scan_.Row(first), keyRow_, keyTail, CopyTail(1, first), keyTail, tailStart_,
                         sums_,   ptrdiff_t(sumStride_)};
        if (first > 0) {
            rows.above = scan_.Row(first - 1);
            rows.aboveTail = CopyTail(0, first - 1);
        }
        for (uint32_t y = first, below = 2; y < scan_.Height(); ++y, below = below == 2 ? 0 : below + 1) {
            const bool last = y + 1 == scan_.Height();
            rows.below = last ? keyRow_ : scan_.Row(y + 1);
            rows.belowTail = last ? keyTail : CopyTail(below, y + 1);
            visit(rows, y);
            rows.above = rows.row;
            rows.aboveTail = rows.rowTail;
            rows.row = rows.below;
            rows.rowTail = rows.belowTail;
        }
    }

private:
    static constexpr uint32_t tails = 4;
    static constexpr size_t vectorBytes = edgeLanesMost * sizeof(uint16_t);

    static size_t RoundUp(size_t pixels) { return (pixels + edgeLanesMost - 1) / edgeLanesMost * edgeLanesMost; }

    // Room to align the key row to a whole vector, then everything.
    size_t Total() const
    {
        return edgeLanesMost + tailStart_ + tails * edgeTailPixels + edgeSumRows * sumStride_;
    }

    uint16_t* Tail(uint32_t tail) const { return tails_ + tail * edgeTailPixels; }

    const uint16_t* CopyTail(uint32_t tail, uint32_t y) const
    {
        std::memcpy(Tail(tail), scan_.Row(y) + tailStart_, (scan_.Width() - tailStart_) * sizeof(uint16_t));
        return Tail(tail);
    }

    const EdgeScan& scan_;
    uint32_t tailStart_;
    size_t sumStride_;
    std::unique_ptr<uint16_t[]> memory_;
    uint16_t* keyRow_ = nullptr;
    uint16_t* tails_ = nullptr;
    uint16_t* sums_ = nullptr;
};

// The records go to memory of their own first, as long as it has room for
// all of a row's; the rows after that are only counted. The list is then made
// at its size, those records copied into it and the counted rows listed after
// them: most sprites take one pass over their pixels. Without memory for the
// records first, every row is counted first.
uint32_t BuildWithKernels(const EdgeScan& scan, const EdgeRowKernels& kernels, EdgePixel** list)
{
    RowSource rows(scan);
    if (rows.Failed())
        return 0;
    const uint32_t width = scan.Width();
    const size_t firstRoom = std::min(size_t(width) * scan.Height(), recordsFirst);
    const std::unique_ptr<EdgePixel[]> first(new (std::nothrow) EdgePixel[firstRoom]);
    EdgePixel* const firstEnd = first ? first.get() + firstRoom : nullptr;
    EdgePixel* out = first.get();
    uint32_t counted = 0, firstCounted = scan.Height();
    rows.ForEach(0, [&](const EdgeRows& three, uint32_t y) {
        if (firstCounted == scan.Height() && firstEnd - out >= ptrdiff_t(width)) {
            out = kernels.place(out, firstEnd, three, width, y, scan.Key());
            return;
        }
        firstCounted = std::min(firstCounted, y);
        counted += kernels.count(three, width, scan.Key());
    });
    const uint32_t listedFirst = uint32_t(out - first.get());
    const uint32_t count = listedFirst + counted;
    if (count == 0)
        return 0;
    EdgePixel* records = new (std::nothrow) EdgePixel[count];
    if (!records)
        return 0;
    if (listedFirst)
        std::memcpy(records, first.get(), listedFirst * sizeof(EdgePixel));
    if (counted) {
        out = records + listedFirst;
        EdgePixel* const end = records + count;
        rows.ForEach(firstCounted, [&](const EdgeRows& three, uint32_t y) {
            out = kernels.place(out, end, three, width, y, scan.Key());
        });
    }
    *list = records;
    return count;
}

}

uint32_t BuildEdgeList(const uint16_t* pixels, uint32_t height, uint32_t width, int32_t pitch, uint16_t key,
                       EdgePixel** list)
{
    if (height == 0 || width == 0 || height > largestSide || width > largestSide)
        return 0;
    const EdgeScan scan(pixels, height, width, pitch, key);
    if (const EdgeRowKernels* kernels = SelectedEdgeKernels())
        return BuildWithKernels(scan, *kernels, list);
    const uint32_t count = CountEdgePixels(scan);
    if (count == 0)
        return 0;
    EdgePixel* records = new (std::nothrow) EdgePixel[count];
    if (!records)
        return 0;
    FillEdgePixels(scan, records, count);
    *list = records;
    return count;
}

uint16_t BlendRgb565(uint16_t destination, uint16_t colour, uint8_t weight)
{
    const uint32_t colourShare = colourShares[weight];
    const uint32_t destinationShare = 100 - colourShare;
    const uint32_t red = MixChannel(destination >> 11, colour >> 11, destinationShare, colourShare);
    const uint32_t green = MixChannel(destination >> 5 & 0x3F, colour >> 5 & 0x3F, destinationShare, colourShare);
    const uint32_t blue = MixChannel(destination & 0x1F, colour & 0x1F, destinationShare, colourShare);
    return uint16_t(red << 11 | green << 5 | blue);
}

void ApplyEdgeList(const PixelPlane& destination, const EdgeListPlacement& placement, const EdgePixel* list,
                   uint32_t count, bool destinationKeyed, uint32_t destinationKey)
{
    // Record (x, y) lands at origin + y * rowStep + x * columnStep, the origin
    // being where record (0, 0) lands.
    const uint32_t originColumn =
        placement.mirrorLeftRight ? placement.left + placement.sourceWidth - 1 : placement.left;
    const uint32_t originRow = placement.mirrorUpDown ? placement.top + placement.sourceHeight - 1 : placement.top;
    uint8_t* const origin = destination.pixels + ptrdiff_t(originRow) * destination.pitch +
                            ptrdiff_t(originColumn) * ptrdiff_t(sizeof(uint16_t));
    const ptrdiff_t rowStep = placement.mirrorUpDown ? -destination.pitch : destination.pitch;
    const ptrdiff_t columnStep = placement.mirrorLeftRight ? -ptrdiff_t(sizeof(uint16_t)) : ptrdiff_t(sizeof(uint16_t));
    for (const EdgePixel* record = list; record != list + count; ++record) {
        if (record->x >= placement.sourceWidth || record->y >= placement.sourceHeight)
            continue;
        uint16_t* const target = reinterpret_cast<uint16_t*>(origin + record->y * rowStep + record->x * columnStep);
        if (destinationKeyed && uint32_t(*target) == destinationKey)
            continue;
        *target = BlendRgb565(*target, record->colour, record->weight);
    }
}
