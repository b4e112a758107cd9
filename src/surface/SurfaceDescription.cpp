#include "surface/SurfaceDescription.h"

#include <cstring>

DDPIXELFORMAT PixelFormatForDepth(uint32_t bitsPerPixel)
{
    DDPIXELFORMAT format = {};
    format.dwSize = sizeof(DDPIXELFORMAT);
    format.dwFlags = DDPF_RGB;
    if (bitsPerPixel == 16) {
        format.dwRGBBitCount = 16;
        format.dwRBitMask = 0xF800;
        format.dwGBitMask = 0x07E0;
        format.dwBBitMask = 0x001F;
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
    DibHeader dib;
    std::memset(&dib, 0, sizeof dib);
    dib.header.biSize = sizeof(BITMAPINFOHEADER);
    dib.header.biWidth = static_cast<LONG>(width);
    dib.header.biHeight = -static_cast<LONG>(height);
    dib.header.biPlanes = 1;
    dib.header.biBitCount = static_cast<WORD>(format.dwRGBBitCount);
    if (format.dwRGBBitCount == 16) {
        dib.header.biCompression = BI_BITFIELDS;
        dib.masks[0] = format.dwRBitMask;
        dib.masks[1] = format.dwGBitMask;
        dib.masks[2] = format.dwBBitMask;
    } else {
        dib.header.biCompression = BI_RGB;
    }
    return dib;
}

HBITMAP CreateDib(const DibHeader& header, void** bits)
{
    *bits = nullptr;
    HBITMAP dib = CreateDIBSection(nullptr, reinterpret_cast<const BITMAPINFO*>(&header), DIB_RGB_COLORS, bits,
                                   nullptr, 0);
    if (dib == nullptr || *bits == nullptr) {
        if (dib != nullptr)
            DeleteObject(dib);
        *bits = nullptr;
        return nullptr;
    }
    return dib;
}
