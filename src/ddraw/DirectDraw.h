#pragma once

#include <windows.h>
#include <ddraw.h>

#include "module/ComObject.h"

// The types that differ between the DirectDraw generations: the first two
// make IDirectDrawSurface surfaces, the fourth IDirectDrawSurface4 ones.
struct ClassicDirectDrawTypes {
    using SurfaceDesc = DDSURFACEDESC;
    using Surface = IDirectDrawSurface;
    using SurfaceClass = DirectDrawSurface;
    using ModesCallback = LPDDENUMMODESCALLBACK;
    using SurfacesCallback = LPDDENUMSURFACESCALLBACK;
};

struct DirectDraw4Types {
    using SurfaceDesc = DDSURFACEDESC2;
    using Surface = IDirectDrawSurface4;
    using SurfaceClass = DirectDrawSurface4;
    using ModesCallback = LPDDENUMMODESCALLBACK2;
    using SurfacesCallback = LPDDENUMSURFACESCALLBACK2;
};

// The mode a DirectDraw object was asked for. Only recorded here: the rest of
// the module reads the mode from the display state.
struct RequestedMode {
    DWORD width = 0;
    DWORD height = 0;
    DWORD bitsPerPixel = 0;
    DWORD refreshRate = 0;
    DWORD flags = 0;
};

// The slots the three DirectDraw generations have in common, in the published
// order. Self names the concrete class: its trace name, and what it answers to
// QueryInterface.
template <class Self, class Interface, class Types>
class DirectDrawObject : public ComObject<Self, Interface> {
public:
    using SurfaceDesc = typename Types::SurfaceDesc;
    using Surface = typename Types::Surface;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    HRESULT STDMETHODCALLTYPE Compact() override;
    HRESULT STDMETHODCALLTYPE CreateClipper(DWORD flags, LPDIRECTDRAWCLIPPER* out, IUnknown* outer) override;
    HRESULT STDMETHODCALLTYPE CreatePalette(DWORD flags, LPPALETTEENTRY entries, LPDIRECTDRAWPALETTE* out,
                                            IUnknown* outer) override;
    HRESULT STDMETHODCALLTYPE CreateSurface(SurfaceDesc* desc, Surface** out, IUnknown* outer) override;
    HRESULT STDMETHODCALLTYPE DuplicateSurface(Surface* surface, Surface** duplicate) override;
    HRESULT STDMETHODCALLTYPE EnumDisplayModes(DWORD flags, SurfaceDesc* desc, LPVOID context,
                                               typename Types::ModesCallback callback) override;
    HRESULT STDMETHODCALLTYPE EnumSurfaces(DWORD flags, SurfaceDesc* desc, LPVOID context,
                                           typename Types::SurfacesCallback callback) override;
    HRESULT STDMETHODCALLTYPE FlipToGDISurface() override;
    HRESULT STDMETHODCALLTYPE GetCaps(LPDDCAPS driverCaps, LPDDCAPS emulCaps) override;
    HRESULT STDMETHODCALLTYPE GetDisplayMode(SurfaceDesc* desc) override;
    HRESULT STDMETHODCALLTYPE GetFourCCCodes(LPDWORD count, LPDWORD codes) override;
    HRESULT STDMETHODCALLTYPE GetGDISurface(Surface** out) override;
    HRESULT STDMETHODCALLTYPE GetMonitorFrequency(LPDWORD frequency) override;
    HRESULT STDMETHODCALLTYPE GetScanLine(LPDWORD scanLine) override;
    HRESULT STDMETHODCALLTYPE GetVerticalBlankStatus(WINBOOL* inBlank) override;
    HRESULT STDMETHODCALLTYPE Initialize(GUID* guid) override;
    HRESULT STDMETHODCALLTYPE RestoreDisplayMode() override;
    HRESULT STDMETHODCALLTYPE SetCooperativeLevel(HWND window, DWORD flags) override;
    HRESULT STDMETHODCALLTYPE WaitForVerticalBlank(DWORD flags, HANDLE event) override;

    const RequestedMode& Mode() const { return requestedMode; }

protected:
    HRESULT SetMode(const RequestedMode& mode);

private:
    RequestedMode requestedMode;
};

class DirectDraw final : public DirectDrawObject<DirectDraw, IDirectDraw, ClassicDirectDrawTypes> {
public:
    static constexpr const wchar_t* traceName = L"DirectDraw";
    static constexpr const wchar_t* waitForVerticalBlankTrace =
        L"DirectDraw::WaitForVerticalBlank(dwFlags = %08X, hEvent = %08X)";

    HRESULT STDMETHODCALLTYPE SetDisplayMode(DWORD width, DWORD height, DWORD bitsPerPixel) override;
};

class DirectDraw2 final : public DirectDrawObject<DirectDraw2, IDirectDraw2, ClassicDirectDrawTypes> {
public:
    static constexpr const wchar_t* traceName = L"DirectDraw2";
    static constexpr const wchar_t* waitForVerticalBlankTrace =
        L"DirectDraw2::WaitForVerticalBlank(dwFlags = 0x%08X, hEvent = 0x%08X)";

    HRESULT STDMETHODCALLTYPE SetDisplayMode(DWORD width, DWORD height, DWORD bitsPerPixel, DWORD refreshRate,
                                             DWORD flags) override;
    HRESULT STDMETHODCALLTYPE GetAvailableVidMem(LPDDSCAPS caps, LPDWORD total, LPDWORD free) override;
};

class DirectDraw4 final : public DirectDrawObject<DirectDraw4, IDirectDraw4, DirectDraw4Types> {
public:
    static constexpr const wchar_t* traceName = L"DirectDraw4";
    static constexpr const wchar_t* waitForVerticalBlankTrace =
        L"DirectDraw4::WaitForVerticalBlank(dwFlags = 0x%08X, hEvent = 0x%08X)";

    HRESULT STDMETHODCALLTYPE SetDisplayMode(DWORD width, DWORD height, DWORD bitsPerPixel, DWORD refreshRate,
                                             DWORD flags) override;
    HRESULT STDMETHODCALLTYPE GetAvailableVidMem(LPDDSCAPS2 caps, LPDWORD total, LPDWORD free) override;
    HRESULT STDMETHODCALLTYPE GetSurfaceFromDC(HDC dc, LPDIRECTDRAWSURFACE4* out) override;
    HRESULT STDMETHODCALLTYPE RestoreAllSurfaces() override;
    HRESULT STDMETHODCALLTYPE TestCooperativeLevel() override;
    HRESULT STDMETHODCALLTYPE GetDeviceIdentifier(LPDDDEVICEIDENTIFIER identifier, DWORD flags) override;
};
