#include <emmintrin.h>
#include <tmmintrin.h>

#include "surface/pixels/BlitKernels.h"

// The loops below are compiled for SSE2 or SSSE3 through target pragmas, not
// through compiler flags, so that the 32-bit module still loads and runs on a
// processor without them; the blits use them only after the checks of
// ProcessorFeatures.h. Nothing outside the pragma regions may be instantiated
// inside them, or the linker could hand a vector instruction to the portable
// path: the portable loops that finish each row are only declared here.

#pragma GCC push_options
#pragma GCC target("sse2")

namespace {

__m128i LoadVector(const void* from)
{
    return _mm_loadu_si128(static_cast<const __m128i*>(from));
}

void StoreVector(void* to, __m128i value)
{
    _mm_storeu_si128(static_cast<__m128i*>(to), value);
}

template <typename Pixel>
constexpr uint32_t lanes = 16 / sizeof(Pixel);

template <typename Pixel>
__m128i Broadcast(Pixel value)
{
    if constexpr (sizeof(Pixel) == 1)
        return _mm_set1_epi8(char(value));
    else
        return _mm_set1_epi16(short(value));
}

template <typename Pixel>
__m128i Equal(__m128i a, __m128i b)
{
    if constexpr (sizeof(Pixel) == 1)
        return _mm_cmpeq_epi8(a, b);
    else
        return _mm_cmpeq_epi16(a, b);
}

// `otherwise`, with the lanes of `mask` taken from `chosen`.
__m128i Select(__m128i mask, __m128i chosen, __m128i otherwise)
{
    return _mm_xor_si128(otherwise, _mm_and_si128(mask, _mm_xor_si128(chosen, otherwise)));
}

// The source pixels where they are not the key, the destination's elsewhere.
template <typename Pixel>
void StoreUnlessKey(Pixel* to, __m128i pixels, __m128i keys)
{
    StoreVector(to, Select(Equal<Pixel>(pixels, keys), LoadVector(to), pixels));
}

// Words reversed with three shuffles; bytes are first swapped within words.
template <typename Pixel>
__m128i Reversed(__m128i pixels)
{
    if constexpr (sizeof(Pixel) == 1)
        pixels = _mm_or_si128(_mm_slli_epi16(pixels, 8), _mm_srli_epi16(pixels, 8));
    pixels = _mm_shufflelo_epi16(pixels, _MM_SHUFFLE(0, 1, 2, 3));
    pixels = _mm_shufflehi_epi16(pixels, _MM_SHUFFLE(0, 1, 2, 3));
    return _mm_shuffle_epi32(pixels, _MM_SHUFFLE(1, 0, 3, 2));
}

template <typename Pixel>
__m128i UnpackLow(__m128i a, __m128i b)
{
    if constexpr (sizeof(Pixel) == 1)
        return _mm_unpacklo_epi8(a, b);
    else
        return _mm_unpacklo_epi16(a, b);
}

template <typename Pixel>
__m128i UnpackHigh(__m128i a, __m128i b)
{
    if constexpr (sizeof(Pixel) == 1)
        return _mm_unpackhi_epi8(a, b);
    else
        return _mm_unpackhi_epi16(a, b);
}

// Fills are the same pixels whatever the order, so a row's last vector may
// cover pixels already written.
void FillRowSse2(uint16_t* row, uint32_t count, uint16_t colour)
{
    constexpr uint32_t width = lanes<uint16_t>;
    if (count < width) {
        FillRowPortable(row, count, colour);
        return;
    }
    const __m128i colours = Broadcast(colour);
    uint16_t* const last = row + (count - width);
#pragma GCC unroll 4
    for (; row < last; row += width)
        StoreVector(row, colours);
    StoreVector(last, colours);
}

// Each vector is read whole before it is written, and in the row's direction
// no later vector reads what an earlier one wrote.
template <typename Pixel>
void KeyedRowForwardSse2(Pixel* to, const Pixel* from, uint32_t count, Pixel key)
{
    const __m128i keys = Broadcast(key);
    const Pixel* const vectorsEnd = from + (count - count % lanes<Pixel>);
#pragma GCC unroll 4
    for (; from != vectorsEnd; from += lanes<Pixel>, to += lanes<Pixel>)
        StoreUnlessKey(to, LoadVector(from), keys);
    KeyedRowForwardPortable(to, from, count % lanes<Pixel>, key);
}

// The pixels left over are the row's first, written last.
template <typename Pixel>
void KeyedRowBackwardSse2(Pixel* to, const Pixel* from, uint32_t count, Pixel key)
{
    const __m128i keys = Broadcast(key);
    const uint32_t leftOver = count % lanes<Pixel>;
    const Pixel* const vectorsBegin = from + leftOver;
    const Pixel* in = from + count;
    Pixel* out = to + count;
#pragma GCC unroll 4
    while (in != vectorsBegin) {
        in -= lanes<Pixel>;
        out -= lanes<Pixel>;
        StoreUnlessKey(out, LoadVector(in), keys);
    }
    KeyedRowBackwardPortable(to, from, leftOver, key);
}

template <typename Pixel>
void MirroredRowSse2(Pixel* to, const Pixel* from, uint32_t count)
{
    const Pixel* in = from + count;
    Pixel* const vectorsEnd = to + (count - count % lanes<Pixel>);
#pragma GCC unroll 4
    for (; to != vectorsEnd; to += lanes<Pixel>) {
        in -= lanes<Pixel>;
        StoreVector(to, Reversed<Pixel>(LoadVector(in)));
    }
    MirroredRowPortable(to, from, count % lanes<Pixel>);
}

template <typename Pixel>
void MirroredKeyedRowSse2(Pixel* to, const Pixel* from, uint32_t count, Pixel key)
{
    const __m128i keys = Broadcast(key);
    const Pixel* in = from + count;
    Pixel* const vectorsEnd = to + (count - count % lanes<Pixel>);
#pragma GCC unroll 4
    for (; to != vectorsEnd; to += lanes<Pixel>) {
        in -= lanes<Pixel>;
        StoreUnlessKey(to, Reversed<Pixel>(LoadVector(in)), keys);
    }
    MirroredKeyedRowPortable(to, from, count % lanes<Pixel>, key);
}

template <typename Pixel>
void DoubledRowSse2(Pixel* to, const Pixel* from, uint32_t count)
{
    const Pixel* const vectorsEnd = from + (count - count % lanes<Pixel>);
#pragma GCC unroll 4
    for (; from != vectorsEnd; from += lanes<Pixel>, to += 2 * lanes<Pixel>) {
        const __m128i pixels = LoadVector(from);
        StoreVector(to, UnpackLow<Pixel>(pixels, pixels));
        StoreVector(to + lanes<Pixel>, UnpackHigh<Pixel>(pixels, pixels));
    }
    DoubledRowPortable(to, from, count % lanes<Pixel>);
}

}

