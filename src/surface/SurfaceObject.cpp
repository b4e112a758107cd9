#include "surface/SurfaceObject.h"

#include <climits>
#include <cstring>

#include "module/DisplayState.h"
#include "module/Trace.h"
#include "present/PresentImage.h"
#include "surface/DirectDrawPalette.h"
#include "surface/DirectDrawSurface.h"
#include "surface/DirectDrawSurface4.h"
#include "surface/SurfaceDescription.h"

namespace {

constexpr DWORD primaryCaps = DDSCAPS_VISIBLE | DDSCAPS_SYSTEMMEMORY | DDSCAPS_PRIMARYSURFACE | DDSCAPS_FRONTBUFFER;
constexpr DWORD frontOnlyCaps = DDSCAPS_VISIBLE | DDSCAPS_PRIMARYSURFACE | DDSCAPS_FRONTBUFFER;

// Whether a DIB of this size and depth can be addressed with the 32-bit
// signed sizes GDI and the description use.
bool FitsInMemory(uint32_t width, uint32_t height, uint32_t bitsPerPixel)
{
    if (width > INT32_MAX || height > INT32_MAX)
        return false;
    const uint64_t rowBits = uint64_t{width} * bitsPerPixel;
    const uint64_t paddedRowBytes = (rowBits + 31) / 32 * 4;
    return rowBits <= UINT32_MAX && paddedRowBytes * height <= INT32_MAX;
}

template <class Desc>
void CopyColourKeys(const Desc& request, Desc& desc)
{
    struct KeyField {
        DWORD flag;
        DDCOLORKEY Desc::*key;
    };
    const KeyField keys[] = {
        {DDSD_CKDESTOVERLAY, &Desc::ddckCKDestOverlay},
        {DDSD_CKDESTBLT, &Desc::ddckCKDestBlt},
        {DDSD_CKSRCOVERLAY, &Desc::ddckCKSrcOverlay},
        {DDSD_CKSRCBLT, &Desc::ddckCKSrcBlt},
    };
    for (const KeyField& field : keys) {
        if (request.dwFlags & field.flag) {
            desc.dwFlags |= field.flag;
            desc.*field.key = request.*field.key;
        }
    }
}

}

template <class Self, class Interface, class Types>
HRESULT SurfaceObject<Self, Interface, Types>::Create(const Desc& request, Surface** out)
{
    *out = nullptr;
    Self* surface = CreateRegistered<Self>();
    if (surface == nullptr)
        return DDERR_OUTOFMEMORY;
    const HRESULT result = surface->Build(request);
    if (FAILED(result)) {
        surface->Release();
        return result;
    }
    *out = surface;
    return DD_OK;
}

template <class Self, class Interface, class Types>
HRESULT SurfaceObject<Self, Interface, Types>::Build(const Desc& request)
{
    Describe(request);
    if (surfaceDesc.dwWidth == 0 || surfaceDesc.dwHeight == 0)
        return DDERR_INVALIDPARAMS;
    if (!FitsInMemory(surfaceDesc.dwWidth, surfaceDesc.dwHeight, surfaceDesc.ddpfPixelFormat.dwRGBBitCount))
        return DDERR_OUTOFMEMORY;
    HRESULT result = BuildBackBuffer();
    if (SUCCEEDED(result))
        result = BuildPixels();
    if (SUCCEEDED(result) && IsPrimary() && !CreatePresentImage(surfaceDesc.ddpfPixelFormat.dwRGBBitCount, dibSection))
        result = DDERR_OUTOFMEMORY;
    return result;
}

