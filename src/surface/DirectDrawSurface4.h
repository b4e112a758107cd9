#pragma once

#include <windows.h>
#include <ddraw.h>

#include <cstdint>
#include <memory>

#include "module/DisplayState.h"
#include "pixels/edges/EdgeSmoothing.h"
#include "surface/SurfaceObject.h"

// The surface that DirectDraw4 hands out. Off-screen surfaces made without a
// format take the mode's depth. A 16-bit surface with a source colour key
// keeps the edge list of its sprite, which keyed copies of the whole surface
// blend into what they are drawn over.
class DirectDrawSurface4 final : public SurfaceObject<DirectDrawSurface4, IDirectDrawSurface4, Surface4Types> {
public:
    static constexpr const wchar_t* traceClass = L"DirectDrawSurface4_";
    static DirectDrawSurface4*& Primary() { return displayState.primarySurface4; }
    static DeviceContextSlot DeviceContext() { return {displayState.surface4DC, displayState.surface4DCOldBitmap}; }
    static uint32_t OffscreenDepth() { return displayState.modeBpp; }
    static void Present(const RECT* rect);
    static void TraceLock(uint32_t position, const RECT* rect, const DDSURFACEDESC2* desc, DWORD flags, HANDLE event);

    HRESULT STDMETHODCALLTYPE GetAttachedSurface(LPDDSCAPS2 caps, LPDIRECTDRAWSURFACE4* out) override;
    HRESULT STDMETHODCALLTYPE GetSurfaceDesc(LPDDSURFACEDESC2 desc) override;
    HRESULT STDMETHODCALLTYPE Unlock(LPRECT rect) override;
    HRESULT STDMETHODCALLTYPE GetDDInterface(LPVOID* directDraw) override;
    HRESULT STDMETHODCALLTYPE PageLock(DWORD flags) override;
    HRESULT STDMETHODCALLTYPE PageUnlock(DWORD flags) override;
    HRESULT STDMETHODCALLTYPE SetSurfaceDesc(LPDDSURFACEDESC2 desc, DWORD flags) override;
    HRESULT STDMETHODCALLTYPE SetPrivateData(REFGUID tag, LPVOID data, DWORD size, DWORD flags) override;
    HRESULT STDMETHODCALLTYPE GetPrivateData(REFGUID tag, LPVOID buffer, LPDWORD size) override;
    HRESULT STDMETHODCALLTYPE FreePrivateData(REFGUID tag) override;
    HRESULT STDMETHODCALLTYPE GetUniquenessValue(LPDWORD value) override;
    HRESULT STDMETHODCALLTYPE ChangeUniquenessValue() override;

    const EdgePixel* EdgeList() const { return edgeList.get(); }
    uint32_t EdgeCount() const { return edgeCount; }

private:
    void RebuildEdgeList();

    std::unique_ptr<EdgePixel[]> edgeList;
    uint32_t edgeCount = 0;
};
