#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// The window's client area as the screen showed it, 8-bit RGB.
struct WindowImage {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> rgb;
};

// A frame as the game drew it: 8-bit indices with the palette in force, or
// RGB565 values.
struct DrawnFrame {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t bitsPerPixel = 0;
    std::vector<PALETTEENTRY> palette;
    std::vector<uint8_t> pixels;
};

WindowImage ReadWindow(HWND window, SIZE size);
bool WritePng(const std::string& path, const WindowImage& image);

// Little-endian: width, height and bits per pixel as 32-bit values, the 256
// palette entries of an 8-bit frame, then the rows top first.
bool WriteDrawnFrame(const std::string& path, const DrawnFrame& frame);
