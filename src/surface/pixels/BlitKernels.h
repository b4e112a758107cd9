#pragma once

#include <cstdint>

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
// compares, blends and reverses with SSE2; Ssse3 reverses with byte shuffles;
// Sse41 also blends with one instruction.
extern const BlitRowKernels<uint8_t> sse2RowKernels8;
extern const BlitRowKernels<uint16_t> sse2RowKernels16;
extern const BlitRowKernels<uint8_t> ssse3RowKernels8;
extern const BlitRowKernels<uint16_t> ssse3RowKernels16;
extern const BlitRowKernels<uint8_t> sse41RowKernels8;
extern const BlitRowKernels<uint16_t> sse41RowKernels16;
