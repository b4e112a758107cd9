#include "support/ScreenFixture.h"

#include "module/DisplayState.h"
#include "surface/DirectDrawSurface.h"
#include "surface/DirectDrawSurface4.h"
#include "support/SurfaceRequests.h"

namespace {

const uint32_t desktopWidth = GetSystemMetrics(SM_CXSCREEN);
const uint32_t desktopHeight = GetSystemMetrics(SM_CYSCREEN);

}

void ScreenTest::SetUp()
{
    ASSERT_EQ(DD_OK, DirectDrawCreate(nullptr, &directDraw, nullptr));
    void* out = nullptr;
    ASSERT_EQ(DD_OK, directDraw->QueryInterface(IID_IDirectDraw4, &out));
    directDraw4 = static_cast<IDirectDraw4*>(out);
    ASSERT_EQ(DD_OK, directDraw->SetCooperativeLevel(GameWindow(), DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN));
    ASSERT_EQ(GameWindow(), displayState.window);
    displayState.primaryScaleX = displayState.primaryScaleY = 0.0;
    displayState.primary4ScaleX = displayState.primary4ScaleY = 0.0;
    displayState.pacingStarted = 3;
    displayState.overlayShownAt = GetTickCount() - 60000;
    WindowLog() = GameWindowLog();
}

void ScreenTest::TearDown()
{
    for (IUnknown* object : {static_cast<IUnknown*>(primary), static_cast<IUnknown*>(primary4),
                             static_cast<IUnknown*>(palette), static_cast<IUnknown*>(directDraw4),
                             static_cast<IUnknown*>(directDraw)}) {
        if (object != nullptr)
            object->Release();
    }
    SetControlKey(false);
    PumpMessages();
}

void ScreenTest::SetMode(DWORD bitsPerPixel)
{
    ASSERT_EQ(DD_OK, directDraw->SetDisplayMode(modeWidth, modeHeight, bitsPerPixel));
    PumpMessages();
}

DirectDrawSurface* ScreenTest::CreatePrimary()
{
    DDSURFACEDESC request = FlipChainRequest<DDSURFACEDESC>();
    EXPECT_EQ(DD_OK, directDraw->CreateSurface(&request, &primary, nullptr));
    return static_cast<DirectDrawSurface*>(primary);
}

DirectDrawSurface4* ScreenTest::CreatePrimary4()
{
    DDSURFACEDESC2 request = FlipChainRequest<DDSURFACEDESC2>();
    EXPECT_EQ(DD_OK, directDraw4->CreateSurface(&request, &primary4, nullptr));
    return static_cast<DirectDrawSurface4*>(primary4);
}

IDirectDrawPalette* ScreenTest::CreatePalette(const PALETTEENTRY* colours)
{
    EXPECT_EQ(DD_OK, directDraw->CreatePalette(DDPCAPS_8BIT, const_cast<PALETTEENTRY*>(colours), &palette, nullptr));
    return palette;
}

uint32_t ScreenTest::DesktopWidth()
{
    return desktopWidth;
}

uint32_t ScreenTest::DesktopHeight()
{
    return desktopHeight;
}

namespace {

struct Desktop {
    uint32_t width;
    uint32_t height;
    uint32_t outputWidth;
    uint32_t outputHeight;
};

// Only a 640x480 desktop offers the game's own mode; any other is kept and
// the frame is fitted to it in the game's aspect ratio.
constexpr Desktop desktops[] = {
    {640, 480, 640, 480},
    {800, 600, 800, 600},
    {1024, 768, 1024, 768},
    {1920, 1080, 1440, 1080},
    {2560, 1440, 1920, 1440},
    {3840, 2160, 2880, 2160},
};

const Desktop& ThisDesktop()
{
    for (const Desktop& desktop : desktops) {
        if (desktop.width == desktopWidth && desktop.height == desktopHeight)
            return desktop;
    }
    ADD_FAILURE() << "no expectations for a " << desktopWidth << "x" << desktopHeight << " desktop";
    return desktops[0];
}

}

uint32_t ScreenTest::ExpectedOutputWidth()
{
    return ThisDesktop().outputWidth;
}

uint32_t ScreenTest::ExpectedOutputHeight()
{
    return ThisDesktop().outputHeight;
}
