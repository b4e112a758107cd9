#include <emmintrin.h>
#include <tmmintrin.h>

#include <cstring>

#include "pixels/upscale/UpscaleKernels.h"

// The kernels below are compiled for SSE2 or SSSE3 through target pragmas, not
// through compiler flags, so that the 32-bit module still loads and runs on a
// processor without them; the routines call them only after the checks of
// ProcessorFeatures.h.
// Nothing outside the pragma regions may be instantiated inside them, or the
// linker could hand a vector instruction to the portable path.

#pragma GCC push_options
#pragma GCC target("sse2")

#include "pixels/common/Sse2Vectors.h"

namespace {

using sse2::Equal;
using sse2::LoadVector;
using sse2::Select;
using sse2::StoreVector;

// A vector of pixels and their four neighbours.
struct Neighbourhood {
    __m128i vertical;
    __m128i opposite;
    __m128i centre;
    __m128i left;
    __m128i right;
};

// Takes the rows by value: vector stores may alias anything, and the compiler
// would otherwise read the row pointers again after each one.
template <typename Pixel>
Neighbourhood LoadNeighbourhood(NeighbourRows<Pixel> rows, uint32_t column)
{
    const Pixel* centre = rows.current + column;
    return {LoadVector(rows.vertical + column), LoadVector(rows.opposite + column), LoadVector(centre),
            LoadVector(centre - 1), LoadVector(centre + 1)};
}

struct HalfBlock {
    __m128i left;
    __m128i right;
};

// The rule without branches: noise, where every pixel takes its own turn
// through the rule, costs what a flat area does. Called with `vertical` and
// `opposite` swapped it gives the lower half; every comparison puts D or F
// first so that the compiler can share them between the two halves.
template <typename Pixel>
HalfBlock RuleHalf(__m128i vertical, __m128i opposite, const Neighbourhood& pixels)
{
    const __m128i dv = Equal<Pixel>(pixels.left, vertical);
    const __m128i dOpposite = Equal<Pixel>(pixels.left, opposite);
    const __m128i fv = Equal<Pixel>(pixels.right, vertical);
    const __m128i fOpposite = Equal<Pixel>(pixels.right, opposite);
    const __m128i takeLeft = _mm_andnot_si128(_mm_or_si128(dOpposite, fv), dv);
    const __m128i takeRight = _mm_andnot_si128(_mm_or_si128(dv, fOpposite), fv);
    return {Select(takeLeft, vertical, pixels.centre), Select(takeRight, vertical, pixels.centre)};
}

}

template <typename Pixel>
void RuleRowSse2(const NeighbourRows<Pixel>& rows, const StripColumns& columns, Pixel* left, Pixel* right)
{
    constexpr uint32_t lanes = 16 / sizeof(Pixel);
    KeepColumns(rows.current, 0, columns.interiorBegin, left, right);
    const uint32_t vectorEnd =
        columns.interiorBegin + (columns.interiorEnd - columns.interiorBegin) / lanes * lanes;
    for (uint32_t column = columns.interiorBegin; column != vectorEnd; column += lanes) {
        const Neighbourhood pixels = LoadNeighbourhood(rows, column);
        const HalfBlock half = RuleHalf<Pixel>(pixels.vertical, pixels.opposite, pixels);
        StoreVector(left + column, half.left);
        StoreVector(right + column, half.right);
    }
    RuleColumns(rows, vectorEnd, columns.interiorEnd, left, right);
    KeepColumns(rows.current, columns.interiorEnd, columns.count, left, right);
}

template void RuleRowSse2(const NeighbourRows<uint16_t>&, const StripColumns&, uint16_t*, uint16_t*);
template void RuleRowSse2(const NeighbourRows<uint32_t>&, const StripColumns&, uint32_t*, uint32_t*);

