#pragma once

#include <cstddef>
#include <cstdint>

#include "pixels/common/PixelRect.h"

// A source frame and the output image it is enlarged into. Sizes are in
// pixels; pitches are the bytes from one row to the next (an output bitmap's
// real row length, padding included).
struct ScaleGeometry {
    uint32_t sourceWidth;
    uint32_t sourceHeight;
    ptrdiff_t sourcePitch;
    uint32_t outputWidth;
    uint32_t outputHeight;
    ptrdiff_t outputPitch;
};

// Enlarge a whole frame, or one rectangle of it, with the Scale2x edge rule
// spread fractionally over the output; beyond 2x the rule is applied again to
// its own output, up to three times (Upscale.cpp). The 8-bit routines expand
// palette indices through `screenColours` (256 0x00RRGGBB values) on the way
// and compare neighbours by colour; the 16-bit routines copy RGB565 values,
// and the 16-to-32 ones write them widened to screen colours as Rgb565Widening
// does (Expand.h), which keeps distinct pixels distinct, so that the picture
// is the 16-bit one in the screen's format. Any output size is served,
// smaller or more than twice as large included. A rectangle routine rewrites
// exactly the pixels the frame routine would write in ScaledArea(rect),
// reading neighbours from the whole frame, and nothing else.
void ScaleFrame8(const uint8_t* sourcePixels, const uint32_t* screenColours, uint32_t* output,
                 const ScaleGeometry& geometry);
void ScaleRect8(const uint8_t* sourcePixels, const uint32_t* screenColours, uint32_t* output,
                const ScaleGeometry& geometry, const PixelRect& rect);
void ScaleFrame16(const uint16_t* sourcePixels, uint16_t* output, const ScaleGeometry& geometry);
void ScaleRect16(const uint16_t* sourcePixels, uint16_t* output, const ScaleGeometry& geometry,
                 const PixelRect& rect);
void ScaleFrame16To32(const uint16_t* sourcePixels, uint32_t* output, const ScaleGeometry& geometry);
void ScaleRect16To32(const uint16_t* sourcePixels, uint32_t* output, const ScaleGeometry& geometry,
                     const PixelRect& rect);

// The output pixels a rectangle routine rewrites for `rect`.
PixelRect ScaledArea(const ScaleGeometry& geometry, const PixelRect& rect);

// The instructions the routines run on. They use the best the processor has;
// the tests select each of the others in turn to check that all of them give
// the same pixels. Sse2 finds the rule's values with SSE2 compares; Ssse3 also
// lays them out with byte shuffles; Avx2 finds them with AVX2 compares for both
// rows of a block at once and lays them out with permutes; Avx512 does the
// same with AVX-512 (F, BW and VBMI) vectors twice as wide.
enum class UpscaleKernels { Portable, Sse2, Ssse3, Avx2, Avx512 };
// Avx512 also applies the rule beyond 2x to 8-bit frames as palette indices,
// and looks rows up in the palette with byte permutes, in the 1:1 expansion too.
UpscaleKernels BestUpscaleKernels();
void SelectUpscaleKernels(UpscaleKernels kernels);
UpscaleKernels SelectedUpscaleKernels();
