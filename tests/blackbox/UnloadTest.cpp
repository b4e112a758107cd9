#include <gtest/gtest.h>

#include <windows.h>
#include <ddraw.h>

#include <cstring>
#include <string>

#include "blackbox/LoadedModule.h"

namespace {

int messagesSeen = 0;

LRESULT CALLBACK CountingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_USER)
        ++messagesSeen;
    return DefWindowProcW(window, message, wParam, lParam);
}

// A second copy of the module under another file name loads as a module of
// its own, so it can be unloaded while the first stays in use.
std::wstring CopyOfModule()
{
    wchar_t original[MAX_PATH];
    GetModuleFileNameW(LoadedModule(), original, MAX_PATH);
    std::wstring copy = original;
    copy = copy.substr(0, copy.find_last_of(L"\\/") + 1) + L"ddraw-unload-test.dll";
    CopyFileW(original, copy.c_str(), FALSE);
    return copy;
}

}

// A game that unloads the module itself and then closes its window: the window
// must have its own procedure back, or its next message would run code that
// is gone. Objects it never released are released on the way out.
TEST(Unload, TheGameWindowGetsItsOwnProcedureBack)
{
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = CountingProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"UnloadTestWindow";
    RegisterClassW(&windowClass);
    HWND window = CreateWindowExW(0, L"UnloadTestWindow", L"game", WS_POPUP, 0, 0, 64, 48, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(nullptr, window);

    const std::wstring path = CopyOfModule();
    HMODULE module = LoadLibraryW(path.c_str());
    ASSERT_NE(nullptr, module);
    ASSERT_NE(LoadedModule(), module);
    auto create = reinterpret_cast<HRESULT(WINAPI*)(GUID*, LPDIRECTDRAW*, IUnknown*)>(
        reinterpret_cast<void*>(GetProcAddress(module, "DirectDrawCreate")));
    LPDIRECTDRAW directDraw = nullptr;
    ASSERT_EQ(DD_OK, create(nullptr, &directDraw, nullptr));
    ASSERT_EQ(DD_OK, directDraw->SetCooperativeLevel(window, DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN));
    ASSERT_EQ(DD_OK, directDraw->SetDisplayMode(640, 480, 8));
    EXPECT_NE(reinterpret_cast<LONG_PTR>(&CountingProc), GetWindowLongPtrW(window, GWLP_WNDPROC));
    DDSURFACEDESC request;
    std::memset(&request, 0, sizeof request);
    request.dwSize = sizeof request;
    request.dwFlags = DDSD_CAPS;
    request.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
    LPDIRECTDRAWSURFACE primary = nullptr;
    ASSERT_EQ(DD_OK, directDraw->CreateSurface(&request, &primary, nullptr));
    SendMessageW(window, WM_USER, 0, 0);
    EXPECT_EQ(1, messagesSeen);

    FreeLibrary(module);
    EXPECT_EQ(reinterpret_cast<LONG_PTR>(&CountingProc), GetWindowLongPtrW(window, GWLP_WNDPROC));
    SendMessageW(window, WM_USER, 0, 0);
    EXPECT_EQ(2, messagesSeen);
    DestroyWindow(window);
    DeleteFileW(path.c_str());
}
