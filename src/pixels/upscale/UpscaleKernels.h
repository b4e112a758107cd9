#pragma once

#include <cstdint>

// The row kernels behind the upscaling routines. A frame is worked in strips
// of at most `stripColumns` columns and a row at a time: a rule kernel finds,
// for every pixel of a strip row, the value of the left part and of the right
// part of its output block, and a spread kernel lays those values out over
// the output row, each over as many places as the layout gives it. The pixels
// are the source's, or beyond 2x those of the rule's own output, and 8-bit
// ones are canonical palette indices (Upscale.cpp).

// As wide as a 640-pixel frame's rule output at twice its size, so that such
// frames are enlarged up to 4x in one strip, each output row written whole.
constexpr uint32_t stripColumns = 1280;

// The three source rows one rule row reads, each pointing at the strip's first
// column. `vertical` is the neighbour an output pixel may take (the row above
// for the upper rows of a block, the row below for the lower ones), `opposite`
// the other one: the lower rows use the same rule with the two swapped.
template <typename Pixel>
struct NeighbourRows {
    const Pixel* vertical;
    const Pixel* current;
    const Pixel* opposite;
};

// A strip's columns, counted from its first. Those before `interiorBegin` and
// from `interiorEnd` on are the frame's first or last column, which show their
// own pixel; reading their outer neighbour would leave the frame.
struct StripColumns {
    uint32_t count;
    uint32_t interiorBegin;
    uint32_t interiorEnd;
};

// A strip's output row cut into chunks for the permuting kernels: chunk k
// starts at output column min(k * pixels, `lastStart`), so the last one may
// overlap the one before. Each part of a chunk takes its pixels from the
// `partPixels` strip columns from its `base` on (bases in order, one per
// part), as its chunk's `controlBytes` of `control` lay them out.
//
// AVX2 chunks are 32 bytes in parts of eight pixels. For 32-bit pixels the
// control holds permute indices, the sign bit choosing the right value over
// the left; for 16-bit pixels byte shuffles of the left values of both parts
// and then of their right values, each zeroing the pixels the other fills.
template <typename Pixel>
struct Avx2Chunks {
    static constexpr uint32_t pixels = 32 / sizeof(Pixel);
    static constexpr uint32_t partPixels = 8;
    static constexpr uint32_t controlBytes = pixels / partPixels * 32;
    static constexpr bool mayBeNarrow = false;
};

// AVX-512 chunks are 64 bytes in one part; the control holds the indices of a
// two-table permute, the left values first.
template <typename Pixel>
struct Avx512Chunks {
    static constexpr uint32_t pixels = 64 / sizeof(Pixel);
    static constexpr uint32_t partPixels = pixels;
    static constexpr uint32_t controlBytes = 64;
    static constexpr bool mayBeNarrow = true;
};

struct OutputChunks {
    uint32_t count;
    uint32_t lastStart;
    const uint32_t* base;
    const uint8_t* control;
    // The output columns the strip's first and its last columns show where
    // those are the frame's edge, and 0 where they are not.
    uint32_t leadingEdge;
    uint32_t trailingEdge;
    // Set where the chunks may be narrow and are: no part takes more than
    // `partPixels` - 2 columns from its base, so one load from the column
    // before the base holds every column the rule reads for it. The last
    // bases are then at most `count` - `partPixels` + 2, not `count` -
    // `partPixels`, so a part never reads beyond the strip's next column.
    bool narrow;
};

// How many output places show a column's (or a row's) first value, the left
// (upper) one, and how many its second, the right (lower) one, which follow.
struct BlockPlaces {
    uint32_t first;
    uint32_t second;
};

// The output places of each of a strip's columns. Where the strip is laid out
// as one application of the rule lays it out, a column `whole` or `whole` + 1
// wide showing its left value over the first half, rounded up, the SSSE3
// kernels may be chosen: from column `groupsBegin` on, `groupExtras` packs
// the extra places of each group of ShuffleGroupColumns columns into a byte,
// bit i for the group's column i. They are packed only where `chunks`, the
// output cut into chunks for the permuting kernels, is null.
// Where the layout is another and the kernels do not permute, `shown` gives
// for each of the `outputCount` output places twice the column it shows, plus
// 1 where it shows the second value; it is null otherwise.
struct ColumnWidths {
    uint32_t count;
    const BlockPlaces* places;
    uint32_t groupsBegin;
    const uint8_t* groupExtras;
    const OutputChunks* chunks;
    const uint16_t* shown;
    uint32_t outputCount;
};

// The rule's left and right values for the upper and the lower output rows
// of a strip row's blocks.
template <typename Pixel>
struct alignas(64) RuleValues {
    Pixel upperLeft[stripColumns];
    Pixel upperRight[stripColumns];
    Pixel lowerLeft[stripColumns];
    Pixel lowerRight[stripColumns];
};

template <typename Pixel>
using RuleRowKernel = void (*)(const NeighbourRows<Pixel>& rows, const StripColumns& columns, Pixel* left,
                               Pixel* right);
template <typename Pixel>
using SpreadRowKernel = void (*)(const Pixel* left, const Pixel* right, const ColumnWidths& widths, Pixel* output);
// Writes the first upper and the first lower output row of the blocks of an
// interior source row (`rows.vertical` is the row above); `lower` is null when
// the blocks are one row high. `values` is scratch.
template <typename Pixel>
using BlockRowsKernel = void (*)(const NeighbourRows<Pixel>& rows, const StripColumns& columns,
                                 const ColumnWidths& widths, Pixel* upper, Pixel* lower, RuleValues<Pixel>& values);

