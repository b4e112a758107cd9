#include "surface/DirectDrawSurface4.h"

#include "module/Trace.h"
#include "present/Present.h"

void DirectDrawSurface4::Present(const RECT* rect)
{
    PresentPrimary4(rect);
}

void DirectDrawSurface4::TraceLock(uint32_t position, const RECT* rect, const DDSURFACEDESC2*, DWORD flags,
                                   HANDLE event)
{
    if (rect != nullptr)
        TraceCall(L"DirectDrawSurface4_%u::Lock([%d,%d,%d,%d], ptr, %d, %d)", position, rect->top, rect->left,
                  rect->bottom, rect->right, flags, event);
    else
        TraceCall(L"DirectDrawSurface4_%u::Lock(0x0, ptr, %d, %d)", position, flags, event);
}

HRESULT DirectDrawSurface4::GetAttachedSurface(LPDDSCAPS2 caps, LPDIRECTDRAWSURFACE4* out)
{
    return AttachedBackBuffer(caps, out);
}

HRESULT DirectDrawSurface4::GetSurfaceDesc(LPDDSURFACEDESC2 desc)
{
    if (desc == nullptr)
        return DDERR_INVALIDOBJECT;
    if (desc->dwSize != sizeof(DDSURFACEDESC2))
        return DDERR_INVALIDPARAMS;
    *desc = surfaceDesc;
    return DD_OK;
}

HRESULT DirectDrawSurface4::Unlock(LPRECT)
{
    return Unlocked([this] { RebuildEdgeList(); });
}

// The list is made from the pixels and key of this moment, for 16-bit
// surfaces only (BuildEdgeList leaves out those whose positions its records
// cannot hold). Without a source colour key the old list stays.
void DirectDrawSurface4::RebuildEdgeList()
{
    if (!(surfaceDesc.dwFlags & DDSD_CKSRCBLT))
        return;
    edgeList.reset();
    edgeCount = 0;
    if (surfaceDesc.ddpfPixelFormat.dwRGBBitCount != 16)
        return;
    EdgePixel* built = nullptr;
    edgeCount = BuildEdgeList(reinterpret_cast<const uint16_t*>(pixels), surfaceDesc.dwHeight, surfaceDesc.dwWidth,
                              surfaceDesc.lPitch / 2, uint16_t(surfaceDesc.ddckCKSrcBlt.dwColorSpaceLowValue), &built);
    edgeList.reset(built);
}

HRESULT DirectDrawSurface4::GetDDInterface(LPVOID*)
{
    return DDERR_UNSUPPORTED;
}

HRESULT DirectDrawSurface4::PageLock(DWORD)
{
    return DDERR_UNSUPPORTED;
}

HRESULT DirectDrawSurface4::PageUnlock(DWORD)
{
    return DDERR_UNSUPPORTED;
}

HRESULT DirectDrawSurface4::SetSurfaceDesc(LPDDSURFACEDESC2, DWORD)
{
    return DDERR_UNSUPPORTED;
}

HRESULT DirectDrawSurface4::SetPrivateData(REFGUID, LPVOID, DWORD, DWORD)
{
    return DDERR_UNSUPPORTED;
}

HRESULT DirectDrawSurface4::GetPrivateData(REFGUID, LPVOID, LPDWORD)
{
    return DDERR_UNSUPPORTED;
}

HRESULT DirectDrawSurface4::FreePrivateData(REFGUID)
{
    return DDERR_UNSUPPORTED;
}

HRESULT DirectDrawSurface4::GetUniquenessValue(LPDWORD)
{
    return DDERR_UNSUPPORTED;
}

HRESULT DirectDrawSurface4::ChangeUniquenessValue()
{
    return DDERR_UNSUPPORTED;
}
