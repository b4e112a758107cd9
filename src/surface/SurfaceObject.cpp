#include "surface/SurfaceObject.h"

#include <climits>
#include <cstring>
#include <utility>

#include "module/DisplayState.h"
#include "module/Trace.h"
#include "present/PresentImage.h"
#include "surface/DirectDrawPalette.h"
#include "surface/DirectDrawSurface.h"
#include "surface/DirectDrawSurface4.h"
#include "surface/SurfaceBlit.h"
#include "surface/SurfaceDescription.h"

namespace {

constexpr DWORD primaryCaps = DDSCAPS_VISIBLE | DDSCAPS_SYSTEMMEMORY | DDSCAPS_PRIMARYSURFACE | DDSCAPS_FRONTBUFFER;
constexpr DWORD frontOnlyCaps = DDSCAPS_VISIBLE | DDSCAPS_PRIMARYSURFACE | DDSCAPS_FRONTBUFFER;

// A DIB section's rows are padded to whole DWORDs. The description gives the
// game the same row length, so that what GDI draws through GetDC and what Lock
// and the blits address are the same pixels.
uint64_t DibRowBytes(uint32_t width, uint32_t bitsPerPixel)
{
    return (uint64_t{width} * bitsPerPixel + 31) / 32 * 4;
}

// The depths a DIB section can have. A description of any other would name
// one layout while the DIB, made with the depth cut to 16 bits, had another.
bool IsDibDepth(uint32_t bitsPerPixel)
{
    return bitsPerPixel == 1 || bitsPerPixel == 4 || bitsPerPixel == 8 || bitsPerPixel == 16 || bitsPerPixel == 24 ||
           bitsPerPixel == 32;
}

// Whether a DIB of this size and depth can be addressed with the 32-bit
// signed sizes GDI and the description use.
bool FitsInMemory(uint32_t width, uint32_t height, uint32_t bitsPerPixel)
{
    if (width > INT32_MAX || height > INT32_MAX)
        return false;
    const uint64_t rowBits = uint64_t{width} * bitsPerPixel;
    return rowBits <= UINT32_MAX && DibRowBytes(width, bitsPerPixel) * height <= INT32_MAX;
}

// The four colour keys of a description: the flag that says a key is set,
// the key itself, and the SetColorKey bit that names it.
template <class Desc>
struct ColourKeyField {
    DWORD descriptionFlag;
    DDCOLORKEY Desc::*key;
    DWORD setColorKeyFlag;
};

template <class Desc>
constexpr ColourKeyField<Desc> colourKeyFields[] = {
    {DDSD_CKDESTOVERLAY, &Desc::ddckCKDestOverlay, DDCKEY_DESTOVERLAY},
    {DDSD_CKDESTBLT, &Desc::ddckCKDestBlt, DDCKEY_DESTBLT},
    {DDSD_CKSRCOVERLAY, &Desc::ddckCKSrcOverlay, DDCKEY_SRCOVERLAY},
    {DDSD_CKSRCBLT, &Desc::ddckCKSrcBlt, DDCKEY_SRCBLT},
};

// Gives back the device context a surface class handed out, if any, and to the
// window the primary's DIB section that context may have borrowed.
template <class Self>
void DeleteDeviceContext()
{
    const DeviceContextSlot slot = Self::DeviceContext();
    if (slot.dc == nullptr)
        return;
    SelectObject(slot.dc, slot.oldBitmap);
    DeleteDC(slot.dc);
    slot.dc = nullptr;
    slot.oldBitmap = nullptr;
    if (const Self* primary = Self::Primary())
        ShowPrimaryDib(primary->DibSection());
}

template <class Desc>
void CopyColourKeys(const Desc& request, Desc& desc)
{
    for (const ColourKeyField<Desc>& field : colourKeyFields<Desc>) {
        if (request.dwFlags & field.descriptionFlag) {
            desc.dwFlags |= field.descriptionFlag;
            desc.*field.key = request.*field.key;
        }
    }
}

}

