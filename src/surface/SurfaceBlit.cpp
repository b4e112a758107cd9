#include "surface/SurfaceBlit.h"

#include <cstdint>
#include <cstring>
#include <type_traits>

#include "surface/DirectDrawSurface.h"
#include "surface/DirectDrawSurface4.h"
#include "surface/pixels/Blit.h"
#include "surface/pixels/EdgeSmoothing.h"

namespace {

// What the blitter needs of a surface.
struct BlitSurface {
    PixelPlane plane;
    uint32_t width;
    uint32_t height;
    uint32_t depth;
};

template <class Surface>
BlitSurface ViewOf(const Surface& surface)
{
    const auto& desc = surface.Description();
    return {{surface.Pixels(), desc.lPitch}, desc.dwWidth, desc.dwHeight, desc.ddpfPixelFormat.dwRGBBitCount};
}

RECT WholeOf(const BlitSurface& surface)
{
    return {0, 0, LONG(surface.width), LONG(surface.height)};
}

// Negative coordinates are refused like reversed ones: no rectangle may
// reach outside its surface's memory.
bool IsOrdered(const RECT& rect)
{
    return rect.left >= 0 && rect.top >= 0 && rect.left <= rect.right && rect.top <= rect.bottom;
}

bool FitsIn(const RECT& rect, const BlitSurface& surface)
{
    return IsOrdered(rect) && int64_t{rect.right} <= int64_t{surface.width} &&
           int64_t{rect.bottom} <= int64_t{surface.height};
}

bool IsWhole(const RECT& rect, const BlitSurface& surface)
{
    return rect.left == 0 && rect.top == 0 && int64_t{rect.right} == int64_t{surface.width} &&
           int64_t{rect.bottom} == int64_t{surface.height};
}

bool SameSize(const RECT& a, const RECT& b)
{
    return a.right - a.left == b.right - b.left && a.bottom - a.top == b.bottom - b.top;
}

bool IsEmpty(const RECT& rect)
{
    return rect.left == rect.right || rect.top == rect.bottom;
}

PixelRect PixelsOf(const RECT& rect)
{
    return {uint32_t(rect.left), uint32_t(rect.top), uint32_t(rect.right), uint32_t(rect.bottom)};
}

bool HandlesDepth(uint32_t depth)
{
    return depth == 8 || depth == 16;
}

// Flags whose values live in a DDBLTFX are refused without one, also those
// that have no effect here (raster operations, rotation, depth fills,
// destination keys).
bool NeedsEffects(DWORD flags)
{
    constexpr DWORD alone = DDBLT_DDFX | DDBLT_DDROPS | DDBLT_DEPTHFILL | DDBLT_ROP | DDBLT_ROTATIONANGLE |
                            DDBLT_ZBUFFER;
    const auto both = [flags](DWORD first, DWORD second) { return (flags & (first | second)) == (first | second); };
    return (flags & alone) != 0 || both(DDBLT_KEYDEST, DDBLT_KEYDESTOVERRIDE) ||
           both(DDBLT_KEYSRC, DDBLT_KEYSRCOVERRIDE);
}

// The mirrors asked for, and the source key: the one given with the call, or
// the source's own, or none.
template <class Surface>
CopyEffects EffectsOf(DWORD flags, const DDBLTFX* effects, const Surface& source)
{
    CopyEffects copy = {};
    if (flags & DDBLT_DDFX) {
        copy.mirrorLeftRight = (effects->dwDDFX & DDBLTFX_MIRRORLEFTRIGHT) != 0;
        copy.mirrorUpDown = (effects->dwDDFX & DDBLTFX_MIRRORUPDOWN) != 0;
    }
    if (!(flags & DDBLT_KEYSRC))
        return copy;
    const auto& desc = source.Description();
    if (flags & DDBLT_KEYSRCOVERRIDE) {
        copy.keyed = true;
        copy.key = effects->ddckSrcColorkey.dwColorSpaceLowValue;
    } else if (desc.dwFlags & DDSD_CKSRCBLT) {
        copy.keyed = true;
        copy.key = desc.ddckCKSrcBlt.dwColorSpaceLowValue;
    }
    return copy;
}

HRESULT Fill(const BlitSurface& destination, const RECT& rect, const DDBLTFX* effects)
{
    if (effects == nullptr)
        return DDERR_INVALIDPARAMS;
    if (destination.depth == 8)
        FillRect8(destination.plane, PixelsOf(rect), uint8_t(effects->dwFillColor));
    else if (destination.depth == 16)
        FillRect16(destination.plane, PixelsOf(rect), uint16_t(effects->dwFillColor));
    else
        return DDERR_UNSUPPORTEDFORMAT;
    return DD_OK;
}

// Pixels are copied as the destination's depth says, so both surfaces must
// have it.
HRESULT CheckDepths(const BlitSurface& destination, const BlitSurface& source)
{
    if (!HandlesDepth(destination.depth))
        return DDERR_UNSUPPORTEDFORMAT;
    if (source.depth != destination.depth)
        return DDERR_INVALIDPIXELFORMAT;
    return DD_OK;
}

bool CopySameSize(const BlitSurface& destination, uint32_t x, uint32_t y, const BlitSurface& source,
                  const RECT& sourceRect, const CopyEffects& effects)
{
    if (destination.depth == 8)
        return CopyRect8(destination.plane, x, y, source.plane, PixelsOf(sourceRect), effects);
    return CopyRect16(destination.plane, x, y, source.plane, PixelsOf(sourceRect), effects);
}

HRESULT Copy(const BlitSurface& destination, const RECT& destinationRect, const BlitSurface& source,
             const RECT& sourceRect, const CopyEffects& effects)
{
    const HRESULT depths = CheckDepths(destination, source);
    if (FAILED(depths))
        return depths;
    bool copied;
    if (SameSize(destinationRect, sourceRect)) {
        copied = CopySameSize(destination, uint32_t(destinationRect.left), uint32_t(destinationRect.top), source,
                              sourceRect, effects);
    } else {
        if (IsEmpty(sourceRect) && !IsEmpty(destinationRect))
            return DDERR_INVALIDRECT;
        const PixelRect to = PixelsOf(destinationRect);
        const PixelRect from = PixelsOf(sourceRect);
        copied = destination.depth == 8 ? StretchRect8(destination.plane, to, source.plane, from, effects)
                                        : StretchRect16(destination.plane, to, source.plane, from, effects);
    }
    return copied ? DD_OK : DDERR_OUTOFMEMORY;
}

// A keyed same-size copy of a whole 16-bit sprite softens its outline with the
// sprite's edge list, wherever the mirrors put it.
void SmoothEdges(const DirectDrawSurface4& destination, const RECT& destinationRect, const DirectDrawSurface4& source,
                 const RECT& sourceRect, const CopyEffects& effects)
{
    const BlitSurface to = ViewOf(destination);
    const BlitSurface from = ViewOf(source);
    if (!effects.keyed || source.EdgeList() == nullptr || source.EdgeCount() == 0 || to.depth != 16 ||
        !IsWhole(sourceRect, from) || !SameSize(destinationRect, sourceRect))
        return;
    const EdgeListPlacement placement = {uint32_t(destinationRect.left), uint32_t(destinationRect.top), from.width,
                                         from.height, effects.mirrorLeftRight, effects.mirrorUpDown};
    const DDSURFACEDESC2& desc = destination.Description();
    ApplyEdgeList(to.plane, placement, source.EdgeList(), source.EdgeCount(), (desc.dwFlags & DDSD_CKSRCBLT) != 0,
                  desc.ddckCKSrcBlt.dwColorSpaceLowValue);
}

// Whole-frame presents are paced; a smaller change is painted at once.
template <class Surface>
void PresentIfPrimary(const Surface& destination, const RECT& area, bool whole)
{
    if (destination.IsPrimary())
        Surface::Present(whole ? nullptr : &area);
}

template <class Surface>
HRESULT CopyFrom(Surface& destination, const RECT& destinationRect, Surface* source, const RECT& sourceRect,
                 DWORD flags, const DDBLTFX* effects)
{
    if (source == nullptr)
        return DDERR_INVALIDPARAMS;
    if (effects == nullptr && NeedsEffects(flags))
        return DDERR_INVALIDPARAMS;
    const CopyEffects copy = EffectsOf(flags, effects, *source);
    const HRESULT result = Copy(ViewOf(destination), destinationRect, ViewOf(*source), sourceRect, copy);
    if constexpr (std::is_same_v<Surface, DirectDrawSurface4>) {
        if (SUCCEEDED(result))
            SmoothEdges(destination, destinationRect, *source, sourceRect, copy);
    }
    return result;
}

bool SameShape(const BlitSurface& a, const BlitSurface& b)
{
    return a.plane.pitch == b.plane.pitch && a.width == b.width && a.height == b.height;
}

}

