#include <immintrin.h>

#include "pixels/blit/BlitKernels.h"

// The AVX-512 (Foundation, Byte and Word, VBMI) loops, compiled for it through
// a target pragma like the other levels and taken only after the processor
// check. Keyed rows store the source pixels that are not the key with a
// masked store, so the destination is never read; stretched rows are laid out
// 64 bytes at a time by byte permutes; the other rows are the AVX2 level's.

#pragma GCC push_options
#pragma GCC target("avx512f,avx512bw,avx512vbmi")

#include "pixels/common/Avx512Vectors.h"

namespace {

using avx512::FirstLanes;
using avx512::LaneMask;
using avx512::lanes;

template <typename Pixel>
__m512i Broadcast(Pixel value)
{
    if constexpr (sizeof(Pixel) == 1)
        return _mm512_set1_epi8(char(value));
    else
        return _mm512_set1_epi16(short(value));
}

// Of the lanes in `among`, those whose pixel is not the key are stored.
template <typename Pixel>
void StoreUnlessKey(Pixel* to, __m512i pixels, LaneMask<Pixel> among, __m512i keys)
{
    if constexpr (sizeof(Pixel) == 1)
        _mm512_mask_storeu_epi8(to, _mm512_mask_cmpneq_epi8_mask(among, pixels, keys), pixels);
    else
        _mm512_mask_storeu_epi16(to, _mm512_mask_cmpneq_epi16_mask(among, pixels, keys), pixels);
}

// The lanes of `inRow` only are read and written: masked lanes never fault,
// so a row's last vector reads and writes nothing past the row.
template <typename Pixel>
void StoreUnlessKey(Pixel* to, const Pixel* from, LaneMask<Pixel> inRow, __m512i keys)
{
    if constexpr (sizeof(Pixel) == 1)
        StoreUnlessKey(to, _mm512_maskz_loadu_epi8(inRow, from), inRow, keys);
    else
        StoreUnlessKey(to, _mm512_maskz_loadu_epi16(inRow, from), inRow, keys);
}

// A vector is read before it is written, and the next one read lies on the
// side already written only where the rows do not overlap there: forward for
// a destination left of its source, backward for one right of it.
template <typename Pixel>
void KeyedForward(Pixel* to, const Pixel* from, uint32_t count, Pixel key)
{
    const __m512i keys = Broadcast(key);
    uint32_t done = 0;
    for (; count - done >= lanes<Pixel>; done += lanes<Pixel>)
        StoreUnlessKey(to + done, from + done, FirstLanes<Pixel>(lanes<Pixel>), keys);
    if (done < count)
        StoreUnlessKey(to + done, from + done, FirstLanes<Pixel>(count - done), keys);
}

template <typename Pixel>
void KeyedBackward(Pixel* to, const Pixel* from, uint32_t count, Pixel key)
{
    const __m512i keys = Broadcast(key);
    uint32_t left = count;
    for (; left >= lanes<Pixel>; left -= lanes<Pixel>)
        StoreUnlessKey(to + left - lanes<Pixel>, from + left - lanes<Pixel>, FirstLanes<Pixel>(lanes<Pixel>), keys);
    if (left)
        StoreUnlessKey(to, from, FirstLanes<Pixel>(left), keys);
}

// The source bytes a permute takes all lie in the one vector it loads, which
// the plan has kept inside the source row. The count is read once: the stores
// could be to the plan's memory for all the compiler knows.
template <typename Pixel, bool keyed, bool twice>
void WideShuffledRow(Pixel* to, Pixel* copy, const Pixel* from, const WideShuffledColumns& columns, Pixel key)
{
    const __m512i keys = Broadcast(key);
    const uint32_t vectors = columns.vectors;
    for (uint32_t vector = 0; vector < vectors; ++vector) {
        const __m512i pixels =
            _mm512_maskz_permutexvar_epi8(~__mmask64(0), _mm512_loadu_si512(columns.masks[vector]),
                                          _mm512_loadu_si512(from + columns.offsets[vector]));
        const uint32_t at = columns.starts[vector];
        if constexpr (keyed)
            StoreUnlessKey(to + at, pixels, FirstLanes<Pixel>(lanes<Pixel>), keys);
        else
            _mm512_storeu_si512(to + at, pixels);
        if constexpr (twice)
            _mm512_storeu_si512(copy + at, pixels);
    }
}

template <typename Pixel>
void WideShuffled(Pixel* to, Pixel* copy, const Pixel* from, const WideShuffledColumns& columns)
{
    if (copy)
        WideShuffledRow<Pixel, false, true>(to, copy, from, columns, Pixel());
    else
        WideShuffledRow<Pixel, false, false>(to, copy, from, columns, Pixel());
}

template <typename Pixel>
void WideShuffledKeyed(Pixel* to, const Pixel* from, const WideShuffledColumns& columns, Pixel key)
{
    WideShuffledRow<Pixel, true, false>(to, nullptr, from, columns, key);
}

template <typename Pixel>
BlitRowKernels<Pixel> WithAvx512Rows(BlitRowKernels<Pixel> kernels)
{
    kernels.keyedForward = KeyedForward<Pixel>;
    kernels.keyedBackward = KeyedBackward<Pixel>;
    kernels.wideShuffled = WideShuffled<Pixel>;
    kernels.wideShuffledKeyed = WideShuffledKeyed<Pixel>;
    return kernels;
}

}

const BlitRowKernels<uint8_t> avx512RowKernels8 = WithAvx512Rows(avx2RowKernels8);
const BlitRowKernels<uint16_t> avx512RowKernels16 = WithAvx512Rows(avx2RowKernels16);

#pragma GCC pop_options
