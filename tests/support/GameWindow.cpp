#include "support/GameWindow.h"

namespace {

GameWindowLog windowLog;

LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT:
        ++windowLog.paints;
        break;
    case WM_KEYDOWN:
        ++windowLog.keys;
        windowLog.lastKey = wParam;
        break;
    case WM_USER:
        ++windowLog.userMessages;
        return 0;
    default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND MakeWindow()
{
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = RecordingProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"GameWindowForTests";
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
    RegisterClassW(&windowClass);
    HWND window = CreateWindowExW(WS_EX_TOPMOST, L"GameWindowForTests", L"game", WS_POPUP | WS_VISIBLE, 40, 30, 100,
                                  80, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    SetForegroundWindow(window);
    PumpMessages();
    return window;
}

}

HWND GameWindow()
{
    static HWND window = MakeWindow();
    return window;
}

GameWindowLog& WindowLog()
{
    return windowLog;
}

WNDPROC GameWindowOwnProc()
{
    return RecordingProc;
}

void PumpMessages()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

std::vector<uint32_t> ReadWindow(uint32_t width, uint32_t height)
{
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = LONG(width);
    info.bmiHeader.biHeight = -LONG(height);
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC memory = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(memory, bitmap);
    HDC windowDC = GetDC(GameWindow());
    BitBlt(memory, 0, 0, int(width), int(height), windowDC, 0, 0, SRCCOPY);
    ReleaseDC(GameWindow(), windowDC);
    GdiFlush();
    const uint32_t* pixels = static_cast<const uint32_t*>(bits);
    std::vector<uint32_t> result(pixels, pixels + size_t(width) * height);
    for (uint32_t& pixel : result)
        pixel &= 0x00FFFFFF;
    SelectObject(memory, old);
    DeleteDC(memory);
    DeleteObject(bitmap);
    return result;
}

void SetControlKey(bool down)
{
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[VK_CONTROL] = down ? 0x80 : 0;
    keys[VK_LCONTROL] = down ? 0x80 : 0;
    SetKeyboardState(keys);
}
