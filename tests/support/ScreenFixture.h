#pragma once

#include <gtest/gtest.h>

#include <windows.h>
#include <ddraw.h>

#include <cstdint>

#include "support/GameWindow.h"

class DirectDrawSurface;
class DirectDrawSurface4;

// A game's start-up on the virtual screen: DirectDraw objects of the first and
// fourth generation, the game window handed to SetCooperativeLevel, and helpers
// to set a 640x480 mode and make primaries. Each test starts with the cached
// scale factors cleared and the frame-rate overlay expired, so that what the
// window shows is the frame alone.
class ScreenTest : public testing::Test {
protected:
    static constexpr uint32_t modeWidth = 640;
    static constexpr uint32_t modeHeight = 480;

    void SetUp() override;
    void TearDown() override;

    void SetMode(DWORD bitsPerPixel);

    // A primary with one back buffer, of either generation; released by TearDown.
    DirectDrawSurface* CreatePrimary();
    DirectDrawSurface4* CreatePrimary4();
    IDirectDrawPalette* CreatePalette(const PALETTEENTRY* colours);

    // The desktop's size, as the virtual screen was started.
    static uint32_t DesktopWidth();
    static uint32_t DesktopHeight();

    // What the window should measure for a 640x480 game on this desktop.
    static uint32_t ExpectedOutputWidth();
    static uint32_t ExpectedOutputHeight();

    IDirectDraw* directDraw = nullptr;
    IDirectDraw4* directDraw4 = nullptr;
    IDirectDrawSurface* primary = nullptr;
    IDirectDrawSurface4* primary4 = nullptr;
    IDirectDrawPalette* palette = nullptr;
};
