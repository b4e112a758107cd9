#include <gtest/gtest.h>

#include <windows.h>
#include <ddraw.h>

#include <cstring>
#include <vector>

#include "blackbox/LoadedModule.h"

namespace {

constexpr HRESULT unsupported = static_cast<HRESULT>(0x80004001);

// The slots that answer the same in all three generations. Every structure
// handed in is filled with a pattern that must survive the call.
template <class DirectDrawInterface, class SurfaceDesc>
void ExpectFixedResultsOfCommonSlots(DirectDrawInterface* directDraw)
{
    DDCAPS driverCaps;
    DDCAPS emulCaps;
    std::memset(&driverCaps, 0xAB, sizeof driverCaps);
    std::memset(&emulCaps, 0xAB, sizeof emulCaps);
    SurfaceDesc desc;
    std::memset(&desc, 0xAB, sizeof desc);
    DWORD value = 0xABABABAB;

    EXPECT_EQ(unsupported, directDraw->Compact());
    EXPECT_EQ(unsupported, directDraw->CreateClipper(0, nullptr, nullptr));
    EXPECT_EQ(unsupported, directDraw->DuplicateSurface(nullptr, nullptr));
    EXPECT_EQ(unsupported, directDraw->EnumDisplayModes(0, &desc, nullptr, nullptr));
    EXPECT_EQ(unsupported, directDraw->EnumSurfaces(0, &desc, nullptr, nullptr));
    EXPECT_EQ(DD_OK, directDraw->FlipToGDISurface());
    EXPECT_EQ(unsupported, directDraw->GetCaps(&driverCaps, &emulCaps));
    EXPECT_EQ(unsupported, directDraw->GetDisplayMode(&desc));
    EXPECT_EQ(unsupported, directDraw->GetFourCCCodes(&value, nullptr));
    EXPECT_EQ(unsupported, directDraw->GetGDISurface(nullptr));
    EXPECT_EQ(unsupported, directDraw->GetMonitorFrequency(&value));
    EXPECT_EQ(unsupported, directDraw->GetScanLine(&value));
    EXPECT_EQ(unsupported, directDraw->GetVerticalBlankStatus(nullptr));
    EXPECT_EQ(unsupported, directDraw->Initialize(nullptr));
    EXPECT_EQ(DD_OK, directDraw->RestoreDisplayMode());
    EXPECT_EQ(DD_OK, directDraw->WaitForVerticalBlank(DDWAITVB_BLOCKBEGIN, nullptr));
    EXPECT_EQ(DD_OK, directDraw->SetCooperativeLevel(nullptr, DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN));

    const std::vector<unsigned char> pattern(sizeof driverCaps, 0xAB);
    EXPECT_EQ(0, std::memcmp(pattern.data(), &driverCaps, sizeof driverCaps));
    EXPECT_EQ(0, std::memcmp(pattern.data(), &emulCaps, sizeof emulCaps));
    EXPECT_EQ(0, std::memcmp(pattern.data(), &desc, sizeof desc));
    EXPECT_EQ(0xABABABABu, value);
}

}

TEST(DirectDraw, EveryGenerationAnswersItsFixedResultSlots)
{
    ComRef<IDirectDraw> directDraw = CreateDirectDraw();
    ASSERT_TRUE(directDraw);
    ExpectFixedResultsOfCommonSlots<IDirectDraw, DDSURFACEDESC>(directDraw.get());

    ComRef<IDirectDraw2> directDraw2 = QueryDirectDraw<IDirectDraw2>(directDraw.get(), IID_IDirectDraw2);
    ASSERT_TRUE(directDraw2);
    ExpectFixedResultsOfCommonSlots<IDirectDraw2, DDSURFACEDESC>(directDraw2.get());
    DDSCAPS caps = {};
    DWORD total = 7;
    DWORD free = 7;
    EXPECT_EQ(unsupported, directDraw2->GetAvailableVidMem(&caps, &total, &free));
    EXPECT_EQ(7u, total);

    ComRef<IDirectDraw4> directDraw4 = QueryDirectDraw<IDirectDraw4>(directDraw.get(), IID_IDirectDraw4);
    ASSERT_TRUE(directDraw4);
    ExpectFixedResultsOfCommonSlots<IDirectDraw4, DDSURFACEDESC2>(directDraw4.get());
    DDSCAPS2 caps2 = {};
    EXPECT_EQ(unsupported, directDraw4->GetAvailableVidMem(&caps2, &total, &free));
    EXPECT_EQ(unsupported, directDraw4->GetSurfaceFromDC(nullptr, nullptr));
    EXPECT_EQ(unsupported, directDraw4->RestoreAllSurfaces());
    EXPECT_EQ(unsupported, directDraw4->TestCooperativeLevel());
    EXPECT_EQ(unsupported, directDraw4->GetDeviceIdentifier(nullptr, 0));
}

