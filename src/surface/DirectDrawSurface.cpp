#include "surface/DirectDrawSurface.h"

#include "module/Trace.h"

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
    return DDERR_UNSUPPORTED;
}