// Two interior source rows in a row, `first` and `second`, with the row
// above the first and the row below the second.
template <typename Pixel>
struct RowPair {
    const Pixel* above;
    const Pixel* first;
    const Pixel* second;
    const Pixel* below;
};

// The first upper and the first lower output row of each of the two rows'
// blocks; a lower row is null when its blocks are one row high.
template <typename Pixel>
struct PairOutput {
    Pixel* firstUpper;
    Pixel* firstLower;
    Pixel* secondUpper;
    Pixel* secondLower;
};

// Writes the block rows of two source rows together, which read each other
// as neighbours.
template <typename Pixel>
using BlockRowPairKernel = void (*)(const RowPair<Pixel>& rows, const StripColumns& columns,
                                    const ColumnWidths& widths, const PairOutput<Pixel>& output);

// A level's kernels for a strip. `spread` alone serves the rows without the
// rule: the frame's first and last rows, and every row of an output smaller
// than the source. `blockRowPairs`, where a level has it, serves two rule
// rows in one pass.
template <typename Pixel>
struct RowKernels {
    BlockRowsKernel<Pixel> blockRows;
    SpreadRowKernel<Pixel> spread;
    BlockRowPairKernel<Pixel> blockRowPairs = nullptr;
};

// Portable kernels, and the pieces of them that the vector kernels reuse for
// the columns their vectors do not cover.
template <typename Pixel>
void RuleRowPortable(const NeighbourRows<Pixel>& rows, const StripColumns& columns, Pixel* left, Pixel* right);
template <typename Pixel>
void KeepColumns(const Pixel* current, uint32_t begin, uint32_t end, Pixel* left, Pixel* right);
template <typename Pixel>
void RuleColumns(const NeighbourRows<Pixel>& rows, uint32_t begin, uint32_t end, Pixel* left, Pixel* right);
template <typename Pixel>
void SpreadRowPortable(const Pixel* left, const Pixel* right, const ColumnWidths& widths, Pixel* output);
// Returns where the next column's output goes.
template <typename Pixel>
Pixel* SpreadColumns(const Pixel* left, const Pixel* right, const ColumnWidths& widths, uint32_t begin, uint32_t end,
                     Pixel* output);

// x86 kernels, to be called only when the processor has the instructions.
template <typename Pixel>
void RuleRowSse2(const NeighbourRows<Pixel>& rows, const StripColumns& columns, Pixel* left, Pixel* right);

// The SSSE3 kernels, which lay rows out with byte shuffles, for strips whose
// columns are `whole` or `whole` + 1 output columns wide, the left value over
// the first half; nulls where there are none (below 1x and from 4x on).
template <typename Pixel>
RowKernels<Pixel> ShufflingKernelsFor(uint32_t whole);

// Columns per group of those kernels: as many as one vector of pairs holds
// and a 16-byte store takes at their widest; 0 for widths they do not serve.
constexpr uint32_t ShuffleGroupColumns(uint32_t whole, uint32_t pixelBytes)
{
    if (whole == 0 || whole > 3)
        return 0;
    const uint32_t perStore = 16 / ((whole + 1) * pixelBytes);
    const uint32_t perPairs = 8 / pixelBytes;
    return perStore < perPairs ? perStore : perPairs;
}

// The AVX2 and AVX-512 kernels, which find the rule's values for both rows of
// a block in one pass and lay each output chunk out from them with permutes,
// never storing them. They need the strip's output cut into their chunks: at
// least a part's columns and a chunk's output columns, each column one to
// four output columns wide. The AVX-512 ones are chosen for chunks that are
// narrow or not.
template <typename Pixel>
RowKernels<Pixel> PermutingKernelsAvx2();
template <typename Pixel>
RowKernels<Pixel> PermutingKernelsAvx512(bool narrow);
// The AVX2 and AVX-512 kernels for strips exactly twice as wide as their
// source, of at least a vector's columns: their block rows work whole vectors
// of columns and read no chunks.
template <typename Pixel>
RowKernels<Pixel> DoublingKernelsAvx2();
template <typename Pixel>
RowKernels<Pixel> DoublingKernelsAvx512(bool narrow);

// Widen `count` RGB565 pixels into 0x00RRGGBB screen colours, each channel's
// top bits repeated into the low bits it gains, as GDI shows a 16-bit DIB on a
// 32-bit screen; they read and write no pixel beyond `count`. Each is called
// only where the processor has its instructions.
void WidenRowPortable(const uint16_t* source, uint32_t count, uint32_t* output);
void WidenRowSse2(const uint16_t* source, uint32_t count, uint32_t* output);
void WidenRowAvx2(const uint16_t* source, uint32_t count, uint32_t* output);
void WidenRowAvx512(const uint16_t* source, uint32_t count, uint32_t* output);

// Looks `count` 8-bit indices up in the four byte planes of a palette's
// screen colours with AVX-512 VBMI byte permutes; reads and writes no pixel
// beyond `count`.
void ExpandRowAvx512(const uint8_t (&planes)[4][256], const uint8_t* source, uint32_t count, uint32_t* output);
// Looks `count` bytes up in a 256-byte table the same way.
void LookUpRowAvx512(const uint8_t (&table)[256], const uint8_t* source, uint32_t count, uint8_t* output);