TEST(DirectDraw, ReferenceCountsStartAtOneAndDestroyAtZero)
{
    ComRef<IDirectDraw> directDraw = CreateDirectDraw();
    ASSERT_TRUE(directDraw);
    EXPECT_EQ(2u, directDraw->AddRef());
    EXPECT_EQ(3u, directDraw->AddRef());
    EXPECT_EQ(2u, directDraw->Release());
    EXPECT_EQ(1u, directDraw->Release());
    EXPECT_EQ(0u, directDraw.release()->Release());
}

TEST(DirectDraw, QueryInterfaceForItsOwnInterfaceReturnsItself)
{
    ComRef<IDirectDraw> directDraw = CreateDirectDraw();
    void* out = nullptr;
    ASSERT_EQ(DD_OK, directDraw->QueryInterface(IID_IDirectDraw, &out));
    EXPECT_EQ(directDraw.get(), out);
    EXPECT_EQ(3u, directDraw->AddRef());
    directDraw->Release();
    directDraw->Release();

    ComRef<IDirectDraw4> directDraw4 = QueryDirectDraw<IDirectDraw4>(directDraw.get(), IID_IDirectDraw4);
    ASSERT_EQ(DD_OK, directDraw4->QueryInterface(IID_IDirectDraw4, &out));
    EXPECT_EQ(directDraw4.get(), out);
    directDraw4->Release();
}

TEST(DirectDraw, QueryInterfaceForAnotherGenerationMakesANewObject)
{
    ComRef<IDirectDraw> directDraw = CreateDirectDraw();
    ComRef<IDirectDraw2> directDraw2 = QueryDirectDraw<IDirectDraw2>(directDraw.get(), IID_IDirectDraw2);
    ASSERT_TRUE(directDraw2);
    EXPECT_NE(static_cast<void*>(directDraw.get()), static_cast<void*>(directDraw2.get()));
    // The asker's count is untouched and the new object starts at one.
    EXPECT_EQ(2u, directDraw->AddRef());
    directDraw->Release();
    EXPECT_EQ(0u, directDraw2.release()->Release());
    EXPECT_EQ(2u, directDraw->AddRef());
    directDraw->Release();

    // A newer generation can ask back for an older one.
    ComRef<IDirectDraw4> directDraw4 = QueryDirectDraw<IDirectDraw4>(directDraw.get(), IID_IDirectDraw4);
    ComRef<IDirectDraw> older = QueryDirectDraw<IDirectDraw>(directDraw4.get(), IID_IDirectDraw);
    ASSERT_TRUE(older);
    EXPECT_NE(directDraw.get(), older.get());
    EXPECT_EQ(DD_OK, older->FlipToGDISurface());
}

TEST(DirectDraw, QueryInterfaceRefusesEverythingElse)
{
    ComRef<IDirectDraw> directDraw = CreateDirectDraw();
    for (const IID* iid : {&IID_IUnknown, &IID_IDirectDraw7, &IID_IDirectDraw3, &IID_IDirectDrawSurface}) {
        void* out = reinterpret_cast<void*>(1);
        EXPECT_EQ(unsupported, directDraw->QueryInterface(*iid, &out));
        EXPECT_EQ(nullptr, out);
    }
    EXPECT_EQ(DDERR_INVALIDPARAMS, directDraw->QueryInterface(IID_IDirectDraw2, nullptr));
}

