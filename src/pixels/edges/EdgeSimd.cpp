#include <emmintrin.h>
#include <tmmintrin.h>

#include <cstring>

#include "pixels/edges/EdgeKernels.h"

// The 16-byte row loops, compiled for SSSE3 through a target pragma, not
// through compiler flags, so that the 32-bit module still runs on a processor
// without it; BuildEdgeList takes them only after the processor check. The
// weight totals index their tables through byte shuffles, which SSE2 lacks.

#pragma GCC push_options
#pragma GCC target("ssse3")

#include "pixels/common/Sse2Vectors.h"
#include "pixels/edges/EdgeRowLoops.h"

namespace {

struct Ssse3Lanes {
    using Vector = __m128i;
    static constexpr uint32_t count = 8;

    static Vector Load(const uint16_t* pixels) { return sse2::LoadVector(pixels); }
    static Vector Broadcast(uint16_t value) { return _mm_set1_epi16(short(value)); }
    static Vector Zero() { return _mm_setzero_si128(); }
    static Vector Equal(Vector a, Vector b) { return _mm_cmpeq_epi16(a, b); }
    static Vector And(Vector a, Vector b) { return _mm_and_si128(a, b); }
    static Vector AndNot(Vector a, Vector b) { return _mm_andnot_si128(a, b); }
    static Vector Or(Vector a, Vector b) { return _mm_or_si128(a, b); }
    static Vector Add(Vector a, Vector b) { return _mm_add_epi16(a, b); }
    static Vector Sub(Vector a, Vector b) { return _mm_sub_epi16(a, b); }
    template <int bits>
    static Vector ShiftLeft(Vector a)
    {
        return _mm_slli_epi16(a, bits);
    }
    template <int bits>
    static Vector ShiftRight(Vector a)
    {
        return _mm_srli_epi16(a, bits);
    }
    static Vector MultiplyHigh(Vector a, Vector b) { return _mm_mulhi_epu16(a, b); }
    static Vector ByteTable(const uint8_t* table) { return sse2::LoadVector(table); }
    static Vector Shuffle(Vector table, Vector index) { return _mm_shuffle_epi8(table, index); }

    static uint32_t LaneBits(Vector lanes)
    {
        return uint32_t(_mm_movemask_epi8(_mm_packs_epi16(lanes, _mm_setzero_si128())));
    }

    static uint32_t SumLanes(Vector lanes)
    {
        const __m128i pairs = _mm_madd_epi16(lanes, _mm_set1_epi16(1));
        const __m128i halves = _mm_add_epi32(pairs, _mm_srli_si128(pairs, 8));
        return uint32_t(_mm_cvtsi128_si32(_mm_add_epi32(halves, _mm_srli_si128(halves, 4))));
    }

    // x | y << 16 of lanes 0 to 3 and 4 to 7.
    struct Positions {
        __m128i low;
        __m128i high;
    };

    static Positions FirstPositions(uint32_t first)
    {
        const __m128i firsts = _mm_set1_epi32(int(first));
        return {_mm_add_epi32(firsts, _mm_setr_epi32(0, 1, 2, 3)), _mm_add_epi32(firsts, _mm_setr_epi32(4, 5, 6, 7))};
    }

    static Positions NextPositions(const Positions& positions)
    {
        const __m128i step = _mm_set1_epi32(count);
        return {_mm_add_epi32(positions.low, step), _mm_add_epi32(positions.high, step)};
    }

    static void StoreRecords(EdgePixel* records, const Positions& positions, Vector weights, Vector colours)
    {
        const __m128i low = _mm_unpacklo_epi16(weights, colours);
        const __m128i high = _mm_unpackhi_epi16(weights, colours);
        sse2::StoreVector(records, _mm_unpacklo_epi32(positions.low, low));
        sse2::StoreVector(records + 2, _mm_unpackhi_epi32(positions.low, low));
        sse2::StoreVector(records + 4, _mm_unpacklo_epi32(positions.high, high));
        sse2::StoreVector(records + 6, _mm_unpackhi_epi32(positions.high, high));
    }
};

}

extern const EdgeRowKernels ssse3EdgeKernels = {CountRow<Ssse3Lanes>, PlaceRow<Ssse3Lanes>};

#pragma GCC pop_options
