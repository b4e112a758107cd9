#include "present/PresentImage.h"

#include "module/Dib.h"
#include "module/DisplayState.h"

namespace {

int ScreenBitsPerPixel()
{
    HDC windowDC = GetDC(displayState.window);
    const int bits = GetDeviceCaps(windowDC, BITSPIXEL);
    ReleaseDC(displayState.window, windowDC);
    return bits;
}

// The depth of the present bitmap, or 0 where the window is painted from the
// primary's own DIB section. 8-bit frames are expanded into screen colours.
// 16-bit frames take the screen's format: on a 32-bit screen the module
// widens them itself as it enlarges them, which GDI would otherwise do pixel
// by pixel at every paint; on a 16-bit screen they stay RGB565, shown from the
// primary's own pixels when unscaled. Other depths are shown unscaled only.
uint32_t PresentBitmapDepth(uint32_t primaryDepth)
{
    if (primaryDepth == 8 || (primaryDepth == 16 && ScreenBitsPerPixel() == 32))
        return 32;
    if (!OutputIsScaled())
        return 0;
    return primaryDepth == 16 ? 16 : 32;
}

bool CreatePresentBitmap(uint32_t depth)
{
    const bool scaled = OutputIsScaled();
    const uint32_t width = scaled ? displayState.outputWidth : displayState.modeWidth;
    const uint32_t height = scaled ? displayState.outputHeight : displayState.modeHeight;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDib(TopDownDibHeader(width, height, depth, rgb565Masks), &bits);
    if (bitmap == nullptr)
        return false;
    DIBSECTION section;
    GetObjectW(bitmap, sizeof section, &section);
    displayState.presentBitmap = bitmap;
    displayState.presentBits = bits;
    displayState.presentWidth = width;
    displayState.presentHeight = height;
    displayState.presentPitch = section.dsBm.bmWidthBytes;
    displayState.presentBitsPerPixel = depth;
    displayState.presentDCOldBitmap = SelectObject(displayState.presentDC, bitmap);
    return true;
}

}

HDC CreateWindowCompatibleDC()
{
    HDC windowDC = GetDC(displayState.window);
    HDC dc = CreateCompatibleDC(windowDC);
    ReleaseDC(displayState.window, windowDC);
    return dc;
}

bool OutputIsScaled()
{
    return displayState.outputWidth != displayState.modeWidth || displayState.outputHeight != displayState.modeHeight;
}

bool CreatePresentImage(uint32_t primaryDepth, HBITMAP primaryDib)
{
    displayState.presentDC = CreateWindowCompatibleDC();
    if (displayState.presentDC == nullptr)
        return false;
    const uint32_t depth = PresentBitmapDepth(primaryDepth);
    if (depth == 0) {
        displayState.presentDCOldBitmap = SelectObject(displayState.presentDC, primaryDib);
        return true;
    }
    return CreatePresentBitmap(depth);
}

// The scale factors of partial presents go with the image: the next primary,
// perhaps of another mode, takes its own at its first present.
void DestroyPresentImage()
{
    displayState.primaryScaleX = displayState.primaryScaleY = 0.0;
    displayState.primary4ScaleX = displayState.primary4ScaleY = 0.0;
    if (displayState.presentDC != nullptr) {
        if (displayState.presentDCOldBitmap != nullptr)
            SelectObject(displayState.presentDC, displayState.presentDCOldBitmap);
        DeleteDC(displayState.presentDC);
        displayState.presentDC = nullptr;
        displayState.presentDCOldBitmap = nullptr;
    }
    if (displayState.presentBitmap != nullptr) {
        DeleteObject(displayState.presentBitmap);
        displayState.presentBitmap = nullptr;
        displayState.presentBits = nullptr;
        displayState.presentWidth = 0;
        displayState.presentHeight = 0;
        displayState.presentPitch = 0;
        displayState.presentBitsPerPixel = 0;
    }
}

void LendShownDib(HBITMAP dib)
{
    if (displayState.presentDC != nullptr && GetCurrentObject(displayState.presentDC, OBJ_BITMAP) == dib)
        SelectObject(displayState.presentDC, displayState.presentDCOldBitmap);
}

void ShowPrimaryDib(HBITMAP dib)
{
    if (displayState.presentDC != nullptr && displayState.presentBitmap == nullptr)
        SelectObject(displayState.presentDC, dib);
}
