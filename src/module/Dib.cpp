#include "module/Dib.h"

#include <cstring>

DibHeader TopDownDibHeader(uint32_t width, uint32_t height, uint32_t bitsPerPixel, const DWORD (&masks)[3])
{
    DibHeader dib;
    std::memset(&dib, 0, sizeof dib);
    dib.header.biSize = sizeof(BITMAPINFOHEADER);
    dib.header.biWidth = static_cast<LONG>(width);
    dib.header.biHeight = -static_cast<LONG>(height);
    dib.header.biPlanes = 1;
    dib.header.biBitCount = static_cast<WORD>(bitsPerPixel);
    if (bitsPerPixel == 16) {
        dib.header.biCompression = BI_BITFIELDS;
        std::memcpy(dib.masks, masks, sizeof dib.masks);
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
