#include <gtest/gtest.h>

#include <windows.h>
#include <ddraw.h>

#include <cstring>

#include "ddraw/DirectDraw.h"
#include "module/DisplayState.h"
#include "module/Module.h"
#include "surface/DirectDrawPalette.h"
#include "surface/DirectDrawSurface.h"
#include "surface/DirectDrawSurface4.h"
#include "surface/SurfaceDescription.h"
#include "support/SurfaceRequests.h"

namespace {

// Surfaces made through the DirectDraw objects in a 640x480 mode, with the
// output size set by each test as window setup would have left it.
class SurfaceLifetime : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(DD_OK, DirectDrawCreate(nullptr, &directDraw, nullptr));
        void* out = nullptr;
        ASSERT_EQ(DD_OK, directDraw->QueryInterface(IID_IDirectDraw4, &out));
        directDraw4 = static_cast<IDirectDraw4*>(out);
    }

    void TearDown() override
    {
        if (directDraw4 != nullptr)
            directDraw4->Release();
        if (directDraw != nullptr)
            directDraw->Release();
    }

    void SetMode(DWORD bitsPerPixel, uint32_t outputWidth, uint32_t outputHeight)
    {
        ASSERT_EQ(DD_OK, directDraw->SetDisplayMode(640, 480, bitsPerPixel));
        displayState.outputWidth = outputWidth;
        displayState.outputHeight = outputHeight;
    }

    DirectDrawSurface* Create(DDSURFACEDESC desc)
    {
        LPDIRECTDRAWSURFACE surface = nullptr;
        EXPECT_EQ(DD_OK, directDraw->CreateSurface(&desc, &surface, nullptr));
        return static_cast<DirectDrawSurface*>(surface);
    }

    DirectDrawSurface4* Create4(DDSURFACEDESC2 desc)
    {
        LPDIRECTDRAWSURFACE4 surface = nullptr;
        EXPECT_EQ(DD_OK, directDraw4->CreateSurface(&desc, &surface, nullptr));
        return static_cast<DirectDrawSurface4*>(surface);
    }

    DirectDrawPalette* CreatePalette()
    {
        PALETTEENTRY colours[256] = {};
        LPDIRECTDRAWPALETTE palette = nullptr;
        EXPECT_EQ(DD_OK, directDraw->CreatePalette(DDPCAPS_8BIT, colours, &palette, nullptr));
        return static_cast<DirectDrawPalette*>(palette);
    }

    static DIBSECTION SectionOf(HBITMAP bitmap)
    {
        DIBSECTION section = {};
        EXPECT_EQ(int(sizeof section), GetObjectW(bitmap, sizeof section, &section));
        return section;
    }

    IDirectDraw* directDraw = nullptr;
    IDirectDraw4* directDraw4 = nullptr;
};

}

TEST_F(SurfaceLifetime, ABackBufferTakesTheSlotAfterItsFront)
{
    SetMode(8, 640, 480);
    DirectDrawSurface* front = Create(FlipChainRequest<DDSURFACEDESC>());
    ASSERT_NE(nullptr, front);
    ASSERT_NE(nullptr, front->BackBuffer());
    EXPECT_EQ(front->RegistryPosition() + 1, front->BackBuffer()->RegistryPosition());
    EXPECT_EQ(front, displayState.primarySurface);
    EXPECT_NE(front->Pixels(), front->BackBuffer()->Pixels());
    EXPECT_FALSE(front->BackBuffer()->IsPrimary());
    front->Release();
}

TEST_F(SurfaceLifetime, DibSectionsCarryTheSurfacesOwnFormat)
{
    SetMode(16, 640, 480);
    DDSURFACEDESC2 request = Request<DDSURFACEDESC2>(DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT, 0, 31, 5);
    request.ddpfPixelFormat = {32, DDPF_RGB, 0, {16}, {0x7C00}, {0x03E0}, {0x001F}, {0}};
    DirectDrawSurface4* rgb555 = Create4(request);
    DIBSECTION section = SectionOf(rgb555->DibSection());
    EXPECT_EQ(16, section.dsBmih.biBitCount);
    EXPECT_EQ(DWORD(BI_BITFIELDS), section.dsBmih.biCompression);
    EXPECT_EQ(0x7C00u, section.dsBitfields[0]);
    EXPECT_EQ(0x03E0u, section.dsBitfields[1]);
    EXPECT_EQ(0x001Fu, section.dsBitfields[2]);
    EXPECT_EQ(31, section.dsBm.bmWidth);
    EXPECT_EQ(rgb555->Pixels(), section.dsBm.bmBits);
    rgb555->Release();

    DirectDrawSurface* indexed = Create(Request<DDSURFACEDESC>(DDSD_WIDTH | DDSD_HEIGHT, 0, 30, 3));
    section = SectionOf(indexed->DibSection());
    EXPECT_EQ(8, section.dsBmih.biBitCount);
    EXPECT_EQ(32, indexed->Description().lPitch);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, indexed->DibSection());
    RGBQUAD table[256];
    std::memset(table, 0xFF, sizeof table);
    EXPECT_EQ(256u, GetDIBColorTable(dc, 0, 256, table));
    EXPECT_EQ(0u, table[255].rgbRed + table[255].rgbGreen + table[255].rgbBlue + table[1].rgbGreen);
    SelectObject(dc, old);
    DeleteDC(dc);
    indexed->Release();
}

