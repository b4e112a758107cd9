#include "pixels/blit/Blit.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <type_traits>

#include "pixels/blit/BlitKernels.h"
#include "pixels/common/ProcessorFeatures.h"

template <typename Pixel>
void FillRowPortable(Pixel* row, uint32_t count, Pixel colour)
{
    if constexpr (sizeof(Pixel) == 1) {
        std::memset(row, colour, count);
    } else {
        const uint32_t pair = uint32_t(colour) * 0x10001u;
        uint8_t* out = reinterpret_cast<uint8_t*>(row);
        uint8_t* const pairsEnd = out + size_t(count / 2) * sizeof(pair);
        for (; out != pairsEnd; out += sizeof(pair))
            std::memcpy(out, &pair, sizeof(pair));
        if (count % 2)
            std::memcpy(out, &colour, sizeof(colour));
    }
}

// Every destination pixel is written, a keyed one with the value it has: a
// choice between two values costs less than a branch on the pixels.
template <typename Pixel>
void KeyedRowForwardPortable(Pixel* to, const Pixel* from, uint32_t count, Pixel key)
{
    for (const Pixel* const end = from + count; from != end; ++from, ++to)
        *to = *from == key ? *to : *from;
}

template <typename Pixel>
void KeyedRowBackwardPortable(Pixel* to, const Pixel* from, uint32_t count, Pixel key)
{
    for (uint32_t left = count; left != 0; --left)
        to[left - 1] = from[left - 1] == key ? to[left - 1] : from[left - 1];
}

template <typename Pixel>
void MirroredRowPortable(Pixel* to, const Pixel* from, uint32_t count)
{
    for (const Pixel* const end = to + count; to != end; ++to)
        *to = from[--count];
}

template <typename Pixel>
void MirroredKeyedRowPortable(Pixel* to, const Pixel* from, uint32_t count, Pixel key)
{
    for (const Pixel* const end = to + count; to != end; ++to) {
        const Pixel pixel = from[--count];
        *to = pixel == key ? *to : pixel;
    }
}

// Both copies of a pixel in one store.
template <typename Pixel>
void DoubledRowPortable(Pixel* to, const Pixel* from, uint32_t count)
{
    using Pair = std::conditional_t<sizeof(Pixel) == 1, uint16_t, uint32_t>;
    constexpr Pair twice = sizeof(Pixel) == 1 ? 0x0101u : 0x10001u;
    uint8_t* out = reinterpret_cast<uint8_t*>(to);
    for (const Pixel* const end = from + count; from != end; ++from, out += sizeof(Pair)) {
        const Pair pair = Pair(*from * twice);
        std::memcpy(out, &pair, sizeof(pair));
    }
}

template void FillRowPortable(uint8_t*, uint32_t, uint8_t);
template void FillRowPortable(uint16_t*, uint32_t, uint16_t);
template void KeyedRowForwardPortable(uint8_t*, const uint8_t*, uint32_t, uint8_t);
template void KeyedRowForwardPortable(uint16_t*, const uint16_t*, uint32_t, uint16_t);
template void KeyedRowBackwardPortable(uint8_t*, const uint8_t*, uint32_t, uint8_t);
template void KeyedRowBackwardPortable(uint16_t*, const uint16_t*, uint32_t, uint16_t);
template void MirroredRowPortable(uint8_t*, const uint8_t*, uint32_t);
template void MirroredRowPortable(uint16_t*, const uint16_t*, uint32_t);
template void MirroredKeyedRowPortable(uint8_t*, const uint8_t*, uint32_t, uint8_t);
template void MirroredKeyedRowPortable(uint16_t*, const uint16_t*, uint32_t, uint16_t);
template void DoubledRowPortable(uint8_t*, const uint8_t*, uint32_t);
template void DoubledRowPortable(uint16_t*, const uint16_t*, uint32_t);

