#pragma once

#include <windows.h>
#include <ddraw.h>

#include <cstdint>

// What a surface request asks for, read the same way from a DDSURFACEDESC and
// a DDSURFACEDESC2.
template <class Desc>
bool IsPrimaryRequest(const Desc& desc)
{
    return (desc.dwFlags & DDSD_CAPS) && (desc.ddsCaps.dwCaps & DDSCAPS_PRIMARYSURFACE);
}

// The pixel format the module makes for a depth: RGB565 for 16, 8-8-8 for 24,
// 8-bit palette indices for anything else.
DDPIXELFORMAT PixelFormatForDepth(uint32_t bitsPerPixel);

// A DIB header with room for what follows it: three masks for 16-bit pixels,
// a colour table otherwise.
struct DibHeader {
    BITMAPINFOHEADER header;
    union {
        DWORD masks[3];
        RGBQUAD colours[256];
    };
};

// The top-down DIB that holds a surface of the given size and format. An
// 8-bit DIB's colour table stays black: palettes are applied when presenting.
DibHeader SurfaceDibHeader(uint32_t width, uint32_t height, const DDPIXELFORMAT& format);

// Makes the DIB section; null when the platform cannot.
HBITMAP CreateDib(const DibHeader& header, void** bits);
