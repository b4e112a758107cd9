#include "surface/DirectDrawSurface.h"

#include "module/Trace.h"
#include "present/Present.h"

void DirectDrawSurface::Present(const RECT* rect)
{
    PresentPrimary(rect);
}

void DirectDrawSurface::TraceLock(uint32_t position, const RECT* rect, const DDSURFACEDESC* desc, DWORD flags,
                                  HANDLE event)
{
    if (rect != nullptr)
        TraceCall(L"DirectDrawSurface%u::Lock([%d,%d,%d,%d], 0x%08X, %d, %d)", position, rect->top, rect->left,
                  rect->bottom, rect->right, desc, flags, event);
    else
        TraceCall(L"DirectDrawSurface%u::Lock(0x00000000, 0x%08X, %d, %d)", position, desc, flags, event);
}

HRESULT DirectDrawSurface::GetAttachedSurface(LPDDSCAPS caps, LPDIRECTDRAWSURFACE* out)
{
    TraceCall(L"DirectDrawSurface%u::GetAttachedSurface(DDSCaps = 0x%08X, [out] lpDDAttachedSurface = 0x%08X",
              RegistryPosition(), caps != nullptr ? caps->dwCaps : 0, BackBuffer());
    return AttachedBackBuffer(caps, out);
}

HRESULT DirectDrawSurface::GetSurfaceDesc(LPDDSURFACEDESC desc)
{
    if (desc == nullptr)
        return DDERR_INVALIDPARAMS;
    *desc = surfaceDesc;
    return DD_OK;
}

HRESULT DirectDrawSurface::Unlock(LPVOID)
{
    return Unlocked([] {});
}
