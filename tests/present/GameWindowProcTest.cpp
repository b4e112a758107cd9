#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <cwchar>

#include "module/DisplayState.h"
#include "present/Present.h"
#include "surface/DirectDrawSurface.h"
#include "surface/DirectDrawSurface4.h"
#include "support/ScreenFixture.h"

namespace {

class WindowProc : public ScreenTest {
protected:
    // An 8-bit game with one flat colour on screen.
    DirectDrawSurface* ShowFlatFrame()
    {
        SetMode(8);
        PALETTEENTRY colours[256] = {};
        colours[1] = {0x20, 0x80, 0x40, 0};
        DirectDrawSurface* surface = CreatePrimary();
        primary->SetPalette(CreatePalette(colours));
        std::memset(surface->Pixels(), 1, 640 * 480);
        PresentPrimary(nullptr);
        return surface;
    }

    void PressNumPad(WPARAM key, bool control)
    {
        SetControlKey(control);
        SendMessageW(GameWindow(), WM_KEYDOWN, key, 1);
        PumpMessages();
    }

    static double MillisecondsSince(const LARGE_INTEGER& start)
    {
        LARGE_INTEGER now, frequency;
        QueryPerformanceCounter(&now);
        QueryPerformanceFrequency(&frequency);
        return double(now.QuadPart - start.QuadPart) * 1000.0 / double(frequency.QuadPart);
    }

    static size_t OverlayPixels(uint32_t background)
    {
        size_t count = 0;
        for (uint32_t pixel : ReadWindow(120, 24))
            count += pixel != background;
        return count;
    }
};

}

// Whole frames are held to the frame period; rectangles are painted at once.
// The machine is noisy, so only the lower bound of the paced time is firm.
TEST_F(WindowProc, WholeFramesWaitForTheFramePeriodAndRectanglesDoNot)
{
    ShowFlatFrame();
    displayState.framePeriodMs = 40.0;
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    for (int frame = 0; frame < 6; ++frame)
        PresentPrimary(nullptr);
    EXPECT_GE(MillisecondsSince(start), 5 * 40.0 - 1.0);

    QueryPerformanceCounter(&start);
    const RECT rect = {10, 10, 20, 20};
    for (int frame = 0; frame < 6; ++frame)
        PresentPrimary(&rect);
    EXPECT_LT(MillisecondsSince(start), 5 * 40.0);
}

TEST_F(WindowProc, ControlNumPadKeysStepTheCapWithinItsLimits)
{
    ShowFlatFrame();
    displayState.frameRateCap = 75.0;
    PressNumPad(VK_ADD, true);
    EXPECT_EQ(85.0, displayState.frameRateCap);
    EXPECT_DOUBLE_EQ(1000.0 / 85.0, displayState.framePeriodMs);
    PressNumPad(VK_SUBTRACT, true);
    PressNumPad(VK_SUBTRACT, true);
    EXPECT_EQ(65.0, displayState.frameRateCap);
    EXPECT_EQ(3, WindowLog().keys);

    displayState.frameRateCap = 995.0;
    PressNumPad(VK_ADD, true);
    EXPECT_EQ(1005.0, displayState.frameRateCap);
    PressNumPad(VK_ADD, true);
    EXPECT_EQ(1005.0, displayState.frameRateCap);
    displayState.frameRateCap = 55.0;
    PressNumPad(VK_SUBTRACT, true);
    EXPECT_EQ(45.0, displayState.frameRateCap);
    PressNumPad(VK_SUBTRACT, true);
    EXPECT_EQ(45.0, displayState.frameRateCap);
    displayState.frameRateCap = 75.0;
    displayState.framePeriodMs = 1000.0 / 75.0;
}

// Without Control the key is the game's alone, even when Control's toggle
// state happens to be on.
TEST_F(WindowProc, NumPadKeysWithoutControlOnlyReachTheGame)
{
    ShowFlatFrame();
    const DWORD shownAt = displayState.overlayShownAt;
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[VK_CONTROL] = 0x01;
    SetKeyboardState(keys);
    SendMessageW(GameWindow(), WM_KEYDOWN, VK_ADD, 1);
    EXPECT_EQ(75.0, displayState.frameRateCap);
    EXPECT_EQ(shownAt, displayState.overlayShownAt);
    EXPECT_EQ(1, WindowLog().keys);
    EXPECT_EQ(WPARAM(VK_ADD), WindowLog().lastKey);
}

// For two seconds after the cap changes, every paint shows it in the top-left
// corner; the frame itself is not drawn on.
TEST_F(WindowProc, TheCapIsShownForTwoSecondsAfterItChanges)
{
    DirectDrawSurface* surface = ShowFlatFrame();
    const uint32_t background = 0x208040;
    EXPECT_EQ(0u, OverlayPixels(background));

    PressNumPad(VK_ADD, true);
    PressNumPad(VK_SUBTRACT, true);
    EXPECT_STREQ(L"75.00 fps", displayState.overlayText);
    EXPECT_GT(OverlayPixels(background), 20u);
    PresentPrimary(nullptr);
    EXPECT_GT(OverlayPixels(background), 20u);
    const uint32_t* presented = static_cast<const uint32_t*>(displayState.presentBits);
    EXPECT_EQ(background, presented[0]);
    EXPECT_EQ(1, surface->Pixels()[0]);

    displayState.overlayShownAt = GetTickCount() - 2001;
    PresentPrimary(nullptr);
    EXPECT_EQ(0u, OverlayPixels(background));
}

TEST_F(WindowProc, OnlyASixteenBitGameSeesItsPaintMessages)
{
    ShowFlatFrame();
    EXPECT_EQ(0, WindowLog().paints);
    primary->Release();
    primary = nullptr;

    SetMode(16);
    CreatePrimary4();
    PresentPrimary4(nullptr);
    EXPECT_GE(WindowLog().paints, 1);
}

TEST_F(WindowProc, FocusConfinesTheCursorToTheGamesFrame)
{
    ShowFlatFrame();
    SendMessageW(GameWindow(), WM_KILLFOCUS, 0, 0);
    RECT clip;
    GetClipCursor(&clip);
    EXPECT_EQ(LONG(DesktopWidth()), clip.right);
    SendMessageW(GameWindow(), WM_SETFOCUS, 0, 0);
    GetClipCursor(&clip);
    EXPECT_EQ(640, clip.right);
    EXPECT_EQ(480, clip.bottom);
}
