#include "surface/SurfaceDescription.h"

DDPIXELFORMAT PixelFormatForDepth(uint32_t bitsPerPixel)
{
    DDPIXELFORMAT format = {};
    format.dwSize = sizeof(DDPIXELFORMAT);
    format.dwFlags = DDPF_RGB;
    if (bitsPerPixel == 16) {
        format.dwRGBBitCount = 16;
        format.dwRBitMask = rgb565Masks[0];
        format.dwGBitMask = rgb565Masks[1];
        format.dwBBitMask = rgb565Masks[2];
    } else if (bitsPerPixel == 24) {
        format.dwRGBBitCount = 24;
        format.dwRBitMask = 0xFF0000;
        format.dwGBitMask = 0x00FF00;
        format.dwBBitMask = 0x0000FF;
    } else {
        format.dwFlags |= DDPF_PALETTEINDEXED8;
        format.dwRGBBitCount = 8;
    }
    return format;
}

DibHeader SurfaceDibHeader(uint32_t width, uint32_t height, const DDPIXELFORMAT& format)
{
    const DWORD masks[3] = {format.dwRBitMask, format.dwGBitMask, format.dwBBitMask};
    return TopDownDibHeader(width, height, format.dwRGBBitCount, masks);
}
