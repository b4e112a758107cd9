#include <emmintrin.h>
#include <smmintrin.h>
#include <tmmintrin.h>

#include "pixels/blit/BlitKernels.h"

// The loops below are compiled for SSE2, SSSE3 or SSE4.1 through target
// pragmas, not through compiler flags, so that the 32-bit module still loads
// and runs on a processor without them; the blits use them only after the
// checks of ProcessorFeatures.h. Nothing outside the pragma regions may be
// instantiated inside them, or the linker could hand a vector instruction to
// the portable path: the portable loops that finish each row are only
// declared here.

#pragma GCC push_options
#pragma GCC target("sse2")

#include "pixels/common/Sse2Vectors.h"

namespace {

using sse2::Equal;
using sse2::LoadVector;
using sse2::StoreVector;

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

// What an instruction level does to whole vectors: pick lanes from one of two
// vectors, and reverse the order of the pixels. The row loops below are
// written once, over these; each level's loops are made where its target is in
// force, so that these inline into them.
struct Sse2Lanes {
    // `otherwise`, with the lanes of `mask` taken from `chosen`.
    static __m128i Select(__m128i mask, __m128i chosen, __m128i otherwise)
    {
        return sse2::Select(mask, chosen, otherwise);
    }

    // Words reversed with three shuffles; bytes are first swapped within words.
    template <typename Pixel>
    static __m128i Reversed(__m128i pixels)
    {
        if constexpr (sizeof(Pixel) == 1)
            pixels = _mm_or_si128(_mm_slli_epi16(pixels, 8), _mm_srli_epi16(pixels, 8));
        pixels = _mm_shufflelo_epi16(pixels, _MM_SHUFFLE(0, 1, 2, 3));
        pixels = _mm_shufflehi_epi16(pixels, _MM_SHUFFLE(0, 1, 2, 3));
        return _mm_shuffle_epi32(pixels, _MM_SHUFFLE(1, 0, 3, 2));
    }
};

#define ROW_LOOP [[gnu::always_inline]] inline

// The source pixels where they are not the key, the destination's elsewhere.
template <class Lanes, typename Pixel>
ROW_LOOP void StoreUnlessKey(Pixel* to, __m128i pixels, __m128i keys)
{
    StoreVector(to, Lanes::Select(Equal<Pixel>(pixels, keys), LoadVector(to), pixels));
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
template <class Lanes, typename Pixel>
ROW_LOOP void KeyedRowForward(Pixel* to, const Pixel* from, uint32_t count, Pixel key)
{
    const __m128i keys = Broadcast(key);
    const Pixel* const vectorsEnd = from + (count - count % lanes<Pixel>);
#pragma GCC unroll 4
    for (; from != vectorsEnd; from += lanes<Pixel>, to += lanes<Pixel>)
        StoreUnlessKey<Lanes>(to, LoadVector(from), keys);
    KeyedRowForwardPortable(to, from, count % lanes<Pixel>, key);
}

// The pixels left over are the row's first, written last.
template <class Lanes, typename Pixel>
ROW_LOOP void KeyedRowBackward(Pixel* to, const Pixel* from, uint32_t count, Pixel key)
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
        StoreUnlessKey<Lanes>(out, LoadVector(in), keys);
    }
    KeyedRowBackwardPortable(to, from, leftOver, key);
}

template <class Lanes, typename Pixel>
ROW_LOOP void MirroredRow(Pixel* to, const Pixel* from, uint32_t count)
{
    const Pixel* in = from + count;
    Pixel* const vectorsEnd = to + (count - count % lanes<Pixel>);
#pragma GCC unroll 4
    for (; to != vectorsEnd; to += lanes<Pixel>) {
        in -= lanes<Pixel>;
        StoreVector(to, Lanes::template Reversed<Pixel>(LoadVector(in)));
    }
    MirroredRowPortable(to, from, count % lanes<Pixel>);
}

