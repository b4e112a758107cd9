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
    static DeviceContextSlot DeviceContext() { return {displayState.surfaceDC, displayState.surfaceDCOldBitmap}; }
    static uint32_t OffscreenDepth() { return 8; }
    static void Present(const RECT* rect);
    static void TraceLock(uint32_t position, const RECT* rect, const DDSURFACEDESC* desc, DWORD flags, HANDLE event);

    HRESULT STDMETHODCALLTYPE GetAttachedSurface(LPDDSCAPS caps, LPDIRECTDRAWSURFACE* out) override;
    HRESULT STDMETHODCALLTYPE GetSurfaceDesc(LPDDSURFACEDESC desc) override;
    HRESULT STDMETHODCALLTYPE Unlock(LPVOID data) override;
};
