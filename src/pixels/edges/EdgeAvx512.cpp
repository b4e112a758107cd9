#include <immintrin.h>

#include "pixels/edges/EdgeKernels.h"

// The 64-byte row loops (AVX-512 Foundation, Byte and Word), compiled for it
// through a target pragma like the other levels and taken only after the
// processor check. Neighbours that show are masks, which add only their lanes
// to the sums; the totals index their tables with word permutes, and the
// records of edge pixels are packed together with compresses and stored with
// masked stores, which never reach past the list.

#pragma GCC push_options
#pragma GCC target("avx512f,avx512bw,avx512vbmi")

#include "pixels/common/Avx512Vectors.h"

namespace {

constexpr uint32_t lanes = avx512::lanes<uint16_t>;

// Word and doubleword permutes that interleave the record fields: the
// weight and colour of pixel i of each half of the vector, then the position
// and those of pixel i of each half of that; and the columns of a half.
struct RecordIndices {
    alignas(64) uint16_t weightColour[2][32];
    alignas(64) uint32_t records[2][16];
    alignas(64) uint32_t columns[16];
};

constexpr RecordIndices recordIndices = [] {
    RecordIndices indices{};
    for (uint32_t half = 0; half < 2; ++half)
        for (uint32_t pixel = 0; pixel < 16; ++pixel) {
            indices.weightColour[half][2 * pixel] = uint16_t(16 * half + pixel);
            indices.weightColour[half][2 * pixel + 1] = uint16_t(lanes + 16 * half + pixel);
        }
    for (uint32_t pixel = 0; pixel < 16; ++pixel)
        indices.columns[pixel] = pixel;
    for (uint32_t quarter = 0; quarter < 2; ++quarter)
        for (uint32_t pixel = 0; pixel < 8; ++pixel) {
            indices.records[quarter][2 * pixel] = 8 * quarter + pixel;
            indices.records[quarter][2 * pixel + 1] = 16 + 8 * quarter + pixel;
        }
    return indices;
}();

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

// Lanes of key pixels with a neighbour showing, for a whole vector. Each
// pointer is at the pixel left of the vector's first, in its row.
__mmask32 EdgeLanes(const uint16_t* above, const uint16_t* row, const uint16_t* below, __m512i keys)
{
    const auto showing = [keys](const uint16_t* pixels) {
        const __m512i two = _mm512_ternarylogic_epi32(Load(pixels), Load(pixels + 2), keys, eitherDiffers);
        return _mm512_ternarylogic_epi32(two, Load(pixels + 1), keys, orDiffers);
    };
    const __m512i beside = _mm512_ternarylogic_epi32(Load(row), Load(row + 2), keys, eitherDiffers);
    const __m512i shown = _mm512_ternarylogic_epi32(showing(above), showing(below), beside, anyOfThree);
    return _mm512_mask_test_epi16_mask(_mm512_cmpeq_epi16_mask(Load(row + 1), keys), shown, shown);
}

__mmask32 LanesInRow(uint32_t inRow)
{
    return avx512::FirstLanes<uint16_t>(inRow);
}

uint32_t CountRow(const EdgeRows& rows, uint32_t width, uint16_t key)
{
    const __m512i keys = _mm512_set1_epi16(short(key));
    const uint16_t* above = rows.above - 1;
    const uint16_t* row = rows.row - 1;
    const uint16_t* below = rows.below - 1;
    uint32_t count = 0;
    for (uint32_t x = 0; x < width; x += lanes, above += lanes, row += lanes, below += lanes)
        count += uint32_t(__builtin_popcount(EdgeLanes(above, row, below, keys) & LanesInRow(width - x)));
    return count;
}

// The channel sums of the neighbours that show, and their weight total. The
// total (at most 12) takes the five bits below green's place, which a sum of
// green alone leaves 0: one sum for both, and the total indexes the tables
// as it is, the permutes reading an index's low five bits only.
struct NeighbourSums {
    // Written out, not defaulted: an implicit constructor would be made
    // without the target pragma.
    NeighbourSums() : red(_mm512_setzero_si512()), greenAndTotal(_mm512_setzero_si512()), blue(_mm512_setzero_si512())
    {
    }

    void Add(__m512i pixel, __m512i keys, __m512i greens, __m512i blues)
    {
        const __mmask32 shown = _mm512_cmpneq_epi16_mask(pixel, keys);
        red = _mm512_add_epi16(red, _mm512_maskz_srli_epi16(shown, pixel, 11));
        const __m512i greenAndOne = _mm512_ternarylogic_epi32(pixel, greens, _mm512_set1_epi16(1), firstAndSecondOrThird);
        greenAndTotal = _mm512_mask_add_epi16(greenAndTotal, shown, greenAndTotal, greenAndOne);
        blue = _mm512_mask_add_epi16(blue, shown, blue, _mm512_and_si512(pixel, blues));
    }

