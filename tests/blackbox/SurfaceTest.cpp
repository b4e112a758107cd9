#include <gtest/gtest.h>

#include <windows.h>
#include <ddraw.h>

#include <cstring>
#include <vector>

#include "blackbox/SurfaceFixture.h"

TEST_F(Surfaces, APrimaryWithOneBackBufferIsDescribedAsTheGameExpects)
{
    ComRef<IDirectDrawSurface4> primary = Create4(FlipChainRequest<DDSURFACEDESC2>());
    ASSERT_TRUE(primary);

    const DDSURFACEDESC2 desc = Describe(primary.get());
    EXPECT_EQ(sizeof(DDSURFACEDESC2), desc.dwSize);
    EXPECT_EQ(0x102Fu, desc.dwFlags);
    EXPECT_EQ(0x8A20u | DDSCAPS_FLIP | DDSCAPS_COMPLEX, desc.ddsCaps.dwCaps);
    EXPECT_EQ(640u, desc.dwWidth);
    EXPECT_EQ(480u, desc.dwHeight);
    EXPECT_EQ(1280, desc.lPitch);
    EXPECT_EQ(1u, desc.dwBackBufferCount);
    EXPECT_EQ(nullptr, desc.lpSurface);
    EXPECT_EQ(32u, desc.ddpfPixelFormat.dwSize);
    EXPECT_EQ(DWORD(DDPF_RGB), desc.ddpfPixelFormat.dwFlags);
    EXPECT_EQ(16u, desc.ddpfPixelFormat.dwRGBBitCount);
    EXPECT_EQ(0xF800u, desc.ddpfPixelFormat.dwRBitMask);
    EXPECT_EQ(0x07E0u, desc.ddpfPixelFormat.dwGBitMask);
    EXPECT_EQ(0x001Fu, desc.ddpfPixelFormat.dwBBitMask);

    DDSCAPS2 caps = {DDSCAPS_BACKBUFFER, 0, 0, {0}};
    LPDIRECTDRAWSURFACE4 back = nullptr;
    ASSERT_EQ(DD_OK, primary->GetAttachedSurface(&caps, &back));
    const DDSURFACEDESC2 backDesc = Describe(back);
    EXPECT_EQ(0x100Fu, backDesc.dwFlags);
    EXPECT_EQ(0x81Cu, backDesc.ddsCaps.dwCaps);
    EXPECT_EQ(0u, backDesc.dwBackBufferCount);
    EXPECT_EQ(1280, backDesc.lPitch);
    EXPECT_EQ(0, std::memcmp(&desc.ddpfPixelFormat, &backDesc.ddpfPixelFormat, sizeof desc.ddpfPixelFormat));
    // The front holds one reference and the game now another.
    EXPECT_EQ(3u, back->AddRef());
    back->Release();
    back->Release();

    DDSCAPS2 flipOnly = {DDSCAPS_FLIP, 0, 0, {0}};
    EXPECT_EQ(unsupported, primary->GetAttachedSurface(&flipOnly, &back));
    EXPECT_EQ(DDERR_INVALIDPARAMS, primary->GetAttachedSurface(&caps, nullptr));
}

TEST_F(Surfaces, OnlyACountOfExactlyOneMakesABackBuffer)
{
    DDSURFACEDESC request = FlipChainRequest<DDSURFACEDESC>();
    request.dwBackBufferCount = 2;
    ComRef<IDirectDrawSurface> primary = Create(request);
    ASSERT_TRUE(primary);
    EXPECT_EQ(2u, Describe(primary.get()).dwBackBufferCount);
    DDSCAPS caps = {DDSCAPS_BACKBUFFER};
    LPDIRECTDRAWSURFACE back = nullptr;
    EXPECT_EQ(DDERR_NOTFOUND, primary->GetAttachedSurface(&caps, &back));
    EXPECT_EQ(nullptr, back);
}

