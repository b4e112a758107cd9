#include "Capture.h"

#include <cstdio>
#include <memory>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wsign-compare"
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>
#pragma GCC diagnostic pop

WindowImage ReadWindow(HWND window, SIZE size)
{
    WindowImage image;
    image.width = uint32_t(size.cx);
    image.height = uint32_t(size.cy);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = size.cx;
    info.bmiHeader.biHeight = -size.cy;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap == nullptr)
        return image;
    HDC memory = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(memory, bitmap);
    HDC windowDC = GetDC(window);
    BitBlt(memory, 0, 0, size.cx, size.cy, windowDC, 0, 0, SRCCOPY);
    ReleaseDC(window, windowDC);
    GdiFlush();
    const uint32_t* pixels = static_cast<const uint32_t*>(bits);
    image.rgb.resize(size_t(image.width) * image.height * 3);
    for (size_t index = 0; index < size_t(image.width) * image.height; ++index) {
        image.rgb[3 * index] = uint8_t(pixels[index] >> 16);
        image.rgb[3 * index + 1] = uint8_t(pixels[index] >> 8);
        image.rgb[3 * index + 2] = uint8_t(pixels[index]);
    }
    SelectObject(memory, old);
    DeleteDC(memory);
    DeleteObject(bitmap);
    return image;
}

bool WritePng(const std::string& path, const WindowImage& image)
{
    return !image.rgb.empty() && stbi_write_png(path.c_str(), int(image.width), int(image.height), 3,
                                                image.rgb.data(), int(image.width * 3)) != 0;
}

namespace {

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};

bool WriteWord(FILE* file, uint32_t value)
{
    const uint8_t bytes[4] = {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16), uint8_t(value >> 24)};
    return std::fwrite(bytes, 1, 4, file) == 4;
}

}

bool WriteDrawnFrame(const std::string& path, const DrawnFrame& frame)
{
    std::unique_ptr<FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
    if (!file)
        return false;
    bool written = WriteWord(file.get(), frame.width) && WriteWord(file.get(), frame.height) &&
                   WriteWord(file.get(), frame.bitsPerPixel);
    if (frame.bitsPerPixel == 8)
        written = written && frame.palette.size() == 256 &&
                  std::fwrite(frame.palette.data(), sizeof(PALETTEENTRY), 256, file.get()) == 256;
    return written && std::fwrite(frame.pixels.data(), 1, frame.pixels.size(), file.get()) == frame.pixels.size();
}
