#include <emmintrin.h>
#include <tmmintrin.h>

#include <cstring>

#include "pixels/edges/EdgeKernels.h"

// The 16-byte row loops, compiled for SSE2 and SSSE3 through target pragmas,
// not through compiler flags, so that the 32-bit module still runs on a
// processor without them; BuildEdgeList takes them only after the processor
// checks. SSE2 looks the weight totals up lane by lane and moves records with
// selections; SSSE3 does both with byte shuffles.

#pragma GCC push_options
#pragma GCC target("sse2")

#include "pixels/common/Sse2Vectors.h"
#include "pixels/edges/EdgeRowLoops.h"

namespace {

using sse2::LoadVector;
using sse2::StoreVector;

// The number of bits set in each byte: the processors of these levels may
// lack a population count.
struct BitCounts {
    uint8_t counts[256];
};

constexpr BitCounts bitCounts = [] {
    BitCounts table{};
    for (uint32_t byte = 0; byte < 256; ++byte)
        for (uint32_t bit = 0; bit < 8; ++bit)
            table.counts[byte] = uint8_t(table.counts[byte] + (byte >> bit & 1));
    return table;
}();

// By which of two records are kept: all ones where only the second is, which
// then moves to the place of the first.
struct SecondAlone {
    alignas(16) uint8_t masks[4][16];
};

constexpr SecondAlone secondAlone = [] {
    SecondAlone table{};
    for (uint32_t byte = 0; byte < 16; ++byte)
        table.masks[2][byte] = 0xFF;
    return table;
}();

struct Sse2Lanes {
    using Vector = __m128i;
    static constexpr uint32_t count = 8;

    static Vector Load(const uint16_t* pixels) { return LoadVector(pixels); }
    static void Store(uint16_t* to, Vector lanes) { StoreVector(to, lanes); }
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

    static uint32_t LaneBits(Vector lanes)
    {
        return uint32_t(_mm_movemask_epi8(_mm_packs_epi16(lanes, _mm_setzero_si128())));
    }

    static uint32_t CountBits(uint32_t bits) { return bitCounts.counts[bits]; }

    struct Divisors {
        Vector reciprocals;
        Vector weights;
    };

    template <int lane>
    static void LookUpLane(Vector totals, Divisors& divisors)
    {
        const int total = _mm_extract_epi16(totals, lane);
        divisors.reciprocals = _mm_insert_epi16(divisors.reciprocals, edgeTables.reciprocals[total], lane);
        divisors.weights = _mm_insert_epi16(divisors.weights, edgeTables.weights[total], lane);
    }

    static Divisors LookUp(Vector totals)
    {
        Divisors divisors = {_mm_setzero_si128(), _mm_setzero_si128()};
        LookUpLane<0>(totals, divisors);
        LookUpLane<1>(totals, divisors);
        LookUpLane<2>(totals, divisors);
        LookUpLane<3>(totals, divisors);
        LookUpLane<4>(totals, divisors);
        LookUpLane<5>(totals, divisors);
        LookUpLane<6>(totals, divisors);
        LookUpLane<7>(totals, divisors);
        return divisors;
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
            StoreVector(records + 2 * pair, made.pairs[pair]);
    }

    static EdgePixel* StoreEdgeRecords(EdgePixel* out, const Positions& positions, Vector weights, Vector colours,
                                       uint32_t bits)
    {
        const Records made = MakeRecords(positions, weights, colours);
        for (uint32_t pair = 0; pair < 4; ++pair) {
            const uint32_t kept = bits >> (2 * pair) & 3;
            const __m128i records = made.pairs[pair];
            StoreVector(out, sse2::Select(LoadVector(secondAlone.masks[kept]), _mm_srli_si128(records, 8), records));
            out += bitCounts.counts[kept];
        }
        return out;
    }
};

uint32_t CountRowSse2(const EdgeRows& rows, uint32_t width, uint16_t key)
{
    return CountRow<Sse2Lanes>(rows, width, key);
}

EdgePixel* PlaceRowSse2(EdgePixel* out, EdgePixel* end, const EdgeRows& rows, uint32_t width, uint32_t y, uint16_t key)
{
    return PlaceRow<Sse2Lanes>(out, end, rows, width, y, key);
}

}

extern const EdgeRowKernels sse2EdgeKernels = {CountRowSse2, PlaceRowSse2};

#pragma GCC pop_options

#pragma GCC push_options
#pragma GCC target("ssse3")

namespace {

// Byte shuffles that move the second of two records to the place of the
// first where it is the only one to keep, by which are kept.
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

struct Ssse3Lanes : Sse2Lanes {
    // The total indexes 16-entry tables in the low byte; the top bit of the
    // high byte gives it 0.
    static Divisors LookUp(Vector totals)
    {
        const __m128i index = _mm_or_si128(totals, _mm_set1_epi16(short(0x8000)));
        const __m128i low = _mm_shuffle_epi8(LoadVector(edgeTables.reciprocalLowBytes), index);
        const __m128i high = _mm_shuffle_epi8(LoadVector(edgeTables.reciprocalHighBytes), index);
        return {_mm_or_si128(low, _mm_slli_epi16(high, 8)),
                _mm_shuffle_epi8(LoadVector(edgeTables.weightBytes), index)};
    }

    static EdgePixel* StoreEdgeRecords(EdgePixel* out, const Positions& positions, Vector weights, Vector colours,
                                       uint32_t bits)
    {
        const Records made = MakeRecords(positions, weights, colours);
        for (uint32_t pair = 0; pair < 4; ++pair) {
            const uint32_t kept = bits >> (2 * pair) & 3;
            StoreVector(out, _mm_shuffle_epi8(made.pairs[pair], LoadVector(pairShuffles.bytes[kept])));
            out += bitCounts.counts[kept];
        }
        return out;
    }
};

EdgePixel* PlaceRowSsse3(EdgePixel* out, EdgePixel* end, const EdgeRows& rows, uint32_t width, uint32_t y, uint16_t key)
{
    return PlaceRow<Ssse3Lanes>(out, end, rows, width, y, key);
}

}

// Counting takes no byte shuffle.
extern const EdgeRowKernels ssse3EdgeKernels = {CountRowSse2, PlaceRowSsse3};

#pragma GCC pop_options
