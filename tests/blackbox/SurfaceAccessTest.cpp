#include <gtest/gtest.h>

#include <windows.h>
#include <ddraw.h>

#include <cstdint>
#include <cstring>
#include <type_traits>

#include "blackbox/SurfaceFixture.h"

namespace {

template <class Surface>
using Desc = typename DescriptionOf<Surface>::type;

// A description the game has not filled in, so that whatever is written shows.
template <class Surface>
Desc<Surface> Garbage()
{
    Desc<Surface> desc;
    std::memset(&desc, 0xCD, sizeof desc);
    return desc;
}

template <class Surface>
void* FirstPixel(Surface* surface)
{
    Desc<Surface> desc = Garbage<Surface>();
    EXPECT_EQ(DD_OK, surface->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr));
    EXPECT_EQ(DD_OK, surface->Unlock(nullptr));
    return desc.lpSurface;
}

template <class Surface>
Surface* BackBufferOf(Surface* front)
{
    std::conditional_t<std::is_same_v<Surface, IDirectDrawSurface>, DDSCAPS, DDSCAPS2> caps = {};
    caps.dwCaps = DDSCAPS_BACKBUFFER;
    Surface* back = nullptr;
    EXPECT_EQ(DD_OK, front->GetAttachedSurface(&caps, &back));
    return back;
}

}

// Lock and GetDC set one flag, Unlock and ReleaseDC clear it; only a second
// Lock is refused while it is set.
TEST_F(Surfaces, LockAndDeviceContextsShareOneBusyFlag)
{
    ForBothGenerations([&](auto* generation) {
        using Surface = std::remove_pointer_t<decltype(generation)>;
        auto surface = CreateOf(8, 8, 16, generation);
        Desc<Surface> desc = Garbage<Surface>();
        HDC dc = nullptr;
        EXPECT_EQ(DDERR_NOTLOCKED, surface->Unlock(nullptr));
        EXPECT_EQ(DD_OK, surface->Lock(nullptr, &desc, 0, nullptr));
        EXPECT_EQ(DDERR_SURFACEBUSY, surface->Lock(nullptr, &desc, 0, nullptr));
        EXPECT_EQ(DD_OK, surface->GetDC(&dc));
        EXPECT_EQ(DD_OK, surface->Unlock(nullptr));
        EXPECT_EQ(DDERR_NOTLOCKED, surface->Unlock(nullptr));
        EXPECT_EQ(DD_OK, surface->Lock(nullptr, &desc, 0, nullptr));
        EXPECT_EQ(DD_OK, surface->ReleaseDC(dc));
        EXPECT_EQ(DDERR_NOTLOCKED, surface->Unlock(nullptr));

        EXPECT_EQ(DD_OK, surface->GetDC(&dc));
        EXPECT_EQ(DDERR_SURFACEBUSY, surface->Lock(nullptr, &desc, 0, nullptr));
        EXPECT_EQ(DD_OK, surface->ReleaseDC(dc));
        EXPECT_EQ(DD_OK, surface->ReleaseDC(nullptr));
        EXPECT_EQ(DDERR_NOTLOCKED, surface->Unlock(nullptr));

        EXPECT_EQ(DDERR_INVALIDPARAMS, surface->Lock(nullptr, nullptr, 0, nullptr));
        EXPECT_EQ(DDERR_INVALIDPARAMS, surface->GetDC(nullptr));
        EXPECT_EQ(DDERR_INVALIDPARAMS, surface->GetPixelFormat(nullptr));
        EXPECT_EQ(DDERR_NOTLOCKED, surface->Unlock(nullptr));
    });
    auto classic = CreateOf(8, 8, 16, static_cast<IDirectDrawSurface*>(nullptr));
    EXPECT_EQ(DDERR_INVALIDPARAMS, classic->GetSurfaceDesc(nullptr));
}

// The game draws straight into the surface's memory: the description handed
// out is the whole stored one, addressing the top-left pixel whatever
// rectangle was named, and what is written stays.
TEST_F(Surfaces, LockHandsOutTheSurfacesOwnMemory)
{
    ForBothGenerations([&](auto* generation) {
        using Surface = std::remove_pointer_t<decltype(generation)>;
        auto surface = CreateOf(30, 40, 16, generation);
        Desc<Surface> desc = Garbage<Surface>();
        desc.dwSize = 0;
        RECT rect = {10, 20, 30, 40};
        ASSERT_EQ(DD_OK, surface->Lock(&rect, &desc, DDLOCK_WAIT, nullptr));
        EXPECT_EQ(sizeof desc, desc.dwSize);
        EXPECT_EQ(DWORD(DDSD_LPSURFACE), desc.dwFlags & DDSD_LPSURFACE);
        EXPECT_EQ(30u, desc.dwWidth);
        EXPECT_EQ(60, desc.lPitch);
        uint16_t* pixels = static_cast<uint16_t*>(desc.lpSurface);
        ASSERT_NE(nullptr, pixels);
        pixels[39 * 30 + 29] = 0xBEEF;
        EXPECT_EQ(DD_OK, surface->Unlock(&rect));

        const Desc<Surface> stored = Describe(surface.get());
        EXPECT_EQ(nullptr, stored.lpSurface);
        EXPECT_EQ(0u, stored.dwFlags & DDSD_LPSURFACE);
        EXPECT_EQ(static_cast<void*>(pixels), FirstPixel(surface.get()));
        EXPECT_EQ(0xBEEF, ReadPixels<uint16_t>(surface.get()).back());
    });
}