template <class Surface>
HRESULT BltSurface(Surface& destination, const RECT* destinationRect, Surface* source, const RECT* sourceRect,
                   DWORD flags, const DDBLTFX* effects)
{
    const BlitSurface to = ViewOf(destination);
    const RECT destinationArea = destinationRect != nullptr ? *destinationRect : WholeOf(to);
    if (!FitsIn(destinationArea, to))
        return DDERR_INVALIDRECT;
    const BlitSurface from = source != nullptr ? ViewOf(*source) : BlitSurface{};
    const RECT sourceArea = sourceRect != nullptr ? *sourceRect : WholeOf(from);
    if (!IsOrdered(sourceArea) || (source != nullptr && !FitsIn(sourceArea, from)))
        return DDERR_INVALIDRECT;
    const HRESULT result = (flags & DDBLT_COLORFILL)
                               ? Fill(to, destinationArea, effects)
                               : CopyFrom(destination, destinationArea, source, sourceArea, flags, effects);
    if (SUCCEEDED(result))
        PresentIfPrimary(destination, destinationArea, IsWhole(destinationArea, to));
    return result;
}

// BltFast takes the source's own key and nothing from the call. A whole
// surface onto one of the same shape is a single block copy, unkeyed and
// wherever it was asked to go.
template <class Surface>
HRESULT BltFastSurface(Surface& destination, DWORD x, DWORD y, Surface& source, const RECT* sourceRect)
{
    const BlitSurface to = ViewOf(destination);
    const BlitSurface from = ViewOf(source);
    if (from.depth != to.depth)
        return DDERR_INVALIDPIXELFORMAT;
    if (sourceRect == nullptr && SameShape(to, from)) {
        std::memmove(to.plane.pixels, from.plane.pixels, size_t(to.height) * size_t(to.plane.pitch));
        PresentIfPrimary(destination, WholeOf(to), true);
        return DD_OK;
    }
    if (!HandlesDepth(to.depth))
        return DDERR_UNSUPPORTEDFORMAT;
    const RECT sourceArea = sourceRect != nullptr ? *sourceRect : WholeOf(from);
    if (!FitsIn(sourceArea, from))
        return DDERR_INVALIDRECT;
    const uint64_t width = uint64_t(sourceArea.right - sourceArea.left);
    const uint64_t height = uint64_t(sourceArea.bottom - sourceArea.top);
    if (x + width > to.width || y + height > to.height)
        return DDERR_INVALIDRECT;
    const auto& desc = source.Description();
    const CopyEffects key = {false, false, (desc.dwFlags & DDSD_CKSRCBLT) != 0, desc.ddckCKSrcBlt.dwColorSpaceLowValue};
    if (!CopySameSize(to, x, y, from, sourceArea, key))
        return DDERR_OUTOFMEMORY;
    const RECT area = {LONG(x), LONG(y), LONG(x + width), LONG(y + height)};
    PresentIfPrimary(destination, area, sourceRect == nullptr || IsWhole(area, to));
    return DD_OK;
}

template HRESULT BltSurface(DirectDrawSurface&, const RECT*, DirectDrawSurface*, const RECT*, DWORD, const DDBLTFX*);
template HRESULT BltSurface(DirectDrawSurface4&, const RECT*, DirectDrawSurface4*, const RECT*, DWORD, const DDBLTFX*);
template HRESULT BltFastSurface(DirectDrawSurface&, DWORD, DWORD, DirectDrawSurface&, const RECT*);
template HRESULT BltFastSurface(DirectDrawSurface4&, DWORD, DWORD, DirectDrawSurface4&, const RECT*);
