#include "endtoend/ScreenImage.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "pixels/support/ReferenceScale.h"

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb_image.h>

namespace {

uint32_t LittleEndian32(const uint8_t* bytes)
{
    return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | uint32_t(bytes[3]) << 24;
}

// An RGB565 pixel as the screen shows it; a screen colour as it is.
uint32_t ScreenColour(uint16_t pixel)
{
    return ScreenColourOf565(pixel);
}

uint32_t ScreenColour(uint32_t colour)
{
    return colour & 0xFFFFFF;
}

// The frame at the output's size in the format it is painted from. At the
// mode's own size it is shown as it is, without the edge rule.
template <typename Value, typename ValueAt>
std::vector<Value> Fitted(const DrawnFrame& frame, Size output, ValueAt valueAt)
{
    const Size size = frame.size;
    if (size == output) {
        std::vector<Value> same(size_t(size.width) * size.height);
        for (size_t index = 0; index < same.size(); ++index)
            same[index] = valueAt(uint32_t(index % size.width), uint32_t(index / size.width));
        return same;
    }
    return ReferenceScale<Value>(size.width, size.height, output.width, output.height, valueAt);
}

// The frame-rate text as a fresh memory device context draws it with all its
// defaults, over the screen colours held in a 32-bit DIB section: the text is
// drawn over what the window shows, after the frame is painted.
void DrawOverlay(std::vector<uint32_t>& colours, Size size, double cap)
{
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = LONG(size.width);
    info.bmiHeader.biHeight = -LONG(size.height);
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    HDC dc = CreateCompatibleDC(nullptr);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (dc == nullptr || bitmap == nullptr) {
        ADD_FAILURE() << "no " << size << " DIB section to draw the overlay on";
        DeleteDC(dc);
        return;
    }
    const HGDIOBJ previous = SelectObject(dc, bitmap);
    const size_t bytes = colours.size() * sizeof(uint32_t);
    std::memcpy(bits, colours.data(), bytes);
    char text[32];
    const int length = std::snprintf(text, sizeof text, "%.2f fps", cap);
    const std::wstring wide(text, text + length);
    EXPECT_TRUE(TextOutW(dc, 0, 0, wide.c_str(), int(wide.size())));
    GdiFlush();
    std::memcpy(colours.data(), bits, bytes);
    for (uint32_t& colour : colours)
        colour &= 0xFFFFFF;
    SelectObject(dc, previous);
    DeleteObject(bitmap);
    DeleteDC(dc);
}

template <typename Value, typename ValueAt>
ScreenImage Expected(const DrawnFrame& frame, Size output, std::optional<double> overlayCap, ValueAt valueAt)
{
    const std::vector<Value> image = Fitted<Value>(frame, output, valueAt);
    ScreenImage screen = {output, std::vector<uint32_t>(image.size())};
    for (size_t index = 0; index < image.size(); ++index)
        screen.colours[index] = ScreenColour(image[index]);
    if (overlayCap)
        DrawOverlay(screen.colours, output, *overlayCap);
    return screen;
}

std::string Hex(uint32_t colour)
{
    char text[16];
    std::snprintf(text, sizeof text, "%06X", unsigned(colour));
    return text;
}

}

testing::AssertionResult ReadDrawnFrame(const std::string& path, DrawnFrame& frame)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return testing::AssertionFailure() << "the game wrote no drawn frame " << path;
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    if (bytes.size() < 12)
        return testing::AssertionFailure() << path << " is too short for its header";
    frame.size = {LittleEndian32(&bytes[0]), LittleEndian32(&bytes[4])};
    frame.bitsPerPixel = LittleEndian32(&bytes[8]);
    const Size size = frame.size;
    if ((frame.bitsPerPixel != 8 && frame.bitsPerPixel != 16) || size.width == 0 || size.height == 0 ||
        size.width > 4096 || size.height > 4096)
        return testing::AssertionFailure() << path << " claims a " << size << " frame of " << frame.bitsPerPixel
                                           << " bits per pixel";
    const size_t paletteBytes = frame.bitsPerPixel == 8 ? 256 * 4 : 0, pixelBytes = frame.bitsPerPixel / 8;
    const size_t expectedBytes = 12 + paletteBytes + size_t(size.width) * size.height * pixelBytes;
    if (bytes.size() != expectedBytes)
        return testing::AssertionFailure() << path << " holds " << bytes.size() << " bytes, not the "
                                           << expectedBytes << " its header asks for";
    const uint8_t* entry = &bytes[12];
    for (uint32_t index = 0; paletteBytes != 0 && index < 256; ++index, entry += 4)
        frame.colours[index] = uint32_t(entry[0]) << 16 | entry[1] << 8 | entry[2];
    const uint8_t* pixels = &bytes[12 + paletteBytes];
    frame.values.resize(size_t(size.width) * size.height);
    for (size_t index = 0; index < frame.values.size(); ++index)
        frame.values[index] = pixelBytes == 1 ? pixels[index] : uint16_t(pixels[2 * index] | pixels[2 * index + 1] << 8);
    return testing::AssertionSuccess();
}

testing::AssertionResult ReadPng(const std::string& path, ScreenImage& image)
{
    int width = 0, height = 0, channels = 0;
    stbi_uc* pixels = stbi_load(path.c_str(), &width, &height, &channels, 3);
    if (pixels == nullptr)
        return testing::AssertionFailure() << "cannot read the picture " << path << ": " << stbi_failure_reason();
    image.size = {uint32_t(width), uint32_t(height)};
    image.colours.resize(size_t(width) * height);
    for (size_t index = 0; index < image.colours.size(); ++index) {
        const stbi_uc* rgb = pixels + 3 * index;
        image.colours[index] = uint32_t(rgb[0]) << 16 | rgb[1] << 8 | rgb[2];
    }
    stbi_image_free(pixels);
    if (channels != 3)
        return testing::AssertionFailure() << path << " has " << channels << " channels, not RGB's 3";
    return testing::AssertionSuccess();
}

ScreenImage ExpectedScreen(const DrawnFrame& frame, Size output, std::optional<double> overlayCap)
{
    const uint32_t width = frame.size.width;
    if (frame.bitsPerPixel == 8)
        return Expected<uint32_t>(frame, output, overlayCap, [&](uint32_t x, uint32_t y) {
            return frame.colours[frame.values[size_t(y) * width + x]];
        });
    return Expected<uint16_t>(frame, output, overlayCap,
                              [&](uint32_t x, uint32_t y) { return frame.values[size_t(y) * width + x]; });
}

testing::AssertionResult SameImage(const ScreenImage& expected, const ScreenImage& got)
{
    if (expected.size != got.size)
        return testing::AssertionFailure() << "the picture is " << got.size << ", not " << expected.size;
    const uint32_t width = expected.size.width;
    size_t wrong = 0;
    testing::Message examples;
    for (size_t index = 0; index < expected.colours.size(); ++index) {
        if (expected.colours[index] != got.colours[index] && ++wrong <= 5)
            examples << "\n  (" << index % width << ", " << index / width << ") expected "
                     << Hex(expected.colours[index]) << ", got " << Hex(got.colours[index]);
    }
    if (wrong == 0)
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << wrong << " of " << expected.colours.size() << " pixels differ, first:"
                                       << examples;
}
