#include <gtest/gtest.h>

#include <windows.h>
#include <ddraw.h>

#include <string>
#include <vector>

#include "module/Trace.h"

namespace {

std::vector<std::wstring> messages;

void Collect(const wchar_t* message)
{
    messages.emplace_back(message);
}

class Trace : public testing::Test {
protected:
    void SetUp() override
    {
        messages.clear();
        SetTraceSink(Collect);
    }
    void TearDown() override { SetTraceSink(nullptr); }

    static std::wstring Last() { return messages.empty() ? std::wstring() : messages.back(); }
};

// How a message shows a pointer: its low 32 bits in eight hex digits.
std::wstring Hex32(const void* pointer)
{
    wchar_t hex[9];
    swprintf(hex, 9, L"%08X", static_cast<unsigned>(reinterpret_cast<uintptr_t>(pointer)));
    return hex;
}

BOOL WINAPI IgnoreDevice(GUID*, LPSTR, LPSTR, LPVOID, HMONITOR)
{
    return TRUE;
}

}

TEST_F(Trace, ExportsDescribeTheirCalls)
{
    DirectDrawEnumerateExA(nullptr, reinterpret_cast<void*>(0x1234), 7);
    EXPECT_EQ(L"DirectDrawEnumerateExA(lpCallback=no, lpContext=0x00001234, dwFlags=0x00000007) UNSUPPORTED", Last());
    DirectDrawEnumerateExA(IgnoreDevice, reinterpret_cast<void*>(0xABCDEF), 1);
    EXPECT_EQ(L"DirectDrawEnumerateExA(lpCallback=yes, lpContext=0x00ABCDEF, dwFlags=0x00000001)", Last());
    DirectDrawCreateClipper(2, nullptr, reinterpret_cast<IUnknown*>(0x10));
    EXPECT_EQ(L"DirectDrawCreateClipper(0x00000002, 0x00000000, 0x00000010) UNSUPPORTED", Last());
}

TEST_F(Trace, EachGenerationNamesItselfAndKeepsItsOwnWording)
{
    LPDIRECTDRAW directDraw = nullptr;
    ASSERT_EQ(DD_OK, DirectDrawCreate(nullptr, &directDraw, nullptr));
    void* out = nullptr;
    ASSERT_EQ(DD_OK, directDraw->QueryInterface(IID_IDirectDraw4, &out));
    IDirectDraw4* directDraw4 = static_cast<IDirectDraw4*>(out);

    directDraw->WaitForVerticalBlank(1, reinterpret_cast<HANDLE>(0x2A));
    EXPECT_EQ(L"DirectDraw::WaitForVerticalBlank(dwFlags = 00000001, hEvent = 0000002A)", Last());
    directDraw4->WaitForVerticalBlank(1, reinterpret_cast<HANDLE>(0x2A));
    EXPECT_EQ(L"DirectDraw4::WaitForVerticalBlank(dwFlags = 0x00000001, hEvent = 0x0000002A)", Last());
    directDraw4->GetCaps(reinterpret_cast<LPDDCAPS>(0x100), nullptr);
    EXPECT_EQ(L"DirectDraw4::GetCaps lpDDDriverCaps=0x00000100 lpDDEmulCaps=0x00000000 DDERR_UNSUPPORTED", Last());

    LPDIRECTDRAWPALETTE palette = nullptr;
    directDraw->CreatePalette(0x44, nullptr, &palette, reinterpret_cast<IUnknown*>(1));
    EXPECT_EQ(L"DirectDraw::CreatePalette(dwFlags = 00000044, lpDDColorArray = 00000000", Last());

    directDraw4->Release();
    directDraw->Release();
}

TEST_F(Trace, PaletteEntryAccessIsTraced)
{
    LPDIRECTDRAW directDraw = nullptr;
    ASSERT_EQ(DD_OK, DirectDrawCreate(nullptr, &directDraw, nullptr));
    LPDIRECTDRAWPALETTE palette = nullptr;
    ASSERT_EQ(DD_OK, directDraw->CreatePalette(0, nullptr, &palette, nullptr));
    PALETTEENTRY entry = {};
    palette->SetEntries(3, 200, 1, &entry);
    EXPECT_EQ(L"DirectDrawPalette::SetEntries(dwFlags = 0x00000003, dwStartingEntry = 200, dwCount = 1, lpEntries = 0x" +
                  Hex32(&entry) + L")",
              Last());
    palette->GetEntries(0, 1, 2, nullptr);
    EXPECT_EQ(L"DirectDrawPalette::GetEntries(dwFlags = 0x00000000, dwBase = 1, dwNumEntries = 2, lpEntries = "
              L"0x00000000)",
              Last());
    palette->Release();
    directDraw->Release();
}
