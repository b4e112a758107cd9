#include <immintrin.h>

#include <cstring>
#include <type_traits>
#include <utility>

#include "pixels/upscale/UpscaleKernels.h"

// Compiled for AVX-512 (Foundation, Byte and Word, VBMI) through a target pragma,
// like the other vector kernels, and called only after the processor check.
// Nothing outside the pragma region may be instantiated inside it: the
// portable pieces that finish each row are only declared here.

#pragma GCC push_options
#pragma GCC target("avx512f,avx512bw,avx512vbmi")

#include "pixels/common/Avx512Vectors.h"

namespace {

__m512i Load(const void* from)
{
    return _mm512_loadu_si512(from);
}

void Store(void* to, __m512i value)
{
    _mm512_storeu_si512(to, value);
}

using avx512::LaneMask;

// Of the lanes in `among`, those where `a` and `b` are equal.
template <typename Pixel>
LaneMask<Pixel> Equal(LaneMask<Pixel> among, __m512i a, __m512i b)
{
    if constexpr (sizeof(Pixel) == 1)
        return _mm512_mask_cmpeq_epi8_mask(among, a, b);
    else if constexpr (sizeof(Pixel) == 2)
        return _mm512_mask_cmpeq_epi16_mask(among, a, b);
    else
        return _mm512_mask_cmpeq_epi32_mask(among, a, b);
}

// The lanes where a differs from b and c from d: the unsigned minimum of the
// two differences is zero where either pair is equal. Exclusive or and minimum
// run on more of the vector units than comparisons, which share theirs with
// the permutes, so this leaves one comparison where there were two.
template <typename Pixel>
LaneMask<Pixel> BothDiffer(__m512i a, __m512i b, __m512i c, __m512i d)
{
    const __m512i first = _mm512_xor_si512(a, b), second = _mm512_xor_si512(c, d);
    if constexpr (sizeof(Pixel) == 1) {
        const __m512i least = _mm512_min_epu8(first, second);
        return _mm512_test_epi8_mask(least, least);
    } else if constexpr (sizeof(Pixel) == 2) {
        const __m512i least = _mm512_min_epu16(first, second);
        return _mm512_test_epi16_mask(least, least);
    } else {
        const __m512i least = _mm512_maskz_min_epu32(~__mmask16(0), first, second);
        return _mm512_test_epi32_mask(least, least);
    }
}

template <typename Pixel>
__m512i Select(LaneMask<Pixel> mask, __m512i ifSet, __m512i otherwise)
{
    if constexpr (sizeof(Pixel) == 1)
        return _mm512_mask_blend_epi8(mask, otherwise, ifSet);
    else if constexpr (sizeof(Pixel) == 2)
        return _mm512_mask_blend_epi16(mask, otherwise, ifSet);
    else
        return _mm512_mask_blend_epi32(mask, otherwise, ifSet);
}

template <typename Pixel>
__m512i Permute(__m512i first, __m512i indices, __m512i second)
{
    if constexpr (sizeof(Pixel) == 1)
        return _mm512_permutex2var_epi8(first, indices, second);
    else if constexpr (sizeof(Pixel) == 2)
        return _mm512_permutex2var_epi16(first, indices, second);
    else
        return _mm512_permutex2var_epi32(first, indices, second);
}

template <typename Value>
Value Read(const void* from)
{
    Value value;
    std::memcpy(&value, from, sizeof(value));
    return value;
}

// The two pixels from `from` on, in every pair of lanes.
template <typename Pixel>
__m512i LastTwo(const Pixel* from)
{
    if constexpr (sizeof(Pixel) == 1)
        return _mm512_set1_epi16(Read<int16_t>(from));
    else if constexpr (sizeof(Pixel) == 2)
        return _mm512_set1_epi32(Read<int32_t>(from));
    else
        return _mm512_set1_epi64(Read<int64_t>(from));
}

// Lane numbers from `first` on: as permute indices, the lanes of a row read
// from one column left of the chunk's, moved along, with the row's next two
// columns from LastTwo as the second table.
template <typename Pixel>
__m512i LanesFrom(uint32_t first)
{
    if constexpr (sizeof(Pixel) == 1)
        return _mm512_add_epi8(
            _mm512_set_epi8(63, 62, 61, 60, 59, 58, 57, 56, 55, 54, 53, 52, 51, 50, 49, 48, 47, 46, 45, 44, 43, 42,
                            41, 40, 39, 38, 37, 36, 35, 34, 33, 32, 31, 30, 29, 28, 27, 26, 25, 24, 23, 22, 21, 20,
                            19, 18, 17, 16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0),
            _mm512_set1_epi8(static_cast<char>(first)));
    else if constexpr (sizeof(Pixel) == 2)
        return _mm512_add_epi16(_mm512_set_epi16(31, 30, 29, 28, 27, 26, 25, 24, 23, 22, 21, 20, 19, 18, 17, 16, 15,
                                                 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0),
                                _mm512_set1_epi16(static_cast<int16_t>(first)));
    else
        return _mm512_add_epi32(_mm512_set_epi32(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0),
                                _mm512_set1_epi32(static_cast<int32_t>(first)));
}

// Lanes of `from` moved as `indices` say.
template <typename Pixel>
__m512i Shift(__m512i from, __m512i indices)
{
    if constexpr (sizeof(Pixel) == 1)
        return _mm512_maskz_permutexvar_epi8(~__mmask64(0), indices, from);
    else if constexpr (sizeof(Pixel) == 2)
        return _mm512_maskz_permutexvar_epi16(~__mmask32(0), indices, from);
    else
        return _mm512_maskz_permutexvar_epi32(~__mmask16(0), indices, from);
}

// `narrow`: the chunks are narrow (OutputChunks), so the lanes that would
// need the columns after a load are never shown.
template <bool narrow>
struct Avx512Vectors {
    template <typename Pixel>
    using Chunks = Avx512Chunks<Pixel>;
    template <typename Pixel>
    static constexpr uint32_t lanes = avx512::lanes<Pixel>;

