#pragma once

#include <windows.h>
#include <ddraw.h>

#include <cstdint>

#include "module/Dib.h"

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

// The top-down DIB that holds a surface of the given size and format.
DibHeader SurfaceDibHeader(uint32_t width, uint32_t height, const DDPIXELFORMAT& format);