// The primary always has the mode's size and format, whatever was asked;
// other surfaces keep the size asked for and, when given, the format.
template <class Self, class Interface, class Types>
void SurfaceObject<Self, Interface, Types>::Describe(const Desc& request)
{
    std::memset(&surfaceDesc, 0, sizeof surfaceDesc);
    surfaceDesc.dwSize = sizeof(Desc);
    if (IsPrimaryRequest(request)) {
        surfaceDesc.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT;
        surfaceDesc.ddsCaps.dwCaps = primaryCaps | (request.ddsCaps.dwCaps & (DDSCAPS_FLIP | DDSCAPS_COMPLEX));
        surfaceDesc.dwHeight = displayState.modeHeight;
        surfaceDesc.dwWidth = displayState.modeWidth;
        Self::Primary() = static_cast<Self*>(this);
        surfaceDesc.ddpfPixelFormat = PixelFormatForDepth(displayState.modeBpp);
    } else {
        surfaceDesc.dwFlags = DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT;
        surfaceDesc.dwHeight = request.dwHeight;
        surfaceDesc.dwWidth = request.dwWidth;
        surfaceDesc.ddpfPixelFormat = (request.dwFlags & DDSD_PIXELFORMAT) ? request.ddpfPixelFormat
                                                                           : PixelFormatForDepth(Self::OffscreenDepth());
        if (request.dwFlags & DDSD_CAPS) {
            surfaceDesc.dwFlags |= DDSD_CAPS;
            surfaceDesc.ddsCaps.dwCaps =
                DDSCAPS_SYSTEMMEMORY |
                (request.ddsCaps.dwCaps & (DDSCAPS_OFFSCREENPLAIN | DDSCAPS_BACKBUFFER | DDSCAPS_COMPLEX | DDSCAPS_FLIP));
        }
    }
    surfaceDesc.dwFlags |= DDSD_PITCH;
    surfaceDesc.lPitch = static_cast<LONG>(surfaceDesc.dwWidth * surfaceDesc.ddpfPixelFormat.dwRGBBitCount / 8);
    if (request.dwFlags & DDSD_BACKBUFFERCOUNT) {
        surfaceDesc.dwFlags |= DDSD_BACKBUFFERCOUNT;
        surfaceDesc.dwBackBufferCount = request.dwBackBufferCount;
    }
    CopyColourKeys(request, surfaceDesc);
}

// Exactly one back buffer is made, of the same class, size, format and keys.
// Its creation reference is this surface's, given up when this one dies.
template <class Self, class Interface, class Types>
HRESULT SurfaceObject<Self, Interface, Types>::BuildBackBuffer()
{
    if (surfaceDesc.dwBackBufferCount != 1)
        return DD_OK;
    Desc request = surfaceDesc;
    request.dwFlags &= ~DDSD_BACKBUFFERCOUNT;
    request.dwBackBufferCount = 0;
    request.ddsCaps.dwCaps = (request.ddsCaps.dwCaps & ~frontOnlyCaps) | DDSCAPS_BACKBUFFER;
    backBuffer = CreateRegistered<Self>();
    if (backBuffer == nullptr)
        return DDERR_OUTOFMEMORY;
    backBuffer->MarkReferenceHeld();
    return backBuffer->Build(request);
}

template <class Self, class Interface, class Types>
HRESULT SurfaceObject<Self, Interface, Types>::BuildPixels()
{
    void* bits = nullptr;
    dibSection = CreateDib(SurfaceDibHeader(surfaceDesc.dwWidth, surfaceDesc.dwHeight, surfaceDesc.ddpfPixelFormat),
                           &bits);
    pixels = static_cast<uint8_t*>(bits);
    return dibSection != nullptr ? DD_OK : DDERR_OUTOFMEMORY;
}

template <class Self, class Interface, class Types>
SurfaceObject<Self, Interface, Types>::~SurfaceObject()
{
    const bool primary = IsPrimary();
    if (primary)
        DestroyPresentImage();
    if (dibSection != nullptr)
        DeleteObject(dibSection);
    if (palette != nullptr)
        palette->DropHeldReference();
    if (primary)
        Self::Primary() = nullptr;
    if (backBuffer != nullptr)
        backBuffer->DropHeldReference();
}