namespace {

template <typename Pixel>
constexpr BlitRowKernels<Pixel> portableRowKernels = {
    FillRowPortable<Pixel>,     KeyedRowForwardPortable<Pixel>,  KeyedRowBackwardPortable<Pixel>,
    MirroredRowPortable<Pixel>, MirroredKeyedRowPortable<Pixel>, DoubledRowPortable<Pixel>,
    nullptr,                    nullptr,
};

BlitKernels selectedKernels = BestBlitKernels();

// Each level's row loops, in the order of BlitKernels.
const BlitRowKernels<uint8_t>* const levels8[] = {&portableRowKernels<uint8_t>, &sse2RowKernels8, &ssse3RowKernels8,
                                                  &sse41RowKernels8, &avx2RowKernels8, &avx512RowKernels8};
const BlitRowKernels<uint16_t>* const levels16[] = {&portableRowKernels<uint16_t>, &sse2RowKernels16,
                                                    &ssse3RowKernels16, &sse41RowKernels16, &avx2RowKernels16,
                                                    &avx512RowKernels16};

template <typename Pixel>
const BlitRowKernels<Pixel>& SelectedRowKernels()
{
    if constexpr (sizeof(Pixel) == 1)
        return *levels8[size_t(selectedKernels)];
    else
        return *levels16[size_t(selectedKernels)];
}

// A key wider than the pixel matches nothing, and the copy is a plain one.
template <typename Pixel>
bool KeyCanMatch(const CopyEffects& effects)
{
    return effects.keyed && effects.key <= std::numeric_limits<Pixel>::max();
}

template <typename Pixel>
Pixel* PixelsAt(uint8_t* bytes)
{
    return reinterpret_cast<Pixel*>(bytes);
}

template <typename Pixel>
const Pixel* PixelsAt(const uint8_t* bytes)
{
    return reinterpret_cast<const Pixel*>(bytes);
}

// The memory of a rectangle of a plane.
struct Area {
    uint8_t* first;
    ptrdiff_t pitch;
    size_t rowBytes;
    uint32_t rows;