TEST_F(SurfaceLifetime, ThePresentImageFollowsTheDepthAndTheOutputSize)
{
    SetMode(8, 1024, 768);
    DirectDrawSurface* scaled = Create(FlipChainRequest<DDSURFACEDESC>());
    ASSERT_NE(nullptr, displayState.presentBitmap);
    DIBSECTION section = SectionOf(displayState.presentBitmap);
    EXPECT_EQ(32, section.dsBmih.biBitCount);
    EXPECT_EQ(1024, section.dsBm.bmWidth);
    EXPECT_EQ(768, section.dsBm.bmHeight);
    EXPECT_EQ(displayState.presentBits, section.dsBm.bmBits);
    scaled->Release();

    SetMode(8, 640, 480);
    DirectDrawSurface* unscaled = Create(FlipChainRequest<DDSURFACEDESC>());
    section = SectionOf(displayState.presentBitmap);
    EXPECT_EQ(32, section.dsBmih.biBitCount);
    EXPECT_EQ(640, section.dsBm.bmWidth);
    unscaled->Release();

    SetMode(16, 640, 480);
    DirectDrawSurface4* direct = Create4(FlipChainRequest<DDSURFACEDESC2>());
    EXPECT_EQ(nullptr, displayState.presentBitmap);
    EXPECT_EQ(direct->DibSection(), GetCurrentObject(displayState.presentDC, OBJ_BITMAP));
    direct->Release();

    // An odd scaled width keeps RGB565 with rows padded by the platform.
    SetMode(16, 1365, 1024);
    DirectDrawSurface4* odd = Create4(FlipChainRequest<DDSURFACEDESC2>());
    section = SectionOf(displayState.presentBitmap);
    EXPECT_EQ(16, section.dsBmih.biBitCount);
    EXPECT_EQ(1365u, displayState.presentWidth);
    EXPECT_EQ(1366 * 2, displayState.presentPitch);
    odd->Release();
}

TEST_F(SurfaceLifetime, OnlyThePrimaryTakesThePresentObjectsWithIt)
{
    SetMode(8, 800, 600);
    const uint32_t liveBefore = objectRegistry<DirectDrawSurface>.LiveCount();
    DirectDrawSurface* front = Create(FlipChainRequest<DDSURFACEDESC>());
    DirectDrawSurface* offscreen = Create(Request<DDSURFACEDESC>(DDSD_WIDTH | DDSD_HEIGHT, 0, 16, 16));
    HDC presentDC = displayState.presentDC;
    offscreen->Release();
    EXPECT_EQ(presentDC, displayState.presentDC);
    EXPECT_NE(nullptr, displayState.presentBitmap);

    front->Release();
    EXPECT_EQ(nullptr, displayState.presentDC);
    EXPECT_EQ(nullptr, displayState.presentBitmap);
    EXPECT_EQ(nullptr, displayState.presentBits);
    EXPECT_EQ(nullptr, displayState.primarySurface);
    EXPECT_EQ(liveBefore, objectRegistry<DirectDrawSurface>.LiveCount());
}

// The unload walk gives the game's references back and leaves held objects to
// their holders: a palette the game let go of dies with its surface, a back
// buffer the game still held survives its front until its own turn.
TEST_F(SurfaceLifetime, TheUnloadWalkNeverReachesADestroyedObject)
{
    SetMode(8, 640, 480);
    DirectDrawSurface* front = Create(FlipChainRequest<DDSURFACEDESC>());
    DirectDrawSurface* back = front->BackBuffer();
    DDSCAPS caps = {DDSCAPS_BACKBUFFER};
    LPDIRECTDRAWSURFACE gameBack = nullptr;
    ASSERT_EQ(DD_OK, front->GetAttachedSurface(&caps, &gameBack));
    DirectDrawPalette* palette = CreatePalette();
    ASSERT_EQ(DD_OK, front->SetPalette(palette));
    ASSERT_EQ(DD_OK, back->SetPalette(palette));
    palette->Release();
    DirectDrawSurface4* kept = Create4(Request<DDSURFACEDESC2>(DDSD_WIDTH | DDSD_HEIGHT, 0, 4, 4));
    kept->AddRef();
    ASSERT_EQ(DD_OK, kept->SetPalette(CreatePalette()));

    directDraw4->Release();
    directDraw4 = nullptr;
    directDraw->Release();
    directDraw = nullptr;
    OnProcessDetach();

    EXPECT_EQ(0u, objectRegistry<DirectDrawSurface>.LiveCount());
    EXPECT_EQ(nullptr, displayState.primarySurface);
    EXPECT_EQ(nullptr, displayState.presentDC);
    EXPECT_EQ(1u, objectRegistry<DirectDrawSurface4>.LiveCount());
    EXPECT_EQ(1u, objectRegistry<DirectDrawPalette>.LiveCount());
    EXPECT_EQ(1, kept->ReferenceCount());
    kept->Release();
    EXPECT_EQ(0u, objectRegistry<DirectDrawPalette>.LiveCount());
}

