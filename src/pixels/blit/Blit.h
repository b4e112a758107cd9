#pragma once

#include <cstddef>
#include <cstdint>

#include "pixels/common/PixelRect.h"

// The software blitter's pixel loops: fills, same-size copies (plain, keyed,
// mirrored) and nearest-neighbour stretches of 8-bit and 16-bit pixels. The
// callers have checked every rectangle against its surface; nothing here reads
// or writes outside the rectangles it is given.

// The pixel memory of one surface: its top-left pixel and the bytes from one
// row to the next. Rows run top-down.
struct PixelPlane {
    uint8_t* pixels;
    ptrdiff_t pitch;
};

// How a copy takes its source pixels.
struct CopyEffects {
    // Destination column left + i takes source column right - 1 - i.
    bool mirrorLeftRight;
    // Destination row top + j takes source row bottom - 1 - j.
    bool mirrorUpDown;
    // Source pixels equal to `key` (the pixel zero-extended to 32 bits) are
    // not written, so a key wider than the pixel never matches.
    bool keyed;
    uint32_t key;
};

// Sets every pixel of `rect` to `colour`. The portable 16-bit fill stores two
// pixels per 32-bit word and an odd last one on its own; the vector fill eight
// at a time.
void FillRect8(const PixelPlane& destination, const PixelRect& rect, uint8_t colour);
void FillRect16(const PixelPlane& destination, const PixelRect& rect, uint16_t colour);

// Copies `sourceRect` to the rectangle of the same size whose top-left pixel
// is (x, y) of the destination. Source and destination may be the same
// memory, and their areas may overlap: the result is always that of copying
// from an untouched source. Returns false, having written nothing, when an
// overlapping mirrored copy needed memory to set its source aside and none
// was left.
bool CopyRect8(const PixelPlane& destination, uint32_t x, uint32_t y, const PixelPlane& source,
               const PixelRect& sourceRect, const CopyEffects& effects);
bool CopyRect16(const PixelPlane& destination, uint32_t x, uint32_t y, const PixelPlane& source,
                const PixelRect& sourceRect, const CopyEffects& effects);

// Nearest-neighbour stretch: destination pixel (left + c, top + r) takes source
// pixel (left + floor(c * sw / dw), top + floor(r * sh / dh)), stepped with
// quotients and remainders; when no key is in use, a row that repeats the one
// above is stored along with it or block-copied from it. Under a left-right
// mirror, destination column left + c takes what the plain stretch puts at
// left + dw - 1 - c; under an up-down mirror, row top + r takes what it puts at
// top + dh - 1 - r. Strides are in pixels. The source rectangle must not be
// empty unless the destination rectangle is, and the two areas must not share
// memory.
void StretchCopy8(uint8_t* destination, const uint8_t* source, PixelRect sourceRect, ptrdiff_t sourceStride,
                  PixelRect destinationRect, ptrdiff_t destinationStride, const CopyEffects& effects);
void StretchCopy16(uint16_t* destination, const uint16_t* source, PixelRect sourceRect, ptrdiff_t sourceStride,
                   PixelRect destinationRect, ptrdiff_t destinationStride, const CopyEffects& effects);

// StretchCopy8 and StretchCopy16 for areas that may overlap in one surface's
// memory: an overlapping source is set aside first, so the result is that of
// stretching an untouched source. Returns false, having written nothing, when
// there was no memory for that.
bool StretchRect8(const PixelPlane& destination, const PixelRect& destinationRect, const PixelPlane& source,
                  const PixelRect& sourceRect, const CopyEffects& effects);
bool StretchRect16(const PixelPlane& destination, const PixelRect& destinationRect, const PixelPlane& source,
                   const PixelRect& sourceRect, const CopyEffects& effects);

// The instructions the loops run on. They use the best the processor has; the
// tests select each of the others in turn to check that all of them give the
// same pixels. Sse2 runs keyed, mirrored and doubled rows and 16-bit fills 16
// bytes at a time; Ssse3 also mirrors rows, and stretches enlarged ones, with
// byte shuffles; Sse41 also picks keyed pixels with one blend instruction;
// Avx2 does all of it 32 bytes at a time; Avx512 (Foundation, Byte and Word)
// also writes keyed rows with masked stores, without reading the destination.
// The edge lists of keyed sprites (EdgeSmoothing.h) follow the level chosen
// here.
enum class BlitKernels { Portable, Sse2, Ssse3, Sse41, Avx2, Avx512 };
BlitKernels BestBlitKernels();
void SelectBlitKernels(BlitKernels kernels);
BlitKernels SelectedBlitKernels();
