#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

class DirectDrawSurface;
class DirectDrawSurface4;

// The one display the module drives: the game's mode, the window showing it,
// the objects that carry frames to that window, and the frame pacing. It lives
// from load to unload and is touched only on the game's thread.
struct DisplayState {
    // Mode and geometry, in pixels.
    uint32_t modeWidth = 0;
    uint32_t modeHeight = 0;
    uint32_t modeBpp = 0;
    uint32_t screenWidth = 0;
    uint32_t screenHeight = 0;
    uint32_t outputWidth = 0;
    uint32_t outputHeight = 0;
    RECT cursorClip = {};
    // Set while the window has the focus, when the cursor is hidden and
    // confined to it.
    bool cursorTaken = false;

    // Window.
    HWND window = nullptr;
    WNDPROC previousWndProc = nullptr;

    // Presentation.
    HDC presentDC = nullptr;
    HBITMAP presentBitmap = nullptr;
    void* presentBits = nullptr;
    // The present bitmap's own size and row length in bytes: presents write
    // within these, even after a later mode change has moved the output size.
    uint32_t presentWidth = 0;
    uint32_t presentHeight = 0;
    ptrdiff_t presentPitch = 0;
    // 32 for a present bitmap of screen colours, 16 for one of RGB565.
    uint32_t presentBitsPerPixel = 0;
    HGDIOBJ presentDCOldBitmap = nullptr;
    DirectDrawSurface* primarySurface = nullptr;
    DirectDrawSurface4* primarySurface4 = nullptr;
    HDC surfaceDC = nullptr;
    HGDIOBJ surfaceDCOldBitmap = nullptr;
    HDC surface4DC = nullptr;
    HGDIOBJ surface4DCOldBitmap = nullptr;
    double primaryScaleX = 0.0;
    double primaryScaleY = 0.0;
    double primary4ScaleX = 0.0;
    double primary4ScaleY = 0.0;

    // Frame pacing.
    double frameRateCap = 75.0;
    double framePeriodMs = 0.0;
    uint32_t useHighResTimer = 0;
    int64_t timerFrequency = 0;
    int64_t lastFrameTime = 0;
    uint32_t overlayShownAt = 0;
    wchar_t overlayText[32] = {};
    uint32_t pacingStarted = 0;
    HMODULE moduleHandle = nullptr;
};

extern DisplayState displayState;
