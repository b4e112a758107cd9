#pragma once

#include <windows.h>
#include <ddraw.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

#include "Capture.h"

using DirectDrawCreateFunction = HRESULT(WINAPI*)(GUID*, LPDIRECTDRAW*, IUnknown*);

// A failed DirectDraw call, named with its result.
struct GameError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

void Check(HRESULT result, const char* call);

// One of the game's scenes: it makes its DirectDraw objects, draws a frame
// into the back buffer, shows it with Flip and releases everything at the end.
class Scene {
public:
    virtual ~Scene() = default;

    virtual const char* InterfaceName() const = 0;

    // Makes the DirectDraw objects and sets the display mode; `modeSetAt` is
    // the tick count taken just before SetDisplayMode.
    virtual void Start(HWND window, DWORD& modeSetAt) = 0;
    virtual void DrawFrame(uint32_t frame) = 0;
    // The back buffer as drawn, before it is shown.
    virtual DrawnFrame ReadBackBuffer() = 0;
    virtual void ShowFrame() = 0;

    // Releases every object; names any whose last release left references.
    virtual std::string ReleaseEverything() = 0;
};

std::unique_ptr<Scene> MakePaletteScene(DirectDrawCreateFunction create);
std::unique_ptr<Scene> MakeSpriteScene(DirectDrawCreateFunction create);

// Notes in `leftovers` an object whose release left other than `expected` references.
void NoteLeftover(ULONG left, ULONG expected, const char* name, std::string& leftovers);

template <class T>
void ReleaseExpecting(T*& object, ULONG expected, const char* name, std::string& leftovers)
{
    if (object == nullptr)
        return;
    const ULONG left = object->Release();
    object = nullptr;
    NoteLeftover(left, expected, name, leftovers);
}

template <class Surface>
using DescriptionOf = std::conditional_t<std::is_same_v<Surface, IDirectDrawSurface4>, DDSURFACEDESC2, DDSURFACEDESC>;

// Locks the whole surface, lets `draw` work on its pixels and unlocks it.
template <class Surface, class Draw>
void DrawLocked(Surface* surface, Draw draw)
{
    DescriptionOf<Surface> desc = {};
    desc.dwSize = sizeof desc;
    Check(surface->Lock(nullptr, &desc, DDLOCK_WAIT | DDLOCK_SURFACEMEMORYPTR, nullptr), "Lock");
    draw(static_cast<uint8_t*>(desc.lpSurface), desc.lPitch, desc.dwWidth, desc.dwHeight);
    Check(surface->Unlock(nullptr), "Unlock");
}

// The surface's rows back to back, as the game drew them.
template <class Surface>
DrawnFrame ReadPixels(Surface* surface, uint32_t bitsPerPixel)
{
    DrawnFrame frame;
    frame.bitsPerPixel = bitsPerPixel;
    DrawLocked(surface, [&](const uint8_t* pixels, LONG pitch, DWORD width, DWORD height) {
        frame.width = width;
        frame.height = height;
        const size_t rowBytes = size_t(width) * bitsPerPixel / 8;
        frame.pixels.resize(rowBytes * height);
        for (DWORD y = 0; y < height; ++y)
            std::copy_n(pixels + ptrdiff_t(y) * pitch, rowBytes, frame.pixels.data() + rowBytes * y);
    });
    return frame;
}

template <class Desc>
Desc SurfaceRequest(DWORD flags, DWORD caps, DWORD width = 0, DWORD height = 0)
{
    Desc desc = {};
    desc.dwSize = sizeof desc;
    desc.dwFlags = flags;
    desc.ddsCaps.dwCaps = caps;
    desc.dwWidth = width;
    desc.dwHeight = height;
    return desc;
}

template <class Desc>
Desc OffscreenRequest(DWORD width, DWORD height)
{
    return SurfaceRequest<Desc>(DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT, DDSCAPS_OFFSCREENPLAIN, width, height);
}

// A primary with one back buffer to flip with.
template <class Desc>
Desc FlipChainRequest()
{
    Desc desc = SurfaceRequest<Desc>(DDSD_CAPS | DDSD_BACKBUFFERCOUNT,
                                     DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX);
    desc.dwBackBufferCount = 1;
    return desc;
}

template <class Surface>
using CapsOf = std::conditional_t<std::is_same_v<Surface, IDirectDrawSurface4>, DDSCAPS2, DDSCAPS>;

// A DirectDraw object of one generation set to a 640x480 mode, with a primary
// and the back buffer found on it, made as a game makes them.
template <class DirectDrawN, class Surface>
struct Display {
    void Start(DirectDrawCreateFunction create, REFIID iid, HWND window, DWORD bitsPerPixel, DWORD& modeSetAt)
    {
        Check(create(nullptr, &directDraw, nullptr), "DirectDrawCreate");
        void* out = nullptr;
        Check(directDraw->QueryInterface(iid, &out), "QueryInterface");
        directDrawN = static_cast<DirectDrawN*>(out);
        Check(directDrawN->SetCooperativeLevel(window, DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN), "SetCooperativeLevel");
        modeSetAt = GetTickCount();
        Check(directDrawN->SetDisplayMode(640, 480, bitsPerPixel, 0, 0), "SetDisplayMode");
        DescriptionOf<Surface> request = FlipChainRequest<DescriptionOf<Surface>>();
        Check(directDrawN->CreateSurface(&request, &primary, nullptr), "CreateSurface(primary)");
        CapsOf<Surface> backCaps = {};
        backCaps.dwCaps = DDSCAPS_BACKBUFFER;
        Check(primary->GetAttachedSurface(&backCaps, &backBuffer), "GetAttachedSurface");
    }

    Surface* CreateOffscreen(DWORD width, DWORD height)
    {
        DescriptionOf<Surface> request = OffscreenRequest<DescriptionOf<Surface>>(width, height);
        Surface* surface = nullptr;
        Check(directDrawN->CreateSurface(&request, &surface, nullptr), "CreateSurface(offscreen)");
        return surface;
    }

    void Flip() { Check(primary->Flip(nullptr, DDFLIP_WAIT), "Flip"); }

    // The primary holds its back buffer, so that keeps one reference until
    // the primary goes.
    void ReleaseSurfaces(std::string& leftovers)
    {
        ReleaseExpecting(backBuffer, 1, "the back buffer", leftovers);
        ReleaseExpecting(primary, 0, "the primary surface", leftovers);
    }

    void ReleaseDirectDraw(std::string& leftovers)
    {
        ReleaseExpecting(directDrawN, 0, "the newer DirectDraw interface", leftovers);
        ReleaseExpecting(directDraw, 0, "IDirectDraw", leftovers);
    }

    IDirectDraw* directDraw = nullptr;
    DirectDrawN* directDrawN = nullptr;
    Surface* primary = nullptr;
    Surface* backBuffer = nullptr;
};

// A triangle wave: 0 up to `range` and back, so moving things bounce.
inline int32_t Bounce(uint32_t t, int32_t range)
{
    const int32_t phase = int32_t(t % uint32_t(2 * range));
    return phase < range ? phase : 2 * range - phase;
}
