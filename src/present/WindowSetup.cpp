#include "present/WindowSetup.h"

#include <windows.h>

#include "module/DisplayState.h"
#include "present/GameWindowProc.h"

namespace {

bool IsUsableMode(const DEVMODEW& mode, uint32_t width, uint32_t height, uint32_t bitsPerPixel)
{
    const bool stretchedOrCentred =
        (mode.dmFields & DM_DISPLAYFIXEDOUTPUT) && mode.dmDisplayFixedOutput != DMDFO_DEFAULT;
    return mode.dmPelsWidth == width && mode.dmPelsHeight == height && mode.dmBitsPerPel == bitsPerPixel &&
           !stretchedOrCentred;
}

bool IsSubclassed(HWND window)
{
    return GetWindowLongPtrW(window, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(&GameWindowProc);
}

// Subclasses once: a later mode change must not make our procedure its own
// predecessor, or every message would loop.
void SubclassGameWindow()
{
    HWND window = displayState.window;
    if (window == nullptr || IsSubclassed(window))
        return;
    displayState.previousWndProc = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(window, GWLP_WNDPROC));
    SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&GameWindowProc));
}

// The cursor stays within the top-left mode-sized rectangle of the screen,
// so the positions the game reads stay within its own frame; the display
// count of the cursor is left as it was.
void ConfineCursor()
{
    ShowCursor(TRUE);
    ClipCursor(&displayState.cursorClip);
    ShowCursor(FALSE);
}

}

void RestoreGameWindowProc()
{
    HWND window = displayState.window;
    if (window == nullptr || !IsSubclassed(window))
        return;
    SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(displayState.previousWndProc));
    ClipCursor(nullptr);
    if (displayState.cursorTaken)
        ShowCursor(TRUE);
    displayState.cursorTaken = false;
}

OutputSize FitAspect(uint32_t modeWidth, uint32_t modeHeight, uint32_t screenWidth, uint32_t screenHeight)
{
    if (modeWidth == 0 || modeHeight == 0 || screenWidth == 0 || screenHeight == 0)
        return {screenWidth, screenHeight};
    const double screenAspect = double(screenWidth) / double(screenHeight);
    const double gameAspect = double(modeWidth) / double(modeHeight);
    if (screenAspect == gameAspect)
        return {screenWidth, screenHeight};
    if (screenAspect > gameAspect)
        return {static_cast<uint32_t>(gameAspect * screenHeight + 0.5), screenHeight};
    return {screenWidth, static_cast<uint32_t>(double(modeHeight) / double(modeWidth) * screenWidth + 0.5)};
}

bool ApplyDisplayMode(uint32_t bitsPerPixel)
{
    MONITORINFOEXW monitor = {};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(displayState.window, MONITOR_DEFAULTTOPRIMARY), &monitor);
    DEVMODEW mode = {};
    mode.dmSize = sizeof mode;
    for (DWORD number = 0; EnumDisplaySettingsW(monitor.szDevice, number, &mode); ++number) {
        if (IsUsableMode(mode, displayState.modeWidth, displayState.modeHeight, bitsPerPixel))
            return ChangeDisplaySettingsExW(nullptr, &mode, nullptr, CDS_FULLSCREEN, nullptr) == DISP_CHANGE_SUCCESSFUL;
    }
    return false;
}

bool SetupGameWindow()
{
    displayState.cursorClip = {0, 0, LONG(displayState.modeWidth), LONG(displayState.modeHeight)};
    ApplyDisplayMode(displayState.modeBpp == 8 ? 32 : displayState.modeBpp);
    SubclassGameWindow();
    displayState.screenWidth = GetSystemMetrics(SM_CXSCREEN);
    displayState.screenHeight = GetSystemMetrics(SM_CYSCREEN);
    const OutputSize output =
        FitAspect(displayState.modeWidth, displayState.modeHeight, displayState.screenWidth, displayState.screenHeight);
    displayState.outputWidth = output.width;
    displayState.outputHeight = output.height;
    MoveWindow(displayState.window, 0, 0, int(output.width), int(output.height), FALSE);
    ConfineCursor();
    return true;
}
