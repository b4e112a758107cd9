#include "ddraw/DirectDraw.h"

#include <type_traits>

#include "module/DisplayState.h"
#include "module/Trace.h"
#include "present/WindowSetup.h"
#include "surface/DirectDrawPalette.h"
#include "surface/DirectDrawSurface.h"
#include "surface/DirectDrawSurface4.h"
#include "surface/SurfaceDescription.h"

namespace {

// Answers a QueryInterface for one of the three generations: the object itself
// when it is of that generation, otherwise a new object of it.
template <class Target, class Asker>
HRESULT Negotiate(Asker* asker, void** out)
{
    if constexpr (std::is_same_v<Target, Asker>) {
        asker->AddRef();
        *out = static_cast<typename Asker::Published*>(asker);
        return DD_OK;
    } else {
        Target* created = CreateRegistered<Target>();
        if (created == nullptr)
            return DDERR_OUTOFMEMORY;
        *out = static_cast<typename Target::Published*>(created);
        return DD_OK;
    }
}

}

template <class Self, class Interface, class Types>
HRESULT DirectDrawObject<Self, Interface, Types>::QueryInterface(REFIID iid, void** out)
{
    if (out == nullptr)
        return DDERR_INVALIDPARAMS;
    *out = nullptr;
    Self* self = static_cast<Self*>(this);
    if (iid == IID_IDirectDraw)
        return Negotiate<DirectDraw>(self, out);
    if (iid == IID_IDirectDraw2)
        return Negotiate<DirectDraw2>(self, out);
    if (iid == IID_IDirectDraw4)
        return Negotiate<DirectDraw4>(self, out);
    return DDERR_UNSUPPORTED;
}

template <class Self, class Interface, class Types>
HRESULT DirectDrawObject<Self, Interface, Types>::Compact()
{
    return DDERR_UNSUPPORTED;
}

template <class Self, class Interface, class Types>
HRESULT DirectDrawObject<Self, Interface, Types>::CreateClipper(DWORD, LPDIRECTDRAWCLIPPER*, IUnknown*)
{
    return DDERR_UNSUPPORTED;
}

template <class Self, class Interface, class Types>
HRESULT DirectDrawObject<Self, Interface, Types>::CreatePalette(DWORD flags, LPPALETTEENTRY entries,
                                                                LPDIRECTDRAWPALETTE* out, IUnknown* outer)
{
    TraceCall(L"%ls::CreatePalette(dwFlags = %08X, lpDDColorArray = %08X", Self::traceName, flags, entries);
    if (outer != nullptr)
        return DDERR_INVALIDOBJECT;
    return DirectDrawPalette::Create(flags, entries, out);
}

// Refusals come in a fixed order, each before anything is made.
template <class Self, class Interface, class Types>
HRESULT DirectDrawObject<Self, Interface, Types>::CreateSurface(SurfaceDesc* desc, Surface** out, IUnknown*)
{
    if (desc == nullptr || out == nullptr)
        return DDERR_INVALIDPARAMS;
    const DWORD flags = desc->dwFlags;
    const DWORD sized = DDSD_WIDTH | DDSD_HEIGHT;
    const bool primary = IsPrimaryRequest(*desc);
    if (primary && (flags & (sized | DDSD_PIXELFORMAT)) == (sized | DDSD_PIXELFORMAT))
        return DDERR_INVALIDPARAMS;
    if (!primary && (flags & sized) != sized)
        return DDERR_INVALIDPARAMS;
    if (flags & (DDSD_LINEARSIZE | DDSD_ZBUFFERBITDEPTH | DDSD_MIPMAPCOUNT | DDSD_REFRESHRATE | DDSD_ALPHABITDEPTH))
        return DDERR_UNSUPPORTED;
    if (primary && (displayState.primarySurface != nullptr || displayState.primarySurface4 != nullptr))
        return DDERR_NOEXCLUSIVEMODE;
    return Types::SurfaceClass::Create(*desc, out);
}

template <class Self, class Interface, class Types>
HRESULT DirectDrawObject<Self, Interface, Types>::DuplicateSurface(Surface*, Surface**)
{
    return DDERR_UNSUPPORTED;
}

template <class Self, class Interface, class Types>
HRESULT DirectDrawObject<Self, Interface, Types>::EnumDisplayModes(DWORD, SurfaceDesc*, LPVOID,
                                                                   typename Types::ModesCallback)
{
    return DDERR_UNSUPPORTED;
}

template <class Self, class Interface, class Types>
HRESULT DirectDrawObject<Self, Interface, Types>::EnumSurfaces(DWORD, SurfaceDesc*, LPVOID,
                                                               typename Types::SurfacesCallback)
{
    return DDERR_UNSUPPORTED;
}

template <class Self, class Interface, class Types>
HRESULT DirectDrawObject<Self, Interface, Types>::FlipToGDISurface()
{
    return DD_OK;
}

