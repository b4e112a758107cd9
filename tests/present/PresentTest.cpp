#include <gtest/gtest.h>

#include <windows.h>
#include <ddraw.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

#include "module/Dib.h"
#include "module/DisplayState.h"
#include "pixels/support/ReferenceScale.h"
#include "pixels/upscale/Expand.h"
#include "pixels/upscale/Upscale.h"
#include "present/Present.h"
#include "support/ScreenFixture.h"
#include "surface/DirectDrawPalette.h"
#include "surface/DirectDrawSurface.h"
#include "surface/DirectDrawSurface4.h"

namespace {

PALETTEENTRY Colour(uint32_t index)
{
    return {BYTE(index), BYTE(255 - index), BYTE(index * 37), 0};
}

// Flat squares with a lattice of single pixels and a diagonal: edges and
// corners in every direction, so the edge rule has work everywhere.
uint8_t Index(uint32_t x, uint32_t y)
{
    if (x == y || (x % 9 == 4 && y % 7 == 3))
        return 200;
    return uint8_t(((x / 24 + y / 16) % 5) * 30 + 10);
}

uint16_t Rgb565(uint32_t x, uint32_t y)
{
    if (x + 2 * y == 400 || (x % 11 == 5 && y % 5 == 2))
        return 0xFFFF;
    return uint16_t(((x / 32) << 11) | ((y / 8) << 5) | ((x + y) / 40 % 32));
}

bool CloseColours(uint32_t a, uint32_t b)
{
    for (int shift = 0; shift < 24; shift += 8) {
        if (std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)) > 8)
            return false;
    }
    return true;
}

template <class Surface, class Fill>
void FillFrame(Surface* surface, Fill pixelAt)
{
    const auto& desc = surface->Description();
    for (uint32_t y = 0; y < desc.dwHeight; ++y) {
        uint8_t* row = surface->Pixels() + y * desc.lPitch;
        for (uint32_t x = 0; x < desc.dwWidth; ++x) {
            const auto value = pixelAt(x, y);
            std::memcpy(row + x * sizeof value, &value, sizeof value);
        }
    }
}

class Presenting : public ScreenTest {
protected:
    void SetUp() override
    {
        ScreenTest::SetUp();
        for (uint32_t index = 0; index < 256; ++index)
            colours[index] = Colour(index);
    }

    // An 8-bit game's first frame, shown whole through a palette of its own.
    DirectDrawSurface* PresentIndexedFrame()
    {
        SetMode(8);
        DirectDrawSurface* surface = CreatePrimary();
        EXPECT_NE(nullptr, surface);
        EXPECT_EQ(DD_OK, primary->SetPalette(CreatePalette(colours)));
        FillFrame(surface, Index);
        PresentPrimary(nullptr);
        return surface;
    }

    uint32_t Width() const { return displayState.outputWidth; }
    uint32_t Height() const { return displayState.outputHeight; }
    bool Scaled() const { return Width() != modeWidth || Height() != modeHeight; }

    ScaleGeometry Geometry(ptrdiff_t bytesPerPixel) const
    {
        return {modeWidth, modeHeight, ptrdiff_t(modeWidth) * bytesPerPixel, Width(), Height(),
                ptrdiff_t(Width()) * 4};
    }

    // What the window must show for an 8-bit frame: the pixel routines'
    // own output for the same frame and palette.
    std::vector<uint32_t> Expected8(const uint8_t* pixels, const uint32_t* screenColours) const
    {
        std::vector<uint32_t> image(size_t(Width()) * Height());
        if (Scaled())
            ScaleFrame8(pixels, screenColours, image.data(), Geometry(1));
        else
            ExpandRect8(pixels, modeWidth, screenColours, image.data(), modeWidth * 4, {0, 0, modeWidth, modeHeight});
        return image;
    }

    std::vector<uint32_t> Expected16(const uint8_t* pixels) const
    {
        std::vector<uint16_t> image(size_t(Width()) * Height() * 2);
        const uint16_t* source = reinterpret_cast<const uint16_t*>(pixels);
        ScaleGeometry geometry = Geometry(2);
        geometry.outputPitch = Width() * 2;
        if (Scaled())
            ScaleFrame16(source, image.data(), geometry);
        else
            std::memcpy(image.data(), source, size_t(modeWidth) * modeHeight * 2);
        std::vector<uint32_t> colours32(size_t(Width()) * Height());
        for (size_t index = 0; index < colours32.size(); ++index)
            colours32[index] = ScreenColourOf565(image[index]);
        return colours32;
    }