    uint8_t* Row(uint32_t row) const { return first + ptrdiff_t(row) * pitch; }
};

// Rows that follow each other in memory are one long row, run through in
// one call: whole-surface fills and copies are the common ones.
bool RowsFollowOn(const Area& area)
{
    return area.pitch == ptrdiff_t(area.rowBytes) &&
           uint64_t(area.rowBytes) * area.rows <= std::numeric_limits<uint32_t>::max();
}

Area AsOneRow(const Area& area)
{
    return {area.first, ptrdiff_t(area.rowBytes * area.rows), area.rowBytes * area.rows, 1};
}

template <typename Pixel>
Area AreaOf(const PixelPlane& plane, const PixelRect& rect)
{
    return {plane.pixels + ptrdiff_t(rect.top) * plane.pitch + ptrdiff_t(rect.left) * ptrdiff_t(sizeof(Pixel)),
            plane.pitch, size_t(rect.right - rect.left) * sizeof(Pixel), rect.bottom - rect.top};
}

bool RectsIntersect(const PixelRect& a, const PixelRect& b)
{
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

// Addresses as numbers: the two areas may lie in different allocations.
struct ByteSpan {
    uintptr_t begin;
    uintptr_t end;
};

ByteSpan SpanOf(const Area& area)
{
    const uintptr_t firstRow = reinterpret_cast<uintptr_t>(area.first);
    const uintptr_t lastRow = reinterpret_cast<uintptr_t>(area.Row(area.rows - 1));
    return {std::min(firstRow, lastRow), std::max(firstRow, lastRow) + area.rowBytes};
}

// Two views of one plane overlap where their rectangles do; views of other
// planes, or of one plane's memory through another pitch, are told apart by
// the bytes they span, which may call separate interleaved areas overlapping
// but never misses an overlap.
bool AreasOverlap(const PixelPlane& a, const PixelRect& aRect, const Area& aArea, const PixelPlane& b,
                  const PixelRect& bRect, const Area& bArea)
{
    if (a.pixels == b.pixels && a.pitch == b.pitch)
        return RectsIntersect(aRect, bRect);
    const ByteSpan aSpan = SpanOf(aArea);
    const ByteSpan bSpan = SpanOf(bArea);
    return aSpan.begin < bSpan.end && bSpan.begin < aSpan.end;
}

// The source rectangle copied to memory of its own, rows packed, so that a
// copy that cannot be ordered reads an untouched source. Empty when there was
// no memory for it.
template <typename Pixel>
class SetAside {
public:
    explicit SetAside(const Area& source)
        : pixels_(Allocate(uint64_t(source.rowBytes / sizeof(Pixel)) * source.rows)),
          area_{reinterpret_cast<uint8_t*>(pixels_.get()), ptrdiff_t(source.rowBytes), source.rowBytes, source.rows}
    {
        if (pixels_)
            for (uint32_t row = 0; row < source.rows; ++row)
                std::memcpy(area_.Row(row), source.Row(row), source.rowBytes);
    }

    bool Failed() const { return !pixels_; }
    const Area& Pixels() const { return area_; }

private:
    static Pixel* Allocate(uint64_t count)
    {
        if (count > std::numeric_limits<size_t>::max() / sizeof(Pixel))
            return nullptr;
        return new (std::nothrow) Pixel[size_t(count)];
    }

    std::unique_ptr<Pixel[]> pixels_;
    Area area_;
};

// Writing in falling addresses when the destination lies above its source in
// memory, and in rising ones otherwise, reads every source pixel before
// anything overwrites it, as long as both areas have the same pitch.
struct CopyOrder {
    bool lastRowFirst;
    bool backwardInRows;
};

CopyOrder OrderFor(const Area& to, const Area& from)
{
    const bool fallingAddresses = reinterpret_cast<uintptr_t>(to.first) > reinterpret_cast<uintptr_t>(from.first);
    return {fallingAddresses == (to.pitch > 0), fallingAddresses};
}

// Calls copyRow for every destination row, in the order asked for, with the
// source row it takes.
template <typename CopyOneRow>
void ForEachRow(const Area& to, const Area& from, bool mirrorUpDown, bool lastRowFirst, CopyOneRow copyRow)
{
    const uint32_t last = to.rows - 1;
    for (uint32_t step = 0; step < to.rows; ++step) {
        const uint32_t row = lastRowFirst ? last - step : step;
        copyRow(to.Row(row), from.Row(mirrorUpDown ? last - row : row));
    }
}

template <typename Pixel>
void CopyRows(const Area& to, const Area& from, const CopyEffects& effects, bool overlapping)
{
    const BlitRowKernels<Pixel>& kernels = SelectedRowKernels<Pixel>();
    const uint32_t width = uint32_t(to.rowBytes / sizeof(Pixel));
    const Pixel key = Pixel(effects.key);
    const bool keyed = KeyCanMatch<Pixel>(effects);
    const CopyOrder order = overlapping ? OrderFor(to, from) : CopyOrder{false, false};
    auto rows = [&](auto copyRow) { ForEachRow(to, from, effects.mirrorUpDown, order.lastRowFirst, copyRow); };
    if (effects.mirrorLeftRight && keyed)
        rows([&](uint8_t* out, const uint8_t* in) {
            kernels.mirroredKeyed(PixelsAt<Pixel>(out), PixelsAt<Pixel>(in), width, key);
        });
    else if (effects.mirrorLeftRight)
        rows([&](uint8_t* out, const uint8_t* in) {
            kernels.mirrored(PixelsAt<Pixel>(out), PixelsAt<Pixel>(in), width);
        });
    else if (keyed)
        rows([&, keyedRow = order.backwardInRows ? kernels.keyedBackward : kernels.keyedForward](
                 uint8_t* out, const uint8_t* in) { keyedRow(PixelsAt<Pixel>(out), PixelsAt<Pixel>(in), width, key); });
    else if (overlapping)
        rows([&](uint8_t* out, const uint8_t* in) { std::memmove(out, in, to.rowBytes); });
    else
        rows([&](uint8_t* out, const uint8_t* in) { std::memcpy(out, in, to.rowBytes); });
}

// Mirrored rows are reversed, or taken from the bottom up, one at a time, so
// only unmirrored copies run their rows together.
template <typename Pixel>
void CopyArea(const Area& to, const Area& from, const CopyEffects& effects, bool overlapping)
{
    if (!effects.mirrorLeftRight && !effects.mirrorUpDown && RowsFollowOn(to) && RowsFollowOn(from))
        CopyRows<Pixel>(AsOneRow(to), AsOneRow(from), effects, overlapping);
    else
        CopyRows<Pixel>(to, from, effects, overlapping);
}

template <typename Pixel>
bool CopyRect(const PixelPlane& destination, uint32_t x, uint32_t y, const PixelPlane& source,
              const PixelRect& sourceRect, const CopyEffects& effects)
{
    if (sourceRect.right <= sourceRect.left || sourceRect.bottom <= sourceRect.top)
        return true;
    const PixelRect destinationRect = {x, y, x + (sourceRect.right - sourceRect.left),
                                       y + (sourceRect.bottom - sourceRect.top)};
    const Area to = AreaOf<Pixel>(destination, destinationRect);
    const Area from = AreaOf<Pixel>(source, sourceRect);
    const bool overlapping = AreasOverlap(destination, destinationRect, to, source, sourceRect, from);
    const bool orderable = !effects.mirrorLeftRight && !effects.mirrorUpDown && destination.pitch == source.pitch;
    if (overlapping && !orderable) {
        const SetAside<Pixel> untouched(from);
        if (untouched.Failed())
            return false;
        CopyArea<Pixel>(to, untouched.Pixels(), effects, false);
        return true;
    }
    CopyArea<Pixel>(to, from, effects, overlapping);
    return true;
}

// One axis of a stretch: the source position moves on by the quotient per
// destination step, and by one more whenever the remainders add up to the
// destination size. Comparing the accumulator with the shortfall instead of
// adding first keeps the sum from overflowing.
class Stepping {
public:
    Stepping(uint32_t sourceSize, uint32_t size)
        : quotient_(sourceSize / size), remainder_(sourceSize % size), shortfall_(size - remainder_)
    {
    }

    uint32_t Next()
    {
        if (accumulator_ >= shortfall_) {
            accumulator_ -= shortfall_;
            return quotient_ + 1;
        }
        accumulator_ += remainder_;
        return quotient_;
    }

private:
    uint32_t quotient_;
    uint32_t remainder_;
    uint32_t shortfall_;
    uint32_t accumulator_ = 0;
};

template <typename Pixel, typename Plan>
constexpr uint32_t shuffledLanes = Plan::bytes / sizeof(Pixel);

// A row fits shuffles when every vector of it takes its pixels from one
// vector's worth of the source row: its pixels step through at most
// (lanes - 1) * sourceWidth / width + 1 source pixels beyond its first, so a
// row enlarged by (lanes - 1) / (lanes - 2) or more fits. Both rows must be a
// vector long at least, the row no longer than a plan holds.
template <typename Pixel, typename Plan>
bool FitsShuffles(uint32_t sourceWidth, uint32_t width)
{
    constexpr uint32_t lanes = shuffledLanes<Pixel, Plan>;
    return sourceWidth >= lanes && width >= lanes && width <= Plan::maxVectors * lanes &&
           uint64_t(sourceWidth) * (lanes - 1) <= uint64_t(width) * (lanes - 2);
}

// The source column of every destination column, mirrored as the row is.
void TakenColumns(uint16_t* taken, uint32_t sourceWidth, uint32_t width, bool mirrored)
{
    Stepping columns(sourceWidth, width);
    uint32_t column = 0;
    for (uint32_t step = 0; step < width; ++step) {
        taken[mirrored ? width - 1 - step : step] = uint16_t(column);
        column += columns.Next();
    }
}

// Each vector loads from its leftmost source pixel, or from a vector before
// the source row's end where that would read past it.
template <typename Pixel, typename Plan>
void PlanShuffles(Plan& plan, uint32_t sourceWidth, uint32_t width, bool mirrored)
{
    constexpr uint32_t lanes = shuffledLanes<Pixel, Plan>;
    uint16_t taken[Plan::maxVectors * lanes];
    TakenColumns(taken, sourceWidth, width, mirrored);
    plan.vectors = (width + lanes - 1) / lanes;
    for (uint32_t vector = 0; vector < plan.vectors; ++vector) {
        const uint32_t start = std::min(vector * lanes, width - lanes);
        const uint16_t* const columns = taken + start;
        const uint32_t offset = std::min({uint32_t(columns[0]), uint32_t(columns[lanes - 1]), sourceWidth - lanes});
        plan.starts[vector] = start;
        plan.offsets[vector] = offset;
        for (uint32_t byte = 0; byte < Plan::bytes; ++byte)
            plan.masks[vector][byte] =
                uint8_t((columns[byte / sizeof(Pixel)] - offset) * sizeof(Pixel) + byte % sizeof(Pixel));
    }
}

// How every computed row of a stretch is written. A left-right mirror writes
// the row from its right end leftwards.
template <typename Pixel>
struct StretchedRow {
    StretchedRow(uint32_t sourceWidth, uint32_t width, const CopyEffects& effects)
        : columns(sourceWidth, width),
          count(width),
          first(effects.mirrorLeftRight ? ptrdiff_t(width) - 1 : 0),
          step(effects.mirrorLeftRight ? -1 : 1),
          key(Pixel(effects.key)),
          keyed(KeyCanMatch<Pixel>(effects)),
          doubled(!keyed && !effects.mirrorLeftRight && uint64_t(sourceWidth) * 2 == width),
          oneToOne(sourceWidth == width)
    {
    }

    Stepping columns;
    uint32_t count;
    ptrdiff_t first;
    ptrdiff_t step;
    Pixel key;
    bool keyed;
    bool doubled;
    bool oneToOne;
    // The row's shuffles, where the level has them and the row fits them:
    // 64-byte ones where it can, else 16-byte ones.
    const WideShuffledColumns* wideShuffles = nullptr;
    const ShuffledColumns* shuffles = nullptr;

    bool Shuffles() const { return wideShuffles || shuffles; }

    // Also into `copy` unless that is null.
    void Shuffle(Pixel* to, Pixel* copy, const Pixel* from, const BlitRowKernels<Pixel>& kernels) const
    {
        if (wideShuffles)
            kernels.wideShuffled(to, copy, from, *wideShuffles);
        else
            kernels.shuffled(to, copy, from, *shuffles);
    }

    void ShuffleKeyed(Pixel* to, const Pixel* from, const BlitRowKernels<Pixel>& kernels) const
    {
        if (wideShuffles)
            kernels.wideShuffledKeyed(to, from, *wideShuffles, key);
        else
            kernels.shuffledKeyed(to, from, *shuffles, key);
    }
};

template <typename Pixel, bool keyed>
void StretchColumns(Pixel* to, const Pixel* from, const StretchedRow<Pixel>& row)
{
    Stepping columns = row.columns;
    ptrdiff_t out = row.first;
    for (uint32_t column = 0; column < row.count; ++column, out += row.step) {
        to[out] = keyed && *from == row.key ? to[out] : *from;
        from += columns.Next();
    }
}

// Columns taken one to one, as in a stretch of the height alone, are a row
// copy; the rows of a stretch share no memory.
template <typename Pixel>
void WriteCopiedRow(Pixel* to, const Pixel* from, const StretchedRow<Pixel>& row, const BlitRowKernels<Pixel>& kernels)
{
    const bool mirrored = row.step < 0;
    if (mirrored && row.keyed)
        kernels.mirroredKeyed(to, from, row.count, row.key);
    else if (mirrored)
        kernels.mirrored(to, from, row.count);
    else if (row.keyed)
        kernels.keyedForward(to, from, row.count, row.key);
    else
        std::memcpy(to, from, size_t(row.count) * sizeof(Pixel));
}

template <typename Pixel>
void WriteStretchedRow(Pixel* to, const Pixel* from, const StretchedRow<Pixel>& row,
                       const BlitRowKernels<Pixel>& kernels)
{
    if (row.doubled)
        kernels.doubled(to, from, row.count / 2);
    else if (row.oneToOne)
        WriteCopiedRow(to, from, row, kernels);
    else if (row.Shuffles() && row.keyed)
        row.ShuffleKeyed(to, from, kernels);
    else if (row.Shuffles())
        row.Shuffle(to, nullptr, from, kernels);
    else if (row.keyed)
        StretchColumns<Pixel, true>(to, from, row);
    else
        StretchColumns<Pixel, false>(to, from, row);
}

// The destination rows of a stretch in the order they are walked: bottom-up
// under an up-down mirror.
template <typename Pixel>
struct StretchTarget {
    Pixel* Row(uint32_t step) const
    {
        const uint32_t row = mirrorUpDown ? height - 1 - step : step;
        return destination + ptrdiff_t(top + row) * stride + left;
    }

    Pixel* destination;
    ptrdiff_t stride;
    uint32_t left;
    uint32_t top;
    uint32_t height;
    bool mirrorUpDown;
};

// `count` rows from `first` on all take the source row `from`: it is computed
// once, into two rows at a time where the shuffles can, and block-copied into
// the others. A keyed row leaves pixels of the destination showing, so it is
// never a copy of another.
template <typename Pixel>
void WriteRowRun(const StretchTarget<Pixel>& target, uint32_t first, uint32_t count, const Pixel* from,
                 const StretchedRow<Pixel>& row, const BlitRowKernels<Pixel>& kernels)
{
    const uint32_t end = first + count;
    if (row.keyed) {
        for (uint32_t step = first; step < end; ++step)
            WriteStretchedRow(target.Row(step), from, row, kernels);
        return;
    }
    Pixel* const computed = target.Row(first);
    uint32_t step = first + 1;
    if (row.Shuffles() && count > 1)
        row.Shuffle(computed, target.Row(step++), from, kernels);
    else
        WriteStretchedRow(computed, from, row, kernels);
    for (; step < end; ++step)
        std::memcpy(target.Row(step), computed, size_t(row.count) * sizeof(Pixel));
}

// A doubled row has a loop of its own and is not planned.
template <typename Pixel>
void PlanRowShuffles(StretchedRow<Pixel>& row, const BlitRowKernels<Pixel>& kernels, uint32_t sourceWidth,
                     bool mirrored, WideShuffledColumns& wide, ShuffledColumns& narrow)
{
    if (kernels.wideShuffled && FitsShuffles<Pixel, WideShuffledColumns>(sourceWidth, row.count)) {
        PlanShuffles<Pixel>(wide, sourceWidth, row.count, mirrored);
        row.wideShuffles = &wide;
    } else if (kernels.shuffled && FitsShuffles<Pixel, ShuffledColumns>(sourceWidth, row.count)) {
        PlanShuffles<Pixel>(narrow, sourceWidth, row.count, mirrored);
        row.shuffles = &narrow;
    }
}

template <typename Pixel>
void StretchCopy(Pixel* destination, const Pixel* source, const PixelRect& sourceRect, ptrdiff_t sourceStride,
                 const PixelRect& destinationRect, ptrdiff_t destinationStride, const CopyEffects& effects)
{
    const uint32_t width = destinationRect.right - destinationRect.left;
    const uint32_t height = destinationRect.bottom - destinationRect.top;
    if (width == 0 || height == 0)
        return;
    const uint32_t sourceWidth = sourceRect.right - sourceRect.left;
    StretchedRow<Pixel> computed(sourceWidth, width, effects);
    const BlitRowKernels<Pixel>& kernels = SelectedRowKernels<Pixel>();
    WideShuffledColumns wideShuffles;
    ShuffledColumns shuffles;
    if (!computed.doubled)
        PlanRowShuffles(computed, kernels, sourceWidth, effects.mirrorLeftRight, wideShuffles, shuffles);
    const StretchTarget<Pixel> target = {destination,       destinationStride, destinationRect.left,
                                         destinationRect.top, height,            effects.mirrorUpDown};
    Stepping rows(sourceRect.bottom - sourceRect.top, height);
    uint32_t sourceRow = 0;
    for (uint32_t step = 0; step < height;) {
        uint32_t count = 1;
        uint32_t advance = rows.Next();
        for (; advance == 0 && step + count < height; advance = rows.Next())
            ++count;
        WriteRowRun(target, step, count,
                    source + ptrdiff_t(sourceRect.top + sourceRow) * sourceStride + sourceRect.left, computed, kernels);
        step += count;
        sourceRow += advance;
    }
}

template <typename Pixel>
bool StretchRect(const PixelPlane& destination, const PixelRect& destinationRect, const PixelPlane& source,
                 const PixelRect& sourceRect, const CopyEffects& effects)
{
    if (destinationRect.right <= destinationRect.left || destinationRect.bottom <= destinationRect.top)
        return true;
    const Area to = AreaOf<Pixel>(destination, destinationRect);
    const Area from = AreaOf<Pixel>(source, sourceRect);
    const ptrdiff_t destinationStride = destination.pitch / ptrdiff_t(sizeof(Pixel));
    Pixel* const destinationPixels = PixelsAt<Pixel>(destination.pixels);
    if (!AreasOverlap(destination, destinationRect, to, source, sourceRect, from)) {
        StretchCopy(destinationPixels, PixelsAt<Pixel>(source.pixels), sourceRect,
                    source.pitch / ptrdiff_t(sizeof(Pixel)), destinationRect, destinationStride, effects);
        return true;
    }
    const SetAside<Pixel> untouched(from);
    if (untouched.Failed())
        return false;
    const PixelRect asideRect = {0, 0, sourceRect.right - sourceRect.left, sourceRect.bottom - sourceRect.top};
    StretchCopy(destinationPixels, PixelsAt<Pixel>(untouched.Pixels().first), asideRect, ptrdiff_t(asideRect.right),
                destinationRect, destinationStride, effects);
    return true;
}

template <typename Pixel>
void FillRect(const PixelPlane& destination, const PixelRect& rect, Pixel colour)
{
    if (rect.right <= rect.left || rect.bottom <= rect.top)
        return;
    const Area rows = AreaOf<Pixel>(destination, rect);
    const Area area = RowsFollowOn(rows) ? AsOneRow(rows) : rows;
    const auto fill = SelectedRowKernels<Pixel>().fill;
    const uint32_t width = uint32_t(area.rowBytes / sizeof(Pixel));
    for (uint32_t row = 0; row < area.rows; ++row)
        fill(PixelsAt<Pixel>(area.Row(row)), width, colour);
}

}

void FillRect8(const PixelPlane& destination, const PixelRect& rect, uint8_t colour)
{
    FillRect(destination, rect, colour);
}

// A colour whose two bytes are alike, black and white among them, is a byte
// fill, which the C library does fastest.
void FillRect16(const PixelPlane& destination, const PixelRect& rect, uint16_t colour)
{
    const uint8_t low = uint8_t(colour);
    if (low == uint8_t(colour >> 8))
        FillRect(destination, {rect.left * 2, rect.top, rect.right * 2, rect.bottom}, low);
    else
        FillRect(destination, rect, colour);
}

bool CopyRect8(const PixelPlane& destination, uint32_t x, uint32_t y, const PixelPlane& source,
               const PixelRect& sourceRect, const CopyEffects& effects)
{
    return CopyRect<uint8_t>(destination, x, y, source, sourceRect, effects);
}

bool CopyRect16(const PixelPlane& destination, uint32_t x, uint32_t y, const PixelPlane& source,
                const PixelRect& sourceRect, const CopyEffects& effects)
{
    return CopyRect<uint16_t>(destination, x, y, source, sourceRect, effects);
}

void StretchCopy8(uint8_t* destination, const uint8_t* source, PixelRect sourceRect, ptrdiff_t sourceStride,
                  PixelRect destinationRect, ptrdiff_t destinationStride, const CopyEffects& effects)
{
    StretchCopy(destination, source, sourceRect, sourceStride, destinationRect, destinationStride, effects);
}

void StretchCopy16(uint16_t* destination, const uint16_t* source, PixelRect sourceRect, ptrdiff_t sourceStride,
                   PixelRect destinationRect, ptrdiff_t destinationStride, const CopyEffects& effects)
{
    StretchCopy(destination, source, sourceRect, sourceStride, destinationRect, destinationStride, effects);
}

bool StretchRect8(const PixelPlane& destination, const PixelRect& destinationRect, const PixelPlane& source,
                  const PixelRect& sourceRect, const CopyEffects& effects)
{
    return StretchRect<uint8_t>(destination, destinationRect, source, sourceRect, effects);
}

bool StretchRect16(const PixelPlane& destination, const PixelRect& destinationRect, const PixelPlane& source,
                   const PixelRect& sourceRect, const CopyEffects& effects)
{
    return StretchRect<uint16_t>(destination, destinationRect, source, sourceRect, effects);
}

BlitKernels BestBlitKernels()
{
    if (ProcessorHasAvx512())
        return BlitKernels::Avx512;
    if (ProcessorHasAvx2())
        return BlitKernels::Avx2;
    if (ProcessorHasSse41())
        return BlitKernels::Sse41;
    if (ProcessorHasSsse3())
        return BlitKernels::Ssse3;
    if (ProcessorHasSse2())
        return BlitKernels::Sse2;
    return BlitKernels::Portable;
}

void SelectBlitKernels(BlitKernels kernels)
{
    selectedKernels = kernels;
}

BlitKernels SelectedBlitKernels()
{
    return selectedKernels;
}