TEST_F(Surfaces, ThePrimaryHasTheModesSizeAndFormatWhateverIsAsked)
{
    SetMode(32);
    DDSURFACEDESC request = Request<DDSURFACEDESC>(DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT, DDSCAPS_PRIMARYSURFACE |
                                                                                             DDSCAPS_VIDEOMEMORY, 33, 17);
    ComRef<IDirectDrawSurface> primary = Create(request);
    ASSERT_TRUE(primary);
    const DDSURFACEDESC desc = Describe(primary.get());
    EXPECT_EQ(sizeof(DDSURFACEDESC), desc.dwSize);
    EXPECT_EQ(640u, desc.dwWidth);
    EXPECT_EQ(480u, desc.dwHeight);
    EXPECT_EQ(0x8A20u, desc.ddsCaps.dwCaps);
    EXPECT_EQ(DWORD(DDPF_RGB | DDPF_PALETTEINDEXED8), desc.ddpfPixelFormat.dwFlags);
    EXPECT_EQ(8u, desc.ddpfPixelFormat.dwRGBBitCount);
    EXPECT_EQ(640, desc.lPitch);
}

TEST_F(Surfaces, OffscreenFormatsDependOnTheGeneration)
{
    DDSURFACEDESC request = Request<DDSURFACEDESC>(DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT,
                                                   DDSCAPS_OFFSCREENPLAIN | DDSCAPS_VIDEOMEMORY, 30, 7);
    ComRef<IDirectDrawSurface> classic = Create(request);
    ASSERT_TRUE(classic);
    const DDSURFACEDESC desc = Describe(classic.get());
    EXPECT_EQ(8u, desc.ddpfPixelFormat.dwRGBBitCount);
    EXPECT_EQ(32, desc.lPitch);
    EXPECT_EQ(DWORD(DDSCAPS_SYSTEMMEMORY | DDSCAPS_OFFSCREENPLAIN), desc.ddsCaps.dwCaps);
    EXPECT_EQ(DWORD(DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT | DDSD_PITCH), desc.dwFlags);

    ComRef<IDirectDrawSurface4> newer = Create4(Request<DDSURFACEDESC2>(DDSD_WIDTH | DDSD_HEIGHT, 0, 30, 7));
    ASSERT_TRUE(newer);
    const DDSURFACEDESC2 desc4 = Describe(newer.get());
    EXPECT_EQ(16u, desc4.ddpfPixelFormat.dwRGBBitCount);
    EXPECT_EQ(60, desc4.lPitch);
    EXPECT_EQ(0u, desc4.ddsCaps.dwCaps);
    EXPECT_EQ(DWORD(DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT | DDSD_PITCH), desc4.dwFlags);
}

TEST_F(Surfaces, TheGamesFormatAndColourKeysAreKeptAsGiven)
{
    DDSURFACEDESC2 request = Request<DDSURFACEDESC2>(DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT | DDSD_CKSRCBLT |
                                                         DDSD_CKDESTOVERLAY,
                                                     0, 64, 32);
    request.ddpfPixelFormat.dwSize = 32;
    request.ddpfPixelFormat.dwFlags = DDPF_RGB;
    request.ddpfPixelFormat.dwRGBBitCount = 16;
    request.ddpfPixelFormat.dwRBitMask = 0x7C00;
    request.ddpfPixelFormat.dwGBitMask = 0x03E0;
    request.ddpfPixelFormat.dwBBitMask = 0x001F;
    request.ddpfPixelFormat.dwRGBAlphaBitMask = 0x8000;
    request.ddckCKSrcBlt = {0xF81F, 0xF81F};
    request.ddckCKDestOverlay = {1, 2};
    request.ddckCKDestBlt = {3, 4};
    ComRef<IDirectDrawSurface4> surface = Create4(request);
    ASSERT_TRUE(surface);
    const DDSURFACEDESC2 desc = Describe(surface.get());
    EXPECT_EQ(0, std::memcmp(&request.ddpfPixelFormat, &desc.ddpfPixelFormat, sizeof desc.ddpfPixelFormat));
    EXPECT_EQ(0xF81Fu, desc.ddckCKSrcBlt.dwColorSpaceLowValue);
    EXPECT_EQ(2u, desc.ddckCKDestOverlay.dwColorSpaceHighValue);
    EXPECT_EQ(0u, desc.ddckCKDestBlt.dwColorSpaceLowValue);
    EXPECT_TRUE(desc.dwFlags & DDSD_CKSRCBLT);
    EXPECT_FALSE(desc.dwFlags & DDSD_CKDESTBLT);

    DDPIXELFORMAT format;
    EXPECT_EQ(DD_OK, surface->GetPixelFormat(&format));
    EXPECT_EQ(0x7C00u, format.dwRBitMask);
}

