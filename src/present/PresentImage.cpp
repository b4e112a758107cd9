#include "present/PresentImage.h"

#include "module/DisplayState.h"
#include "surface/SurfaceDescription.h"

namespace {

// Scaled 16-bit frames stay RGB565; everything else is shown as 32-bit
// 0x00RRGGBB pixels.
DibHeader PresentBitmapHeader(uint32_t primaryDepth, uint32_t width, uint32_t height)
{
    if (primaryDepth == 16)
        return SurfaceDibHeader(width, height, PixelFormatForDepth(16));
    DDPIXELFORMAT screenColours = {};
    screenColours.dwRGBBitCount = 32;
    return SurfaceDibHeader(width, height, screenColours);
}

bool CreatePresentBitmap(uint32_t primaryDepth)
{
    const bool scaled = OutputIsScaled();
    const uint32_t width = scaled ? displayState.outputWidth : displayState.modeWidth;
    const uint32_t height = scaled ? displayState.outputHeight : displayState.modeHeight;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDib(PresentBitmapHeader(primaryDepth, width, height), &bits);
    if (bitmap == nullptr)
        return false;
    DIBSECTION section;
    GetObjectW(bitmap, sizeof section, &section);
    displayState.presentBitmap = bitmap;
    displayState.presentBits = bits;
    displayState.presentWidth = width;
    displayState.presentHeight = height;
    displayState.presentPitch = section.dsBm.bmWidthBytes;
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
    if (primaryDepth != 8 && !OutputIsScaled()) {
        displayState.presentDCOldBitmap = SelectObject(displayState.presentDC, primaryDib);
        return true;
    }
    return CreatePresentBitmap(primaryDepth);
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
