#include "Window.h"

namespace {

constexpr wchar_t className[] = L"SampleGameWindow";

bool closed = false;
bool countingPaints = false;
int paints = 0;

LRESULT CALLBACK GameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT: {
        if (countingPaints)
            ++paints;
        PAINTSTRUCT paint;
        BeginPaint(window, &paint);
        EndPaint(window, &paint);
        return 0;
    }
    case WM_CLOSE:
        closed = true;
        return 0;
    case WM_ERASEBKGND:
        return 1;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

}

GameWindow::GameWindow()
{
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = GameProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = className;
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
    RegisterClassW(&windowClass);
    window = CreateWindowExW(0, className, L"Sample game", WS_POPUP | WS_VISIBLE, 0, 0, 640, 480, nullptr, nullptr,
                             GetModuleHandleW(nullptr), nullptr);
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    SetForegroundWindow(window);
    SetFocus(window);
    PumpMessages();
}

GameWindow::~GameWindow()
{
    DestroyWindow(window);
    UnregisterClassW(className, GetModuleHandleW(nullptr));
}

bool GameWindow::PumpMessages()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return !closed;
}

void GameWindow::StartCountingPaints()
{
    countingPaints = true;
    paints = 0;
}

int GameWindow::PaintsReceived() const
{
    return paints;
}

SIZE GameWindow::ClientSize() const
{
    RECT client = {};
    GetClientRect(window, &client);
    return {client.right - client.left, client.bottom - client.top};
}
