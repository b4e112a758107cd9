#include "present/GameWindowProc.h"

#include <cwchar>

#include "module/DisplayState.h"

namespace {

constexpr uint32_t periodComputed = 1;
constexpr uint32_t overlayArmed = 2;
constexpr double capStep = 10.0;
constexpr double highestCapToRaise = 1000.0;
constexpr double lowestCapToLower = 50.0;
constexpr DWORD overlayLifetimeMs = 2000;

void StartPacing()
{
    if (!(displayState.pacingStarted & periodComputed)) {
        displayState.pacingStarted |= periodComputed;
        displayState.framePeriodMs = 1000.0 / displayState.frameRateCap;
    }
    if (!(displayState.pacingStarted & overlayArmed)) {
        displayState.pacingStarted |= overlayArmed;
        displayState.overlayShownAt = GetTickCount();
    }
}

// Spins on the clock chosen at load until a frame period has passed since the
// last paced frame; the frame is released as close to the boundary as the
// clock allows.
void WaitForFramePeriod()
{
    if (displayState.useHighResTimer) {
        const double msPerCount = 1000.0 / double(displayState.timerFrequency);
        LARGE_INTEGER now;
        do {
            QueryPerformanceCounter(&now);
        } while (displayState.framePeriodMs > double(now.QuadPart - displayState.lastFrameTime) * msPerCount);
        displayState.lastFrameTime = now.QuadPart;
    } else {
        const DWORD last = static_cast<DWORD>(displayState.lastFrameTime);
        DWORD now;
        do {
            now = GetTickCount();
        } while (displayState.framePeriodMs > double(now - last));
        displayState.lastFrameTime = now;
    }
}

bool IsWholeFrame(const RECT& rect)
{
    return rect.left == 0 && rect.top == 0 && rect.right == LONG(displayState.outputWidth) &&
           rect.bottom == LONG(displayState.outputHeight);
}

// The cap is drawn over what was just painted, never into the frame itself,
// so the game's own pixels stay as it wrote them.
void DrawOverlayIfDue(HDC dc)
{
    if (GetTickCount() - displayState.overlayShownAt >= overlayLifetimeMs)
        return;
    const int length = swprintf(displayState.overlayText, sizeof displayState.overlayText / sizeof(wchar_t),
                                L"%.2f fps", displayState.frameRateCap);
    if (length > 0)
        TextOutW(dc, 0, 0, displayState.overlayText, length);
}

LRESULT PaintGameWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    if (IsWholeFrame(paint.rcPaint))
        WaitForFramePeriod();
    if (displayState.presentDC != nullptr) {
        const RECT& area = paint.rcPaint;
        BitBlt(dc, area.left, area.top, area.right - area.left, area.bottom - area.top, displayState.presentDC,
               area.left, area.top, SRCCOPY);
        DrawOverlayIfDue(dc);
    }
    EndPaint(window, &paint);
    if (displayState.modeBpp == 8)
        return 0;
    return CallWindowProcW(displayState.previousWndProc, window, message, wParam, lParam);
}

// Control+NumPad-plus and Control+NumPad-minus change the cap by one step and
// show it again; the key still reaches the game.
void ChangeCap(HWND window, WPARAM key)
{
    if (key == VK_ADD && displayState.frameRateCap < highestCapToRaise)
        displayState.frameRateCap += capStep;
    else if (key == VK_SUBTRACT && displayState.frameRateCap > lowestCapToLower)
        displayState.frameRateCap -= capStep;
    displayState.framePeriodMs = 1000.0 / displayState.frameRateCap;
    displayState.overlayShownAt = GetTickCount();
    InvalidateRect(window, nullptr, FALSE);
    UpdateWindow(window);
}

bool IsControlDown()
{
    return GetKeyState(VK_CONTROL) < 0;
}

}

LRESULT CALLBACK GameWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    StartPacing();
    switch (message) {
    case WM_SETFOCUS:
        ClipCursor(&displayState.cursorClip);
        ShowCursor(FALSE);
        displayState.cursorTaken = true;
        break;
    case WM_KILLFOCUS:
        ShowCursor(TRUE);
        ClipCursor(nullptr);
        displayState.cursorTaken = false;
        break;
    case WM_KEYDOWN:
        if ((wParam == VK_ADD || wParam == VK_SUBTRACT) && IsControlDown())
            ChangeCap(window, wParam);
        break;
    case WM_PAINT:
        if (window == displayState.window)
            return PaintGameWindow(window, message, wParam, lParam);
        break;
    default:
        break;
    }
    return CallWindowProcW(displayState.previousWndProc, window, message, wParam, lParam);
}
