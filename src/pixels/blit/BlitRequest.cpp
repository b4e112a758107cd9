#include "pixels/blit/BlitRequest.h"

#include <cstring>

namespace {

SignedRect WholeOf(const BlitSurface& surface)
{
    return {0, 0, int32_t(surface.width), int32_t(surface.height)};
}

// Negative coordinates are refused like reversed ones: no rectangle may
// reach outside its surface's memory.
bool IsOrdered(const SignedRect& rect)
{
    return rect.left >= 0 && rect.top >= 0 && rect.left <= rect.right && rect.top <= rect.bottom;
}

bool FitsIn(const SignedRect& rect, const BlitSurface& surface)
{
    return IsOrdered(rect) && int64_t{rect.right} <= int64_t{surface.width} &&
           int64_t{rect.bottom} <= int64_t{surface.height};
}

bool IsWhole(const SignedRect& rect, const BlitSurface& surface)
{
    return rect.left == 0 && rect.top == 0 && int64_t{rect.right} == int64_t{surface.width} &&
           int64_t{rect.bottom} == int64_t{surface.height};
}

bool SameSize(const SignedRect& a, const SignedRect& b)
{
    return int64_t{a.right} - a.left == int64_t{b.right} - b.left &&
           int64_t{a.bottom} - a.top == int64_t{b.bottom} - b.top;
}

bool IsEmpty(const SignedRect& rect)
{
    return rect.left == rect.right || rect.top == rect.bottom;
}

PixelRect PixelsOf(const SignedRect& rect)
{
    return {uint32_t(rect.left), uint32_t(rect.top), uint32_t(rect.right), uint32_t(rect.bottom)};
}

bool HandlesDepth(uint32_t depth)
{
    return depth == 8 || depth == 16;
}

BlitResult Fill(const BlitSurface& destination, const SignedRect& rect, const BltRequest& request)
{
    if (!request.effectsGiven)
        return BlitResult::InvalidParams;
    if (destination.depth == 8)
        FillRect8(destination.plane, PixelsOf(rect), uint8_t(request.fillColour));
    else if (destination.depth == 16)
        FillRect16(destination.plane, PixelsOf(rect), uint16_t(request.fillColour));
    else
        return BlitResult::UnsupportedFormat;
    return BlitResult::Done;
}

// Pixels are copied as the destination's depth says, so both surfaces must
// have it.
BlitResult CheckDepths(const BlitSurface& destination, const BlitSurface& source)
{
    if (!HandlesDepth(destination.depth))
        return BlitResult::UnsupportedFormat;
    if (source.depth != destination.depth)
        return BlitResult::InvalidPixelFormat;
    return BlitResult::Done;
}

bool CopySameSize(const BlitSurface& destination, uint32_t x, uint32_t y, const BlitSurface& source,
                  const SignedRect& sourceRect, const CopyEffects& effects)
{
    if (destination.depth == 8)
        return CopyRect8(destination.plane, x, y, source.plane, PixelsOf(sourceRect), effects);
    return CopyRect16(destination.plane, x, y, source.plane, PixelsOf(sourceRect), effects);
}

BlitResult Copy(const BlitSurface& destination, const SignedRect& destinationRect, const SignedRect& sourceRect,
                const BltRequest& request)
{
    if (request.source == nullptr || (request.effectsNeeded && !request.effectsGiven))
        return BlitResult::InvalidParams;
    const BlitSurface& source = *request.source;
    const BlitResult depths = CheckDepths(destination, source);
    if (depths != BlitResult::Done)
        return depths;
    bool copied;
    if (SameSize(destinationRect, sourceRect)) {
        copied = CopySameSize(destination, uint32_t(destinationRect.left), uint32_t(destinationRect.top), source,
                              sourceRect, request.copy);
    } else {
        if (IsEmpty(sourceRect) && !IsEmpty(destinationRect))
            return BlitResult::InvalidRect;
        const PixelRect to = PixelsOf(destinationRect);
        const PixelRect from = PixelsOf(sourceRect);
        copied = destination.depth == 8 ? StretchRect8(destination.plane, to, source.plane, from, request.copy)
                                        : StretchRect16(destination.plane, to, source.plane, from, request.copy);
    }
    return copied ? BlitResult::Done : BlitResult::OutOfMemory;
}

// The outline of a keyed sprite copied whole, wherever the mirrors put it.
void SmoothEdges(const BlitSurface& destination, const SignedRect& area, const BlitSurface& source,
                 const SignedRect& sourceArea, const BltRequest& request)
{
    if (!request.copy.keyed || request.edgeList == nullptr || request.edgeCount == 0 || destination.depth != 16 ||
        !IsWhole(sourceArea, source) || !SameSize(area, sourceArea))
        return;
    const EdgeListPlacement placement = {uint32_t(area.left), uint32_t(area.top), source.width, source.height,
                                         request.copy.mirrorLeftRight, request.copy.mirrorUpDown};
    ApplyEdgeList(destination.plane, placement, request.edgeList, request.edgeCount, request.destinationKeyed,
                  request.destinationKey);
}

bool SameShape(const BlitSurface& a, const BlitSurface& b)
{
    return a.plane.pitch > 0 && a.plane.pitch == b.plane.pitch && a.width == b.width && a.height == b.height;
}

}

