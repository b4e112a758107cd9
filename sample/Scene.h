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

// A triangle wave: 0 up to `range` and back, so moving things bounce.
inline int32_t Bounce(uint32_t t, int32_t range)
{
    const int32_t phase = int32_t(t % uint32_t(2 * range));
    return phase < range ? phase : 2 * range - phase;
}
