#pragma once

#include <cstddef>
#include <cstdint>

#include "pixels/common/PixelRect.h"

// A palette's screen colours made ready for looking rows of 8-bit indices up
// in them: with the AVX-512 upscaling kernels selected, also as four planes of
// one byte of every colour, which vector byte permutes look up 64 indices at a
// time in. Made once per call of the routines that use it.
class PaletteLookup {
public:
    explicit PaletteLookup(const uint32_t* screenColours);

    // Turns `count` indices into 32-bit screen colours.
    void Row(const uint8_t* source, uint32_t count, uint32_t* output) const;

private:
    const uint32_t* colours_;
    bool inPlanes_;
    alignas(64) uint8_t planes_[4][256];
};

// Turns a rectangle of 8-bit palette indices into 32-bit screen colours at the
// same place of the output, one lookup per pixel. Pitches are in bytes.
void ExpandRect8(const uint8_t* source, ptrdiff_t sourcePitch, const uint32_t* screenColours, uint32_t* output,
                 ptrdiff_t outputPitch, const PixelRect& rect);
