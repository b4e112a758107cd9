#include <immintrin.h>

#include "present/pixels/UpscaleKernels.h"

// Compiled for AVX-512 (Foundation, Byte and Word) through a target pragma,
// like the other vector kernels, and called only after the processor check.
// Nothing outside the pragma region may be instantiated inside it: the
// portable pieces that finish each row are only declared here.

#pragma GCC push_options
#pragma GCC target("avx512f,avx512bw")

namespace {

__m512i Load(const void* from)
{
    return _mm512_loadu_si512(from);
}

void Store(void* to, __m512i value)
{
    _mm512_storeu_si512(to, value);
}

// A bit per lane of `Pixel`'s width.
template <typename Pixel>
struct LaneMaskOf;
template <>
struct LaneMaskOf<uint16_t> {
    using Type = __mmask32;
};
template <>
struct LaneMaskOf<uint32_t> {
    using Type = __mmask16;
};
template <typename Pixel>
using LaneMask = typename LaneMaskOf<Pixel>::Type;

template <typename Pixel>
LaneMask<Pixel> Equal(__m512i a, __m512i b)
{
    if constexpr (sizeof(Pixel) == 2)
        return _mm512_cmpeq_epi16_mask(a, b);
    else
        return _mm512_cmpeq_epi32_mask(a, b);
}

template <typename Pixel>
__m512i Select(LaneMask<Pixel> mask, __m512i ifSet, __m512i otherwise)
{
    if constexpr (sizeof(Pixel) == 2)
        return _mm512_mask_blend_epi16(mask, otherwise, ifSet);
    else
        return _mm512_mask_blend_epi32(mask, otherwise, ifSet);
}

struct Avx512Vectors {
    template <typename Pixel>
    static constexpr uint32_t lanes = 64 / sizeof(Pixel);

    template <typename Pixel>
    using Chunks = Avx512Chunks<Pixel>;

    // The rule as the AVX2 kernels find it, with the comparisons in masks.
    template <typename Pixel, bool bothHalves>
    static void Rule(const NeighbourRows<Pixel>& rows, uint32_t column, const RuleOutputs<Pixel>& out)
    {
        using Mask = LaneMask<Pixel>;
        const Pixel* centre = rows.current + column;
        const __m512i above = Load(rows.vertical + column);
        const __m512i below = Load(rows.opposite + column);
        const __m512i own = Load(centre);
        const __m512i left = Load(centre - 1);
        const __m512i right = Load(centre + 1);
        const Mask leftAbove = Equal<Pixel>(left, above);
        const Mask leftBelow = Equal<Pixel>(left, below);
        const Mask rightAbove = Equal<Pixel>(right, above);
        const Mask rightBelow = Equal<Pixel>(right, below);
        const Mask leftBelowOrRightAbove = Mask(leftBelow | rightAbove);
        const Mask leftAboveOrRightBelow = Mask(leftAbove | rightBelow);
        Store(out.upperLeft + column, Select<Pixel>(Mask(leftAbove & ~leftBelowOrRightAbove), above, own));
        Store(out.upperRight + column, Select<Pixel>(Mask(rightAbove & ~leftAboveOrRightBelow), above, own));
        if constexpr (bothHalves) {
            Store(out.lowerLeft + column, Select<Pixel>(Mask(leftBelow & ~leftAboveOrRightBelow), below, own));
            Store(out.lowerRight + column, Select<Pixel>(Mask(rightBelow & ~leftBelowOrRightAbove), below, own));
        }
    }

    static void LayOutChunk(const uint32_t* left, const uint32_t* right, const uint32_t* base,
                            const uint8_t* control, uint32_t* output)
    {
        Store(output, _mm512_permutex2var_epi32(Load(left + *base), Load(control), Load(right + *base)));
    }

    static void LayOutChunk(const uint16_t* left, const uint16_t* right, const uint32_t* base,
                            const uint8_t* control, uint16_t* output)
    {
        Store(output, _mm512_permutex2var_epi16(Load(left + *base), Load(control), Load(right + *base)));
    }
};

}

#include "present/pixels/PermutingRows.h"

template <typename Pixel>
PermutingKernels<Pixel> PermutingKernelsAvx512()
{
    return PermutingKernelsOf<Avx512Vectors, Pixel>();
}

template PermutingKernels<uint16_t> PermutingKernelsAvx512();
template PermutingKernels<uint32_t> PermutingKernelsAvx512();

#pragma GCC pop_options