template <class Self, class Interface, class Types>
HRESULT SurfaceObject<Self, Interface, Types>::AttachedBackBuffer(const typename Types::Caps* caps, Surface** out)
{
    if (caps == nullptr || out == nullptr)
        return DDERR_INVALIDPARAMS;
    if (!(caps->dwCaps & DDSCAPS_BACKBUFFER))
        return DDERR_UNSUPPORTED;
    if (backBuffer == nullptr)
        return DDERR_NOTFOUND;
    backBuffer->AddRef();
    *out = backBuffer;
    return DD_OK;
}

template <class Self, class Interface, class Types>
HRESULT SurfaceObject<Self, Interface, Types>::QueryInterface(REFIID, void** out)
{
    if (out == nullptr)
        return DDERR_INVALIDPARAMS;
    *out = nullptr;
    return DDERR_UNSUPPORTED;
}

template <class Self, class Interface, class Types>
HRESULT SurfaceObject<Self, Interface, Types>::AddAttachedSurface(Surface*)
{
    return DDERR_UNSUPPORTED;
}

template <class Self, class Interface, class Types>
HRESULT SurfaceObject<Self, Interface, Types>::AddOverlayDirtyRect(LPRECT)
{
    return DDERR_UNSUPPORTED;
}

template <class Self, class Interface, class Types>
HRESULT SurfaceObject<Self, Interface, Types>::Blt(LPRECT, Surface*, LPRECT, DWORD, LPDDBLTFX)
{
    return DDERR_UNSUPPORTED;
}

template <class Self, class Interface, class Types>
HRESULT SurfaceObject<Self, Interface, Types>::BltBatch(LPDDBLTBATCH, DWORD, DWORD)
{
    return DDERR_UNSUPPORTED;
}

template <class Self, class Interface, class Types>
HRESULT SurfaceObject<Self, Interface, Types>::BltFast(DWORD, DWORD, Surface*, LPRECT, DWORD)
{
    return DDERR_UNSUPPORTED;
}

template <class Self, class Interface, class Types>
HRESULT SurfaceObject<Self, Interface, Types>::DeleteAttachedSurface(DWORD, Surface*)
{
    return DDERR_UNSUPPORTED;
}

template <class Self, class Interface, class Types>
HRESULT SurfaceObject<Self, Interface, Types>::EnumAttachedSurfaces(LPVOID, typename Types::EnumCallback)
{
    return DDERR_UNSUPPORTED;
}

template <class Self, class Interface, class Types>
HRESULT SurfaceObject<Self, Interface, Types>::EnumOverlayZOrders(DWORD, LPVOID, typename Types::EnumCallback)
{
    return DDERR_UNSUPPORTED;
}

template <class Self, class Interface, class Types>
HRESULT SurfaceObject<Self, Interface, Types>::Flip(Surface*, DWORD)
{
    return DDERR_UNSUPPORTED;
}

template <class Self, class Interface, class Types>
HRESULT SurfaceObject<Self, Interface, Types>::GetBltStatus(DWORD)
{
    return DDERR_UNSUPPORTED;
}

template <class Self, class Interface, class Types>
HRESULT SurfaceObject<Self, Interface, Types>::GetCaps(typename Types::Caps*)
{
    return DDERR_UNSUPPORTED;
}

template <class Self, class Interface, class Types>
HRESULT SurfaceObject<Self, Interface, Types>::GetClipper(LPDIRECTDRAWCLIPPER*)
{
    return DDERR_UNSUPPORTED;
}

template <class Self, class Interface, class Types>
HRESULT SurfaceObject<Self, Interface, Types>::GetColorKey(DWORD, LPDDCOLORKEY)
{
    return DDERR_UNSUPPORTED;
}

template <class Self, class Interface, class Types>
HRESULT SurfaceObject<Self, Interface, Types>::GetDC(HDC*)
{
    return DDERR_UNSUPPORTED;
}

template <class Self, class Interface, class Types>
HRESULT SurfaceObject<Self, Interface, Types>::GetFlipStatus(DWORD)
{
    return DDERR_UNSUPPORTED;
}

template <class Self, class Interface, class Types>
HRESULT SurfaceObject<Self, Interface, Types>::GetOverlayPosition(LPLONG, LPLONG)
{
    return DDERR_UNSUPPORTED;
}

