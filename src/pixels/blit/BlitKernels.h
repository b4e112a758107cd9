#pragma once

#include <cstdint>

// A stretched row laid out once per stretch as byte shuffles of 16-byte
// vectors, or of 64-byte ones for the level whose permutes take them:
// destination vector i, at pixel starts[i] of the row, is the vector of the
// source row from its pixel offsets[i], rearranged by masks[i]. Every vector
// starts a whole vector after the one before, but the last, which ends at the
// row's end and may overlap the one before it. Either holds rows of up to
// 4096 bytes.
template <uint32_t vectorBytes>
struct ShuffledColumnsOf {
    static constexpr uint32_t maxVectors = 4096 / vectorBytes;
    static constexpr uint32_t bytes = vectorBytes;

    uint32_t vectors;
    uint32_t starts[maxVectors];
    uint32_t offsets[maxVectors];
    // A plan lives on the stack, which GCC for 64-bit Windows cannot align
    // beyond 16 bytes; the loops load the masks as unaligned vectors.
    alignas(16) uint8_t masks[maxVectors][bytes];
};

using ShuffledColumns = ShuffledColumnsOf<16>;
using WideShuffledColumns = ShuffledColumnsOf<64>;

// The row loops behind the blits, one set per instruction level. Every
// routine writes one row of `count` pixels; the blits choose the row order.
template <typename Pixel>
struct BlitRowKernels {
    void (*fill)(Pixel* row, uint32_t count, Pixel colour);
    // Keyed copies leave the destination pixel where the source pixel equals
    // the key. The rows may overlap: forward is right for a destination left
    // of its source, backward for one right of it.
    void (*keyedForward)(Pixel* to, const Pixel* from, uint32_t count, Pixel key);
    void (*keyedBackward)(Pixel* to, const Pixel* from, uint32_t count, Pixel key);
    // to[i] = from[count - 1 - i]; the rows must not overlap.
    void (*mirrored)(Pixel* to, const Pixel* from, uint32_t count);
    void (*mirroredKeyed)(Pixel* to, const Pixel* from, uint32_t count, Pixel key);
    // to[2i] = to[2i + 1] = from[i]: a stretch to exactly twice the width.
    void (*doubled)(Pixel* to, const Pixel* from, uint32_t count);
    // A stretched row through its shuffles, plain and keyed; null on the
    // levels without byte shuffles. A plain row is also stored into `copy`
    // unless that is null: the next row of a stretch often repeats it.
    void (*shuffled)(Pixel* to, Pixel* copy, const Pixel* from, const ShuffledColumns& columns);
    void (*shuffledKeyed)(Pixel* to, const Pixel* from, const ShuffledColumns& columns, Pixel key);
    // The same through 64-byte shuffles, on the level that has them.
    void (*wideShuffled)(Pixel* to, Pixel* copy, const Pixel* from, const WideShuffledColumns& columns) = nullptr;
    void (*wideShuffledKeyed)(Pixel* to, const Pixel* from, const WideShuffledColumns& columns, Pixel key) = nullptr;
};

// The portable loops, also run by the vector ones for the pixels left over
// after their last whole vector.
template <typename Pixel>
void FillRowPortable(Pixel* row, uint32_t count, Pixel colour);
template <typename Pixel>
void KeyedRowForwardPortable(Pixel* to, const Pixel* from, uint32_t count, Pixel key);
template <typename Pixel>
void KeyedRowBackwardPortable(Pixel* to, const Pixel* from, uint32_t count, Pixel key);
template <typename Pixel>
void MirroredRowPortable(Pixel* to, const Pixel* from, uint32_t count);
template <typename Pixel>
void MirroredKeyedRowPortable(Pixel* to, const Pixel* from, uint32_t count, Pixel key);
template <typename Pixel>
void DoubledRowPortable(Pixel* to, const Pixel* from, uint32_t count);

// x86 loops, to be used only when the processor has the instructions. Sse2
// compares, blends and reverses with SSE2; Ssse3 reverses and stretches with
// byte shuffles; Sse41 also blends with one instruction; Avx2 does all of it
// 32 bytes at a time; Avx512 is Avx2 with keyed rows in 64-byte masked stores.
extern const BlitRowKernels<uint8_t> sse2RowKernels8;
extern const BlitRowKernels<uint16_t> sse2RowKernels16;
extern const BlitRowKernels<uint8_t> ssse3RowKernels8;
extern const BlitRowKernels<uint16_t> ssse3RowKernels16;
extern const BlitRowKernels<uint8_t> sse41RowKernels8;
extern const BlitRowKernels<uint16_t> sse41RowKernels16;
extern const BlitRowKernels<uint8_t> avx2RowKernels8;
extern const BlitRowKernels<uint16_t> avx2RowKernels16;
extern const BlitRowKernels<uint8_t> avx512RowKernels8;
extern const BlitRowKernels<uint16_t> avx512RowKernels16;