TEST_F(Surfaces, RequestsAreRefusedInTheirOrder)
{
    const DWORD sized = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
    Create(Request<DDSURFACEDESC>(sized | DDSD_PIXELFORMAT, DDSCAPS_PRIMARYSURFACE, 640, 480), DDERR_INVALIDPARAMS);
    Create(Request<DDSURFACEDESC>(DDSD_WIDTH, 0, 8, 8), DDERR_INVALIDPARAMS);
    Create(Request<DDSURFACEDESC>(DDSD_WIDTH | DDSD_MIPMAPCOUNT, 0, 8, 8), DDERR_INVALIDPARAMS);
    for (DWORD flag : {DDSD_LINEARSIZE, DDSD_ZBUFFERBITDEPTH, DDSD_MIPMAPCOUNT, DDSD_REFRESHRATE, DDSD_ALPHABITDEPTH})
        Create(Request<DDSURFACEDESC>(DDSD_WIDTH | DDSD_HEIGHT | flag, 0, 8, 8), unsupported);

    ComRef<IDirectDrawSurface> primary = Create(Request<DDSURFACEDESC>(sized, DDSCAPS_PRIMARYSURFACE, 1, 1));
    ASSERT_TRUE(primary);
    Create4(Request<DDSURFACEDESC2>(DDSD_CAPS, DDSCAPS_PRIMARYSURFACE), DDERR_NOEXCLUSIVEMODE);
    Create(Request<DDSURFACEDESC>(DDSD_CAPS, DDSCAPS_PRIMARYSURFACE), DDERR_NOEXCLUSIVEMODE);
    primary.reset();
    EXPECT_TRUE(Create4(Request<DDSURFACEDESC2>(DDSD_CAPS, DDSCAPS_PRIMARYSURFACE)));

    LPDIRECTDRAWSURFACE out = reinterpret_cast<LPDIRECTDRAWSURFACE>(1);
    EXPECT_EQ(DDERR_INVALIDPARAMS, directDraw->CreateSurface(nullptr, &out, nullptr));
    DDSURFACEDESC request = Request<DDSURFACEDESC>(DDSD_WIDTH | DDSD_HEIGHT, 0, 8, 8);
    EXPECT_EQ(DDERR_INVALIDPARAMS, directDraw->CreateSurface(&request, nullptr, nullptr));
}