    // A row's pixels of a chunk's columns, and those left and right of them.
    struct Columns {
        __m512i left;
        __m512i own;
        __m512i right;
    };

    // A row's pixels of a chunk's columns. Narrow chunks' last bases lie two
    // columns further right, so their unused last two lanes are not read.
    template <typename Pixel>
    static __m512i ReadVertical(const Pixel* row, const uint32_t* base)
    {
        if constexpr (narrow) {
            const LaneMask<Pixel> shown = avx512::FirstLanes<Pixel>(Chunks<Pixel>::pixels - 2);
            if constexpr (sizeof(Pixel) == 1)
                return _mm512_maskz_loadu_epi8(shown, row + *base);
            else if constexpr (sizeof(Pixel) == 2)
                return _mm512_maskz_loadu_epi16(shown, row + *base);
            else
                return _mm512_maskz_loadu_epi32(shown, row + *base);
        }
        return Load(row + *base);
    }

    // One load from a column left: the pixels themselves and their right
    // neighbours are moved out of it, with the two columns that follow it
    // unless the chunks are narrow.
    template <typename Pixel>
    static Columns ReadColumns(const Pixel* row, const uint32_t* base)
    {
        const Pixel* centre = row + *base;
        const __m512i left = Load(centre - 1);
        if constexpr (narrow)
            return {left, Shift<Pixel>(left, LanesFrom<Pixel>(1)), Shift<Pixel>(left, LanesFrom<Pixel>(2))};
        const __m512i last = LastTwo(centre + Chunks<Pixel>::pixels - 1);
        return {left, Permute<Pixel>(left, LanesFrom<Pixel>(1), last), Permute<Pixel>(left, LanesFrom<Pixel>(2), last)};
    }

    // The rule in its gated form: nothing changes unless the vertical
    // neighbours differ and so do the horizontal ones, and then a part takes
    // the vertical neighbour it shares with its side. Masked comparisons
    // apply the gate, so no mask logic is needed.
    template <typename Pixel, bool bothHalves, typename Place>
    static void Rule(__m512i above, const Columns& row, __m512i below, Pixel* upper, Pixel* lower, Place place)
    {
        const LaneMask<Pixel> gate = BothDiffer<Pixel>(above, below, row.left, row.right);
        place(upper, Select<Pixel>(Equal<Pixel>(gate, row.left, above), above, row.own),
              Select<Pixel>(Equal<Pixel>(gate, row.right, above), above, row.own));
        if constexpr (bothHalves)
            place(lower, Select<Pixel>(Equal<Pixel>(gate, row.left, below), below, row.own),
                  Select<Pixel>(Equal<Pixel>(gate, row.right, below), below, row.own));
    }

    template <typename Pixel, bool bothHalves>
    static void RuleChunk(__m512i above, const Columns& row, __m512i below, const uint8_t* control,
                          Pixel* upper, Pixel* lower)
    {
        const __m512i indices = Load(control);
        Rule<Pixel, bothHalves>(above, row, below, upper, lower, [&](Pixel* to, __m512i left, __m512i right) {
            Store(to, Permute<Pixel>(left, indices, right));
        });
    }

    // A whole vector of a row's pixels from `from` on.
    template <typename Pixel>
    static __m512i ReadVector(const Pixel* from)
    {
        return Load(from);
    }

    // Stores two vectors' lanes interleaved, the first's lane i at place 2i.
    template <typename Pixel>
    class Interleaving {
    public:
        Interleaving() : firstHalves_(Load(indices.firstHalves)), secondHalves_(Load(indices.secondHalves)) {}