template <class Self, class Interface, class Types>
HRESULT SurfaceObject<Self, Interface, Types>::Create(const Desc& request, Surface** out)
{
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
    if (!IsDibDepth(surfaceDesc.ddpfPixelFormat.dwRGBBitCount))
        return DDERR_INVALIDPIXELFORMAT;
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
    surfaceDesc.lPitch = static_cast<LONG>(DibRowBytes(surfaceDesc.dwWidth, surfaceDesc.ddpfPixelFormat.dwRGBBitCount));
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
    GiveBackDeviceContext();
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

// A surface that dies while the game still holds a device context of it gives
// the context back first: its DIB section could not be deleted while
// selected, and the class's one context would stay taken.
template <class Self, class Interface, class Types>
void SurfaceObject<Self, Interface, Types>::GiveBackDeviceContext()
{
    const DeviceContextSlot slot = Self::DeviceContext();
    if (slot.dc != nullptr && dibSection != nullptr && GetCurrentObject(slot.dc, OBJ_BITMAP) == dibSection)
        DeleteDeviceContext<Self>();
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
HRESULT SurfaceObject<Self, Interface, Types>::Blt(LPRECT destination, Surface* source, LPRECT sourceRect, DWORD flags,
                                                   LPDDBLTFX effects)
{
    Self* sourceSurface = Self::FromInterface(source);
    if (source != nullptr && sourceSurface == nullptr)
        return DDERR_INVALIDPARAMS;
    return BltSurface(static_cast<Self&>(*this), destination, sourceSurface, sourceRect, flags, effects);
}

template <class Self, class Interface, class Types>
HRESULT SurfaceObject<Self, Interface, Types>::BltBatch(LPDDBLTBATCH, DWORD, DWORD)
{
    return DDERR_UNSUPPORTED;
}

template <class Self, class Interface, class Types>
HRESULT SurfaceObject<Self, Interface, Types>::BltFast(DWORD x, DWORD y, Surface* source, LPRECT sourceRect, DWORD)
{
    Self* sourceSurface = Self::FromInterface(source);
    if (sourceSurface == nullptr)
        return DDERR_INVALIDPARAMS;
    return BltFastSurface(static_cast<Self&>(*this), x, y, *sourceSurface, sourceRect);
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

// Whichever surface it is called on, a flip exchanges the pixel memory of its
// class's primary and back buffer, never copying a pixel, and presents the
// new front as a whole frame, paced.
template <class Self, class Interface, class Types>
HRESULT SurfaceObject<Self, Interface, Types>::Flip(Surface* targetOverride, DWORD flags)
{
    TraceCall(L"%ls%u::Flip(lpDDSurfaceTargetOverride = 0x%08X, dwFlags = 0x%08X)", Self::traceClass,
              this->RegistryPosition(), targetOverride, flags);
    Self* front = Self::Primary();
    if (front == nullptr || front->backBuffer == nullptr)
        return DDERR_NOTFLIPPABLE;
    std::swap(front->dibSection, front->backBuffer->dibSection);
    std::swap(front->pixels, front->backBuffer->pixels);
    ShowPrimaryDib(front->dibSection);
    Self::Present(nullptr);
    return DD_OK;
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

// The device context is a memory context compatible with the window's, with
// the surface's DIB section selected; the class hands out one at a time.
template <class Self, class Interface, class Types>
HRESULT SurfaceObject<Self, Interface, Types>::GetDC(HDC* out)
{
    if (out == nullptr)
        return DDERR_INVALIDPARAMS;
    const DeviceContextSlot slot = Self::DeviceContext();
    if (slot.dc != nullptr)
        return DDERR_DCALREADYCREATED;
    HDC dc = CreateWindowCompatibleDC();
    if (dc == nullptr)
        return DDERR_CANTCREATEDC;
    LendShownDib(dibSection);
    slot.oldBitmap = SelectObject(dc, dibSection);
    slot.dc = dc;
    *out = dc;
    busy = true;
    return DD_OK;
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

// The game gets the surface's own memory, whatever rectangle it names: the
// description handed out addresses the top-left pixel.
template <class Self, class Interface, class Types>
HRESULT SurfaceObject<Self, Interface, Types>::Lock(LPRECT rect, Desc* desc, DWORD flags, HANDLE event)
{
    Self::TraceLock(this->RegistryPosition(), rect, desc, flags, event);
    if (desc == nullptr)
        return DDERR_INVALIDPARAMS;
    if (busy)
        return DDERR_SURFACEBUSY;
    busy = true;
    *desc = surfaceDesc;
    desc->dwFlags |= DDSD_LPSURFACE;
    desc->lpSurface = pixels;
    return DD_OK;
}

// Releases the class's device context, whichever surface it was taken from.
template <class Self, class Interface, class Types>
HRESULT SurfaceObject<Self, Interface, Types>::ReleaseDC(HDC)
{
    DeleteDeviceContext<Self>();
    busy = false;
    return DD_OK;
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

// Several keys named at once all take the one given; a null key clears them.
// The edge list keeps what the last Unlock built until the next one.
template <class Self, class Interface, class Types>
HRESULT SurfaceObject<Self, Interface, Types>::SetColorKey(DWORD flags, LPDDCOLORKEY key)
{
    if (flags & DDCKEY_COLORSPACE)
        return DDERR_UNSUPPORTED;
    for (const ColourKeyField<Desc>& field : colourKeyFields<Desc>) {
        if (!(flags & field.setColorKeyFlag))
            continue;
        if (key != nullptr) {
            surfaceDesc.*field.key = *key;
            surfaceDesc.dwFlags |= field.descriptionFlag;
        } else {
            surfaceDesc.*field.key = {};
            surfaceDesc.dwFlags &= ~field.descriptionFlag;
        }
    }
    return DD_OK;
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
