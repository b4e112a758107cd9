#pragma once

#include <windows.h>
#include <ddraw.h>

#include <cstdint>

#include "module/ComObject.h"

class DirectDrawPalette;

// Where a surface class keeps the one device context it hands out at a time,
// and the bitmap that context held before the surface's DIB section.
struct DeviceContextSlot {
    HDC& dc;
    HGDIOBJ& oldBitmap;
};

// The interface types that differ between the two surface generations.
struct ClassicSurfaceTypes {
    using Desc = DDSURFACEDESC;
    using Caps = DDSCAPS;
    using Surface = IDirectDrawSurface;
    using EnumCallback = LPDDENUMSURFACESCALLBACK;
};

struct Surface4Types {
    using Desc = DDSURFACEDESC2;
    using Caps = DDSCAPS2;
    using Surface = IDirectDrawSurface4;
    using EnumCallback = LPDDENUMSURFACESCALLBACK2;
};

// A rectangle of pixels in a GDI DIB section, with the description the game
// reads back. The slots both surface generations share are here, in the
// published order; Self names the concrete class, which supplies what differs
// (its trace name and Lock message, where the display state names its primary
// and its device context, how that primary is presented, the depth of
// off-screen surfaces made without a format).
template <class Self, class Interface, class Types>
class SurfaceObject : public ComObject<Self, Interface> {
public:
    using Desc = typename Types::Desc;
    using Surface = typename Types::Surface;

    // Makes a surface from a request CreateSurface has accepted: description,
    // back buffer, pixel memory and, for the primary, the objects that show
    // it. When any of it cannot be made, nothing stays behind and `*out` is
    // left as it was, as by every other refusal.
    static HRESULT Create(const Desc& request, Surface** out);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    HRESULT STDMETHODCALLTYPE AddAttachedSurface(Surface* surface) override;
    HRESULT STDMETHODCALLTYPE AddOverlayDirtyRect(LPRECT rect) override;
    HRESULT STDMETHODCALLTYPE Blt(LPRECT destination, Surface* source, LPRECT sourceRect, DWORD flags,
                                  LPDDBLTFX effects) override;
    HRESULT STDMETHODCALLTYPE BltBatch(LPDDBLTBATCH batch, DWORD count, DWORD flags) override;
    HRESULT STDMETHODCALLTYPE BltFast(DWORD x, DWORD y, Surface* source, LPRECT sourceRect, DWORD flags) override;
    HRESULT STDMETHODCALLTYPE DeleteAttachedSurface(DWORD flags, Surface* surface) override;
    HRESULT STDMETHODCALLTYPE EnumAttachedSurfaces(LPVOID context, typename Types::EnumCallback callback) override;
    HRESULT STDMETHODCALLTYPE EnumOverlayZOrders(DWORD flags, LPVOID context,
                                                 typename Types::EnumCallback callback) override;
    HRESULT STDMETHODCALLTYPE Flip(Surface* targetOverride, DWORD flags) override;
    HRESULT STDMETHODCALLTYPE GetBltStatus(DWORD flags) override;
    HRESULT STDMETHODCALLTYPE GetCaps(typename Types::Caps* caps) override;
    HRESULT STDMETHODCALLTYPE GetClipper(LPDIRECTDRAWCLIPPER* clipper) override;
    HRESULT STDMETHODCALLTYPE GetColorKey(DWORD flags, LPDDCOLORKEY key) override;
    HRESULT STDMETHODCALLTYPE GetDC(HDC* dc) override;
    HRESULT STDMETHODCALLTYPE GetFlipStatus(DWORD flags) override;
    HRESULT STDMETHODCALLTYPE GetOverlayPosition(LPLONG x, LPLONG y) override;
    HRESULT STDMETHODCALLTYPE GetPalette(LPDIRECTDRAWPALETTE* palette) override;
    HRESULT STDMETHODCALLTYPE GetPixelFormat(LPDDPIXELFORMAT format) override;
    HRESULT STDMETHODCALLTYPE Initialize(LPDIRECTDRAW directDraw, Desc* desc) override;
    HRESULT STDMETHODCALLTYPE IsLost() override;
    HRESULT STDMETHODCALLTYPE Lock(LPRECT rect, Desc* desc, DWORD flags, HANDLE event) override;
    HRESULT STDMETHODCALLTYPE ReleaseDC(HDC dc) override;
    HRESULT STDMETHODCALLTYPE Restore() override;
    HRESULT STDMETHODCALLTYPE SetClipper(LPDIRECTDRAWCLIPPER clipper) override;
    HRESULT STDMETHODCALLTYPE SetColorKey(DWORD flags, LPDDCOLORKEY key) override;
    HRESULT STDMETHODCALLTYPE SetOverlayPosition(LONG x, LONG y) override;
    HRESULT STDMETHODCALLTYPE SetPalette(LPDIRECTDRAWPALETTE palette) override;
    HRESULT STDMETHODCALLTYPE UpdateOverlay(LPRECT sourceRect, Surface* destination, LPRECT destinationRect,
                                            DWORD flags, LPDDOVERLAYFX effects) override;
    HRESULT STDMETHODCALLTYPE UpdateOverlayDisplay(DWORD flags) override;
    HRESULT STDMETHODCALLTYPE UpdateOverlayZOrder(DWORD flags, Surface* reference) override;

    const Desc& Description() const { return surfaceDesc; }
    uint8_t* Pixels() const { return pixels; }
    bool Busy() const { return busy; }
    HBITMAP DibSection() const { return dibSection; }
    DirectDrawPalette* Palette() const { return palette; }
    Self* BackBuffer() const { return backBuffer; }
    bool IsPrimary() const { return Self::Primary() == this; }

protected:
    ~SurfaceObject() override;

    // GetAttachedSurface for both generations: the back buffer, with a
    // reference for the caller.
    HRESULT AttachedBackBuffer(const typename Types::Caps* caps, Surface** out);

    // Unlock for both generations; `rebuild` runs once the surface is no
    // longer busy, before the primary is presented.
    template <class Rebuild>
    HRESULT Unlocked(Rebuild rebuild);

    Desc surfaceDesc = {};
    DirectDrawPalette* palette = nullptr;
    Self* backBuffer = nullptr;
    uint8_t* pixels = nullptr;
    HBITMAP dibSection = nullptr;
    // Set by Lock and GetDC, cleared by Unlock and ReleaseDC: only a second
    // Lock is refused while it is set.
    bool busy = false;

private:
    HRESULT Build(const Desc& request);
    void Describe(const Desc& request);
    HRESULT BuildBackBuffer();
    HRESULT BuildPixels();
    void GiveBackDeviceContext();
};

template <class Self, class Interface, class Types>
template <class Rebuild>
HRESULT SurfaceObject<Self, Interface, Types>::Unlocked(Rebuild rebuild)
{
    if (!busy)
        return DDERR_NOTLOCKED;
    busy = false;
    rebuild();
    if (IsPrimary())
        Self::Present(nullptr);
    return DD_OK;
}