constinit const BlitRowKernels<uint8_t> sse2RowKernels8 = {
    FillRowPortable<uint8_t>,      KeyedRowForwardSse2<uint8_t>,   KeyedRowBackwardSse2<uint8_t>,
    MirroredRowSse2<uint8_t>,      MirroredKeyedRowSse2<uint8_t>,  DoubledRowSse2<uint8_t>,
};

constinit const BlitRowKernels<uint16_t> sse2RowKernels16 = {
    FillRowSse2,                   KeyedRowForwardSse2<uint16_t>,  KeyedRowBackwardSse2<uint16_t>,
    MirroredRowSse2<uint16_t>,     MirroredKeyedRowSse2<uint16_t>, DoubledRowSse2<uint16_t>,
};

#pragma GCC pop_options

#pragma GCC push_options
#pragma GCC target("ssse3")

namespace {

// One byte shuffle reverses a vector of either width.
template <typename Pixel>
__m128i ReversedByShuffle(__m128i pixels)
{
    if constexpr (sizeof(Pixel) == 1)
        return _mm_shuffle_epi8(pixels, _mm_setr_epi8(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0));
    else
        return _mm_shuffle_epi8(pixels, _mm_setr_epi8(14, 15, 12, 13, 10, 11, 8, 9, 6, 7, 4, 5, 2, 3, 0, 1));
}

// The SSE2 helpers these call are SSE2 code, which every processor with
// SSSE3 runs.
template <typename Pixel>
void MirroredRowSsse3(Pixel* to, const Pixel* from, uint32_t count)
{
    const Pixel* in = from + count;
    Pixel* const vectorsEnd = to + (count - count % lanes<Pixel>);
#pragma GCC unroll 4
    for (; to != vectorsEnd; to += lanes<Pixel>) {
        in -= lanes<Pixel>;
        StoreVector(to, ReversedByShuffle<Pixel>(LoadVector(in)));
    }
    MirroredRowPortable(to, from, count % lanes<Pixel>);
}

template <typename Pixel>
void MirroredKeyedRowSsse3(Pixel* to, const Pixel* from, uint32_t count, Pixel key)
{
    const __m128i keys = Broadcast(key);
    const Pixel* in = from + count;
    Pixel* const vectorsEnd = to + (count - count % lanes<Pixel>);
#pragma GCC unroll 4
    for (; to != vectorsEnd; to += lanes<Pixel>) {
        in -= lanes<Pixel>;
        StoreUnlessKey(to, ReversedByShuffle<Pixel>(LoadVector(in)), keys);
    }
    MirroredKeyedRowPortable(to, from, count % lanes<Pixel>, key);
}

}

constinit const BlitRowKernels<uint8_t> ssse3RowKernels8 = {
    FillRowPortable<uint8_t>,  KeyedRowForwardSse2<uint8_t>,  KeyedRowBackwardSse2<uint8_t>,
    MirroredRowSsse3<uint8_t>, MirroredKeyedRowSsse3<uint8_t>, DoubledRowSse2<uint8_t>,
};

constinit const BlitRowKernels<uint16_t> ssse3RowKernels16 = {
    FillRowSse2,                KeyedRowForwardSse2<uint16_t>,  KeyedRowBackwardSse2<uint16_t>,
    MirroredRowSsse3<uint16_t>, MirroredKeyedRowSsse3<uint16_t>, DoubledRowSse2<uint16_t>,
};

#pragma GCC pop_options
