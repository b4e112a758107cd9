#include <immintrin.h>

#include "pixels/upscale/UpscaleKernels.h"

// Compiled for AVX2 through a target pragma, like the other vector kernels,
// and called only after the processor check. Nothing outside the pragma region
// may be instantiated inside it: the portable pieces that finish each row are
// only declared here.

#pragma GCC push_options
#pragma GCC target("avx2")

#include "pixels/common/Avx2Vectors.h"

namespace {

using avx2::Equal;
using avx2::Load;
using avx2::LoadHalf;
using avx2::Store;

__m256i Select(__m256i mask, __m256i ifSet, __m256i otherwise)
{
    return _mm256_blendv_epi8(otherwise, ifSet, mask);
}

// A chunk's columns: a 32-bit chunk's eight from its base, a 16-bit chunk's
// two parts each from its own eight columns.
__m256i LoadColumns(const uint32_t* row, const uint32_t* base)
{
    return Load(row + *base);
}

__m256i LoadColumns(const uint16_t* row, const uint32_t* base)
{
    return _mm256_inserti128_si256(_mm256_castsi128_si256(LoadHalf(row + base[0])), LoadHalf(row + base[1]), 1);
}

template <typename Pixel>
__m256i LayOut(__m256i left, __m256i right, const uint8_t* control)
{
    if constexpr (sizeof(Pixel) == 4) {
        const __m256i indices = Load(control);
        const __m256 lefts = _mm256_castsi256_ps(_mm256_permutevar8x32_epi32(left, indices));
        const __m256 rights = _mm256_castsi256_ps(_mm256_permutevar8x32_epi32(right, indices));
        return _mm256_castps_si256(_mm256_blendv_ps(lefts, rights, _mm256_castsi256_ps(indices)));
    } else {
        return _mm256_or_si256(_mm256_shuffle_epi8(left, Load(control)),
                               _mm256_shuffle_epi8(right, Load(control + 32)));
    }
}

struct Avx2Vectors {
    template <typename Pixel>
    using Chunks = Avx2Chunks<Pixel>;

    // A row's pixels of a chunk's columns, and those left and right of them.
    struct Columns {
        __m256i left;
        __m256i own;
        __m256i right;
    };

    template <typename Pixel>
    static __m256i ReadVertical(const Pixel* row, const uint32_t* base)
    {
        return LoadColumns(row, base);
    }

    template <typename Pixel>
    static Columns ReadColumns(const Pixel* row, const uint32_t* base)
    {
        return {LoadColumns(row - 1, base), LoadColumns(row, base), LoadColumns(row + 1, base)};
    }

    // Both halves of the rule from four comparisons, without branches, so
    // that noise costs what a flat area does. The lower half is the upper one
    // with the vertical neighbours swapped, which swaps the comparisons in
    // pairs and lets the two halves share their unions.
    template <typename Pixel, bool bothHalves, typename Place>
    static void Rule(__m256i above, const Columns& row, __m256i below, Pixel* upper, Pixel* lower, Place place)
    {
        const __m256i own = row.own;
        const __m256i leftAbove = Equal<Pixel>(row.left, above);
        const __m256i leftBelow = Equal<Pixel>(row.left, below);
        const __m256i rightAbove = Equal<Pixel>(row.right, above);
        const __m256i rightBelow = Equal<Pixel>(row.right, below);
        const __m256i leftBelowOrRightAbove = _mm256_or_si256(leftBelow, rightAbove);
        const __m256i leftAboveOrRightBelow = _mm256_or_si256(leftAbove, rightBelow);
        place(upper, Select(_mm256_andnot_si256(leftBelowOrRightAbove, leftAbove), above, own),
              Select(_mm256_andnot_si256(leftAboveOrRightBelow, rightAbove), above, own));
        if constexpr (bothHalves)
            place(lower, Select(_mm256_andnot_si256(leftAboveOrRightBelow, leftBelow), below, own),
                  Select(_mm256_andnot_si256(leftBelowOrRightAbove, rightBelow), below, own));
    }

