#include "present/Present.h"

#include <algorithm>
#include <climits>
#include <cstdint>

#include "module/DisplayState.h"
#include "pixels/upscale/Expand.h"
#include "pixels/upscale/Upscale.h"
#include "surface/DirectDrawPalette.h"
#include "surface/DirectDrawSurface.h"
#include "surface/DirectDrawSurface4.h"

namespace {

// What a present reads of the primary: its own pixels and size, which stay
// right even if a later mode change has moved the mode size.
struct PrimaryFrame {
    const uint8_t* pixels;
    uint32_t width;
    uint32_t height;
    ptrdiff_t pitch;
    uint32_t depth;
    const uint32_t* screenColours;
};

template <class Surface>
PrimaryFrame FrameOf(const Surface& primary)
{
    const auto& desc = primary.Description();
    const DirectDrawPalette* palette = primary.Palette();
    return {primary.Pixels(),  desc.dwWidth, desc.dwHeight, desc.lPitch, desc.ddpfPixelFormat.dwRGBBitCount,
            palette != nullptr ? palette->ScreenColours() : nullptr};
}

PixelRect Clamped(const RECT& rect, const PrimaryFrame& frame)
{
    auto clamp = [](LONG value, uint32_t limit) { return uint32_t(std::clamp<int64_t>(value, 0, limit)); };
    PixelRect clamped = {clamp(rect.left, frame.width), clamp(rect.top, frame.height), clamp(rect.right, frame.width),
                         clamp(rect.bottom, frame.height)};
    clamped.right = std::max(clamped.right, clamped.left);
    clamped.bottom = std::max(clamped.bottom, clamped.top);
    return clamped;
}

// The present bitmap as it was made: mode-sized means the frame is shown 1:1.
bool PresentBitmapIsUnscaled(const PrimaryFrame& frame)
{
    return displayState.presentWidth == frame.width && displayState.presentHeight == frame.height;
}

ScaleGeometry GeometryOf(const PrimaryFrame& frame)
{
    return {frame.width, frame.height, frame.pitch, displayState.presentWidth, displayState.presentHeight,
            displayState.presentPitch};
}

// An 8-bit frame is expanded through its palette's screen colours; without a
// palette there is nothing to show it by, and the image keeps what it had.
void UpdateFromPalette(const PrimaryFrame& frame, const PixelRect& area, bool wholeFrame)
{
    if (frame.screenColours == nullptr)
        return;
    uint32_t* output = static_cast<uint32_t*>(displayState.presentBits);
    if (PresentBitmapIsUnscaled(frame))
        ExpandRect8(frame.pixels, frame.pitch, frame.screenColours, output, displayState.presentPitch, area);
    else if (wholeFrame)
        ScaleFrame8(frame.pixels, frame.screenColours, output, GeometryOf(frame));
    else
        ScaleRect8(frame.pixels, frame.screenColours, output, GeometryOf(frame), area);
}

// A 16-bit frame is written into the present bitmap in its format: widened to
// screen colours (enlarged on the way, or 1:1), or enlarged as RGB565. Without
// a present bitmap it is painted from the primary's own pixels.
void UpdateFromRgb565(const PrimaryFrame& frame, const PixelRect& area, bool wholeFrame)
{
    if (displayState.presentBitmap == nullptr)
        return;
    const uint16_t* source = reinterpret_cast<const uint16_t*>(frame.pixels);
    if (displayState.presentBitsPerPixel == 32) {
        uint32_t* output = static_cast<uint32_t*>(displayState.presentBits);
        if (PresentBitmapIsUnscaled(frame))
            ExpandRect16(source, frame.pitch, output, displayState.presentPitch, area);
        else if (wholeFrame)
            ScaleFrame16To32(source, output, GeometryOf(frame));
        else
            ScaleRect16To32(source, output, GeometryOf(frame), area);
        return;
    }
    uint16_t* output = static_cast<uint16_t*>(displayState.presentBits);
    if (wholeFrame)
        ScaleFrame16(source, output, GeometryOf(frame));
    else
        ScaleRect16(source, output, GeometryOf(frame), area);
}

// Other depths are painted 1:1 from the primary's own DIB section, or not at
// all when scaled.
void UpdatePresentImage(const PrimaryFrame& frame, const PixelRect& area, bool wholeFrame)
{
    if (displayState.presentDC == nullptr || frame.pixels == nullptr)
        return;
    if (frame.depth == 8 && displayState.presentBitmap != nullptr)
        UpdateFromPalette(frame, area, wholeFrame);
    else if (frame.depth == 16)
        UpdateFromRgb565(frame, area, wholeFrame);
}

double ScaleFactor(uint32_t output, uint32_t mode)
{
    return mode != 0 ? double(output) / double(mode) : 1.0;
}

LONG WindowCoordinate(double value)
{
    return LONG(std::clamp(value, 0.0, double(INT32_MAX)));
}

// The scale factors are fixed by the first present of each primary class.
void PresentFrame(const PrimaryFrame& frame, const RECT* rect, double& scaleX, double& scaleY)
{
    if (scaleX == 0.0) {
        scaleX = ScaleFactor(displayState.outputWidth, displayState.modeWidth);
        scaleY = ScaleFactor(displayState.outputHeight, displayState.modeHeight);
    }
    const bool wholeFrame = rect == nullptr;
    const PixelRect area = wholeFrame ? PixelRect{0, 0, frame.width, frame.height} : Clamped(*rect, frame);
    UpdatePresentImage(frame, area, wholeFrame);
    if (displayState.window == nullptr)
        return;
    const RECT windowRect = wholeFrame ? RECT{0, 0, LONG(displayState.outputWidth), LONG(displayState.outputHeight)}
                                       : PresentedWindowRect(area, scaleX, scaleY);
    InvalidateRect(displayState.window, &windowRect, FALSE);
    UpdateWindow(displayState.window);
}

}

// Left and top are cut down, right and bottom rounded, so the window area
// always holds every output pixel the rectangle changed.
RECT PresentedWindowRect(const PixelRect& area, double scaleX, double scaleY)
{
    return {WindowCoordinate(area.left * scaleX), WindowCoordinate(area.top * scaleY),
            WindowCoordinate(area.right * scaleX + 0.5), WindowCoordinate(area.bottom * scaleY + 0.5)};
}

void PresentPrimary(const RECT* rect)
{
    if (const DirectDrawSurface* primary = displayState.primarySurface)
        PresentFrame(FrameOf(*primary), rect, displayState.primaryScaleX, displayState.primaryScaleY);
}

void PresentPrimary4(const RECT* rect)
{
    if (const DirectDrawSurface4* primary = displayState.primarySurface4)
        PresentFrame(FrameOf(*primary), rect, displayState.primary4ScaleX, displayState.primary4ScaleY);
}
