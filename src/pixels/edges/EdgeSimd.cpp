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

// The number of bits set in each byte: the processors of this level may lack
// a population count.
struct BitCounts {
    uint8_t counts[256];
};

constexpr BitCounts bitCountTable = [] {
    BitCounts table{};
    for (uint32_t byte = 0; byte < 256; ++byte)
        table.counts[byte] = uint8_t((byte & 1) + (byte >> 1 & 1) + (byte >> 2 & 1) + (byte >> 3 & 1) +
                                     (byte >> 4 & 1) + (byte >> 5 & 1) + (byte >> 6 & 1) + (byte >> 7));
    return table;
}();

// Byte shuffles that move the second of two records to the place of the
// first where it is the only one to keep, by which two are kept.
struct PairShuffles {
    alignas(16) uint8_t bytes[4][16];
};

constexpr PairShuffles pairShuffles = [] {
    PairShuffles shuffles{};
    for (uint32_t kept = 0; kept < 4; ++kept)
        for (uint32_t byte = 0; byte < 16; ++byte)
            shuffles.bytes[kept][byte] = uint8_t(kept == 2 ? 8 + byte % 8 : byte);
    return shuffles;
}();

struct Ssse3Lanes {
    using Vector = __m128i;
    static constexpr uint32_t count = 8;

    static Vector Load(const uint16_t* pixels) { return sse2::LoadVector(pixels); }
    static void Store(uint16_t* to, Vector lanes) { sse2::StoreVector(to, lanes); }
    static Vector Broadcast(uint16_t value) { return _mm_set1_epi16(short(value)); }
    static Vector Zero() { return _mm_setzero_si128(); }
    static Vector Equal(Vector a, Vector b) { return _mm_cmpeq_epi16(a, b); }
    static Vector And(Vector a, Vector b) { return _mm_and_si128(a, b); }
    static Vector AndNot(Vector a, Vector b) { return _mm_andnot_si128(a, b); }
    static Vector Or(Vector a, Vector b) { return _mm_or_si128(a, b); }
    static Vector Add(Vector a, Vector b) { return _mm_add_epi16(a, b); }
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

    static uint32_t CountBits(uint32_t bits) { return bitCountTable.counts[bits]; }

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

    // The records of lanes 2i and 2i + 1 in vector i.
    struct Records {
        __m128i pairs[4];
    };

    static Records MakeRecords(const Positions& positions, Vector weights, Vector colours)
    {
        const __m128i low = _mm_unpacklo_epi16(weights, colours);
        const __m128i high = _mm_unpackhi_epi16(weights, colours);
        return {{_mm_unpacklo_epi32(positions.low, low), _mm_unpackhi_epi32(positions.low, low),
                 _mm_unpacklo_epi32(positions.high, high), _mm_unpackhi_epi32(positions.high, high)}};
    }

    static void StoreRecords(EdgePixel* records, const Positions& positions, Vector weights, Vector colours)
    {
        const Records made = MakeRecords(positions, weights, colours);
        for (uint32_t pair = 0; pair < 4; ++pair)
            sse2::StoreVector(records + 2 * pair, made.pairs[pair]);
    }

    static EdgePixel* StoreEdgeRecords(EdgePixel* out, const Positions& positions, Vector weights, Vector colours,
                                       uint32_t bits)
    {
        const Records made = MakeRecords(positions, weights, colours);
        for (uint32_t pair = 0; pair < 4; ++pair) {
            const uint32_t kept = bits >> (2 * pair) & 3;
            sse2::StoreVector(out, _mm_shuffle_epi8(made.pairs[pair], sse2::LoadVector(pairShuffles.bytes[kept])));
            out += (kept & 1) + (kept >> 1);
        }
        return out;
    }
};

}

extern const EdgeRowKernels ssse3EdgeKernels = {CountRow<Ssse3Lanes>, PlaceRow<Ssse3Lanes>};

#pragma GCC pop_options
