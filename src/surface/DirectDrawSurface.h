#pragma once

#include <windows.h>
#include <ddraw.h>

#include "module/DisplayState.h"
#include "surface/SurfaceObject.h"

// The surface that DirectDraw and DirectDraw2 hand out.
class DirectDrawSurface final : public SurfaceObject<DirectDrawSurface, IDirectDrawSurface, ClassicSurfaceTypes> {
public:
    static constexpr const wchar_t* traceClass = L"DirectDrawSurface";
    static DirectDrawSurface*& Primary() { return displayState.primarySurface; }
    static uint32_t OffscreenDepth() { return 8; }

    HRESULT STDMETHODCALLTYPE GetAttachedSurface(LPDDSCAPS caps, LPDIRECTDRAWSURFACE* out) override;
    HRESULT STDMETHODCALLTYPE GetSurfaceDesc(LPDDSURFACEDESC desc) override;
    HRESULT STDMETHODCALLTYPE Unlock(LPVOID data) override;
};