        void operator()(Pixel* to, __m512i first, __m512i second) const
        {
            Store(to, Permute<Pixel>(first, firstHalves_, second));
            Store(to + lanes<Pixel>, Permute<Pixel>(first, secondHalves_, second));
        }

    private:
        struct Indices {
            alignas(64) Pixel firstHalves[lanes<Pixel>];
            alignas(64) Pixel secondHalves[lanes<Pixel>];
        };

        static constexpr Indices MakeIndices()
        {
            constexpr uint32_t count = lanes<Pixel>;
            Indices made = {};
            for (uint32_t place = 0; place < count; ++place) {
                const uint32_t table = place % 2 ? count : 0;
                made.firstHalves[place] = static_cast<Pixel>(table + place / 2);
                made.secondHalves[place] = static_cast<Pixel>(table + count / 2 + place / 2);
            }
            return made;
        }

        static constexpr Indices indices = MakeIndices();
        __m512i firstHalves_;
        __m512i secondHalves_;
    };

    template <typename Pixel>
    static void LayOutChunk(const Pixel* left, const Pixel* right, const uint32_t* base, const uint8_t* control,
                            Pixel* output)
    {
        Store(output, Permute<Pixel>(ReadVertical(left, base), Load(control), ReadVertical(right, base)));
    }
};

// Of 16 lanes from lane `first` on, those among the first `count`.
__mmask16 SixteenLanes(uint32_t count, uint32_t first)
{
    return count <= first ? 0 : avx512::FirstLanes<uint32_t>(count - first);
}

// One byte of 64 colours: indices below 128 in the first two quarters of the
// plane, the others in the last two.
__m512i LookUpPlane(const __m512i (&plane)[4], __m512i indices)
{
    const __m512i low = _mm512_permutex2var_epi8(plane[0], indices, plane[1]);
    const __m512i high = _mm512_permutex2var_epi8(plane[2], indices, plane[3]);
    return _mm512_mask_blend_epi8(_mm512_movepi8_mask(indices), low, high);
}

// Interleaving the four planes' bytes works within 16-byte lanes, so the
// indices are first put where the interleaved colours come out in order:
// lane l, place 4q + j of the reordered indices holds index 16q + 4l + j.
constexpr uint8_t InterleavedPlace(uint32_t place)
{
    const uint32_t lane = place / 16, q = place % 16 / 4, j = place % 4;
    return static_cast<uint8_t>(16 * q + 4 * lane + j);
}

template <uint32_t... places>
constexpr auto MakeInterleavedOrder(std::integer_sequence<uint32_t, places...>)
{
    struct Order {
        alignas(64) uint8_t bytes[64];
    };
    return Order{{InterleavedPlace(places)...}};
}

constexpr auto interleavedOrder = MakeInterleavedOrder(std::make_integer_sequence<uint32_t, 64>());

}

#include "pixels/upscale/PermutingRows.h"

namespace {

// A row's whole vectors, then what is left with masks: in 32-bit code a mask
// of 64 lanes is made through memory, which would stall every vector.
template <uint32_t lanes, typename Block>
void ForEachBlock(uint32_t count, Block block)
{
    uint32_t done = 0;
    for (; count - done >= lanes; done += lanes)
        block(done, lanes, std::true_type());
    if (done < count)
        block(done, count - done, std::false_type());
}

// The first `count` lanes from `from` on, the others cleared.
template <bool whole, typename Lane>
__m512i LoadLanes(const Lane* from, uint32_t count)
{
    if constexpr (whole)
        return Load(from);
    else if constexpr (sizeof(Lane) == 1)
        return _mm512_maskz_loadu_epi8(avx512::FirstLanes<uint8_t>(count), from);
    else
        return _mm512_maskz_loadu_epi16(avx512::FirstLanes<uint16_t>(count), from);
}

// The 16 colours from lane `first` on of a block of `count`.
template <bool whole>
void StoreSixteen(uint32_t* to, __m512i colours, uint32_t count, uint32_t first)
{
    if constexpr (whole)
        Store(to + first, colours);
    else
        _mm512_mask_storeu_epi32(to + first, SixteenLanes(count, first), colours);
}

}