    // The image after a rectangle present: the new frame's pixels inside the
    // rectangle's output area, the old ones everywhere else, even where the
    // edge rule would now give another value.
    std::vector<uint32_t> InsideArea(const PixelRect& rect, std::vector<uint32_t> after,
                                     const std::vector<uint32_t>& before) const
    {
        const ScaleGeometry geometry = {modeWidth, modeHeight, modeWidth, Width(), Height(), ptrdiff_t(Width()) * 4};
        const PixelRect area = Scaled() ? ScaledArea(geometry, rect) : rect;
        for (uint32_t y = 0; y < Height(); ++y) {
            for (uint32_t x = 0; x < Width(); ++x) {
                if (x < area.left || x >= area.right || y < area.top || y >= area.bottom)
                    after[y * Width() + x] = before[y * Width() + x];
            }
        }
        return after;
    }

    // Counts the window pixels that differ from the expectation, and names the first.
    template <class Same>
    size_t Mismatches(const std::vector<uint32_t>& expected, Same same)
    {
        const std::vector<uint32_t> shown = ReadWindow(Width(), Height());
        size_t count = 0;
        for (size_t index = 0; index < shown.size(); ++index) {
            if (!same(expected[index], shown[index]) && count++ == 0)
                ADD_FAILURE() << "first difference at " << index % Width() << "," << index / Width() << ": expected "
                              << std::hex << expected[index] << ", shown " << shown[index];
        }
        return count;
    }

    size_t Mismatches(const std::vector<uint32_t>& expected)
    {
        return Mismatches(expected, [](uint32_t a, uint32_t b) { return a == b; });
    }

    // Draws on the primary every way a game can, checking the window after
    // each: a flip, an unlock and a blit of the whole frame show the whole
    // frame, a blit or a placed copy of a rectangle only that rectangle.
    template <class Surface, class PixelAt, class Expect, class Same>
    void CheckEveryChangeReachesTheWindow(Surface* front, PixelAt pixelAt, Expect expected, Same same,
                                          DWORD fillColour)
    {
        Surface* back = front->BackBuffer();
        ASSERT_NE(nullptr, back);
        FillFrame(back, pixelAt);
        ASSERT_EQ(DD_OK, front->Flip(nullptr, DDFLIP_WAIT));
        EXPECT_EQ(0u, Mismatches(expected(), same)) << "after Flip";
        FillFrame(back, [&](uint32_t x, uint32_t y) { return pixelAt(y % 480, x % 480); });

        // Pixels outside a rectangle's output area keep what they showed, even
        // where the edge rule would now give another value.
        std::vector<uint32_t> shown = expected();
        DDBLTFX effects = {};
        effects.dwSize = sizeof effects;
        effects.dwFillColor = fillColour;
        RECT rect = {200, 100, 250, 140};
        ASSERT_EQ(DD_OK, front->Blt(&rect, nullptr, nullptr, DDBLT_COLORFILL, &effects));
        shown = InsideArea({200, 100, 250, 140}, expected(), shown);
        EXPECT_EQ(0u, Mismatches(shown, same)) << "after Blt";

        RECT tile = {8, 8, 40, 40};
        ASSERT_EQ(DD_OK, front->BltFast(400, 300, back, &tile, DDBLTFAST_WAIT));
        shown = InsideArea({400, 300, 432, 332}, expected(), shown);
        EXPECT_EQ(0u, Mismatches(shown, same)) << "after BltFast";

        typename Surface::Desc desc = {};
        desc.dwSize = sizeof desc;
        ASSERT_EQ(DD_OK, front->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr));
        std::memset(static_cast<uint8_t*>(desc.lpSurface) + 50 * desc.lPitch, 0x5A, 20 * desc.lPitch);
        ASSERT_EQ(DD_OK, front->Unlock(nullptr));
        EXPECT_EQ(0u, Mismatches(expected(), same)) << "after Unlock";

        RECT stripe = {0, 0, 640, 8};
        ASSERT_EQ(DD_OK, front->Blt(nullptr, back, &stripe, 0, nullptr));
        EXPECT_EQ(0u, Mismatches(expected(), same)) << "after a whole-frame Blt";
    }

    int ScreenDepth() const
    {
        HDC dc = GetDC(GameWindow());
        const int bits = GetDeviceCaps(dc, BITSPIXEL);
        ReleaseDC(GameWindow(), dc);
        return bits;
    }

    void SetScreenDepth(DWORD bitsPerPixel)
    {
        DEVMODEW mode = {};
        mode.dmSize = sizeof mode;
        mode.dmPelsWidth = DesktopWidth();
        mode.dmPelsHeight = DesktopHeight();
        mode.dmBitsPerPel = bitsPerPixel;
        mode.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT | DM_BITSPERPEL;
        ASSERT_EQ(DISP_CHANGE_SUCCESSFUL, ChangeDisplaySettingsExW(nullptr, &mode, nullptr, CDS_FULLSCREEN, nullptr));
        ASSERT_EQ(int(bitsPerPixel), ScreenDepth());
    }

    PALETTEENTRY colours[256];
};

}

