#include <gtest/gtest.h>

#include <windows.h>
#include <ddraw.h>

#include <cstring>
#include <string>
#include <vector>

#include "blackbox/LoadedModule.h"

namespace {

constexpr HRESULT unsupported = static_cast<HRESULT>(0x80004001);

const char* const exportNames[21] = {
    "AcquireDDThreadLock",    "CompleteCreateSysmemSurface", "D3DParseUnknownCommand", "DDGetAttachedSurfaceLcl",
    "DDInternalLock",         "DDInternalUnlock",            "DSoundHelp",             "DirectDrawCreate",
    "DirectDrawCreateClipper", "DirectDrawCreateEx",         "DirectDrawEnumerateA",   "DirectDrawEnumerateExA",
    "DirectDrawEnumerateExW", "DirectDrawEnumerateW",        "DllCanUnloadNow",        "DllGetClassObject",
    "GetDDSurfaceLocal",      "GetOLEThunkData",             "GetSurfaceFromDC_",      "RegisterSpecialCase",
    "ReleaseDDThreadLock",
};

using Call0 = HRESULT(WINAPI*)();
using Call1 = HRESULT(WINAPI*)(void*);
using Call2 = HRESULT(WINAPI*)(void*, void*);
using Call3 = HRESULT(WINAPI*)(void*, void*, void*);
using Call4 = HRESULT(WINAPI*)(void*, void*, void*, void*);

}

TEST(Exports, TheLoadedModuleIsTheOneBesideTheProgram)
{
    wchar_t loaded[MAX_PATH];
    wchar_t program[MAX_PATH];
    GetModuleFileNameW(LoadedModule(), loaded, MAX_PATH);
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    std::wstring expected(program);
    expected = expected.substr(0, expected.find_last_of(L"\\/") + 1) + L"ddraw.dll";
    EXPECT_EQ(0, _wcsicmp(expected.c_str(), loaded));
}

TEST(Exports, EveryNameResolvesToTheSameFunctionAsItsOrdinal)
{
    for (WORD ordinal = 1; ordinal <= 21; ++ordinal) {
        const char* name = exportNames[ordinal - 1];
        FARPROC byName = GetProcAddress(LoadedModule(), name);
        FARPROC byOrdinal = GetProcAddress(LoadedModule(), MAKEINTRESOURCEA(ordinal));
        ASSERT_NE(nullptr, byName) << name;
        EXPECT_EQ(byName, byOrdinal) << name << " @" << ordinal;
    }
    EXPECT_EQ(nullptr, GetProcAddress(LoadedModule(), "GetSurfaceFromDC"));
    EXPECT_EQ(nullptr, GetProcAddress(LoadedModule(), MAKEINTRESOURCEA(22)));
}

