#include <immintrin.h>

#include <cstring>

#include "pixels/edges/EdgeKernels.h"

// The 64-byte row loops (AVX-512 Foundation, Byte and Word, and VBMI),
// compiled for it through a target pragma like the other levels and taken
// only after the processor check. They work as the 16-byte and 32-byte ones
// do (EdgeRowLoops.h), with masks for the pixels that show, which add only
// their lanes to the sums; the totals index their tables with word permutes,
// and the records of edge pixels are packed together with compresses.

#pragma GCC push_options
#pragma GCC target("avx512f,avx512bw,avx512vbmi")

#include "pixels/common/Avx512Vectors.h"
#include "pixels/edges/EdgeRowLoops.h"

namespace {

constexpr uint32_t lanes = avx512::lanes<uint16_t>;

// Permutes that lay records out. Each edge pixel's weight, its lane and its
// colour are first one doubleword, weight in byte 0 and lane in byte 1, so
// that one compress packs those of sixteen lanes; byte permutes then spread
// each doubleword over a record, its lane in the position's place, the
// position of lane 0 added after.
struct Permutes {
    alignas(64) uint16_t laneBytes[32];
    alignas(64) uint16_t packLanes[2][32];
    alignas(64) uint8_t spreadRecords[2][64];
};

constexpr Permutes permutes = [] {
    Permutes indices{};
    for (uint32_t lane = 0; lane < lanes; ++lane)
        indices.laneBytes[lane] = uint16_t(lane << 8);
    for (uint32_t half = 0; half < 2; ++half)
        for (uint32_t lane = 0; lane < 16; ++lane) {
            indices.packLanes[half][2 * lane] = uint16_t(16 * half + lane);
            indices.packLanes[half][2 * lane + 1] = uint16_t(lanes + 16 * half + lane);
        }
    for (uint32_t part = 0; part < 2; ++part)
        for (uint32_t record = 0; record < 8; ++record) {
            const uint32_t packed = 4 * (8 * part + record);
            uint8_t* const bytes = indices.spreadRecords[part] + 8 * record;
            bytes[0] = uint8_t(packed + 1);
            bytes[4] = uint8_t(packed);
            bytes[6] = uint8_t(packed + 2);
            bytes[7] = uint8_t(packed + 3);
        }
    return indices;
}();

// The bytes of each record that the spreading permutes fill: 0, 4, 6 and 7.
constexpr __mmask64 spreadBytes = 0xD1D1D1D1D1D1D1D1ull;

__m512i Load(const void* from)
{
    return _mm512_loadu_si512(from);
}

// Bitwise functions of three vectors a, b, c for the ternary-logic
// instruction: (a ^ c) | (b ^ c), a | (b ^ c), a | b | c and (a & b) | c.
constexpr int eitherDiffers = 0x7E;
constexpr int orDiffers = 0xF6;
constexpr int anyOfThree = 0xFE;
constexpr int firstAndSecondOrThird = 0xEA;

uint32_t FirstLanes(uint32_t inRow)
{
    return avx512::FirstLanes<uint16_t>(inRow);
}

// Lanes of the vector at `columns` whose column of three pixels shows one.
uint32_t ShownColumnLanes(const EdgeColumns& columns, __m512i keys)
{
    const __m512i two = _mm512_ternarylogic_epi32(Load(columns.above), Load(columns.below), keys, eitherDiffers);
    const __m512i three = _mm512_ternarylogic_epi32(two, Load(columns.row), keys, orDiffers);
    return _mm512_test_epi16_mask(three, three);
}

// As on the other levels: a key pixel is an edge pixel where its own column
// or one beside it shows a pixel.
uint32_t CountRowAvx512(const EdgeRows& rows, uint32_t width, uint16_t key)
{
    const __m512i keys = _mm512_set1_epi16(short(key));
    uint32_t count = 0;
    uint32_t before = 0;
    ColumnCursor<lanes> columns(rows);
    uint32_t shown = ShownColumnLanes(*columns, keys);
    for (uint32_t x = 0; x < width; x += lanes) {
        const uint16_t* const row = (*columns).row;
        columns.Next();
        const uint32_t after = width - x > lanes ? ShownColumnLanes(*columns, keys) : 0;
        const uint32_t near = shown | shown << 1 | shown >> 1 | before >> (lanes - 1) | after << (lanes - 1);
        const uint32_t keyPixels = _mm512_cmpeq_epi16_mask(Load(row), keys);
        count += uint32_t(__builtin_popcount(keyPixels & near & FirstLanes(width - x)));
        before = shown;
        shown = after;
    }
    return count;
}

// As on the other levels, the weight total beside green: the permutes that
// look it up read the low five bits of an index only.
void SumColumns(const EdgeRows& rows, uint32_t width, __m512i keys)
{
    const __m512i greens = _mm512_set1_epi16(0x07E0);
    const __m512i blues = _mm512_set1_epi16(0x001F);
    const __m512i ones = _mm512_set1_epi16(1);
    const auto greenAndOne = [&](__m512i pixels) {
        return _mm512_ternarylogic_epi32(pixels, greens, ones, firstAndSecondOrThird);
    };
    uint16_t* sums = rows.sums;
    const ptrdiff_t stride = rows.sumStride;
    for (ColumnCursor<lanes> columns(rows); sums < rows.sums + width; columns.Next(), sums += lanes) {
        const __m512i abovePixels = Load((*columns).above);
        const __m512i belowPixels = Load((*columns).below);
        const __m512i rowPixels = Load((*columns).row);
        const __mmask32 aboveShown = _mm512_cmpneq_epi16_mask(abovePixels, keys);
        const __mmask32 belowShown = _mm512_cmpneq_epi16_mask(belowPixels, keys);
        const __mmask32 rowShown = _mm512_cmpneq_epi16_mask(rowPixels, keys);
        const __m512i red = _mm512_add_epi16(_mm512_maskz_srli_epi16(aboveShown, abovePixels, 11),
                                             _mm512_maskz_srli_epi16(belowShown, belowPixels, 11));
        const __m512i aboveGreen = _mm512_maskz_mov_epi16(aboveShown, greenAndOne(abovePixels));
        const __m512i green = _mm512_mask_add_epi16(aboveGreen, belowShown, aboveGreen, greenAndOne(belowPixels));
        const __m512i aboveBlue = _mm512_maskz_mov_epi16(aboveShown, _mm512_and_si512(abovePixels, blues));
        const __m512i blue = _mm512_mask_add_epi16(aboveBlue, belowShown, aboveBlue,
                                                   _mm512_and_si512(belowPixels, blues));
        const __m512i rowRed = _mm512_maskz_srli_epi16(rowShown, rowPixels, 11);
        const __m512i rowGreen = _mm512_maskz_mov_epi16(rowShown, greenAndOne(rowPixels));
        const __m512i rowBlue = _mm512_maskz_mov_epi16(rowShown, _mm512_and_si512(rowPixels, blues));
        _mm512_store_si512(sums, _mm512_add_epi16(red, _mm512_add_epi16(rowRed, rowRed)));
        _mm512_store_si512(sums + stride, _mm512_add_epi16(green, _mm512_add_epi16(rowGreen, rowGreen)));
        _mm512_store_si512(sums + 2 * stride, _mm512_add_epi16(blue, _mm512_add_epi16(rowBlue, rowBlue)));
        _mm512_store_si512(sums + 3 * stride, _mm512_add_epi16(red, red));
        _mm512_store_si512(sums + 4 * stride, _mm512_add_epi16(green, green));
        _mm512_store_si512(sums + 5 * stride, _mm512_add_epi16(blue, blue));
    }
}

// The sum of a pixel's three columns: those beside it at x - 1 and x + 1 and
// its own.
__m512i ThreeColumns(const uint16_t* beside, const uint16_t* between)
{
    return _mm512_add_epi16(_mm512_add_epi16(Load(beside - 1), Load(beside + 1)), _mm512_load_si512(between));
}

// Stores the records of the lanes of `edges` among the sixteen packed into
// doublewords in `packed`, in order, and returns the place after them. Where
// the list has room for all sixteen, whole vectors of eight are stored, the
// lanes past the packed ones to be stored over by the records that follow (a
// masked store costs more), the second only when there are more than eight.
template <bool room>
EdgePixel* Emit(EdgePixel* out, __m512i packed, __m512i firstPosition, __mmask16 edges)
{
    const uint32_t count = uint32_t(__builtin_popcount(edges));
    const __m512i compressed = _mm512_maskz_compress_epi32(edges, packed);
    const auto spread = [&](uint32_t part) {
        return _mm512_add_epi32(
            _mm512_maskz_permutexvar_epi8(spreadBytes, Load(permutes.spreadRecords[part]), compressed), firstPosition);
    };
    if (room) {
        _mm512_storeu_si512(out, spread(0));
        if (count > 8)
            _mm512_storeu_si512(out + 8, spread(1));
    } else {
        const uint32_t stored = (1u << count) - 1;
        _mm512_mask_storeu_epi64(out, __mmask8(stored), spread(0));
        _mm512_mask_storeu_epi64(out + 8, __mmask8(stored >> 8), spread(1));
    }
    return out + count;
}

// `firstPosition` holds x | y << 16 of the vector's first pixel in the low
// doubleword of each quadword. A sprite's edges are sparse: a half of the
// vector without any is left out.
template <bool room>
EdgePixel* EmitChunk(EdgePixel* out, __m512i firstPosition, __m512i weights, __m512i colours, __mmask32 edges)
{
    const __m512i weightsAndLanes = _mm512_or_si512(weights, Load(permutes.laneBytes));
    for (uint32_t half = 0; half < 2; ++half) {
        const __mmask16 halfEdges = __mmask16(edges >> (16 * half));
        if (halfEdges)
            out = Emit<room>(out, _mm512_permutex2var_epi16(weightsAndLanes, Load(permutes.packLanes[half]), colours),
                             firstPosition, halfEdges);
    }
    return out;
}

EdgePixel* PlaceRowAvx512(EdgePixel* out, EdgePixel* end, const EdgeRows& rows, uint32_t width, uint32_t y,
                          uint16_t key)
{
    const __m512i keys = _mm512_set1_epi16(short(key));
    SumColumns(rows, width, keys);
    const __m512i totals = _mm512_set1_epi16(0x001F);
    __m512i firstPosition = _mm512_set1_epi64(int64_t(y << 16));
    const uint16_t* sums = rows.sums;
    const ptrdiff_t stride = rows.sumStride;
    ColumnCursor<lanes> columns(rows);
    for (uint32_t x = 0; x < width; x += lanes, sums += lanes, columns.Next(),
                  firstPosition = _mm512_add_epi32(firstPosition, _mm512_set1_epi64(lanes))) {
        const __m512i green = ThreeColumns(sums + stride, sums + 4 * stride);
        const __mmask32 keyPixels = _mm512_cmpeq_epi16_mask(Load((*columns).row), keys);
        const __mmask32 edges = _mm512_mask_test_epi16_mask(keyPixels, green, totals) & FirstLanes(width - x);
        if (!edges)
            continue;
        const __m512i reciprocals = _mm512_permutexvar_epi16(green, Load(edgeTables.reciprocals));
        const __m512i weights = _mm512_permutexvar_epi16(green, Load(edgeTables.weights));
        // Twice each sum; the total, below 16, leaves bit 0 of twice green's.
        const __m512i red = _mm512_mulhi_epu16(_mm512_slli_epi16(ThreeColumns(sums, sums + 3 * stride), 1),
                                               reciprocals);
        const __m512i blue = _mm512_mulhi_epu16(
            _mm512_slli_epi16(ThreeColumns(sums + 2 * stride, sums + 5 * stride), 1), reciprocals);
        const __m512i colours = _mm512_ternarylogic_epi32(
            _mm512_slli_epi16(red, 11),
            _mm512_slli_epi16(_mm512_mulhi_epu16(_mm512_srli_epi16(green, 4), reciprocals), 5), blue, anyOfThree);
        if (end - out >= ptrdiff_t(lanes))
            out = EmitChunk<true>(out, firstPosition, weights, colours, edges);
        else
            out = EmitChunk<false>(out, firstPosition, weights, colours, edges);
    }
    return out;
}

}

extern const EdgeRowKernels avx512EdgeKernels = {CountRowAvx512, PlaceRowAvx512};

#pragma GCC pop_options
