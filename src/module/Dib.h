#pragma once

#include <windows.h>

#include <cstdint>

// The DIB sections that hold every surface's pixels and the image the window
// is painted from.

// A DIB header with room for what follows it: three masks for 16-bit pixels,
// a colour table otherwise.
struct DibHeader {
    BITMAPINFOHEADER header;
    union {
        DWORD masks[3];
        RGBQUAD colours[256];
    };
};

// The red, green and blue masks of RGB565 pixels.
constexpr DWORD rgb565Masks[3] = {0xF800, 0x07E0, 0x001F};

// A top-down DIB of the given size and depth; 16-bit pixels take the three
// masks given, other depths their plain layout. An 8-bit DIB's colour table
// stays black: palettes are applied when presenting.
DibHeader TopDownDibHeader(uint32_t width, uint32_t height, uint32_t bitsPerPixel, const DWORD (&masks)[3]);

// Makes the DIB section; null when the platform cannot.
HBITMAP CreateDib(const DibHeader& header, void** bits);