BlitOutcome PerformBlt(const BlitSurface& destination, const BltRequest& request)
{
    const SignedRect area = request.destinationRect != nullptr ? *request.destinationRect : WholeOf(destination);
    if (!FitsIn(area, destination))
        return {BlitResult::InvalidRect, area, false};
    const SignedRect sourceArea = request.sourceRect != nullptr ? *request.sourceRect
                                  : request.source != nullptr   ? WholeOf(*request.source)
                                                                : SignedRect{};
    if (!IsOrdered(sourceArea) || (request.source != nullptr && !FitsIn(sourceArea, *request.source)))
        return {BlitResult::InvalidRect, area, false};
    const BlitResult result =
        request.colourFill ? Fill(destination, area, request) : Copy(destination, area, sourceArea, request);
    if (result == BlitResult::Done && !request.colourFill)
        SmoothEdges(destination, area, *request.source, sourceArea, request);
    return {result, area, IsWhole(area, destination)};
}

BlitOutcome PerformBltFast(const BlitSurface& destination, uint32_t x, uint32_t y, const BlitSurface& source,
                           const SignedRect* sourceRect, const CopyEffects& key)
{
    if (source.depth != destination.depth)
        return {BlitResult::InvalidPixelFormat, {}, false};
    if (sourceRect == nullptr && SameShape(destination, source)) {
        std::memmove(destination.plane.pixels, source.plane.pixels,
                     size_t(destination.height) * size_t(destination.plane.pitch));
        return {BlitResult::Done, WholeOf(destination), true};
    }
    if (!HandlesDepth(destination.depth))
        return {BlitResult::UnsupportedFormat, {}, false};
    const SignedRect sourceArea = sourceRect != nullptr ? *sourceRect : WholeOf(source);
    if (!FitsIn(sourceArea, source))
        return {BlitResult::InvalidRect, {}, false};
    const uint64_t width = uint64_t(sourceArea.right - sourceArea.left);
    const uint64_t height = uint64_t(sourceArea.bottom - sourceArea.top);
    if (x + width > destination.width || y + height > destination.height)
        return {BlitResult::InvalidRect, {}, false};
    if (!CopySameSize(destination, x, y, source, sourceArea, key))
        return {BlitResult::OutOfMemory, {}, false};
    const SignedRect area = {int32_t(x), int32_t(y), int32_t(x + width), int32_t(y + height)};
    return {BlitResult::Done, area, sourceRect == nullptr || IsWhole(area, destination)};
}
