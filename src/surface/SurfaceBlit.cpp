#include "surface/SurfaceBlit.h"

#include <cstdint>
#include <type_traits>

#include "pixels/blit/BlitRequest.h"
#include "surface/DirectDrawSurface.h"
#include "surface/DirectDrawSurface4.h"

namespace {

template <class Surface>
BlitSurface ViewOf(const Surface& surface)
{
    const auto& desc = surface.Description();
    return {{surface.Pixels(), desc.lPitch}, desc.dwWidth, desc.dwHeight, desc.ddpfPixelFormat.dwRGBBitCount};
}

SignedRect SignedOf(const RECT& rect)
{
    return {rect.left, rect.top, rect.right, rect.bottom};
}

RECT RectOf(const SignedRect& rect)
{
    return {rect.left, rect.top, rect.right, rect.bottom};
}

HRESULT ResultOf(BlitResult result)
{
    switch (result) {
    case BlitResult::Done: return DD_OK;
    case BlitResult::InvalidRect: return DDERR_INVALIDRECT;
    case BlitResult::InvalidParams: return DDERR_INVALIDPARAMS;
    case BlitResult::UnsupportedFormat: return DDERR_UNSUPPORTEDFORMAT;
    case BlitResult::InvalidPixelFormat: return DDERR_INVALIDPIXELFORMAT;
    case BlitResult::OutOfMemory: return DDERR_OUTOFMEMORY;
    }
    return DDERR_GENERIC;
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

// The source key the surface carries, if any.
template <class Surface>
CopyEffects OwnKeyOf(const Surface& source)
{
    const auto& desc = source.Description();
    return {false, false, (desc.dwFlags & DDSD_CKSRCBLT) != 0, desc.ddckCKSrcBlt.dwColorSpaceLowValue};
}

// The mirrors asked for, and the source key: the one given with the call, or
// the source's own, or none. Only read when the effects the flags need are there.
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
    if (flags & DDBLT_KEYSRCOVERRIDE) {
        copy.keyed = true;
        copy.key = effects->ddckSrcColorkey.dwColorSpaceLowValue;
    } else {
        const CopyEffects own = OwnKeyOf(source);
        copy.keyed = own.keyed;
        copy.key = own.key;
    }
    return copy;
}

// Sprites of the newer generation carry edge lists, and the destination's
// own key spares its pixels from the blend.
void AddEdgeList(BltRequest& request, const DirectDrawSurface4& destination, const DirectDrawSurface4& source)
{
    request.edgeList = source.EdgeList();
    request.edgeCount = source.EdgeCount();
    const DDSURFACEDESC2& desc = destination.Description();
    request.destinationKeyed = (desc.dwFlags & DDSD_CKSRCBLT) != 0;
    request.destinationKey = desc.ddckCKSrcBlt.dwColorSpaceLowValue;
}

// Whole-frame presents are paced; a smaller change is painted at once.
template <class Surface>
void PresentIfPrimary(const Surface& destination, const BlitOutcome& outcome)
{
    if (outcome.result != BlitResult::Done || !destination.IsPrimary())
        return;
    const RECT area = RectOf(outcome.area);
    Surface::Present(outcome.wholeFrame ? nullptr : &area);
}

}

template <class Surface>
HRESULT BltSurface(Surface& destination, const RECT* destinationRect, Surface* source, const RECT* sourceRect,
                   DWORD flags, const DDBLTFX* effects)
{
    const SignedRect destinationArea = destinationRect != nullptr ? SignedOf(*destinationRect) : SignedRect{};
    const SignedRect sourceArea = sourceRect != nullptr ? SignedOf(*sourceRect) : SignedRect{};
    const BlitSurface from = source != nullptr ? ViewOf(*source) : BlitSurface{};
    BltRequest request = {};
    request.destinationRect = destinationRect != nullptr ? &destinationArea : nullptr;
    request.source = source != nullptr ? &from : nullptr;
    request.sourceRect = sourceRect != nullptr ? &sourceArea : nullptr;
    request.colourFill = (flags & DDBLT_COLORFILL) != 0;
    request.effectsGiven = effects != nullptr;
    request.effectsNeeded = NeedsEffects(flags);
    request.fillColour = effects != nullptr ? effects->dwFillColor : 0;
    if (source != nullptr && (request.effectsGiven || !request.effectsNeeded))
        request.copy = EffectsOf(flags, effects, *source);
    if constexpr (std::is_same_v<Surface, DirectDrawSurface4>) {
        if (source != nullptr)
            AddEdgeList(request, destination, *source);
    }
    const BlitOutcome outcome = PerformBlt(ViewOf(destination), request);
    PresentIfPrimary(destination, outcome);
    return ResultOf(outcome.result);
}

// BltFast takes the source's own key and nothing from the call.
template <class Surface>
HRESULT BltFastSurface(Surface& destination, DWORD x, DWORD y, Surface& source, const RECT* sourceRect)
{
    const SignedRect sourceArea = sourceRect != nullptr ? SignedOf(*sourceRect) : SignedRect{};
    const BlitOutcome outcome = PerformBltFast(ViewOf(destination), x, y, ViewOf(source),
                                               sourceRect != nullptr ? &sourceArea : nullptr, OwnKeyOf(source));
    PresentIfPrimary(destination, outcome);
    return ResultOf(outcome.result);
}

template HRESULT BltSurface(DirectDrawSurface&, const RECT*, DirectDrawSurface*, const RECT*, DWORD, const DDBLTFX*);
template HRESULT BltSurface(DirectDrawSurface4&, const RECT*, DirectDrawSurface4*, const RECT*, DWORD, const DDBLTFX*);
template HRESULT BltFastSurface(DirectDrawSurface&, DWORD, DWORD, DirectDrawSurface&, const RECT*);
template HRESULT BltFastSurface(DirectDrawSurface4&, DWORD, DWORD, DirectDrawSurface4&, const RECT*);