// Sizes whose memory cannot be made are refused and leave nothing behind:
// afterwards all sixteen slots can still be filled.
TEST_F(Surfaces, SurfacesWhoseMemoryCannotBeMadeAreRefusedCleanly)
{
    Create(Request<DDSURFACEDESC>(DDSD_WIDTH | DDSD_HEIGHT, 0, 0, 8), DDERR_INVALIDPARAMS);
    Create(Request<DDSURFACEDESC>(DDSD_WIDTH | DDSD_HEIGHT, 0, 8, 0), DDERR_INVALIDPARAMS);
    Create(Request<DDSURFACEDESC>(DDSD_WIDTH | DDSD_HEIGHT, 0, 0x80000000u, 1), DDERR_OUTOFMEMORY);
    Create(Request<DDSURFACEDESC>(DDSD_WIDTH | DDSD_HEIGHT, 0, 65536, 65536), DDERR_OUTOFMEMORY);
    DDSURFACEDESC wide = Request<DDSURFACEDESC>(DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT, 0, 0x10000000u, 1);
    wide.ddpfPixelFormat = {32, DDPF_RGB, 0, {32}, {0xFF0000}, {0xFF00}, {0xFF}, {0}};
    Create(wide, DDERR_OUTOFMEMORY);
    // No DIB section has these bits per pixel.
    for (DWORD depth : {0ul, 2ul, 12ul, 33ul}) {
        Create(OffscreenRequest<DDSURFACEDESC>(8, 8, depth), DDERR_INVALIDPIXELFORMAT);
        Create4(OffscreenRequest<DDSURFACEDESC2>(8, 8, depth), DDERR_INVALIDPIXELFORMAT);
    }

    std::vector<ComRef<IDirectDrawSurface>> surfaces;
    for (int index = 0; index < 16; ++index) {
        surfaces.push_back(Create(Request<DDSURFACEDESC>(DDSD_WIDTH | DDSD_HEIGHT, 0, 8, 8)));
        ASSERT_TRUE(surfaces.back());
    }
    ComRef<IDirectDrawSurface> refused = Create(Request<DDSURFACEDESC>(DDSD_WIDTH | DDSD_HEIGHT, 0, 8, 8),
                                                DDERR_OUTOFMEMORY);
    EXPECT_FALSE(refused);

    // A front whose back buffer finds no slot is refused as a whole.
    surfaces.pop_back();
    EXPECT_FALSE(Create(FlipChainRequest<DDSURFACEDESC>(), DDERR_OUTOFMEMORY));
    surfaces.pop_back();
    EXPECT_TRUE(Create(FlipChainRequest<DDSURFACEDESC>()));
}

TEST_F(Surfaces, SetPaletteHoldsOneReferenceToThePaletteAttached)
{
    ComRef<IDirectDrawSurface> surface = Create(Request<DDSURFACEDESC>(DDSD_WIDTH | DDSD_HEIGHT, 0, 8, 8));
    PALETTEENTRY colours[256] = {};
    LPDIRECTDRAWPALETTE first = nullptr;
    LPDIRECTDRAWPALETTE second = nullptr;
    ASSERT_EQ(DD_OK, directDraw->CreatePalette(DDPCAPS_8BIT, colours, &first, nullptr));
    ASSERT_EQ(DD_OK, directDraw->CreatePalette(DDPCAPS_8BIT, colours, &second, nullptr));

    EXPECT_EQ(DD_OK, surface->SetPalette(first));
    EXPECT_EQ(DD_OK, surface->SetPalette(first));
    EXPECT_EQ(3u, first->AddRef());
    first->Release();
    EXPECT_EQ(DD_OK, surface->SetPalette(second));
    EXPECT_EQ(2u, first->AddRef());
    first->Release();
    EXPECT_EQ(DD_OK, surface->SetPalette(nullptr));
    EXPECT_EQ(2u, second->AddRef());
    second->Release();

    // The surface keeps its palette alive after the game has let go of it.
    EXPECT_EQ(DD_OK, surface->SetPalette(first));
    EXPECT_EQ(1u, first->Release());
    surface.reset();
    EXPECT_EQ(0u, second->Release());

    IDirectDrawPalette* foreign = reinterpret_cast<IDirectDrawPalette*>(colours);
    ComRef<IDirectDrawSurface> other = Create(Request<DDSURFACEDESC>(DDSD_WIDTH | DDSD_HEIGHT, 0, 8, 8));
    EXPECT_EQ(DDERR_INVALIDPARAMS, other->SetPalette(foreign));
}

