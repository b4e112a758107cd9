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