// Each call pushes exactly the arguments its export takes; on i686 a function
// that popped a different amount would leave the stack unbalanced.
TEST(Exports, FixedResults)
{
    Export<void(WINAPI*)()>("AcquireDDThreadLock")();
    Export<void(WINAPI*)()>("ReleaseDDThreadLock")();
    EXPECT_EQ(unsupported, Export<Call2>("CompleteCreateSysmemSurface")(nullptr, nullptr));
    EXPECT_EQ(unsupported, Export<Call2>("D3DParseUnknownCommand")(nullptr, nullptr));
    EXPECT_EQ(unsupported, Export<Call3>("DDGetAttachedSurfaceLcl")(nullptr, nullptr, nullptr));
    EXPECT_EQ(unsupported, Export<Call2>("DDInternalLock")(nullptr, nullptr));
    EXPECT_EQ(unsupported, Export<Call1>("DDInternalUnlock")(nullptr));
    EXPECT_EQ(unsupported, Export<Call3>("DSoundHelp")(nullptr, nullptr, nullptr));
    EXPECT_EQ(unsupported, Export<Call3>("DirectDrawCreateClipper")(nullptr, nullptr, nullptr));
    EXPECT_EQ(unsupported, Export<Call4>("DirectDrawCreateEx")(nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(unsupported, Export<Call2>("DirectDrawEnumerateA")(nullptr, nullptr));
    EXPECT_EQ(unsupported, Export<Call3>("DirectDrawEnumerateExW")(nullptr, nullptr, nullptr));
    EXPECT_EQ(unsupported, Export<Call2>("DirectDrawEnumerateW")(nullptr, nullptr));
    EXPECT_EQ(unsupported, Export<Call0>("DllCanUnloadNow")());
    EXPECT_EQ(unsupported, Export<Call3>("DllGetClassObject")(nullptr, nullptr, nullptr));
    EXPECT_EQ(unsupported, Export<Call3>("GetDDSurfaceLocal")(nullptr, nullptr, nullptr));
    EXPECT_EQ(0, Export<Call1>("GetOLEThunkData")(nullptr));
    EXPECT_EQ(unsupported, Export<Call3>("GetSurfaceFromDC_")(nullptr, nullptr, nullptr));
    EXPECT_EQ(unsupported, Export<Call4>("RegisterSpecialCase")(nullptr, nullptr, nullptr, nullptr));
}

namespace {

struct EnumerationRecord {
    int calls = 0;
    bool guidWasNull = false;
    std::string description;
    std::string driverName;
    void* context = nullptr;
    HMONITOR monitor = reinterpret_cast<HMONITOR>(1);
};

BOOL WINAPI RecordDevice(GUID* guid, LPSTR description, LPSTR driverName, LPVOID context, HMONITOR monitor)
{
    EnumerationRecord* record = static_cast<EnumerationRecord*>(context);
    ++record->calls;
    record->guidWasNull = guid == nullptr;
    record->description = description;
    record->driverName = driverName;
    record->context = context;
    record->monitor = monitor;
    return FALSE;
}

}

TEST(Exports, DirectDrawEnumerateExAReportsOneDisplayDevice)
{
    auto enumerate = Export<LPDIRECTDRAWENUMERATEEXA>("DirectDrawEnumerateExA");
    for (DWORD flags : {0ul, 0xFFFFFFFFul}) {
        EnumerationRecord record;
        EXPECT_EQ(DD_OK, enumerate(RecordDevice, &record, flags));
        EXPECT_EQ(1, record.calls);
        EXPECT_TRUE(record.guidWasNull);
        EXPECT_EQ("Prim\xE4rer Anzeigetreiber", record.description);
        EXPECT_EQ(23u, record.description.size());
        EXPECT_EQ("display", record.driverName);
        EXPECT_EQ(&record, record.context);
        EXPECT_EQ(nullptr, record.monitor);
    }
    EXPECT_EQ(DDERR_INVALIDPARAMS, enumerate(nullptr, nullptr, 0));
}

TEST(Exports, DirectDrawCreateRefusesANullOutPointer)
{
    auto create = Export<HRESULT(WINAPI*)(GUID*, LPDIRECTDRAW*, IUnknown*)>("DirectDrawCreate");
    EXPECT_EQ(DDERR_INVALIDPARAMS, create(nullptr, nullptr, nullptr));
}

TEST(Exports, DirectDrawCreateIgnoresTheDeviceAndOuterObject)
{
    auto create = Export<HRESULT(WINAPI*)(GUID*, LPDIRECTDRAW*, IUnknown*)>("DirectDrawCreate");
    GUID unknownDevice = {0x12345678, 0x1234, 0x5678, {1, 2, 3, 4, 5, 6, 7, 8}};
    LPDIRECTDRAW directDraw = nullptr;
    ASSERT_EQ(DD_OK, create(&unknownDevice, &directDraw, reinterpret_cast<IUnknown*>(16)));
    ASSERT_NE(nullptr, directDraw);
    EXPECT_EQ(0u, directDraw->Release());
}