    template <typename Pixel, bool bothHalves>
    static void RuleChunk(__m256i above, const Columns& row, __m256i below, const uint8_t* control,
                          Pixel* upper, Pixel* lower)
    {
        Rule<Pixel, bothHalves>(above, row, below, upper, lower, [&](Pixel* to, __m256i left, __m256i right) {
            Store(to, LayOut<Pixel>(left, right, control));
        });
    }

    template <typename Pixel>
    static constexpr uint32_t lanes = 32 / sizeof(Pixel);

    // A whole vector of a row's pixels from `from` on.
    template <typename Pixel>
    static __m256i ReadVector(const Pixel* from)
    {
        return Load(from);
    }

    // Stores two vectors' lanes interleaved, the first's lane i at place 2i:
    // interleaving works within each half of a vector, so the halves of its
    // results are then put in order.
    template <typename Pixel>
    struct Interleaving {
        void operator()(Pixel* to, __m256i first, __m256i second) const
        {
            __m256i low, high;
            if constexpr (sizeof(Pixel) == 2) {
                low = _mm256_unpacklo_epi16(first, second);
                high = _mm256_unpackhi_epi16(first, second);
            } else {
                low = _mm256_unpacklo_epi32(first, second);
                high = _mm256_unpackhi_epi32(first, second);
            }
            Store(to, _mm256_permute2x128_si256(low, high, 0x20));
            Store(to + lanes<Pixel>, _mm256_permute2x128_si256(low, high, 0x31));
        }
    };

    template <typename Pixel>
    static void LayOutChunk(const Pixel* left, const Pixel* right, const uint32_t* base, const uint8_t* control,
                            Pixel* output)
    {
        Store(output, LayOut<Pixel>(LoadColumns(left, base), LoadColumns(right, base), control));
    }
};

}

#include "pixels/upscale/PermutingRows.h"

template <typename Pixel>
RowKernels<Pixel> PermutingKernelsAvx2()
{
    return PermutingKernelsOf<Avx2Vectors, Pixel>();
}

template RowKernels<uint16_t> PermutingKernelsAvx2();
template RowKernels<uint32_t> PermutingKernelsAvx2();

template <typename Pixel>
RowKernels<Pixel> DoublingKernelsAvx2()
{
    return DoublingKernelsOf<Avx2Vectors>(PermutingKernelsAvx2<Pixel>());
}

template RowKernels<uint16_t> DoublingKernelsAvx2();
template RowKernels<uint32_t> DoublingKernelsAvx2();

// As the SSE2 widening, sixteen pixels at a time; their quarters are put in
// the order that the interleaving within each half of a vector restores.
void WidenRowAvx2(const uint16_t* source, uint32_t count, uint32_t* output)
{
    constexpr uint32_t lanes = 16;
    if (count < lanes)
        return WidenRowSse2(source, count, output);
    for (uint32_t done = 0; done < count; done += lanes) {
        const uint32_t at = done + lanes <= count ? done : count - lanes;
        const __m256i pixels = _mm256_permute4x64_epi64(Load(source + at), _MM_SHUFFLE(3, 1, 2, 0));
        const __m256i red = _mm256_or_si256(_mm256_and_si256(_mm256_srli_epi16(pixels, 8), _mm256_set1_epi16(0x00F8)),
                                            _mm256_srli_epi16(pixels, 13));
        const __m256i green =
            _mm256_or_si256(_mm256_and_si256(_mm256_slli_epi16(pixels, 5), _mm256_set1_epi16(short(0xFC00))),
                            _mm256_and_si256(_mm256_srli_epi16(pixels, 1), _mm256_set1_epi16(0x0300)));
        const __m256i blue = _mm256_or_si256(_mm256_and_si256(_mm256_slli_epi16(pixels, 3), _mm256_set1_epi16(0x00F8)),
                                             _mm256_and_si256(_mm256_srli_epi16(pixels, 2), _mm256_set1_epi16(0x0007)));
        const __m256i greenBlue = _mm256_or_si256(green, blue);
        Store(output + at, _mm256_unpacklo_epi16(greenBlue, red));
        Store(output + at + 8, _mm256_unpackhi_epi16(greenBlue, red));
    }
}

#pragma GCC pop_options