TEST_F(Presenting, AnEightBitGamesDrawingReachesTheWindow)
{
    SetMode(8);
    DirectDrawSurface* front = CreatePrimary();
    ASSERT_NE(nullptr, front);
    ASSERT_EQ(DD_OK, primary->SetPalette(CreatePalette(colours)));
    const auto expected = [&] { return Expected8(front->Pixels(), front->Palette()->ScreenColours()); };
    CheckEveryChangeReachesTheWindow(front, Index, expected, [](uint32_t a, uint32_t b) { return a == b; }, 77);
}

// On a 32-bit screen the module widens the frames itself, at 1:1 too, into
// the colours the window showed when GDI did it; where the game's 16-bit mode
// exists, the screen is 16-bit until it is put back to 32 bits.
TEST_F(Presenting, ASixteenBitGamesDrawingReachesTheWindow)
{
    for (const bool screenPutBackTo32Bits : {false, true}) {
        SetMode(16);
        if (screenPutBackTo32Bits)
            SetScreenDepth(32);
        DirectDrawSurface4* front = CreatePrimary4();
        ASSERT_NE(nullptr, front);
        const bool widened = ScreenDepth() == 32;
        EXPECT_EQ(widened ? 32u : Scaled() ? 16u : 0u, displayState.presentBitsPerPixel);
        const auto expected = [&] { return Expected16(front->Pixels()); };
        if (widened)
            CheckEveryChangeReachesTheWindow(front, Rgb565, expected, std::equal_to<uint32_t>(), 0x07E0);
        else
            CheckEveryChangeReachesTheWindow(front, Rgb565, expected, CloseColours, 0x07E0);
        primary4->Release();
        primary4 = nullptr;
    }
}

// Each of the 65,536 RGB565 values is widened to the colour the window shows
// for it when GDI paints it from a 16-bit DIB section onto a 32-bit screen.
TEST_F(Presenting, EveryRgb565ValueIsWidenedAsTheScreenShowsIt)
{
    SetScreenDepth(32);
    std::vector<uint16_t> values(65536);
    for (uint32_t value = 0; value < values.size(); ++value)
        values[value] = uint16_t(value);
    DibHeader header = TopDownDibHeader(256, 256, 16, rgb565Masks);
    void* bits = nullptr;
    HBITMAP dib = CreateDib(header, &bits);
    ASSERT_NE(nullptr, dib);
    std::memcpy(bits, values.data(), values.size() * sizeof(uint16_t));
    HDC memory = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(memory, dib);
    HDC windowDC = GetDC(GameWindow());
    BitBlt(windowDC, 0, 0, 256, 256, memory, 0, 0, SRCCOPY);
    ReleaseDC(GameWindow(), windowDC);
    SelectObject(memory, old);
    DeleteDC(memory);
    DeleteObject(dib);
    const std::vector<uint32_t> shown = ReadWindow(256, 256);

    std::vector<uint32_t> widened(values.size());
    for (UpscaleKernels kernels : {UpscaleKernels::Portable, BestUpscaleKernels()}) {
        SelectUpscaleKernels(kernels);
        ExpandRect16(values.data(), 512, widened.data(), 1024, {0, 0, 256, 256});
        size_t differences = 0;
        for (size_t value = 0; value < values.size(); ++value)
            if (widened[value] != shown[value] && differences++ == 0)
                ADD_FAILURE() << "RGB565 " << std::hex << value << " is widened to " << widened[value]
                              << ", the screen shows " << shown[value];
        EXPECT_EQ(0u, differences) << "kernels " << int(kernels);
    }
    SelectUpscaleKernels(BestUpscaleKernels());
}

TEST_F(Presenting, AnEightBitFrameIsShownThroughItsPalette)
{
    DirectDrawSurface* surface = PresentIndexedFrame();
    ASSERT_NE(nullptr, surface);
    EXPECT_EQ(0u, Mismatches(Expected8(surface->Pixels(), surface->Palette()->ScreenColours())));
    EXPECT_DOUBLE_EQ(double(Width()) / 640, displayState.primaryScaleX);
    EXPECT_DOUBLE_EQ(double(Height()) / 480, displayState.primaryScaleY);
}

// A rectangle present converts only its own pixels: a new palette shows inside
// it and nowhere else until the next whole frame.
TEST_F(Presenting, ARectangleIsRedrawnAloneWithTheColoursOfTheMoment)
{
    DirectDrawSurface* surface = PresentIndexedFrame();
    ASSERT_NE(nullptr, surface);
    const std::vector<uint32_t> before = Expected8(surface->Pixels(), surface->Palette()->ScreenColours());

    for (uint32_t y = 100; y < 140; ++y)
        std::memset(surface->Pixels() + y * 640 + 200, 77, 50);
    PALETTEENTRY changed[256];
    for (uint32_t index = 0; index < 256; ++index)
        changed[index] = {BYTE(index), 0, BYTE(index), 0};
    ASSERT_EQ(DD_OK, palette->SetEntries(0, 0, 256, changed));
    const RECT rect = {200, 100, 250, 140};
    PresentPrimary(&rect);

    const std::vector<uint32_t> after = Expected8(surface->Pixels(), surface->Palette()->ScreenColours());
    EXPECT_EQ(0u, Mismatches(InsideArea({200, 100, 250, 140}, after, before)));
}

