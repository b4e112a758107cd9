#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>

#include "blackbox/LoadedModule.h"

namespace {

HMODULE loadedModule = nullptr;

std::wstring ModulePathBesideProgram()
{
    wchar_t program[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, program, MAX_PATH);
    std::wstring path(program, length);
    return path.substr(0, path.find_last_of(L"\\/") + 1) + L"ddraw.dll";
}

}

HMODULE LoadedModule()
{
    return loadedModule;
}

ComRef<IDirectDraw> CreateDirectDraw()
{
    LPDIRECTDRAW directDraw = nullptr;
    Export<HRESULT(WINAPI*)(GUID*, LPDIRECTDRAW*, IUnknown*)>("DirectDrawCreate")(nullptr, &directDraw, nullptr);
    return ComRef<IDirectDraw>(directDraw);
}

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    const std::wstring path = ModulePathBesideProgram();
    loadedModule = LoadLibraryW(path.c_str());
    if (loadedModule == nullptr) {
        std::fprintf(stderr, "cannot load %ls (error %lu)\n", path.c_str(), GetLastError());
        return 2;
    }
    const int result = RUN_ALL_TESTS();
    FreeLibrary(loadedModule);
    return result;
}
