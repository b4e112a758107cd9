// Faults the random sequence found, each kept as the smallest case that
// showed it.
#include <gtest/gtest.h>

#include <ddraw.h>
#include <windows.h>

#include <cstring>
#include <vector>

#include "sequence/Harness.h"
#include "support/SurfaceRequests.h"

namespace {

// The module beside the program, loaded for one case and freed after it.
class Module {
public:
    Module() : handle_(LoadLibraryW(ModuleBesideProgram().c_str())) {}
    ~Module()
    {
        if (handle_ != nullptr)
            FreeLibrary(handle_);
    }
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;

    IDirectDraw* Create() const
    {
        auto create = reinterpret_cast<HRESULT(WINAPI*)(GUID*, LPDIRECTDRAW*, IUnknown*)>(
            reinterpret_cast<void*>(GetProcAddress(handle_, "DirectDrawCreate")));
        IDirectDraw* directDraw = nullptr;
        EXPECT_EQ(DD_OK, create(nullptr, &directDraw, nullptr));
        return directDraw;
    }
    void Free()
    {
        FreeLibrary(handle_);
        handle_ = nullptr;
    }
    explicit operator bool() const { return handle_ != nullptr; }

private:
    HMODULE handle_;
};

// Visible windows that live as long as the process: destroying windows
// while the cursor is confined now and then makes Wine's X11 driver fail with
// BadWindow.
class Window {
public:
    static Window& Game()
    {
        static Window window;
        return window;
    }

    static void Pump()
    {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
    }
    COLORREF Pixel(int x, int y) const
    {
        HDC dc = GetDC(handle);
        const COLORREF colour = GetPixel(dc, x, y);
        ReleaseDC(handle, dc);
        return colour;
    }

    HWND handle;

private:
    Window()
    {
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = DefWindowProcW;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"RegressionGame";
        RegisterClassW(&windowClass);
        handle = CreateWindowExW(0, windowClass.lpszClassName, L"game", WS_POPUP | WS_VISIBLE, 0, 0, 64, 48, nullptr,
                                 nullptr, windowClass.hInstance, nullptr);
        Pump();
    }
};

// The bytes the process's heaps hand out at this moment.
size_t BusyHeapBytes()
{
    HANDLE heaps[256];
    const DWORD count = GetProcessHeaps(256, heaps);
    size_t busy = 0;
    for (DWORD index = 0; index < count && index < 256; ++index) {
        if (!HeapLock(heaps[index]))
            continue;
        PROCESS_HEAP_ENTRY entry = {};
        while (HeapWalk(heaps[index], &entry)) {
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY)
                busy += entry.cbData;
        }
        HeapUnlock(heaps[index]);
    }
    return busy;
}

}

// Rows of a DIB section are padded to whole DWORDs; the description gave the
// unpadded length, so from the second row on what GDI drew through GetDC and
// what Lock read were different pixels for widths like 7 or 30 at 8 bits.
TEST(Regression, ADeviceContextDrawsWhereLockSaysThePixelsAre)
{
    Module module;
    ASSERT_TRUE(module);
    IDirectDraw* directDraw = module.Create();
    ASSERT_NE(nullptr, directDraw);
    for (DWORD depth : {8ul, 16ul, 24ul}) {
        for (DWORD width = 1; width <= 9; ++width) {
            SCOPED_TRACE(testing::Message() << width << " pixels of " << depth << " bits");
            DDSURFACEDESC request = OffscreenRequest<DDSURFACEDESC>(width, 3, depth);
            IDirectDrawSurface* surface = nullptr;
            ASSERT_EQ(DD_OK, directDraw->CreateSurface(&request, &surface, nullptr));
            HDC dc = nullptr;
            ASSERT_EQ(DD_OK, surface->GetDC(&dc));
            PatBlt(dc, 0, 1, int(width), 1, DSTINVERT);
            ASSERT_EQ(DD_OK, surface->ReleaseDC(dc));

            DDSURFACEDESC desc = {};
            desc.dwSize = sizeof desc;
            ASSERT_EQ(DD_OK, surface->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr));
            const size_t rowBytes = width * depth / 8;
            const uint8_t* pixels = static_cast<const uint8_t*>(desc.lpSurface);
            for (DWORD y = 0; y < 3; ++y) {
                const std::vector<uint8_t> expected(rowBytes, y == 1 ? 0xFF : 0x00);
                EXPECT_EQ(expected, std::vector<uint8_t>(pixels + y * desc.lPitch, pixels + y * desc.lPitch + rowBytes))
                    << "row " << y << " at " << desc.lPitch << " bytes a row";
            }
            EXPECT_EQ(DD_OK, surface->Unlock(nullptr));
            EXPECT_EQ(0u, surface->Release());
        }
    }
    EXPECT_EQ(0u, directDraw->Release());
}