template <class Lanes, typename Pixel>
ROW_LOOP void MirroredKeyedRow(Pixel* to, const Pixel* from, uint32_t count, Pixel key)
{
    const __m128i keys = Broadcast(key);
    const Pixel* in = from + count;
    Pixel* const vectorsEnd = to + (count - count % lanes<Pixel>);
#pragma GCC unroll 4
    for (; to != vectorsEnd; to += lanes<Pixel>) {
        in -= lanes<Pixel>;
        StoreUnlessKey<Lanes>(to, Lanes::template Reversed<Pixel>(LoadVector(in)), keys);
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

// A level's row loops are defined where its target is in force, so that its
// lane operations inline into them: these entry points are stamped out once
// in each level's region.
#define LEVEL_ROWS(Rows, Lanes)                                                                                      \
    template <typename Pixel>                                                                                        \
    struct Rows {                                                                                                    \
        static void KeyedForward(Pixel* to, const Pixel* from, uint32_t count, Pixel key)                            \
        {                                                                                                            \
            KeyedRowForward<Lanes>(to, from, count, key);                                                            \
        }                                                                                                            \
        static void KeyedBackward(Pixel* to, const Pixel* from, uint32_t count, Pixel key)                           \
        {                                                                                                            \
            KeyedRowBackward<Lanes>(to, from, count, key);                                                           \
        }                                                                                                            \
        static void Mirrored(Pixel* to, const Pixel* from, uint32_t count) { MirroredRow<Lanes>(to, from, count); }  \
        static void MirroredKeyed(Pixel* to, const Pixel* from, uint32_t count, Pixel key)                           \
        {                                                                                                            \
            MirroredKeyedRow<Lanes>(to, from, count, key);                                                           \
        }                                                                                                            \
    }

LEVEL_ROWS(Sse2Rows, Sse2Lanes);

template <class Rows, typename Pixel>
constexpr BlitRowKernels<Pixel> RowKernelsOf(void (*fill)(Pixel*, uint32_t, Pixel))
{
    return {fill,
            Rows::KeyedForward,
            Rows::KeyedBackward,
            Rows::Mirrored,
            Rows::MirroredKeyed,
            DoubledRowSse2<Pixel>,
            Rows::Shuffled(),
            Rows::ShuffledKeyed()};
}

// SSE2 has no byte shuffle to stretch rows with.
template <typename Pixel>
struct Sse2LevelRows : Sse2Rows<Pixel> {
    static constexpr decltype(BlitRowKernels<Pixel>::shuffled) Shuffled() { return nullptr; }
    static constexpr decltype(BlitRowKernels<Pixel>::shuffledKeyed) ShuffledKeyed() { return nullptr; }
};

}

constinit const BlitRowKernels<uint8_t> sse2RowKernels8 =
    RowKernelsOf<Sse2LevelRows<uint8_t>>(FillRowPortable<uint8_t>);
constinit const BlitRowKernels<uint16_t> sse2RowKernels16 = RowKernelsOf<Sse2LevelRows<uint16_t>>(FillRowSse2);

#pragma GCC pop_options

#pragma GCC push_options
#pragma GCC target("ssse3")

namespace {

// One byte shuffle reverses a vector of either width.
struct Ssse3Lanes : Sse2Lanes {
    template <typename Pixel>
    static __m128i Reversed(__m128i pixels)
    {
        if constexpr (sizeof(Pixel) == 1)
            return _mm_shuffle_epi8(pixels, _mm_setr_epi8(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0));
        else
            return _mm_shuffle_epi8(pixels, _mm_setr_epi8(14, 15, 12, 13, 10, 11, 8, 9, 6, 7, 4, 5, 2, 3, 0, 1));
    }
};

// The source bytes a shuffle takes all lie in the one vector it loads, which
// the plan has kept inside the source row. The count is read once: the stores
// could be to the plan's memory for all the compiler knows.
template <class Lanes, typename Pixel, bool keyed, bool twice>
ROW_LOOP void ShuffledRow(Pixel* to, Pixel* copy, const Pixel* from, const ShuffledColumns& columns, Pixel key)
{
    const __m128i keys = Broadcast(key);
    const uint32_t vectors = columns.vectors;
#pragma GCC unroll 2
    for (uint32_t vector = 0; vector < vectors; ++vector) {
        const __m128i mask = LoadVector(columns.masks[vector]);
        const __m128i pixels = _mm_shuffle_epi8(LoadVector(from + columns.offsets[vector]), mask);
        const uint32_t at = columns.starts[vector];
        if constexpr (keyed)
            StoreUnlessKey<Lanes>(to + at, pixels, keys);
        else
            StoreVector(to + at, pixels);
        if constexpr (twice)
            StoreVector(copy + at, pixels);
    }
}

// A level that stretches with byte shuffles: its row loops and the two
// stretched-row entry points, made where its target is in force.
#define SHUFFLING_LEVEL_ROWS(Rows, Lanes)                                                                            \
    LEVEL_ROWS(Rows##Unshuffled, Lanes);                                                                             \
    template <typename Pixel>                                                                                        \
    struct Rows : Rows##Unshuffled<Pixel> {                                                                          \
        static void Plain(Pixel* to, Pixel* copy, const Pixel* from, const ShuffledColumns& columns)                 \
        {                                                                                                            \
            if (copy)                                                                                                \
                ShuffledRow<Lanes, Pixel, false, true>(to, copy, from, columns, Pixel());                            \
            else                                                                                                     \
                ShuffledRow<Lanes, Pixel, false, false>(to, copy, from, columns, Pixel());                           \
        }                                                                                                            \
        static void Keyed(Pixel* to, const Pixel* from, const ShuffledColumns& columns, Pixel key)                   \
        {                                                                                                            \
            ShuffledRow<Lanes, Pixel, true, false>(to, nullptr, from, columns, key);                                 \
        }                                                                                                            \
        static constexpr decltype(BlitRowKernels<Pixel>::shuffled) Shuffled() { return Plain; }                      \
        static constexpr decltype(BlitRowKernels<Pixel>::shuffledKeyed) ShuffledKeyed() { return Keyed; }            \
    }

SHUFFLING_LEVEL_ROWS(Ssse3Rows, Ssse3Lanes);

}

constinit const BlitRowKernels<uint8_t> ssse3RowKernels8 = RowKernelsOf<Ssse3Rows<uint8_t>>(FillRowPortable<uint8_t>);
constinit const BlitRowKernels<uint16_t> ssse3RowKernels16 = RowKernelsOf<Ssse3Rows<uint16_t>>(FillRowSse2);

#pragma GCC pop_options

#pragma GCC push_options
#pragma GCC target("sse4.1")

namespace {

// One blend instruction picks the lanes, which is what keyed copies spend
// most of their instructions on otherwise.
struct Sse41Lanes : Ssse3Lanes {
    static __m128i Select(__m128i mask, __m128i chosen, __m128i otherwise)
    {
        return _mm_blendv_epi8(otherwise, chosen, mask);
    }
};

SHUFFLING_LEVEL_ROWS(Sse41Rows, Sse41Lanes);

}

constinit const BlitRowKernels<uint8_t> sse41RowKernels8 = RowKernelsOf<Sse41Rows<uint8_t>>(FillRowPortable<uint8_t>);
constinit const BlitRowKernels<uint16_t> sse41RowKernels16 = RowKernelsOf<Sse41Rows<uint16_t>>(FillRowSse2);

#pragma GCC pop_options
