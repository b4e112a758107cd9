#include "surface/DirectDrawSurface4.h"

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
    return DDERR_UNSUPPORTED;
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