// One device context per generation is out at a time, drawing on the
// surface's own pixels; a surface released with its context out gives it back.
TEST_F(Surfaces, EachGenerationHandsOutOneDeviceContextAtATime)
{
    auto classic = CreateOf(8, 8, 16, static_cast<IDirectDrawSurface*>(nullptr));
    auto other = CreateOf(8, 8, 16, static_cast<IDirectDrawSurface*>(nullptr));
    auto newer = CreateOf(8, 8, 16, static_cast<IDirectDrawSurface4*>(nullptr));
    HDC dc = nullptr;
    HDC second = nullptr;
    HDC newerDC = nullptr;
    ASSERT_EQ(DD_OK, classic->GetDC(&dc));
    EXPECT_EQ(DDERR_DCALREADYCREATED, other->GetDC(&second));
    EXPECT_EQ(nullptr, second);
    ASSERT_EQ(DD_OK, newer->GetDC(&newerDC));
    EXPECT_NE(dc, newerDC);
    EXPECT_TRUE(SetPixelV(dc, 2, 1, RGB(255, 0, 0)));
    EXPECT_TRUE(SetPixelV(newerDC, 7, 7, RGB(0, 0, 255)));
    GdiFlush();
    EXPECT_EQ(DD_OK, classic->ReleaseDC(dc));
    EXPECT_EQ(DD_OK, newer->ReleaseDC(newerDC));
    EXPECT_EQ(0xF800, ReadPixels<uint16_t>(classic.get())[1 * 8 + 2]);
    EXPECT_EQ(0x001F, ReadPixels<uint16_t>(newer.get())[7 * 8 + 7]);

    ASSERT_EQ(DD_OK, other->GetDC(&second));
    other.reset();
    ASSERT_EQ(DD_OK, classic->GetDC(&dc));
    EXPECT_EQ(DD_OK, classic->ReleaseDC(dc));
}

// Whichever surface it is called on, Flip exchanges the memory of its
// generation's primary and back buffer; without both there is nothing to flip.
TEST_F(Surfaces, FlipExchangesThePixelMemoryOfThePrimaryAndItsBackBuffer)
{
    ForBothGenerations([&](auto* generation) {
        using Surface = std::remove_pointer_t<decltype(generation)>;
        auto offscreen = CreateOf(4, 4, 16, generation);
        EXPECT_EQ(DDERR_NOTFLIPPABLE, offscreen->Flip(nullptr, 0));

        Desc<Surface> lone = Request<Desc<Surface>>(DDSD_CAPS, DDSCAPS_PRIMARYSURFACE);
        Surface* primary = nullptr;
        ASSERT_EQ(DD_OK, CreateSurfaceOf(lone, &primary));
        void* lonePixels = FirstPixel(primary);
        EXPECT_EQ(DDERR_NOTFLIPPABLE, primary->Flip(nullptr, 0));
        EXPECT_EQ(lonePixels, FirstPixel(primary));
        primary->Release();

        Desc<Surface> chain = FlipChainRequest<Desc<Surface>>();
        ASSERT_EQ(DD_OK, CreateSurfaceOf(chain, &primary));
        Surface* back = BackBufferOf(primary);
        void* frontPixels = FirstPixel(primary);
        void* backPixels = FirstPixel(back);
        EXPECT_EQ(DD_OK, offscreen->Flip(nullptr, DDFLIP_WAIT));
        EXPECT_EQ(backPixels, FirstPixel(primary));
        EXPECT_EQ(frontPixels, FirstPixel(back));
        EXPECT_EQ(DD_OK, primary->Flip(back, 0));
        EXPECT_EQ(frontPixels, FirstPixel(primary));
        EXPECT_EQ(backPixels, FirstPixel(back));
        back->Release();
        primary->Release();
    });
}

// Several keys named at once all take the one given; a null key clears them.
TEST_F(Surfaces, SetColorKeyStoresTheKeyUnderEveryBitNamed)
{
    ForBothGenerations([&](auto* generation) {
        auto surface = CreateOf(4, 4, 16, generation);
        DDCOLORKEY key = {0x1234, 0x5678};
        EXPECT_EQ(DD_OK, surface->SetColorKey(DDCKEY_SRCBLT | DDCKEY_DESTBLT, &key));
        auto desc = Describe(surface.get());
        EXPECT_EQ(DWORD(DDSD_CKSRCBLT | DDSD_CKDESTBLT), desc.dwFlags & (DDSD_CKSRCBLT | DDSD_CKDESTBLT));
        EXPECT_EQ(0x1234u, desc.ddckCKSrcBlt.dwColorSpaceLowValue);
        EXPECT_EQ(0x5678u, desc.ddckCKDestBlt.dwColorSpaceHighValue);

        EXPECT_EQ(unsupported, surface->SetColorKey(DDCKEY_COLORSPACE | DDCKEY_SRCOVERLAY, &key));
        EXPECT_EQ(DD_OK, surface->SetColorKey(DDCKEY_SRCBLT, nullptr));
        EXPECT_EQ(DD_OK, surface->SetColorKey(DDCKEY_DESTOVERLAY, &key));
        desc = Describe(surface.get());
        EXPECT_EQ(DWORD(DDSD_CKDESTBLT | DDSD_CKDESTOVERLAY),
                  desc.dwFlags & (DDSD_CKSRCBLT | DDSD_CKDESTBLT | DDSD_CKDESTOVERLAY | DDSD_CKSRCOVERLAY));
        EXPECT_EQ(0u, desc.ddckCKSrcBlt.dwColorSpaceLowValue);
        EXPECT_EQ(0u, desc.ddckCKSrcBlt.dwColorSpaceHighValue);
        EXPECT_EQ(0x1234u, desc.ddckCKDestOverlay.dwColorSpaceLowValue);
    });
}