// A depth no DIB section has was cut to 16 bits for the DIB (0x10008 made an
// 8-bit one) while the description kept it, so the pitch Lock gave was 8193
// bytes a row for a surface one pixel wide, and a game writing its rows wrote
// far past the pixels.
TEST(Regression, ASurfaceIsMadeOnlyInADepthItsPixelsHave)
{
    Module module;
    ASSERT_TRUE(module);
    IDirectDraw* directDraw = module.Create();
    ASSERT_NE(nullptr, directDraw);
    for (DWORD depth : {0ul, 2ul, 7ul, 12ul, 0x10008ul, 0x10010ul, 0xFFFFFFFFul}) {
        DDSURFACEDESC request = OffscreenRequest<DDSURFACEDESC>(1, 2, depth);
        IDirectDrawSurface* surface = nullptr;
        EXPECT_EQ(DDERR_INVALIDPIXELFORMAT, directDraw->CreateSurface(&request, &surface, nullptr)) << depth;
        EXPECT_EQ(nullptr, surface);
    }
    for (DWORD depth : {1ul, 4ul, 8ul, 16ul, 24ul, 32ul}) {
        DDSURFACEDESC request = OffscreenRequest<DDSURFACEDESC>(3, 2, depth);
        IDirectDrawSurface* surface = nullptr;
        ASSERT_EQ(DD_OK, directDraw->CreateSurface(&request, &surface, nullptr)) << depth;
        HDC dc = nullptr;
        ASSERT_EQ(DD_OK, surface->GetDC(&dc));
        DIBSECTION section = {};
        ASSERT_EQ(int(sizeof section), GetObjectW(GetCurrentObject(dc, OBJ_BITMAP), sizeof section, &section));
        EXPECT_EQ(DD_OK, surface->ReleaseDC(dc));
        DDSURFACEDESC desc = {};
        desc.dwSize = sizeof desc;
        ASSERT_EQ(DD_OK, surface->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr));
        EXPECT_EQ(depth, section.dsBm.bmBitsPixel);
        EXPECT_EQ(section.dsBm.bmWidthBytes, desc.lPitch) << depth;
        EXPECT_EQ(DD_OK, surface->Unlock(nullptr));
        EXPECT_EQ(0u, surface->Release());
    }
    EXPECT_EQ(0u, directDraw->Release());
}

// The bytes that each load of the module, with `use` made of it, leaves
// taken after its unload, on average over many.
template <class Use>
long LeftBehindPerLoad(Use use)
{
    const auto cycle = [&] {
        Module module;
        IDirectDraw* directDraw = module.Create();
        if (directDraw != nullptr)
            use(directDraw);
    };
    for (int warm = 0; warm < 3; ++warm)
        cycle();
    const size_t before = BusyHeapBytes();
    constexpr int cycles = 40;
    for (int count = 0; count < cycles; ++count)
        cycle();
    return (long(BusyHeapBytes()) - long(before)) / cycles;
}

// The C++ runtime linked into the module takes a pool at load for exceptions
// thrown when memory runs out, and kept it after the unload: 73 KB of the
// game's heap for every load (18 KB in the 32-bit build). The 32-bit build
// still leaves 352 bytes a load, which the runtime's frame registration and
// exit table take and never give back; the margin lets those pass.
TEST(Regression, EachUnloadGivesBackTheMemoryItsLoadTook)
{
    EXPECT_LT(LeftBehindPerLoad([](IDirectDraw* directDraw) { directDraw->Release(); }), 1024);
}

// The unload walk gave a reference back to every class but the DirectDraw4
// objects, whose memory stayed taken.
TEST(Regression, UnloadingReleasesTheDirectDraw4ObjectsAGameKept)
{
    const long plain = LeftBehindPerLoad([](IDirectDraw*) {});
    const long kept = LeftBehindPerLoad([](IDirectDraw* directDraw) {
        for (int count = 0; count < 15; ++count) {
            void* newer = nullptr;
            directDraw->QueryInterface(IID_IDirectDraw4, &newer);
        }
    });
    // Each object holds at least its table pointer and its count.
    EXPECT_LT(kept - plain, 15 * 8) << plain << " bytes a load without them, " << kept << " with them";
}

