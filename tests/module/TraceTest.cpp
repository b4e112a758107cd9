#include <gtest/gtest.h>

#include <windows.h>
#include <ddraw.h>

#include <string>
#include <vector>

#include "module/Trace.h"
#include "surface/DirectDrawSurface.h"
#include "surface/DirectDrawSurface4.h"
#include "support/SurfaceRequests.h"

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

TEST_F(Trace, SurfacesNameTheirClassAndRegistryPosition)
{
    LPDIRECTDRAW directDraw = nullptr;
    ASSERT_EQ(DD_OK, DirectDrawCreate(nullptr, &directDraw, nullptr));
    void* out = nullptr;
    ASSERT_EQ(DD_OK, directDraw->QueryInterface(IID_IDirectDraw4, &out));
    IDirectDraw4* directDraw4 = static_cast<IDirectDraw4*>(out);
    ASSERT_EQ(DD_OK, directDraw->SetDisplayMode(640, 480, 16));
    DDSURFACEDESC request = Request<DDSURFACEDESC>(DDSD_WIDTH | DDSD_HEIGHT, 0, 4, 4);
    LPDIRECTDRAWSURFACE surface = nullptr;
    ASSERT_EQ(DD_OK, directDraw->CreateSurface(&request, &surface, nullptr));
    DDSURFACEDESC2 request4 = Request<DDSURFACEDESC2>(DDSD_WIDTH | DDSD_HEIGHT, 0, 4, 4);
    LPDIRECTDRAWSURFACE4 surface4 = nullptr;
    ASSERT_EQ(DD_OK, directDraw4->CreateSurface(&request4, &surface4, nullptr));
    const std::wstring classic = L"DirectDrawSurface" + std::to_wstring(static_cast<DirectDrawSurface*>(surface)
                                                                           ->RegistryPosition());
    const std::wstring newer = L"DirectDrawSurface4_" + std::to_wstring(static_cast<DirectDrawSurface4*>(surface4)
                                                                            ->RegistryPosition());

    RECT rect = {10, 20, 30, 40};
    DDSURFACEDESC desc = {};
    surface->Lock(&rect, &desc, 1, reinterpret_cast<HANDLE>(2));
    EXPECT_EQ(classic + L"::Lock([20,10,40,30], 0x" + Hex32(&desc) + L", 1, 2)", Last());
    surface->Unlock(nullptr);
    surface->Lock(nullptr, &desc, 0, nullptr);
    EXPECT_EQ(classic + L"::Lock(0x00000000, 0x" + Hex32(&desc) + L", 0, 0)", Last());
    DDSURFACEDESC2 desc4 = {};
    surface4->Lock(&rect, &desc4, 3, nullptr);
    EXPECT_EQ(newer + L"::Lock([20,10,40,30], ptr, 3, 0)", Last());
    surface4->Unlock(nullptr);
    surface4->Lock(nullptr, &desc4, 0, reinterpret_cast<HANDLE>(5));
    EXPECT_EQ(newer + L"::Lock(0x0, ptr, 0, 5)", Last());

    surface->Flip(reinterpret_cast<LPDIRECTDRAWSURFACE>(0x30), 7);
    EXPECT_EQ(classic + L"::Flip(lpDDSurfaceTargetOverride = 0x00000030, dwFlags = 0x00000007)", Last());
    surface4->Flip(nullptr, 1);
    EXPECT_EQ(newer + L"::Flip(lpDDSurfaceTargetOverride = 0x00000000, dwFlags = 0x00000001)", Last());
    surface->SetPalette(nullptr);
    EXPECT_EQ(classic + L"::SetPalette(lpDDPalette = 00000000)", Last());
    surface4->SetPalette(nullptr);
    EXPECT_EQ(newer + L"::SetPalette(lpDDPalette = 00000000)", Last());
    DDSCAPS caps = {DDSCAPS_BACKBUFFER};
    LPDIRECTDRAWSURFACE back = nullptr;
    surface->GetAttachedSurface(&caps, &back);
    EXPECT_EQ(classic + L"::GetAttachedSurface(DDSCaps = 0x00000004, [out] lpDDAttachedSurface = 0x00000000", Last());

    // Blits and the methods without a message leave no trace.
    const size_t traced = messages.size();
    surface->Blt(nullptr, surface, nullptr, 0, nullptr);
    surface4->BltFast(0, 0, surface4, nullptr, 0);
    surface4->Unlock(nullptr);
    surface->GetSurfaceDesc(&desc);
    EXPECT_EQ(traced, messages.size());

    surface4->Release();
    surface->Release();
    directDraw4->Release();
    directDraw->Release();
}