// Eight pixels at a time, the channels widened in 16-bit lanes: red alone,
// green above blue, then interleaved into four screen colours a vector. The
// last eight overlap the ones before them rather than leave a tail.
void WidenRowSse2(const uint16_t* source, uint32_t count, uint32_t* output)
{
    constexpr uint32_t lanes = 8;
    if (count < lanes)
        return WidenRowPortable(source, count, output);
    for (uint32_t done = 0; done < count; done += lanes) {
        const uint32_t at = done + lanes <= count ? done : count - lanes;
        const __m128i pixels = LoadVector(source + at);
        const __m128i red = _mm_or_si128(_mm_and_si128(_mm_srli_epi16(pixels, 8), _mm_set1_epi16(0x00F8)),
                                         _mm_srli_epi16(pixels, 13));
        const __m128i green = _mm_or_si128(_mm_and_si128(_mm_slli_epi16(pixels, 5), _mm_set1_epi16(short(0xFC00))),
                                           _mm_and_si128(_mm_srli_epi16(pixels, 1), _mm_set1_epi16(0x0300)));
        const __m128i blue = _mm_or_si128(_mm_and_si128(_mm_slli_epi16(pixels, 3), _mm_set1_epi16(0x00F8)),
                                          _mm_and_si128(_mm_srli_epi16(pixels, 2), _mm_set1_epi16(0x0007)));
        const __m128i greenBlue = _mm_or_si128(green, blue);
        StoreVector(output + at, _mm_unpacklo_epi16(greenBlue, red));
        StoreVector(output + at + 4, _mm_unpackhi_epi16(greenBlue, red));
    }
}

#pragma GCC pop_options

#pragma GCC push_options
#pragma GCC target("ssse3")