TEST_F(Surfaces, FixedAnswersOfBothGenerations)
{
    ComRef<IDirectDrawSurface> surface = Create(Request<DDSURFACEDESC>(DDSD_WIDTH | DDSD_HEIGHT, 0, 8, 8));
    ComRef<IDirectDrawSurface4> surface4 = Create4(Request<DDSURFACEDESC2>(DDSD_WIDTH | DDSD_HEIGHT, 0, 8, 8));
    for (const IID* iid : {&IID_IUnknown, &IID_IDirectDrawSurface, &IID_IDirectDrawSurface4}) {
        void* out = reinterpret_cast<void*>(1);
        EXPECT_EQ(unsupported, surface->QueryInterface(*iid, &out));
        EXPECT_EQ(nullptr, out);
        out = reinterpret_cast<void*>(1);
        EXPECT_EQ(unsupported, surface4->QueryInterface(*iid, &out));
        EXPECT_EQ(nullptr, out);
    }
    LONG x = 5;
    LONG y = 5;
    EXPECT_EQ(unsupported, surface->AddAttachedSurface(nullptr));
    EXPECT_EQ(unsupported, surface->AddOverlayDirtyRect(nullptr));
    EXPECT_EQ(unsupported, surface->BltBatch(nullptr, 0, 0));
    EXPECT_EQ(unsupported, surface->DeleteAttachedSurface(0, nullptr));
    EXPECT_EQ(unsupported, surface->EnumAttachedSurfaces(nullptr, nullptr));
    EXPECT_EQ(unsupported, surface->EnumOverlayZOrders(0, nullptr, nullptr));
    EXPECT_EQ(unsupported, surface->GetBltStatus(0));
    EXPECT_EQ(unsupported, surface->GetCaps(nullptr));
    EXPECT_EQ(unsupported, surface->GetClipper(nullptr));
    EXPECT_EQ(unsupported, surface->GetColorKey(0, nullptr));
    EXPECT_EQ(unsupported, surface->GetFlipStatus(0));
    EXPECT_EQ(unsupported, surface->GetOverlayPosition(&x, &y));
    EXPECT_EQ(unsupported, surface->GetPalette(nullptr));
    EXPECT_EQ(unsupported, surface->Initialize(nullptr, nullptr));
    EXPECT_EQ(DD_OK, surface->IsLost());
    EXPECT_EQ(DD_OK, surface->Restore());
    EXPECT_EQ(unsupported, surface->SetClipper(nullptr));
    EXPECT_EQ(unsupported, surface->SetOverlayPosition(1, 2));
    EXPECT_EQ(unsupported, surface->UpdateOverlay(nullptr, nullptr, nullptr, 0, nullptr));
    EXPECT_EQ(unsupported, surface->UpdateOverlayDisplay(0));
    EXPECT_EQ(unsupported, surface->UpdateOverlayZOrder(0, nullptr));
    EXPECT_EQ(5, x);

    EXPECT_EQ(DD_OK, surface4->IsLost());
    EXPECT_EQ(DD_OK, surface4->Restore());
    EXPECT_EQ(unsupported, surface4->UpdateOverlayZOrder(0, nullptr));
    EXPECT_EQ(unsupported, surface4->GetDDInterface(nullptr));
    EXPECT_EQ(unsupported, surface4->PageLock(0));
    EXPECT_EQ(unsupported, surface4->PageUnlock(0));
    EXPECT_EQ(unsupported, surface4->SetSurfaceDesc(nullptr, 0));
    EXPECT_EQ(unsupported, surface4->SetPrivateData(IID_IUnknown, nullptr, 0, 0));
    EXPECT_EQ(unsupported, surface4->GetPrivateData(IID_IUnknown, nullptr, nullptr));
    EXPECT_EQ(unsupported, surface4->FreePrivateData(IID_IUnknown));
    EXPECT_EQ(unsupported, surface4->GetUniquenessValue(nullptr));
    EXPECT_EQ(unsupported, surface4->ChangeUniquenessValue());

    DDSURFACEDESC2 small = Request<DDSURFACEDESC2>(0, 0);
    small.dwSize = sizeof(DDSURFACEDESC);
    EXPECT_EQ(DDERR_INVALIDPARAMS, surface4->GetSurfaceDesc(&small));
    EXPECT_EQ(DDERR_INVALIDOBJECT, surface4->GetSurfaceDesc(nullptr));
}
