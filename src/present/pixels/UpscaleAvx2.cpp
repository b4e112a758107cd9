#include <immintrin.h>

#include "present/pixels/UpscaleKernels.h"

// Compiled for AVX2 through a target pragma, like the other vector kernels,
// and called only after the processor check. Nothing outside the pragma region
// may be instantiated inside it: the portable pieces that finish each row are
// only declared here.

#pragma GCC push_options
#pragma GCC target("avx2")

#include "surface/pixels/Avx2Vectors.h"

namespace {

using avx2::Equal;
using avx2::Load;
using avx2::LoadHalf;
using avx2::Store;

__m256i Select(__m256i mask, __m256i ifSet, __m256i otherwise)
{
    return _mm256_blendv_epi8(otherwise, ifSet, mask);
}

// A 16-bit chunk's two parts, each from its own eight columns.
__m256i LoadParts(const uint16_t* values, const uint32_t* base)
{
    return _mm256_inserti128_si256(_mm256_castsi128_si256(LoadHalf(values + base[0])), LoadHalf(values + base[1]), 1);
}

struct Avx2Vectors {
    template <typename Pixel>
    static constexpr uint32_t lanes = 32 / sizeof(Pixel);

    template <typename Pixel>
    using Chunks = Avx2Chunks<Pixel>;

    // Both halves of the rule from one set of loads and four comparisons,
    // without branches, so that noise costs what a flat area does. The lower
    // half is the upper one with the vertical neighbours swapped, which swaps
    // the comparisons in pairs and lets the two halves share their unions.
    template <typename Pixel, bool bothHalves>
    static void Rule(const NeighbourRows<Pixel>& rows, uint32_t column, const RuleOutputs<Pixel>& out)
    {
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

    static void LayOutChunk(const uint32_t* left, const uint32_t* right, const uint32_t* base,
                            const uint8_t* control, uint32_t* output)
    {
        const __m256i indices = Load(control);
        const __m256 lefts = _mm256_castsi256_ps(_mm256_permutevar8x32_epi32(Load(left + *base), indices));
        const __m256 rights = _mm256_castsi256_ps(_mm256_permutevar8x32_epi32(Load(right + *base), indices));
        Store(output, _mm256_castps_si256(_mm256_blendv_ps(lefts, rights, _mm256_castsi256_ps(indices))));
    }

    static void LayOutChunk(const uint16_t* left, const uint16_t* right, const uint32_t* base,
                            const uint8_t* control, uint16_t* output)
    {
        const __m256i lefts = _mm256_shuffle_epi8(LoadParts(left, base), Load(control));
        const __m256i rights = _mm256_shuffle_epi8(LoadParts(right, base), Load(control + 32));
        Store(output, _mm256_or_si256(lefts, rights));
    }
};

}

#include "present/pixels/PermutingRows.h"

template <typename Pixel>
PermutingKernels<Pixel> PermutingKernelsAvx2()
{
    return PermutingKernelsOf<Avx2Vectors, Pixel>();
}

template PermutingKernels<uint16_t> PermutingKernelsAvx2();
template PermutingKernels<uint32_t> PermutingKernelsAvx2();

#pragma GCC pop_options
