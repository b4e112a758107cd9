#include <immintrin.h>

#include <cstddef>
#include <utility>

#include "pixels/blit/BlitKernels.h"

// The AVX2 loops, compiled for it through a target pragma like the other
// levels and taken only after the processor check. Nothing outside the pragma
// region may be instantiated inside it: the portable loops that finish each
// row are only declared here.

#pragma GCC push_options
#pragma GCC target("avx2")

#include "pixels/common/Avx2Vectors.h"

namespace {

using avx2::Equal;
using avx2::Load;
using avx2::LoadHalf;
using avx2::Store;
using avx2::StoreHalf;

template <typename Pixel>
constexpr uint32_t lanes = 32 / sizeof(Pixel);

template <typename Pixel>
constexpr uint32_t halfLanes = 16 / sizeof(Pixel);

template <typename Pixel>
__m256i Broadcast(Pixel value)
{
    if constexpr (sizeof(Pixel) == 1)
        return _mm256_set1_epi8(char(value));
    else
        return _mm256_set1_epi16(short(value));
}

template <typename Pixel>
__m128i Equal(__m128i a, __m128i b)
{
    if constexpr (sizeof(Pixel) == 1)
        return _mm_cmpeq_epi8(a, b);
    else
        return _mm_cmpeq_epi16(a, b);
}

#define ROW_LOOP [[gnu::always_inline]] inline

// The source pixels where they are not the key, the destination's elsewhere.
template <typename Pixel>
ROW_LOOP void StoreUnlessKey(Pixel* to, __m256i pixels, __m256i keys)
{
    Store(to, _mm256_blendv_epi8(pixels, Load(to), Equal<Pixel>(pixels, keys)));
}

template <typename Pixel>
ROW_LOOP void StoreUnlessKey(Pixel* to, __m128i pixels, __m128i keys)
{
    StoreHalf(to, _mm_blendv_epi8(pixels, LoadHalf(to), Equal<Pixel>(pixels, keys)));
}

// Pixels reversed within each 16-byte half by a byte shuffle, then the halves
// swapped.
template <typename Pixel>
__m256i Reversed(__m256i pixels)
{
    const __m256i order =
        sizeof(Pixel) == 1
            ? _mm256_setr_epi8(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 15, 14, 13, 12, 11, 10, 9, 8, 7,
                               6, 5, 4, 3, 2, 1, 0)
            : _mm256_setr_epi8(14, 15, 12, 13, 10, 11, 8, 9, 6, 7, 4, 5, 2, 3, 0, 1, 14, 15, 12, 13, 10, 11, 8, 9, 6,
                               7, 4, 5, 2, 3, 0, 1);
    return _mm256_permute4x64_epi64(_mm256_shuffle_epi8(pixels, order), _MM_SHUFFLE(1, 0, 3, 2));
}

// The colour as it lies from an even address on: from an odd one, a 16-bit
// colour's bytes come the other way round.
template <typename Pixel>
__m256i ColoursFrom(Pixel colour, bool oddAddress)
{
    if constexpr (sizeof(Pixel) == 2)
        if (oddAddress)
            return Broadcast(Pixel(colour >> 8 | colour << 8));
    return Broadcast(colour);
}

// Stores within one cache line each run at about twice the speed of stores
// across two, so all but a row's first and last vectors are stored on 32-byte
// boundaries. Fills are the same pixels whatever the order, so those two may
// cover pixels the others write too.
template <typename Pixel>
void FillRow(Pixel* row, uint32_t count, Pixel colour)
{
    if (count < lanes<Pixel>) {
        FillRowPortable(row, count, colour);
        return;
    }
    uint8_t* const first = reinterpret_cast<uint8_t*>(row);
    uint8_t* const last = first + (size_t(count) * sizeof(Pixel) - 32);
    const __m256i colours = Broadcast(colour);
    const __m256i alignedColours = ColoursFrom(colour, reinterpret_cast<uintptr_t>(first) % 2 != 0);
    Store(first, colours);
    uint8_t* out = first + (32 - reinterpret_cast<uintptr_t>(first) % 32);
#pragma GCC unroll 4
    for (; out < last; out += 32)
        _mm256_store_si256(reinterpret_cast<__m256i*>(out), alignedColours);
    Store(last, colours);
}

// Each vector is read whole before it is written, and in the row's direction
// no later vector reads what an earlier one wrote. Sprite rows are short, so
// a half vector takes what is left before the portable loop does.
template <typename Pixel>
void KeyedForwardUnaligned(Pixel* to, const Pixel* from, uint32_t count, Pixel key)
{
    const __m256i keys = Broadcast(key);
    const Pixel* const vectorsEnd = from + (count - count % lanes<Pixel>);
#pragma GCC unroll 4
    for (; from != vectorsEnd; from += lanes<Pixel>, to += lanes<Pixel>)
        StoreUnlessKey(to, Load(from), keys);
    count %= lanes<Pixel>;
    if (count >= halfLanes<Pixel>) {
        StoreUnlessKey(to, LoadHalf(from), _mm256_castsi256_si128(keys));
        from += halfLanes<Pixel>;
        to += halfLanes<Pixel>;
        count -= halfLanes<Pixel>;
    }
    KeyedRowForwardPortable(to, from, count, key);
}

__m256i LoadAligned(const uint8_t* from)
{
    return _mm256_load_si256(reinterpret_cast<const __m256i*>(from));
}

// The 32 bytes from `shift` bytes into `first` on, out of two aligned vectors
// that follow each other in memory: the byte shifts work within 16-byte
// halves, so the halves in between are set side by side first.
template <int shift>
__m256i Window(__m256i first, __m256i second)
{
    const __m256i between = _mm256_permute2x128_si256(first, second, 0x21);
    if constexpr (shift == 0)
        return first;
    else if constexpr (shift < 16)
        return _mm256_alignr_epi8(between, first, shift);
    else if constexpr (shift == 16)
        return between;
    else
        return _mm256_alignr_epi8(second, between, shift - 16);
}

// `vectors` destination vectors from an aligned `to` on, whose source lies
// `shift` bytes past the aligned `alignedFrom`; the source is read up to the
// end of the aligned vector after the last one's.
template <typename Pixel, int shift>
void KeyedAlignedVectors(uint8_t* to, const uint8_t* alignedFrom, size_t vectors, Pixel key)
{
    const __m256i keys = Broadcast(key);
    __m256i first = LoadAligned(alignedFrom);
#pragma GCC unroll 2
    for (uint8_t* const end = to + 32 * vectors; to != end; to += 32) {
        alignedFrom += 32;
        const __m256i second = LoadAligned(alignedFrom);
        const __m256i pixels = Window<shift>(first, second);
        _mm256_store_si256(reinterpret_cast<__m256i*>(to),
                           _mm256_blendv_epi8(pixels, LoadAligned(to), Equal<Pixel>(pixels, keys)));
        first = second;
    }
}

template <typename Pixel, class Shifts>
struct KeyedAlignedLoops;

template <typename Pixel, size_t... shifts>
struct KeyedAlignedLoops<Pixel, std::index_sequence<shifts...>> {
    static constexpr void (*byShift[])(uint8_t*, const uint8_t*, size_t, Pixel) = {
        KeyedAlignedVectors<Pixel, int(shifts)>...};
};

// A split access costs two, so where the source and destination rows lie at
// different offsets from a vector boundary, the unaligned loop pays for one
// on every other vector. Long rows that do not overlap are read and written
// in aligned vectors instead, each destination vector made from two source
// vectors with the shift of their offsets, between a start and an end of
// unaligned vectors, which may write pixels twice. The start reaches far
// enough that no aligned source vector begins before the row.
template <typename Pixel>
void KeyedForwardAligned(uint8_t* to, const uint8_t* from, size_t size, Pixel key)
{
    const __m256i keys = Broadcast(key);
    size_t start = 32 - reinterpret_cast<uintptr_t>(to) % 32;
    const size_t shift = (reinterpret_cast<uintptr_t>(from) + start) % 32;
    if (shift > start)
        start += 32;
    for (size_t done = 0; done < start; done += 32)
        StoreUnlessKey(reinterpret_cast<Pixel*>(to + done), Load(from + done), keys);
    const uint8_t* const alignedFrom = from + (start - shift);
    const size_t vectors = size_t(from + size - alignedFrom) / 32 - 1;
    KeyedAlignedLoops<Pixel, std::make_index_sequence<32>>::byShift[shift](to + start, alignedFrom, vectors, key);
    for (size_t done = start + 32 * vectors; done < size; done += 32) {
        const size_t at = done + 32 < size ? done : size - 32;
        StoreUnlessKey(reinterpret_cast<Pixel*>(to + at), Load(from + at), keys);
    }
}

// Rows of 16-bit pixels at odd addresses would put pixels across the aligned
// vectors' lanes.
template <typename Pixel>
bool AlignedKeyedFits(const Pixel* to, const Pixel* from, uint32_t count)
{
    const uintptr_t out = reinterpret_cast<uintptr_t>(to), in = reinterpret_cast<uintptr_t>(from);
    const size_t size = size_t(count) * sizeof(Pixel);
    return size >= 128 && out % sizeof(Pixel) == 0 && (out + size <= in || in + size <= out);
}

template <typename Pixel>
void KeyedForward(Pixel* to, const Pixel* from, uint32_t count, Pixel key)
{
    if (AlignedKeyedFits(to, from, count))
        KeyedForwardAligned(reinterpret_cast<uint8_t*>(to), reinterpret_cast<const uint8_t*>(from),
                            size_t(count) * sizeof(Pixel), key);
    else
        KeyedForwardUnaligned(to, from, count, key);
}

// The pixels left over are the row's first, written last.
template <typename Pixel>
void KeyedBackward(Pixel* to, const Pixel* from, uint32_t count, Pixel key)
{
    const __m256i keys = Broadcast(key);
    uint32_t leftOver = count % lanes<Pixel>;
    const Pixel* const vectorsBegin = from + leftOver;
    const Pixel* in = from + count;
    Pixel* out = to + count;
#pragma GCC unroll 4
    while (in != vectorsBegin) {
        in -= lanes<Pixel>;
        out -= lanes<Pixel>;
        StoreUnlessKey(out, Load(in), keys);
    }
    if (leftOver >= halfLanes<Pixel>) {
        leftOver -= halfLanes<Pixel>;
        StoreUnlessKey(to + leftOver, LoadHalf(from + leftOver), _mm256_castsi256_si128(keys));
    }
    KeyedRowBackwardPortable(to, from, leftOver, key);
}

template <typename Pixel>
void Mirrored(Pixel* to, const Pixel* from, uint32_t count)
{
    const Pixel* in = from + count;
    Pixel* const vectorsEnd = to + (count - count % lanes<Pixel>);
#pragma GCC unroll 4
    for (; to != vectorsEnd; to += lanes<Pixel>) {
        in -= lanes<Pixel>;
        Store(to, Reversed<Pixel>(Load(in)));
    }
    MirroredRowPortable(to, from, count % lanes<Pixel>);
}

template <typename Pixel>
void MirroredKeyed(Pixel* to, const Pixel* from, uint32_t count, Pixel key)
{
    const __m256i keys = Broadcast(key);
    const Pixel* in = from + count;
    Pixel* const vectorsEnd = to + (count - count % lanes<Pixel>);
#pragma GCC unroll 4
    for (; to != vectorsEnd; to += lanes<Pixel>) {
        in -= lanes<Pixel>;
        StoreUnlessKey(to, Reversed<Pixel>(Load(in)), keys);
    }
    MirroredKeyedRowPortable(to, from, count % lanes<Pixel>, key);
}

// Each pixel widened to twice its size and or-ed with itself moved up by one
// pixel is the pair of it.
template <typename Pixel>
void Doubled(Pixel* to, const Pixel* from, uint32_t count)
{
    const Pixel* const vectorsEnd = from + (count - count % halfLanes<Pixel>);
#pragma GCC unroll 4
    for (; from != vectorsEnd; from += halfLanes<Pixel>, to += lanes<Pixel>) {
        const __m128i pixels = LoadHalf(from);
        if constexpr (sizeof(Pixel) == 1) {
            const __m256i wide = _mm256_cvtepu8_epi16(pixels);
            Store(to, _mm256_or_si256(wide, _mm256_slli_epi16(wide, 8)));
        } else {
            const __m256i wide = _mm256_cvtepu16_epi32(pixels);
            Store(to, _mm256_or_si256(wide, _mm256_slli_epi32(wide, 16)));
        }
    }
    DoubledRowPortable(to, from, count % halfLanes<Pixel>);
}

template <typename Pixel, bool keyed, bool twice>
ROW_LOOP void ShuffledOne(Pixel* to, Pixel* copy, const Pixel* from, const ShuffledColumns& columns, uint32_t vector,
                          __m256i keys)
{
    const __m128i mask = LoadHalf(columns.masks[vector]);
    const __m128i pixels = _mm_shuffle_epi8(LoadHalf(from + columns.offsets[vector]), mask);
    const uint32_t at = columns.starts[vector];
    if constexpr (keyed)
        StoreUnlessKey(to + at, pixels, _mm256_castsi256_si128(keys));
    else
        StoreHalf(to + at, pixels);
    if constexpr (twice)
        StoreHalf(copy + at, pixels);
}

// Two vectors of the plan side by side make one store, but for the last,
// which may overlap the one before it. Their masks lie together. The count
// is read once: the stores could be to the plan's memory for all the compiler
// knows.
template <typename Pixel, bool keyed, bool twice>
ROW_LOOP void ShuffledRow(Pixel* to, Pixel* copy, const Pixel* from, const ShuffledColumns& columns, Pixel key)
{
    const __m256i keys = Broadcast(key);
    const uint32_t vectors = columns.vectors;
    uint32_t vector = 0;
    uint32_t at = 0;
#pragma GCC unroll 2
    for (; vector + 2 < vectors; vector += 2, at += lanes<Pixel>) {
        const __m256i mask = Load(columns.masks[vector]);
        const __m256i sources =
            _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(from + columns.offsets[vector + 1]),
                                reinterpret_cast<const __m128i*>(from + columns.offsets[vector]));
        const __m256i pixels = _mm256_shuffle_epi8(sources, mask);
        if constexpr (keyed)
            StoreUnlessKey(to + at, pixels, keys);
        else
            Store(to + at, pixels);
        if constexpr (twice)
            Store(copy + at, pixels);
    }
    for (; vector < vectors; ++vector)
        ShuffledOne<Pixel, keyed, twice>(to, copy, from, columns, vector, keys);
}