    void Double()
    {
        red = _mm512_add_epi16(red, red);
        greenAndTotal = _mm512_add_epi16(greenAndTotal, greenAndTotal);
        blue = _mm512_add_epi16(blue, blue);
    }

    __m512i red;
    __m512i greenAndTotal;
    __m512i blue;
};

// Stores the records of the lanes of `edges` among the eight of `records`,
// packed, and returns the place after them. A whole vector is stored where
// the list has room for it, the lanes past the packed ones to be stored over
// by the records that follow: a masked store costs more.
template <bool room>
EdgePixel* Emit(EdgePixel* out, __m512i records, __mmask8 edges)
{
    const uint32_t count = uint32_t(__builtin_popcount(edges));
    const __m512i packed = _mm512_maskz_compress_epi64(edges, records);
    if (room)
        _mm512_storeu_si512(out, packed);
    else
        _mm512_mask_storeu_epi64(out, __mmask8((1u << count) - 1), packed);
    return out + count;
}

template <bool room>
EdgePixel* EmitChunk(EdgePixel* out, __m512i positions, __m512i weights, __m512i colours, __mmask32 edges)
{
    for (uint32_t half = 0; half < 2; ++half) {
        const __m512i fields = _mm512_permutex2var_epi16(weights, Load(recordIndices.weightColour[half]), colours);
        const __m512i places = _mm512_add_epi32(positions, _mm512_set1_epi32(int(16 * half)));
        const uint32_t halfEdges = edges >> (16 * half);
        out = Emit<room>(out, _mm512_permutex2var_epi32(places, Load(recordIndices.records[0]), fields),
                         __mmask8(halfEdges));
        out = Emit<room>(out, _mm512_permutex2var_epi32(places, Load(recordIndices.records[1]), fields),
                         __mmask8(halfEdges >> 8));
    }
    return out;
}

EdgePixel* PlaceRow(EdgePixel* out, EdgePixel* end, const EdgeRows& rows, uint32_t width, uint32_t y, uint16_t key)
{
    const __m512i keys = _mm512_set1_epi16(short(key));
    const __m512i greens = _mm512_set1_epi16(0x07E0);
    const __m512i blues = _mm512_set1_epi16(0x001F);
    __m512i positions = _mm512_add_epi32(_mm512_set1_epi32(int(y << 16)), Load(recordIndices.columns));
    const uint16_t* above = rows.above - 1;
    const uint16_t* row = rows.row - 1;
    const uint16_t* below = rows.below - 1;
    for (uint32_t x = 0; x < width; x += lanes, above += lanes, row += lanes, below += lanes,
                  positions = _mm512_add_epi32(positions, _mm512_set1_epi32(lanes))) {
        const __mmask32 edges = EdgeLanes(above, row, below, keys) & LanesInRow(width - x);
        if (!edges)
            continue;
        // The four neighbours beside the pixel weigh twice the diagonal ones.
        NeighbourSums sums;
        sums.Add(Load(above + 1), keys, greens, blues);
        sums.Add(Load(row), keys, greens, blues);
        sums.Add(Load(row + 2), keys, greens, blues);
        sums.Add(Load(below + 1), keys, greens, blues);
        sums.Double();
        sums.Add(Load(above), keys, greens, blues);
        sums.Add(Load(above + 2), keys, greens, blues);
        sums.Add(Load(below), keys, greens, blues);
        sums.Add(Load(below + 2), keys, greens, blues);
        const __m512i reciprocals = _mm512_permutexvar_epi16(sums.greenAndTotal, Load(edgeTables.reciprocals));
        const __m512i weights = _mm512_permutexvar_epi16(sums.greenAndTotal, Load(edgeTables.weights));
        // Twice each sum; the total, below 16, leaves bit 0 of twice green's.
        const __m512i red = _mm512_mulhi_epu16(_mm512_slli_epi16(sums.red, 1), reciprocals);
        const __m512i green = _mm512_mulhi_epu16(_mm512_srli_epi16(sums.greenAndTotal, 4), reciprocals);
        const __m512i blue = _mm512_mulhi_epu16(_mm512_slli_epi16(sums.blue, 1), reciprocals);
        const __m512i colours =
            _mm512_ternarylogic_epi32(_mm512_slli_epi16(red, 11), _mm512_slli_epi16(green, 5), blue, anyOfThree);
        if (end - out >= ptrdiff_t(lanes))
            out = EmitChunk<true>(out, positions, weights, colours, edges);
        else
            out = EmitChunk<false>(out, positions, weights, colours, edges);
    }
    return out;
}

}

extern const EdgeRowKernels avx512EdgeKernels = {CountRow, PlaceRow};

#pragma GCC pop_options
