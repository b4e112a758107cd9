#pragma once

#include <cstddef>
#include <cstdint>

#include "surface/pixels/PixelRect.h"

// Turns `count` 8-bit palette indices into 32-bit screen colours.
void ExpandRow8(const uint8_t* source, uint32_t count, const uint32_t* screenColours, uint32_t* output);

// Turns a rectangle of 8-bit palette indices into 32-bit screen colours at the
// same place of the output, one lookup per pixel. Pitches are in bytes.
void ExpandRect8(const uint8_t* source, ptrdiff_t sourcePitch, const uint32_t* screenColours, uint32_t* output,
                 ptrdiff_t outputPitch, const PixelRect& rect);