template <class Self, class Interface, class Types>
HRESULT SurfaceObject<Self, Interface, Types>::GetPalette(LPDIRECTDRAWPALETTE*)
{
    return DDERR_UNSUPPORTED;
}

template <class Self, class Interface, class Types>
HRESULT SurfaceObject<Self, Interface, Types>::GetPixelFormat(LPDDPIXELFORMAT format)
{
    if (format == nullptr)
        return DDERR_INVALIDPARAMS;
    *format = surfaceDesc.ddpfPixelFormat;
    return DD_OK;
}

template <class Self, class Interface, class Types>
HRESULT SurfaceObject<Self, Interface, Types>::Initialize(LPDIRECTDRAW, Desc*)
{
    return DDERR_UNSUPPORTED;
}

// Surfaces live in system memory and are never lost.
template <class Self, class Interface, class Types>
HRESULT SurfaceObject<Self, Interface, Types>::IsLost()
{
    return DD_OK;
}

template <class Self, class Interface, class Types>
HRESULT SurfaceObject<Self, Interface, Types>::Lock(LPRECT, Desc*, DWORD, HANDLE)
{
    return DDERR_UNSUPPORTED;
}

template <class Self, class Interface, class Types>
HRESULT SurfaceObject<Self, Interface, Types>::ReleaseDC(HDC)
{
    return DDERR_UNSUPPORTED;
}

template <class Self, class Interface, class Types>
HRESULT SurfaceObject<Self, Interface, Types>::Restore()
{
    return DD_OK;
}

template <class Self, class Interface, class Types>
HRESULT SurfaceObject<Self, Interface, Types>::SetClipper(LPDIRECTDRAWCLIPPER)
{
    return DDERR_UNSUPPORTED;
}

template <class Self, class Interface, class Types>
HRESULT SurfaceObject<Self, Interface, Types>::SetColorKey(DWORD, LPDDCOLORKEY)
{
    return DDERR_UNSUPPORTED;
}

template <class Self, class Interface, class Types>
HRESULT SurfaceObject<Self, Interface, Types>::SetOverlayPosition(LONG, LONG)
{
    return DDERR_UNSUPPORTED;
}

// Only palettes this module made can be attached: presenting reads their
// screen colours. The new palette's reference is taken before the old one's is
// given up, so attaching the same palette again leaves its count as it was.
template <class Self, class Interface, class Types>
HRESULT SurfaceObject<Self, Interface, Types>::SetPalette(LPDIRECTDRAWPALETTE newPalette)
{
    TraceCall(L"%ls%u::SetPalette(lpDDPalette = %08X)", Self::traceClass, this->RegistryPosition(), newPalette);
    DirectDrawPalette* attached = nullptr;
    if (newPalette != nullptr) {
        attached = DirectDrawPalette::FromInterface(newPalette);
        if (attached == nullptr)
            return DDERR_INVALIDPARAMS;
        attached->TakeHeldReference();
    }
    if (palette != nullptr)
        palette->DropHeldReference();
    palette = attached;
    return DD_OK;
}

template <class Self, class Interface, class Types>
HRESULT SurfaceObject<Self, Interface, Types>::UpdateOverlay(LPRECT, Surface*, LPRECT, DWORD, LPDDOVERLAYFX)
{
    return DDERR_UNSUPPORTED;
}

template <class Self, class Interface, class Types>
HRESULT SurfaceObject<Self, Interface, Types>::UpdateOverlayDisplay(DWORD)
{
    return DDERR_UNSUPPORTED;
}

template <class Self, class Interface, class Types>
HRESULT SurfaceObject<Self, Interface, Types>::UpdateOverlayZOrder(DWORD, Surface*)
{
    return DDERR_UNSUPPORTED;
}

template class SurfaceObject<DirectDrawSurface, IDirectDrawSurface, ClassicSurfaceTypes>;
template class SurfaceObject<DirectDrawSurface4, IDirectDrawSurface4, Surface4Types>;