void ExpandRowAvx512(const uint8_t (&planes)[4][256], const uint8_t* source, uint32_t count, uint32_t* output)
{
    __m512i plane[4][4];
    for (uint32_t byte = 0; byte < 4; ++byte)
        for (uint32_t quarter = 0; quarter < 4; ++quarter)
            plane[byte][quarter] = Load(planes[byte] + 64 * quarter);
    const __m512i order = Load(interleavedOrder.bytes);
    ForEachBlock<64>(count, [&](uint32_t done, uint32_t left, auto whole) {
        const __m512i read = LoadLanes<whole>(source + done, left);
        const __m512i indices = _mm512_maskz_permutexvar_epi8(~__mmask64(0), order, read);
        const __m512i blue = LookUpPlane(plane[0], indices);
        const __m512i green = LookUpPlane(plane[1], indices);
        const __m512i red = LookUpPlane(plane[2], indices);
        const __m512i top = LookUpPlane(plane[3], indices);
        const __m512i blueGreenLow = _mm512_unpacklo_epi8(blue, green);
        const __m512i blueGreenHigh = _mm512_unpackhi_epi8(blue, green);
        const __m512i redTopLow = _mm512_unpacklo_epi8(red, top);
        const __m512i redTopHigh = _mm512_unpackhi_epi8(red, top);
        uint32_t* const out = output + done;
        StoreSixteen<whole>(out, _mm512_unpacklo_epi16(blueGreenLow, redTopLow), left, 0);
        StoreSixteen<whole>(out, _mm512_unpackhi_epi16(blueGreenLow, redTopLow), left, 16);
        StoreSixteen<whole>(out, _mm512_unpacklo_epi16(blueGreenHigh, redTopHigh), left, 32);
        StoreSixteen<whole>(out, _mm512_unpackhi_epi16(blueGreenHigh, redTopHigh), left, 48);
    });
}

void LookUpRowAvx512(const uint8_t (&table)[256], const uint8_t* source, uint32_t count, uint8_t* output)
{
    __m512i quarters[4];
    for (uint32_t quarter = 0; quarter < 4; ++quarter)
        quarters[quarter] = Load(table + 64 * quarter);
    ForEachBlock<64>(count, [&](uint32_t done, uint32_t left, auto whole) {
        const __m512i found = LookUpPlane(quarters, LoadLanes<whole>(source + done, left));
        if constexpr (whole)
            Store(output + done, found);
        else
            _mm512_mask_storeu_epi8(output + done, avx512::FirstLanes<uint8_t>(left), found);
    });
}

// As the SSE2 widening, 32 pixels at a time; the vector's eighths are put in
// the order that the interleaving within each quarter restores.
void WidenRowAvx512(const uint16_t* source, uint32_t count, uint32_t* output)
{
    const __m512i order = _mm512_set_epi64(7, 3, 6, 2, 5, 1, 4, 0);
    ForEachBlock<32>(count, [&](uint32_t done, uint32_t left, auto whole) {
        const __m512i read = LoadLanes<whole>(source + done, left);
        const __m512i pixels = _mm512_maskz_permutexvar_epi64(__mmask8(0xFF), order, read);
        const __m512i red = _mm512_or_si512(_mm512_and_si512(_mm512_srli_epi16(pixels, 8), _mm512_set1_epi16(0x00F8)),
                                            _mm512_srli_epi16(pixels, 13));
        const __m512i green =
            _mm512_or_si512(_mm512_and_si512(_mm512_slli_epi16(pixels, 5), _mm512_set1_epi16(short(0xFC00))),
                            _mm512_and_si512(_mm512_srli_epi16(pixels, 1), _mm512_set1_epi16(0x0300)));
        const __m512i blue = _mm512_or_si512(_mm512_and_si512(_mm512_slli_epi16(pixels, 3), _mm512_set1_epi16(0x00F8)),
                                             _mm512_and_si512(_mm512_srli_epi16(pixels, 2), _mm512_set1_epi16(0x0007)));
        const __m512i greenBlue = _mm512_or_si512(green, blue);
        StoreSixteen<whole>(output + done, _mm512_unpacklo_epi16(greenBlue, red), left, 0);
        StoreSixteen<whole>(output + done, _mm512_unpackhi_epi16(greenBlue, red), left, 16);
    });
}

template <typename Pixel>
RowKernels<Pixel> PermutingKernelsAvx512(bool narrow)
{
    return narrow ? PermutingKernelsOf<Avx512Vectors<true>, Pixel>() : PermutingKernelsOf<Avx512Vectors<false>, Pixel>();
}

template <typename Pixel>
RowKernels<Pixel> DoublingKernelsAvx512(bool narrow)
{
    return DoublingKernelsOf<Avx512Vectors<true>>(PermutingKernelsAvx512<Pixel>(narrow));
}

template RowKernels<uint8_t> PermutingKernelsAvx512(bool);
template RowKernels<uint16_t> PermutingKernelsAvx512(bool);
template RowKernels<uint32_t> PermutingKernelsAvx512(bool);
template RowKernels<uint8_t> DoublingKernelsAvx512(bool);
template RowKernels<uint16_t> DoublingKernelsAvx512(bool);
template RowKernels<uint32_t> DoublingKernelsAvx512(bool);

#pragma GCC pop_options
