#include <immintrin.h>

#include "present/pixels/UpscaleKernels.h"

// Compiled for AVX2 through a target pragma, like the other vector kernels,
// and called only after the processor check. Nothing outside the pragma region
// may be instantiated inside it: the portable pieces that finish each row are
// only declared here.

#pragma GCC push_options
#pragma GCC target("avx2")

namespace {

template <typename Pixel>
constexpr uint32_t lanes = 32 / sizeof(Pixel);

__m256i Load(const void* from)
{
    return _mm256_loadu_si256(static_cast<const __m256i*>(from));
}

void Store(void* to, __m256i value)
{
    _mm256_storeu_si256(static_cast<__m256i*>(to), value);
}

template <typename Pixel>
__m256i Equal(__m256i a, __m256i b)
{
    if constexpr (sizeof(Pixel) == 2)
        return _mm256_cmpeq_epi16(a, b);
    else
        return _mm256_cmpeq_epi32(a, b);
}

__m256i Select(__m256i mask, __m256i ifSet, __m256i otherwise)
{
    return _mm256_blendv_epi8(otherwise, ifSet, mask);
}

template <typename Pixel>
struct RuleOutputs {
    Pixel* upperLeft;
    Pixel* upperRight;
    Pixel* lowerLeft;
    Pixel* lowerRight;
};

// Both halves of the rule from one set of loads and four comparisons, without
// branches, so that noise costs what a flat area does. The lower half is the
// upper one with the vertical neighbours swapped, which swaps the comparisons
// in pairs and lets the two halves share their unions.
template <typename Pixel, bool bothHalves>
void RuleVectors(const NeighbourRows<Pixel> rows, uint32_t begin, uint32_t end, const RuleOutputs<Pixel> out)
{
    for (uint32_t column = begin; column != end; column += lanes<Pixel>) {
        const Pixel* centre = rows.current + column;
        const __m256i above = Load(rows.vertical + column);
        const __m256i below = Load(rows.opposite + column);
        const __m256i own = Load(centre);
        const __m256i left = Load(centre - 1);
        const __m256i right = Load(centre + 1);
        const __m256i leftAbove = Equal<Pixel>(left, above);
        const __m256i leftBelow = Equal<Pixel>(left, below);
        const __m256i rightAbove = Equal<Pixel>(right, above);
        const __m256i rightBelow = Equal<Pixel>(right, below);
        const __m256i leftBelowOrRightAbove = _mm256_or_si256(leftBelow, rightAbove);
        const __m256i leftAboveOrRightBelow = _mm256_or_si256(leftAbove, rightBelow);
        Store(out.upperLeft + column, Select(_mm256_andnot_si256(leftBelowOrRightAbove, leftAbove), above, own));
        Store(out.upperRight + column, Select(_mm256_andnot_si256(leftAboveOrRightBelow, rightAbove), above, own));
        if constexpr (bothHalves) {
            Store(out.lowerLeft + column, Select(_mm256_andnot_si256(leftAboveOrRightBelow, leftBelow), below, own));
            Store(out.lowerRight + column,
                  Select(_mm256_andnot_si256(leftBelowOrRightAbove, rightBelow), below, own));
        }
    }
}

template <typename Pixel>
void RuleRowEnds(const NeighbourRows<Pixel>& rows, const StripColumns& columns, uint32_t vectorEnd, Pixel* left,
                 Pixel* right)
{
    KeepColumns(rows.current, 0, columns.interiorBegin, left, right);
    RuleColumns(rows, vectorEnd, columns.interiorEnd, left, right);
    KeepColumns(rows.current, columns.interiorEnd, columns.count, left, right);
}

template <typename Pixel>
void RuleRows(const NeighbourRows<Pixel>& rows, const StripColumns& columns, bool bothHalves,
              RuleValues<Pixel>& values)
{
    const RuleOutputs<Pixel> out = {values.upperLeft, values.upperRight, values.lowerLeft, values.lowerRight};
    const uint32_t begin = columns.interiorBegin;
    const uint32_t vectorEnd = begin + (columns.interiorEnd - begin) / lanes<Pixel> * lanes<Pixel>;
    if (bothHalves)
        RuleVectors<Pixel, true>(rows, begin, vectorEnd, out);
    else
        RuleVectors<Pixel, false>(rows, begin, vectorEnd, out);
    RuleRowEnds(rows, columns, vectorEnd, values.upperLeft, values.upperRight);
    if (bothHalves)
        RuleRowEnds({rows.opposite, rows.current, rows.vertical}, columns, vectorEnd, values.lowerLeft,
                    values.lowerRight);
}

// Each chunk takes its pixels from eight columns' left and right values.
void LayOutChunk(const uint32_t* left, const uint32_t* right, const uint8_t (&control)[32], uint32_t* output)
{
    const __m256i indices = Load(control);
    const __m256 lefts = _mm256_castsi256_ps(_mm256_permutevar8x32_epi32(Load(left), indices));
    const __m256 rights = _mm256_castsi256_ps(_mm256_permutevar8x32_epi32(Load(right), indices));
    Store(output, _mm256_castps_si256(_mm256_blendv_ps(lefts, rights, _mm256_castsi256_ps(indices))));
}

__m128i LoadHalf(const void* from)
{
    return _mm_loadu_si128(static_cast<const __m128i*>(from));
}

void LayOutChunk(const uint16_t* left, const uint16_t* right, const uint8_t (&control)[32], uint16_t* output)
{
    const __m128i lefts = _mm_shuffle_epi8(LoadHalf(left), LoadHalf(control));
    const __m128i rights = _mm_shuffle_epi8(LoadHalf(right), LoadHalf(control + 16));
    _mm_storeu_si128(static_cast<__m128i*>(static_cast<void*>(output)), _mm_or_si128(lefts, rights));
}

template <typename Pixel>
void LayOutRow(const Pixel* left, const Pixel* right, const ColumnWidths& widths, Pixel* output)
{
    const OutputChunks& chunks = *widths.chunks;
    for (uint32_t chunk = 0; chunk < chunks.count; ++chunk) {
        const uint32_t base = chunks.base[chunk];
        const uint32_t start = chunk * chunkPixels;
        LayOutChunk(left + base, right + base, chunks.control[chunk],
                    output + (start < chunks.lastStart ? start : chunks.lastStart));
    }
}

template <typename Pixel>
void BlockRowsAvx2(const NeighbourRows<Pixel>& rows, const StripColumns& columns, const ColumnWidths& widths,
                   Pixel* upper, Pixel* lower, RuleValues<Pixel>& values)
{
    RuleRows(rows, columns, lower != nullptr, values);
    LayOutRow(values.upperLeft, values.upperRight, widths, upper);
    if (lower)
        LayOutRow(values.lowerLeft, values.lowerRight, widths, lower);
}

}

template <typename Pixel>
PermutingKernels<Pixel> PermutingKernelsAvx2()
{
    return {BlockRowsAvx2<Pixel>, LayOutRow<Pixel>};
}

template PermutingKernels<uint16_t> PermutingKernelsAvx2();
template PermutingKernels<uint32_t> PermutingKernelsAvx2();

#pragma GCC pop_options