// A surface released while the game holds a device context of it gives the
// context back, so its DIB section is deleted and the class's slot is free.
TEST_F(SurfaceLifetime, ADeviceContextStillOutIsGivenBackWithItsSurface)
{
    SetMode(16, 640, 480);
    DirectDrawSurface* surface = Create(Request<DDSURFACEDESC>(DDSD_WIDTH | DDSD_HEIGHT, 0, 8, 8));
    DirectDrawSurface* other = Create(Request<DDSURFACEDESC>(DDSD_WIDTH | DDSD_HEIGHT, 0, 8, 8));
    HDC dc = nullptr;
    ASSERT_EQ(DD_OK, surface->GetDC(&dc));
    EXPECT_EQ(dc, displayState.surfaceDC);
    const HBITMAP dib = surface->DibSection();
    other->Release();
    EXPECT_EQ(dc, displayState.surfaceDC);
    surface->Release();
    EXPECT_EQ(nullptr, displayState.surfaceDC);
    EXPECT_EQ(nullptr, displayState.surfaceDCOldBitmap);
    EXPECT_EQ(0, GetObjectType(dib));
    EXPECT_EQ(0, GetObjectType(dc));
}

// A 16-bit primary shown 1:1 is painted from its own DIB section: after a flip
// that is the new front's, and a device context of it borrows the section
// from the present context until it is released.
TEST_F(SurfaceLifetime, TheWindowShowsTheFrontsOwnDibSection)
{
    SetMode(16, 640, 480);
    DirectDrawSurface4* front = Create4(FlipChainRequest<DDSURFACEDESC2>());
    ASSERT_NE(nullptr, front);
    const HBITMAP first = front->DibSection();
    const HBITMAP second = front->BackBuffer()->DibSection();
    ASSERT_EQ(DD_OK, front->Flip(nullptr, 0));
    EXPECT_EQ(second, front->DibSection());
    EXPECT_EQ(first, front->BackBuffer()->DibSection());
    EXPECT_EQ(second, GetCurrentObject(displayState.presentDC, OBJ_BITMAP));

    HDC dc = nullptr;
    ASSERT_EQ(DD_OK, front->GetDC(&dc));
    EXPECT_EQ(second, GetCurrentObject(dc, OBJ_BITMAP));
    EXPECT_NE(second, GetCurrentObject(displayState.presentDC, OBJ_BITMAP));
    ASSERT_EQ(DD_OK, front->ReleaseDC(dc));
    EXPECT_EQ(second, GetCurrentObject(displayState.presentDC, OBJ_BITMAP));
    front->Release();

    // Scaled, the window shows the present bitmap whatever is flipped.
    SetMode(16, 800, 600);
    front = Create4(FlipChainRequest<DDSURFACEDESC2>());
    ASSERT_EQ(DD_OK, front->Flip(nullptr, 0));
    EXPECT_EQ(displayState.presentBitmap, GetCurrentObject(displayState.presentDC, OBJ_BITMAP));
    front->Release();
}

// Only 16-bit surfaces whose positions fit the list's fields get an edge list,
// rebuilt by each Unlock while they have a source key.
TEST_F(SurfaceLifetime, EdgeListsAreMadeForKeyedSixteenBitSurfacesOnly)
{
    SetMode(16, 640, 480);
    const auto unlockKeyed = [this](DWORD width, DWORD height, DWORD depth) {
        DDSURFACEDESC2 request =
            Request<DDSURFACEDESC2>(DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT | DDSD_CKSRCBLT, 0, width, height);
        request.ddpfPixelFormat = PixelFormatForDepth(depth);
        request.ddckCKSrcBlt = {0, 0};
        DirectDrawSurface4* surface = Create4(request);
        surface->Pixels()[0] = 1;
        DDSURFACEDESC2 desc = {};
        EXPECT_EQ(DD_OK, surface->Lock(nullptr, &desc, 0, nullptr));
        EXPECT_EQ(DD_OK, surface->Unlock(nullptr));
        return surface;
    };
    DirectDrawSurface4* sprite = unlockKeyed(4, 4, 16);
    EXPECT_EQ(3u, sprite->EdgeCount());
    ASSERT_NE(nullptr, sprite->EdgeList());
    EXPECT_EQ(1u, sprite->EdgeList()[0].x);
    sprite->Release();
    for (DirectDrawSurface4* none : {unlockKeyed(4, 4, 8), unlockKeyed(65536, 1, 16), unlockKeyed(1, 65536, 16)}) {
        EXPECT_EQ(0u, none->EdgeCount());
        EXPECT_EQ(nullptr, none->EdgeList());
        none->Release();
    }
}