namespace {

// Laying out a row: the left and right values of a run of columns,
// interleaved, make a vector of pairs; one byte shuffle packs a group of its
// columns, each to its width, and one store writes them. For every pattern of
// wider columns in a group, the shuffle and the pixels it makes.
template <typename Pixel, uint32_t whole>
struct GroupShuffles {
    static constexpr uint32_t columns = ShuffleGroupColumns(whole, sizeof(Pixel));
    static constexpr uint32_t patterns = 1u << columns;
    uint8_t control[patterns][16];
    uint8_t advance[patterns];
};

template <typename Pixel, uint32_t whole>
constexpr GroupShuffles<Pixel, whole> MakeGroupShuffles()
{
    constexpr uint32_t bytes = sizeof(Pixel);
    GroupShuffles<Pixel, whole> shuffles{};
    for (uint32_t pattern = 0; pattern < shuffles.patterns; ++pattern) {
        uint32_t written = 0;
        for (uint32_t column = 0; column < shuffles.columns; ++column) {
            const uint32_t width = whole + ((pattern >> column) & 1);
            for (uint32_t place = 0; place < width; ++place, ++written) {
                const uint32_t side = place < (width + 1) / 2 ? 0 : 1;
                for (uint32_t byte = 0; byte < bytes; ++byte)
                    shuffles.control[pattern][written * bytes + byte] =
                        static_cast<uint8_t>((2 * column + side) * bytes + byte);
            }
        }
        for (uint32_t byte = written * bytes; byte < 16; ++byte)
            shuffles.control[pattern][byte] = 0x80;
        shuffles.advance[pattern] = static_cast<uint8_t>(written);
    }
    return shuffles;
}

template <typename Pixel, uint32_t whole>
constexpr GroupShuffles<Pixel, whole> groupShuffles = MakeGroupShuffles<Pixel, whole>();

template <typename Pixel, uint32_t whole>
constexpr uint32_t groupColumns = ShuffleGroupColumns(whole, sizeof(Pixel));

// A vector of pairs holds one group or two; a second one is its upper half.
template <typename Pixel, uint32_t whole>
constexpr uint32_t groupsPerPairs = 8 / sizeof(Pixel) / groupColumns<Pixel, whole>;

// Every group is stored as a whole vector and the output moves on by the
// pixels the group really has; the next store overwrites the rest. A group
// that starts at least two groups' worth of columns before the end of the
// strip stays inside the strip's output, since every column is at least
// `whole` pixels wide.
template <typename Pixel, uint32_t whole>
Pixel* StoreGroup(__m128i pairs, uint8_t pattern, Pixel* output)
{
    const __m128i control = LoadVector(groupShuffles<Pixel, whole>.control[pattern]);
    StoreVector(output, _mm_shuffle_epi8(pairs, control));
    return output + groupShuffles<Pixel, whole>.advance[pattern];
}

template <typename Pixel, uint32_t whole>
Pixel* StorePairs(__m128i pairs, const uint8_t* patterns, Pixel* output)
{
    output = StoreGroup<Pixel, whole>(pairs, patterns[0], output);
    if constexpr (groupsPerPairs<Pixel, whole> == 2)
        output = StoreGroup<Pixel, whole>(_mm_srli_si128(pairs, 8), patterns[1], output);
    return output;
}

template <typename Pixel, uint32_t whole>
Pixel* StoreHalfBlock(const HalfBlock& half, const uint8_t* patterns, Pixel* output)
{
    constexpr uint32_t second = groupsPerPairs<Pixel, whole>;
    if constexpr (sizeof(Pixel) == 2) {
        output = StorePairs<Pixel, whole>(_mm_unpacklo_epi16(half.left, half.right), patterns, output);
        return StorePairs<Pixel, whole>(_mm_unpackhi_epi16(half.left, half.right), patterns + second, output);
    } else {
        output = StorePairs<Pixel, whole>(_mm_unpacklo_epi32(half.left, half.right), patterns, output);
        return StorePairs<Pixel, whole>(_mm_unpackhi_epi32(half.left, half.right), patterns + second, output);
    }
}

template <typename Pixel>
struct BlockRowEnds {
    Pixel* upper;
    Pixel* lower;
};

// The vectors of the upper block row, or of both. Everything a vector needs is
// read before its first store, which could alias it as far as the compiler
// knows.
template <typename Pixel, uint32_t whole, bool bothRows>
BlockRowEnds<Pixel> BlockVectors(NeighbourRows<Pixel> rows, uint32_t begin, uint32_t end, const uint8_t* patterns,
                                 BlockRowEnds<Pixel> output)
{
    constexpr uint32_t lanes = 16 / sizeof(Pixel);
    constexpr uint32_t patternsPerVector = 2 * groupsPerPairs<Pixel, whole>;
    for (uint32_t column = begin; column != end; column += lanes, patterns += patternsPerVector) {
        uint8_t vectorPatterns[patternsPerVector];
        for (uint32_t group = 0; group < patternsPerVector; ++group)
            vectorPatterns[group] = patterns[group];
        const Neighbourhood pixels = LoadNeighbourhood(rows, column);
        const HalfBlock upperHalf = RuleHalf<Pixel>(pixels.vertical, pixels.opposite, pixels);
        if constexpr (bothRows) {
            const HalfBlock lowerHalf = RuleHalf<Pixel>(pixels.opposite, pixels.vertical, pixels);
            output.upper = StoreHalfBlock<Pixel, whole>(upperHalf, vectorPatterns, output.upper);
            output.lower = StoreHalfBlock<Pixel, whole>(lowerHalf, vectorPatterns, output.lower);
        } else {
            output.upper = StoreHalfBlock<Pixel, whole>(upperHalf, vectorPatterns, output.upper);
        }
    }
    return output;
}

// The first column the vectors do not reach, from `begin` on in steps of
// `step` columns, stopping at `limit`.
uint32_t VectorEnd(uint32_t begin, uint32_t limit, uint32_t step)
{
    return limit > begin ? begin + (limit - begin) / step * step : begin;
}

template <typename Pixel>
void FinishRow(const NeighbourRows<Pixel>& rows, const StripColumns& columns, const ColumnWidths& widths,
               uint32_t begin, Pixel* left, Pixel* right, Pixel* output)
{
    RuleColumns(rows, begin, columns.interiorEnd, left, right);
    KeepColumns(rows.current, columns.interiorEnd, columns.count, left, right);
    SpreadColumns(left, right, widths, begin, columns.count, output);
}

template <typename Pixel, uint32_t whole>
__m128i LoadGroupPairs(const Pixel* left, const Pixel* right)
{
    constexpr uint32_t bytes = groupColumns<Pixel, whole> * sizeof(Pixel);
    __m128i lefts;
    __m128i rights;
    if constexpr (bytes == 8) {
        lefts = _mm_loadl_epi64(static_cast<const __m128i*>(static_cast<const void*>(left)));
        rights = _mm_loadl_epi64(static_cast<const __m128i*>(static_cast<const void*>(right)));
    } else {
        int32_t leftBits;
        int32_t rightBits;
        std::memcpy(&leftBits, left, sizeof(leftBits));
        std::memcpy(&rightBits, right, sizeof(rightBits));
        lefts = _mm_cvtsi32_si128(leftBits);
        rights = _mm_cvtsi32_si128(rightBits);
    }
    if constexpr (sizeof(Pixel) == 2)
        return _mm_unpacklo_epi16(lefts, rights);
    else
        return _mm_unpacklo_epi32(lefts, rights);
}

template <typename Pixel, uint32_t whole>
void SpreadRowSsse3(const Pixel* left, const Pixel* right, const ColumnWidths& widths, Pixel* output)
{
    constexpr uint32_t group = groupColumns<Pixel, whole>;
    output = SpreadColumns(left, right, widths, 0, widths.groupsBegin, output);
    const uint32_t end = VectorEnd(widths.groupsBegin, widths.count < group ? 0 : widths.count - group, group);
    const uint8_t* pattern = widths.groupExtras;
    for (uint32_t column = widths.groupsBegin; column != end; column += group, ++pattern) {
        const uint8_t groupPattern = *pattern;
        output = StoreGroup<Pixel, whole>(LoadGroupPairs<Pixel, whole>(left + column, right + column), groupPattern,
                                          output);
    }
    SpreadColumns(left, right, widths, end, widths.count, output);
}

// Both rows of a block come from one set of loads and comparisons, laid out
// straight from the registers. The vectors start at the first interior
// column, read no further than the last, and store as StoreGroup allows.
template <typename Pixel, uint32_t whole>
void BlockRowsSsse3(const NeighbourRows<Pixel>& rows, const StripColumns& columns, const ColumnWidths& widths,
                    Pixel* upper, Pixel* lower, RuleValues<Pixel>& values)
{
    Pixel* const left = values.upperLeft;
    Pixel* const right = values.upperRight;
    constexpr uint32_t group = groupColumns<Pixel, whole>;
    const uint32_t begin = columns.interiorBegin;
    KeepColumns(rows.current, 0, begin, left, right);
    upper = SpreadColumns(left, right, widths, 0, begin, upper);
    if (lower)
        lower = SpreadColumns(left, right, widths, 0, begin, lower);
    const uint32_t storeLimit = columns.count < group ? 0 : columns.count - group;
    const uint32_t end =
        VectorEnd(begin, columns.interiorEnd < storeLimit ? columns.interiorEnd : storeLimit, 16 / sizeof(Pixel));
    const BlockRowEnds<Pixel> ends =
        lower ? BlockVectors<Pixel, whole, true>(rows, begin, end, widths.groupExtras, {upper, lower})
              : BlockVectors<Pixel, whole, false>(rows, begin, end, widths.groupExtras, {upper, lower});
    FinishRow(rows, columns, widths, end, left, right, ends.upper);
    if (lower)
        FinishRow({rows.opposite, rows.current, rows.vertical}, columns, widths, end, left, right, ends.lower);
}

template <typename Pixel, uint32_t whole>
RowKernels<Pixel> KernelsOfWidth()
{
    return {BlockRowsSsse3<Pixel, whole>, SpreadRowSsse3<Pixel, whole>};
}

}

template <typename Pixel>
RowKernels<Pixel> ShufflingKernelsFor(uint32_t whole)
{
    switch (whole) {
    case 1:
        return KernelsOfWidth<Pixel, 1>();
    case 2:
        return KernelsOfWidth<Pixel, 2>();
    case 3:
        return KernelsOfWidth<Pixel, 3>();
    default:
        return {nullptr, nullptr};
    }
}

template RowKernels<uint16_t> ShufflingKernelsFor(uint32_t);
template RowKernels<uint32_t> ShufflingKernelsFor(uint32_t);

#pragma GCC pop_options
