#include <immintrin.h>

#include <cstring>

#include "pixels/edges/EdgeKernels.h"

// The 32-byte row loops, compiled for AVX2 through a target pragma like the
// other levels and taken only after the processor check. Byte shuffles and
// unpacks work within each 16-byte half, so the tables sit in both halves and
// the records are put back in lane order as they are stored.

#pragma GCC push_options
#pragma GCC target("avx2")

#include "pixels/common/Avx2Vectors.h"
#include "pixels/edges/EdgeRowLoops.h"

namespace {

// Doubleword permutes that move the records kept of four to the front, by
// which are kept.
struct QuadPermutes {
    alignas(32) uint32_t lanes[16][8];
};

constexpr QuadPermutes quadPermutes = [] {
    QuadPermutes permutes{};
    for (uint32_t kept = 0; kept < 16; ++kept) {
        uint32_t place = 0;
        for (uint32_t record = 0; record < 4; ++record)
            if (kept >> record & 1) {
                permutes.lanes[kept][2 * place] = 2 * record;
                permutes.lanes[kept][2 * place + 1] = 2 * record + 1;
                ++place;
            }
    }
    return permutes;
}();

struct Avx2Lanes {
    using Vector = __m256i;
    static constexpr uint32_t count = 16;

    static Vector Load(const uint16_t* pixels) { return avx2::Load(pixels); }
    static void Store(uint16_t* to, Vector lanes) { avx2::Store(to, lanes); }
    static Vector Broadcast(uint16_t value) { return _mm256_set1_epi16(short(value)); }
    static Vector Zero() { return _mm256_setzero_si256(); }
    static Vector Equal(Vector a, Vector b) { return _mm256_cmpeq_epi16(a, b); }
    static Vector And(Vector a, Vector b) { return _mm256_and_si256(a, b); }
    static Vector AndNot(Vector a, Vector b) { return _mm256_andnot_si256(a, b); }
    static Vector Or(Vector a, Vector b) { return _mm256_or_si256(a, b); }
    static Vector Add(Vector a, Vector b) { return _mm256_add_epi16(a, b); }
    template <int bits>
    static Vector ShiftLeft(Vector a)
    {
        return _mm256_slli_epi16(a, bits);
    }
    template <int bits>
    static Vector ShiftRight(Vector a)
    {
        return _mm256_srli_epi16(a, bits);
    }
    static Vector MultiplyHigh(Vector a, Vector b) { return _mm256_mulhi_epu16(a, b); }

    // Packing works per half: lanes 0 to 7 land in mask bits 0 to 7, lanes
    // 8 to 15 in bits 16 to 23.
    static uint32_t LaneBits(Vector lanes)
    {
        const uint32_t bytes = uint32_t(_mm256_movemask_epi8(_mm256_packs_epi16(lanes, _mm256_setzero_si256())));
        return (bytes & 0xFF) | (bytes >> 8 & 0xFF00);
    }

    static uint32_t CountBits(uint32_t bits) { return uint32_t(__builtin_popcount(bits)); }

    struct Divisors {
        Vector reciprocals;
        Vector weights;
    };

    // A 16-entry table in each half.
    static __m256i Table(const uint8_t* bytes) { return _mm256_broadcastsi128_si256(avx2::LoadHalf(bytes)); }

    // The total indexes the tables in the low byte; the top bit of the high
    // byte gives it 0.
    static Divisors LookUp(Vector totals)
    {
        const __m256i index = _mm256_or_si256(totals, _mm256_set1_epi16(short(0x8000)));
        const __m256i low = _mm256_shuffle_epi8(Table(edgeTables.reciprocalLowBytes), index);
        const __m256i high = _mm256_shuffle_epi8(Table(edgeTables.reciprocalHighBytes), index);
        return {_mm256_or_si256(low, _mm256_slli_epi16(high, 8)),
                _mm256_shuffle_epi8(Table(edgeTables.weightBytes), index)};
    }

    // x | y << 16 in the order the unpacks take the lanes: 0 to 3 and 8 to
    // 11, 4 to 7 and 12 to 15.
    struct Positions {
        __m256i low;
        __m256i high;
    };

    static Positions FirstPositions(uint32_t first)
    {
        const __m256i firsts = _mm256_set1_epi32(int(first));
        return {_mm256_add_epi32(firsts, _mm256_setr_epi32(0, 1, 2, 3, 8, 9, 10, 11)),
                _mm256_add_epi32(firsts, _mm256_setr_epi32(4, 5, 6, 7, 12, 13, 14, 15))};
    }

    static Positions NextPositions(const Positions& positions)
    {
        const __m256i step = _mm256_set1_epi32(count);
        return {_mm256_add_epi32(positions.low, step), _mm256_add_epi32(positions.high, step)};
    }

    // The records of lanes 4i to 4i + 3 in vector i.
    struct Records {
        __m256i quads[4];
    };

    static Records MakeRecords(const Positions& positions, Vector weights, Vector colours)
    {
        const __m256i low = _mm256_unpacklo_epi16(weights, colours);
        const __m256i high = _mm256_unpackhi_epi16(weights, colours);
        const __m256i first = _mm256_unpacklo_epi32(positions.low, low);
        const __m256i second = _mm256_unpackhi_epi32(positions.low, low);
        const __m256i third = _mm256_unpacklo_epi32(positions.high, high);
        const __m256i fourth = _mm256_unpackhi_epi32(positions.high, high);
        return {{_mm256_permute2x128_si256(first, second, 0x20), _mm256_permute2x128_si256(third, fourth, 0x20),
                 _mm256_permute2x128_si256(first, second, 0x31), _mm256_permute2x128_si256(third, fourth, 0x31)}};
    }

    static void StoreRecords(EdgePixel* records, const Positions& positions, Vector weights, Vector colours)
    {
        const Records made = MakeRecords(positions, weights, colours);
        for (uint32_t quad = 0; quad < 4; ++quad)
            avx2::Store(records + 4 * quad, made.quads[quad]);
    }

    static EdgePixel* StoreEdgeRecords(EdgePixel* out, const Positions& positions, Vector weights, Vector colours,
                                       uint32_t bits)
    {
        const Records made = MakeRecords(positions, weights, colours);
        for (uint32_t quad = 0; quad < 4; ++quad) {
            const uint32_t kept = bits >> (4 * quad) & 15;
            avx2::Store(out, _mm256_permutevar8x32_epi32(made.quads[quad], avx2::Load(quadPermutes.lanes[kept])));
            out += __builtin_popcount(kept);
        }
        return out;
    }
};

uint32_t CountRowAvx2(const EdgeRows& rows, uint32_t width, uint16_t key)
{
    return CountRow<Avx2Lanes>(rows, width, key);
}

EdgePixel* PlaceRowAvx2(EdgePixel* out, EdgePixel* end, const EdgeRows& rows, uint32_t width, uint32_t y, uint16_t key)
{
    return PlaceRow<Avx2Lanes>(out, end, rows, width, y, key);
}

}

extern const EdgeRowKernels avx2EdgeKernels = {CountRowAvx2, PlaceRowAvx2};

#pragma GCC pop_options