template <class Self, class Interface, class Types>
HRESULT DirectDrawObject<Self, Interface, Types>::GetCaps(LPDDCAPS driverCaps, LPDDCAPS emulCaps)
{
    TraceCall(L"%ls::GetCaps lpDDDriverCaps=0x%08X lpDDEmulCaps=0x%08X DDERR_UNSUPPORTED", Self::traceName,
              driverCaps, emulCaps);
    return DDERR_UNSUPPORTED;
}

template <class Self, class Interface, class Types>
HRESULT DirectDrawObject<Self, Interface, Types>::GetDisplayMode(SurfaceDesc*)
{
    return DDERR_UNSUPPORTED;
}

template <class Self, class Interface, class Types>
HRESULT DirectDrawObject<Self, Interface, Types>::GetFourCCCodes(LPDWORD, LPDWORD)
{
    return DDERR_UNSUPPORTED;
}

template <class Self, class Interface, class Types>
HRESULT DirectDrawObject<Self, Interface, Types>::GetGDISurface(Surface**)
{
    return DDERR_UNSUPPORTED;
}

template <class Self, class Interface, class Types>
HRESULT DirectDrawObject<Self, Interface, Types>::GetMonitorFrequency(LPDWORD)
{
    return DDERR_UNSUPPORTED;
}

template <class Self, class Interface, class Types>
HRESULT DirectDrawObject<Self, Interface, Types>::GetScanLine(LPDWORD)
{
    return DDERR_UNSUPPORTED;
}

template <class Self, class Interface, class Types>
HRESULT DirectDrawObject<Self, Interface, Types>::GetVerticalBlankStatus(WINBOOL*)
{
    return DDERR_UNSUPPORTED;
}

template <class Self, class Interface, class Types>
HRESULT DirectDrawObject<Self, Interface, Types>::Initialize(GUID*)
{
    return DDERR_UNSUPPORTED;
}

template <class Self, class Interface, class Types>
HRESULT DirectDrawObject<Self, Interface, Types>::RestoreDisplayMode()
{
    return DD_OK;
}

// Only the first window given is kept: it is the one the module subclasses and
// paints.
template <class Self, class Interface, class Types>
HRESULT DirectDrawObject<Self, Interface, Types>::SetCooperativeLevel(HWND window, DWORD)
{
    if (window != nullptr && displayState.window == nullptr)
        displayState.window = window;
    return DD_OK;
}

// Pacing happens when frames are painted, so there is nothing to wait for here.
template <class Self, class Interface, class Types>
HRESULT DirectDrawObject<Self, Interface, Types>::WaitForVerticalBlank(DWORD flags, HANDLE event)
{
    TraceCall(Self::waitForVerticalBlankTrace, flags, event);
    return DD_OK;
}

template <class Self, class Interface, class Types>
HRESULT DirectDrawObject<Self, Interface, Types>::SetMode(const RequestedMode& mode)
{
    requestedMode = mode;
    displayState.modeWidth = mode.width;
    displayState.modeHeight = mode.height;
    displayState.modeBpp = mode.bitsPerPixel;
    return SetupGameWindow() ? DD_OK : DDERR_GENERIC;
}

template class DirectDrawObject<DirectDraw, IDirectDraw, ClassicDirectDrawTypes>;
template class DirectDrawObject<DirectDraw2, IDirectDraw2, ClassicDirectDrawTypes>;
template class DirectDrawObject<DirectDraw4, IDirectDraw4, DirectDraw4Types>;

HRESULT DirectDraw::SetDisplayMode(DWORD width, DWORD height, DWORD bitsPerPixel)
{
    return SetMode({width, height, bitsPerPixel, 0, 0});
}

HRESULT DirectDraw2::SetDisplayMode(DWORD width, DWORD height, DWORD bitsPerPixel, DWORD refreshRate, DWORD flags)
{
    return SetMode({width, height, bitsPerPixel, refreshRate, flags});
}

HRESULT DirectDraw2::GetAvailableVidMem(LPDDSCAPS, LPDWORD, LPDWORD)
{
    return DDERR_UNSUPPORTED;
}

HRESULT DirectDraw4::SetDisplayMode(DWORD width, DWORD height, DWORD bitsPerPixel, DWORD refreshRate, DWORD flags)
{
    return SetMode({width, height, bitsPerPixel, refreshRate, flags});
}

HRESULT DirectDraw4::GetAvailableVidMem(LPDDSCAPS2, LPDWORD, LPDWORD)
{
    return DDERR_UNSUPPORTED;
}

HRESULT DirectDraw4::GetSurfaceFromDC(HDC, LPDIRECTDRAWSURFACE4*)
{
    return DDERR_UNSUPPORTED;
}

HRESULT DirectDraw4::RestoreAllSurfaces()
{
    return DDERR_UNSUPPORTED;
}

HRESULT DirectDraw4::TestCooperativeLevel()
{
    return DDERR_UNSUPPORTED;
}

HRESULT DirectDraw4::GetDeviceIdentifier(LPDDDEVICEIDENTIFIER, DWORD)
{
    return DDERR_UNSUPPORTED;
}
