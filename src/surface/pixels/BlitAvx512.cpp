#include <immintrin.h>

#include "surface/pixels/BlitKernels.h"

// The AVX-512 (Foundation, Byte and Word) loops, compiled for it through a
// target pragma like the other levels and taken only after the processor
// check. Keyed rows store the source pixels that are not the key with a
// masked store, so the destination is never read; the other rows are the AVX2
// level's.

#pragma GCC push_options
#pragma GCC target("avx512f,avx512bw")

#include "surface/pixels/Avx512Vectors.h"

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

// The lanes of `inRow` only are read and written: masked lanes never fault,
// so a row's last vector reads and writes nothing past the row.
template <typename Pixel>
void StoreUnlessKey(Pixel* to, const Pixel* from, LaneMask<Pixel> inRow, __m512i keys)
{
    if constexpr (sizeof(Pixel) == 1) {
        const __m512i pixels = _mm512_maskz_loadu_epi8(inRow, from);
        _mm512_mask_storeu_epi8(to, _mm512_mask_cmpneq_epi8_mask(inRow, pixels, keys), pixels);
    } else {
        const __m512i pixels = _mm512_maskz_loadu_epi16(inRow, from);
        _mm512_mask_storeu_epi16(to, _mm512_mask_cmpneq_epi16_mask(inRow, pixels, keys), pixels);
    }
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

template <typename Pixel>
BlitRowKernels<Pixel> WithKeyedRows(BlitRowKernels<Pixel> kernels)
{
    kernels.keyedForward = KeyedForward<Pixel>;
    kernels.keyedBackward = KeyedBackward<Pixel>;
    return kernels;
}

}

const BlitRowKernels<uint8_t> avx512RowKernels8 = WithKeyedRows(avx2RowKernels8);
const BlitRowKernels<uint16_t> avx512RowKernels16 = WithKeyedRows(avx2RowKernels16);

#pragma GCC pop_options