// Each class has 16 slots; one more object is refused cleanly and the slots
// are there again once objects are released.
TEST(DirectDraw, AFullRegistryRefusesWithOutOfMemory)
{
    std::vector<ComRef<IDirectDraw>> objects;
    for (;;) {
        ComRef<IDirectDraw> directDraw = CreateDirectDraw();
        if (!directDraw)
            break;
        objects.push_back(std::move(directDraw));
        ASSERT_LE(objects.size(), 16u);
    }
    EXPECT_EQ(16u, objects.size());
    LPDIRECTDRAW refused = reinterpret_cast<LPDIRECTDRAW>(1);
    auto create = Export<HRESULT(WINAPI*)(GUID*, LPDIRECTDRAW*, IUnknown*)>("DirectDrawCreate");
    EXPECT_EQ(DDERR_OUTOFMEMORY, create(nullptr, &refused, nullptr));
    EXPECT_EQ(nullptr, refused);

    std::vector<ComRef<IDirectDraw2>> newer;
    for (size_t index = 0; index < 16; ++index)
        newer.push_back(QueryDirectDraw<IDirectDraw2>(objects[index].get(), IID_IDirectDraw2));
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(DDERR_OUTOFMEMORY, objects[0]->QueryInterface(IID_IDirectDraw2, &out));
    EXPECT_EQ(nullptr, out);

    objects.pop_back();
    EXPECT_TRUE(CreateDirectDraw());
}

TEST(DirectDraw, CreatePaletteChecksItsArguments)
{
    ComRef<IDirectDraw> directDraw = CreateDirectDraw();
    PALETTEENTRY colours[256] = {};
    LPDIRECTDRAWPALETTE palette = reinterpret_cast<LPDIRECTDRAWPALETTE>(1);
    EXPECT_EQ(DDERR_INVALIDOBJECT,
              directDraw->CreatePalette(DDPCAPS_8BIT, colours, &palette, reinterpret_cast<IUnknown*>(directDraw.get())));
    EXPECT_EQ(reinterpret_cast<LPDIRECTDRAWPALETTE>(1), palette);
    EXPECT_EQ(DDERR_INVALIDPARAMS, directDraw->CreatePalette(DDPCAPS_8BIT, colours, nullptr, nullptr));
    EXPECT_EQ(DDERR_INVALIDPARAMS, directDraw->CreatePalette(DDPCAPS_4BIT, nullptr, &palette, nullptr));
    EXPECT_EQ(reinterpret_cast<LPDIRECTDRAWPALETTE>(1), palette);

    // Without a size flag no entry is read, so no table is needed.
    ASSERT_EQ(DD_OK, directDraw->CreatePalette(DDPCAPS_ALLOW256, nullptr, &palette, nullptr));
    EXPECT_EQ(0u, palette->Release());
}

TEST(DirectDraw, EveryGenerationCreatesPalettes)
{
    ComRef<IDirectDraw> directDraw = CreateDirectDraw();
    ComRef<IDirectDraw2> directDraw2 = QueryDirectDraw<IDirectDraw2>(directDraw.get(), IID_IDirectDraw2);
    ComRef<IDirectDraw4> directDraw4 = QueryDirectDraw<IDirectDraw4>(directDraw.get(), IID_IDirectDraw4);
    PALETTEENTRY colours[256] = {};
    LPDIRECTDRAWPALETTE palettes[3] = {};
    EXPECT_EQ(DD_OK, directDraw->CreatePalette(DDPCAPS_8BIT, colours, &palettes[0], nullptr));
    EXPECT_EQ(DD_OK, directDraw2->CreatePalette(DDPCAPS_8BIT, colours, &palettes[1], nullptr));
    EXPECT_EQ(DD_OK, directDraw4->CreatePalette(DDPCAPS_8BIT, colours, &palettes[2], nullptr));
    for (LPDIRECTDRAWPALETTE palette : palettes) {
        ASSERT_NE(nullptr, palette);
        EXPECT_EQ(0u, palette->Release());
    }
}