// Partial presents repaint the window area the changed rectangle covers. The
// scale that maps one to the other was taken at the first primary's first
// present and kept for every later primary, so after a mode change a small
// Blt to the primary repainted another area of the window. (The window is
// read straight after the paint, with no messages taken in between: Wine
// sometimes resizes it to the mode's size while it handles them.)
TEST(Regression, APartialPresentRepaintsWhereTheNewPrimaryShowsIt)
{
    const Window& window = Window::Game();
    Module module;
    ASSERT_TRUE(module);
    IDirectDraw* directDraw = module.Create();
    ASSERT_NE(nullptr, directDraw);
    ASSERT_EQ(DD_OK, directDraw->SetCooperativeLevel(window.handle, DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN));
    PALETTEENTRY colours[256] = {};
    colours[1] = {0, 0, 255, 0};
    colours[2] = {255, 0, 0, 0};
    IDirectDrawPalette* palette = nullptr;
    ASSERT_EQ(DD_OK, directDraw->CreatePalette(DDPCAPS_8BIT | DDPCAPS_ALLOW256, colours, &palette, nullptr));
    // A whole blue frame and a small rectangle of it; then, at the second
    // mode, a red corner as a rectangle of its own.
    RECT client = {};
    const auto show = [&](DWORD width, DWORD height, bool corner) {
        ASSERT_EQ(DD_OK, directDraw->SetDisplayMode(width, height, 8));
        GetClientRect(window.handle, &client);
        DDSURFACEDESC request = {};
        request.dwSize = sizeof request;
        request.dwFlags = DDSD_CAPS;
        request.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
        IDirectDrawSurface* primary = nullptr;
        ASSERT_EQ(DD_OK, directDraw->CreateSurface(&request, &primary, nullptr));
        ASSERT_EQ(DD_OK, primary->SetPalette(palette));
        DDBLTFX fill = {};
        fill.dwSize = sizeof fill;
        fill.dwFillColor = 1;
        ASSERT_EQ(DD_OK, primary->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fill));
        RECT small = {0, 0, 2, 2};
        ASSERT_EQ(DD_OK, primary->Blt(&small, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fill));
        if (corner) {
            RECT last = {LONG(width) - 8, LONG(height) - 8, LONG(width), LONG(height)};
            fill.dwFillColor = 2;
            ASSERT_EQ(DD_OK, primary->Blt(&last, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fill));
            EXPECT_EQ(RGB(255, 0, 0), window.Pixel(client.right - 2, client.bottom - 2));
            EXPECT_EQ(RGB(0, 0, 255), window.Pixel(client.right / 2, client.bottom / 2));
        }
        EXPECT_EQ(0u, primary->Release());
    };
    show(640, 480, false);
    show(320, 240, true);
    EXPECT_EQ(0u, palette->Release());
    EXPECT_EQ(0u, directDraw->Release());
}

// The cursor, confined to the game's frame and hidden while the game window
// has the focus, stayed confined and hidden after the module that did it was
// gone. (The focus arrives as the message alone: under a virtual screen
// without a window manager, real focus changes come and go.)
TEST(Regression, UnloadingTheModuleFreesAndShowsTheCursor)
{
    const auto shown = [] {
        const int count = ShowCursor(TRUE);
        ShowCursor(FALSE);
        return count - 1;
    };
    const Window& window = Window::Game();
    const int shownBefore = shown();
    Module module;
    ASSERT_TRUE(module);
    IDirectDraw* directDraw = module.Create();
    ASSERT_NE(nullptr, directDraw);
    ASSERT_EQ(DD_OK, directDraw->SetCooperativeLevel(window.handle, DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN));
    // Not the screen's shape, so that the window does not cover it all: Wine
    // confines the cursor to such a window itself.
    ASSERT_EQ(DD_OK, directDraw->SetDisplayMode(320, 320, 8));
    SendMessageW(window.handle, WM_SETFOCUS, 0, 0);
    EXPECT_EQ(shownBefore - 1, shown());
    // Wine confines the cursor with a pointer grab, which under emulation
    // does not always take: where it did not, there is no confinement to end.
    RECT clip = {};
    GetClipCursor(&clip);
    const bool confined = clip.right - clip.left == 320;
    directDraw->Release();
    module.Free();
    EXPECT_EQ(shownBefore, shown());
    GetClipCursor(&clip);
    const RECT screen = {GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
                         GetSystemMetrics(SM_XVIRTUALSCREEN) + GetSystemMetrics(SM_CXVIRTUALSCREEN),
                         GetSystemMetrics(SM_YVIRTUALSCREEN) + GetSystemMetrics(SM_CYVIRTUALSCREEN)};
    if (confined) {
        EXPECT_TRUE(EqualRect(&screen, &clip))
            << clip.left << "," << clip.top << "," << clip.right << "," << clip.bottom;
    }
}