TEST_F(Presenting, ASixteenBitFrameIsShownAsRgb565)
{
    SetMode(16);
    DirectDrawSurface4* surface = CreatePrimary4();
    ASSERT_NE(nullptr, surface);
    FillFrame(surface, Rgb565);
    PresentPrimary4(nullptr);
    EXPECT_EQ(0u, Mismatches(Expected16(surface->Pixels()), CloseColours));
    // Unscaled, the window is painted straight from the primary's own pixels.
    EXPECT_EQ(Scaled(), displayState.presentBitmap != nullptr);
}

TEST_F(Presenting, ASixteenBitRectangleIsScaledInPlace)
{
    SetMode(16);
    DirectDrawSurface4* surface = CreatePrimary4();
    FillFrame(surface, Rgb565);
    PresentPrimary4(nullptr);
    const std::vector<uint32_t> before = Expected16(surface->Pixels());
    FillFrame(surface, [](uint32_t x, uint32_t y) {
        return uint16_t(x >= 300 && x < 340 && y < 20 ? 0xF800 : Rgb565(x, y));
    });
    const RECT rect = {300, 0, 340, 20};
    PresentPrimary4(&rect);
    EXPECT_EQ(0u, Mismatches(InsideArea({300, 0, 340, 20}, Expected16(surface->Pixels()), before), CloseColours));
}

// The depth of the primary decides how it is shown, whichever generation made it.
TEST_F(Presenting, EitherGenerationShowsEitherDepth)
{
    SetMode(8);
    DirectDrawSurface4* eightBit = CreatePrimary4();
    ASSERT_EQ(DD_OK, primary4->SetPalette(CreatePalette(colours)));
    FillFrame(eightBit, Index);
    PresentPrimary4(nullptr);
    EXPECT_EQ(0u, Mismatches(Expected8(eightBit->Pixels(), eightBit->Palette()->ScreenColours())));
    primary4->Release();
    primary4 = nullptr;

    SetMode(16);
    DirectDrawSurface* sixteenBit = CreatePrimary();
    FillFrame(sixteenBit, Rgb565);
    PresentPrimary(nullptr);
    EXPECT_EQ(0u, Mismatches(Expected16(sixteenBit->Pixels()), CloseColours));
}

TEST_F(Presenting, WithoutAPaletteTheWindowKeepsWhatItShowed)
{
    DirectDrawSurface* surface = PresentIndexedFrame();
    ASSERT_NE(nullptr, surface);
    const std::vector<uint32_t> before = Expected8(surface->Pixels(), surface->Palette()->ScreenColours());
    ASSERT_EQ(DD_OK, primary->SetPalette(nullptr));
    std::memset(surface->Pixels(), 3, 640 * 480);
    PresentPrimary(nullptr);
    EXPECT_EQ(0u, Mismatches(before));
}

// A 24-bit primary is painted from its own pixels when unscaled and left
// blank when scaled; nothing is read or written outside its memory.
TEST_F(Presenting, ATwentyFourBitPrimaryIsShownOrLeftBlank)
{
    SetMode(24);
    DirectDrawSurface* surface = CreatePrimary();
    ASSERT_NE(nullptr, surface);
    EXPECT_EQ(24u, surface->Description().ddpfPixelFormat.dwRGBBitCount);
    std::memset(surface->Pixels(), 0x40, 640 * 3 * 480);
    PresentPrimary(nullptr);
    const RECT rect = {630, 470, 640, 480};
    PresentPrimary(&rect);
    const std::vector<uint32_t> expected(size_t(Width()) * Height(), Scaled() ? 0 : 0x404040);
    EXPECT_EQ(0u, Mismatches(expected));
}

TEST(WindowRect, ASourceRectangleCoversItsScaledPixels)
{
    const RECT rect = PresentedWindowRect({100, 100, 110, 110}, 1.25, 1.25);
    EXPECT_EQ(125, rect.left);
    EXPECT_EQ(125, rect.top);
    EXPECT_EQ(138, rect.right);
    EXPECT_EQ(138, rect.bottom);
    // An empty rectangle can still cover a pixel's width of window.
    const RECT empty = PresentedWindowRect({3, 0, 3, 0}, 1.6, 1.6);
    EXPECT_EQ(4, empty.left);
    EXPECT_EQ(5, empty.right);
}
