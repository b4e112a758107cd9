#pragma once

#include <windows.h>
#include <ddraw.h>

#include <cstring>

// Surface requests as a game fills them in, for either description generation.
template <class Desc>
Desc Request(DWORD flags, DWORD caps, DWORD width = 0, DWORD height = 0)
{
    Desc desc;
    std::memset(&desc, 0, sizeof desc);
    desc.dwSize = sizeof desc;
    desc.dwFlags = flags;
    desc.ddsCaps.dwCaps = caps;
    desc.dwWidth = width;
    desc.dwHeight = height;
    return desc;
}

// A primary with one back buffer to flip with.
template <class Desc>
Desc FlipChainRequest()
{
    Desc desc = Request<Desc>(DDSD_CAPS | DDSD_BACKBUFFERCOUNT, DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX);
    desc.dwBackBufferCount = 1;
    return desc;
}

// A request for an off-screen surface of the given size and depth (8, 16 or
// 24 bits, in the formats the module makes).
template <class Desc>
Desc OffscreenRequest(DWORD width, DWORD height, DWORD depth)
{
    Desc desc = Request<Desc>(DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT, DDSCAPS_OFFSCREENPLAIN, width,
                              height);
    desc.ddpfPixelFormat.dwSize = sizeof desc.ddpfPixelFormat;
    desc.ddpfPixelFormat.dwFlags = depth == 8 ? DDPF_RGB | DDPF_PALETTEINDEXED8 : DDPF_RGB;
    desc.ddpfPixelFormat.dwRGBBitCount = depth;
    if (depth == 16) {
        desc.ddpfPixelFormat.dwRBitMask = 0xF800;
        desc.ddpfPixelFormat.dwGBitMask = 0x07E0;
        desc.ddpfPixelFormat.dwBBitMask = 0x001F;
    } else if (depth == 24) {
        desc.ddpfPixelFormat.dwRBitMask = 0xFF0000;
        desc.ddpfPixelFormat.dwGBitMask = 0x00FF00;
        desc.ddpfPixelFormat.dwBBitMask = 0x0000FF;
    }
    return desc;
}
