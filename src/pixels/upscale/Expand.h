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
    using Source = uint8_t;
    using Output = uint32_t;

    explicit PaletteLookup(const uint32_t* screenColours);

    // Turns `count` indices into 32-bit screen colours.
    void Row(const uint8_t* source, uint32_t count, uint32_t* output) const;

private:
    const uint32_t* colours_;
    bool inPlanes_;
    alignas(64) uint8_t planes_[4][256];
};

// Palette indices each turned into the first index of the same screen colour,
// so that indices are equal exactly where their colours are: the rule may then
// compare indices. Looks rows up with AVX-512 byte permutes where those
// kernels are selected when it is made.
class CanonicalIndices {
public:
    using Source = uint8_t;
    using Output = uint8_t;

    explicit CanonicalIndices(const uint32_t* screenColours);

    void Row(const uint8_t* source, uint32_t count, uint8_t* output) const;

private:
    bool inVectors_;
    alignas(64) uint8_t first_[256];
};

// RGB565 pixels turned into 32-bit screen colours 0x00RRGGBB, each channel's
// top bits repeated into the low bits it gains: the colour GDI shows for the
// pixel of a 16-bit DIB on a 32-bit screen. Widens with the instructions of
// the upscaling kernels selected when it is made.
class Rgb565Widening {
public:
    using Source = uint16_t;
    using Output = uint32_t;

    Rgb565Widening();

    void Row(const uint16_t* source, uint32_t count, uint32_t* output) const;

private:
    void (*widen_)(const uint16_t* source, uint32_t count, uint32_t* output);
};

// Turns a rectangle of 8-bit palette indices, or of RGB565 pixels, into 32-bit
// screen colours at the same place of the output. Pitches are in bytes.
void ExpandRect8(const uint8_t* source, ptrdiff_t sourcePitch, const uint32_t* screenColours, uint32_t* output,
                 ptrdiff_t outputPitch, const PixelRect& rect);
void ExpandRect16(const uint16_t* source, ptrdiff_t sourcePitch, uint32_t* output, ptrdiff_t outputPitch,
                  const PixelRect& rect);