template <typename Pixel>
void Shuffled(Pixel* to, Pixel* copy, const Pixel* from, const ShuffledColumns& columns)
{
    if (copy)
        ShuffledRow<Pixel, false, true>(to, copy, from, columns, Pixel());
    else
        ShuffledRow<Pixel, false, false>(to, copy, from, columns, Pixel());
}

template <typename Pixel>
void ShuffledKeyed(Pixel* to, const Pixel* from, const ShuffledColumns& columns, Pixel key)
{
    ShuffledRow<Pixel, true, false>(to, nullptr, from, columns, key);
}

template <typename Pixel>
constexpr BlitRowKernels<Pixel> RowKernelsOf(void (*fill)(Pixel*, uint32_t, Pixel))
{
    return {fill,           KeyedForward<Pixel>, KeyedBackward<Pixel>, Mirrored<Pixel>, MirroredKeyed<Pixel>,
            Doubled<Pixel>, Shuffled<Pixel>,     ShuffledKeyed<Pixel>};
}

}

constinit const BlitRowKernels<uint8_t> avx2RowKernels8 = RowKernelsOf<uint8_t>(FillRow<uint8_t>);
constinit const BlitRowKernels<uint16_t> avx2RowKernels16 = RowKernelsOf<uint16_t>(FillRow<uint16_t>);

#pragma GCC pop_options
