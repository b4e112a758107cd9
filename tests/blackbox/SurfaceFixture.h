#pragma once

#include <gtest/gtest.h>

#include <windows.h>
#include <ddraw.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "blackbox/LoadedModule.h"
#include "support/SurfaceRequests.h"

constexpr HRESULT unsupported = static_cast<HRESULT>(0x80004001);

template <class Surface>
struct DescriptionOf;
template <>
struct DescriptionOf<IDirectDrawSurface> {
    using type = DDSURFACEDESC;
};
template <>
struct DescriptionOf<IDirectDrawSurface4> {
    using type = DDSURFACEDESC2;
};

// The surface's description as GetSurfaceDesc hands it out.
inline DDSURFACEDESC Describe(IDirectDrawSurface* surface)
{
    DDSURFACEDESC desc;
    std::memset(&desc, 0xCD, sizeof desc);
    EXPECT_EQ(DD_OK, surface->GetSurfaceDesc(&desc));
    return desc;
}

inline DDSURFACEDESC2 Describe(IDirectDrawSurface4* surface)
{
    DDSURFACEDESC2 desc;
    std::memset(&desc, 0xCD, sizeof desc);
    desc.dwSize = sizeof desc;
    EXPECT_EQ(DD_OK, surface->GetSurfaceDesc(&desc));
    return desc;
}

// A surface's pixels as a game sees them through Lock: `Pixel` values, row by
// row, `width` to a row.
template <class Pixel, class Surface>
std::vector<Pixel> ReadPixels(Surface* surface)
{
    typename DescriptionOf<Surface>::type desc = {};
    desc.dwSize = sizeof desc;
    EXPECT_EQ(DD_OK, surface->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr));
    std::vector<Pixel> pixels(size_t(desc.dwWidth) * desc.dwHeight);
    for (uint32_t y = 0; y < desc.dwHeight; ++y)
        std::memcpy(&pixels[size_t(y) * desc.dwWidth], static_cast<uint8_t*>(desc.lpSurface) + y * desc.lPitch,
                    desc.dwWidth * sizeof(Pixel));
    EXPECT_EQ(DD_OK, surface->Unlock(nullptr));
    return pixels;
}

template <class Pixel, class Surface>
void WritePixels(Surface* surface, const std::vector<Pixel>& pixels)
{
    typename DescriptionOf<Surface>::type desc = {};
    desc.dwSize = sizeof desc;
    ASSERT_EQ(DD_OK, surface->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr));
    ASSERT_EQ(size_t(desc.dwWidth) * desc.dwHeight, pixels.size());
    for (uint32_t y = 0; y < desc.dwHeight; ++y)
        std::memcpy(static_cast<uint8_t*>(desc.lpSurface) + y * desc.lPitch, &pixels[size_t(y) * desc.dwWidth],
                    desc.dwWidth * sizeof(Pixel));
    ASSERT_EQ(DD_OK, surface->Unlock(nullptr));
}

// Every surface test runs in a mode set through the DirectDraw objects, the
// way a game starts.
class Surfaces : public testing::Test {
protected:
    void SetUp() override
    {
        directDraw = CreateDirectDraw();
        ASSERT_TRUE(directDraw);
        directDraw4 = QueryDirectDraw<IDirectDraw4>(directDraw.get(), IID_IDirectDraw4);
        ASSERT_TRUE(directDraw4);
        SetMode(16);
    }

    void SetMode(DWORD bitsPerPixel) { ASSERT_EQ(DD_OK, directDraw4->SetDisplayMode(640, 480, bitsPerPixel, 0, 0)); }

    ComRef<IDirectDrawSurface> Create(DDSURFACEDESC desc, HRESULT expected = DD_OK)
    {
        return CreateThrough<IDirectDrawSurface>(directDraw.get(), desc, expected);
    }

    ComRef<IDirectDrawSurface4> Create4(DDSURFACEDESC2 desc, HRESULT expected = DD_OK)
    {
        return CreateThrough<IDirectDrawSurface4>(directDraw4.get(), desc, expected);
    }

    // Every refused request must leave the caller's pointer as it was.
    template <class Surface, class Owner, class Desc>
    static ComRef<Surface> CreateThrough(Owner* owner, Desc desc, HRESULT expected)
    {
        Surface* const untouched = reinterpret_cast<Surface*>(uintptr_t{0xBAD0});
        Surface* surface = untouched;
        const HRESULT result = owner->CreateSurface(&desc, &surface, nullptr);
        EXPECT_EQ(expected, result);
        if (SUCCEEDED(result))
            return ComRef<Surface>(surface);
        EXPECT_EQ(untouched, surface) << "a refused request changed the caller's pointer";
        return nullptr;
    }

    HRESULT CreateSurfaceOf(DDSURFACEDESC desc, IDirectDrawSurface** out)
    {
        return directDraw->CreateSurface(&desc, out, nullptr);
    }
    HRESULT CreateSurfaceOf(DDSURFACEDESC2 desc, IDirectDrawSurface4** out)
    {
        return directDraw4->CreateSurface(&desc, out, nullptr);
    }

    // Surfaces of either generation, so that a test can run for both.
    ComRef<IDirectDrawSurface> CreateOf(DWORD width, DWORD height, DWORD depth, IDirectDrawSurface*)
    {
        return Create(OffscreenRequest<DDSURFACEDESC>(width, height, depth));
    }
    ComRef<IDirectDrawSurface4> CreateOf(DWORD width, DWORD height, DWORD depth, IDirectDrawSurface4*)
    {
        return Create4(OffscreenRequest<DDSURFACEDESC2>(width, height, depth));
    }

    ComRef<IDirectDraw> directDraw;
    ComRef<IDirectDraw4> directDraw4;
};

// Runs a test body once per surface generation.
template <class Body>
void ForBothGenerations(Body body)
{
    body(static_cast<IDirectDrawSurface*>(nullptr));
    body(static_cast<IDirectDrawSurface4*>(nullptr));
}
