// The module's exported functions. Only DirectDrawCreate and
// DirectDrawEnumerateExA do real work; the others give fixed answers. The
// functions without a published prototype take their 32-bit parameters as
// pointers, so that each pops exactly what its caller pushed.

#include <windows.h>
#include <ddraw.h>

#include "ddraw/DirectDraw.h"
#include "module/Trace.h"

extern "C" {

void WINAPI AcquireDDThreadLock()
{
}

HRESULT WINAPI CompleteCreateSysmemSurface(void*, void*)
{
    return DDERR_UNSUPPORTED;
}

HRESULT WINAPI D3DParseUnknownCommand(void*, void*)
{
    return DDERR_UNSUPPORTED;
}

HRESULT WINAPI DDGetAttachedSurfaceLcl(void*, void*, void*)
{
    return DDERR_UNSUPPORTED;
}

HRESULT WINAPI DDInternalLock(void*, void*)
{
    return DDERR_UNSUPPORTED;
}

HRESULT WINAPI DDInternalUnlock(void*)
{
    return DDERR_UNSUPPORTED;
}

HRESULT WINAPI DSoundHelp(void*, void*, void*)
{
    return DDERR_UNSUPPORTED;
}

HRESULT WINAPI DirectDrawCreate(GUID*, LPDIRECTDRAW* out, IUnknown*)
{
    if (out == nullptr)
        return DDERR_INVALIDPARAMS;
    DirectDraw* directDraw = CreateRegistered<DirectDraw>();
    *out = directDraw;
    return directDraw != nullptr ? DD_OK : DDERR_OUTOFMEMORY;
}

HRESULT WINAPI DirectDrawCreateClipper(DWORD flags, LPDIRECTDRAWCLIPPER* out, IUnknown* outer)
{
    TraceCall(L"DirectDrawCreateClipper(0x%08X, 0x%08X, 0x%08X) UNSUPPORTED", flags, out, outer);
    return DDERR_UNSUPPORTED;
}

HRESULT WINAPI DirectDrawCreateEx(GUID*, LPVOID*, REFIID, IUnknown*)
{
    return DDERR_UNSUPPORTED;
}

HRESULT WINAPI DirectDrawEnumerateA(LPDDENUMCALLBACKA, LPVOID)
{
    return DDERR_UNSUPPORTED;
}

// Reports the one display device there is, under the name and driver the
// system's own module gives it; the description is Windows-1252 text.
HRESULT WINAPI DirectDrawEnumerateExA(LPDDENUMCALLBACKEXA callback, LPVOID context, DWORD flags)
{
    if (callback == nullptr) {
        TraceCall(L"DirectDrawEnumerateExA(lpCallback=no, lpContext=0x%08X, dwFlags=0x%08X) UNSUPPORTED", context,
                  flags);
        return DDERR_INVALIDPARAMS;
    }
    TraceCall(L"DirectDrawEnumerateExA(lpCallback=yes, lpContext=0x%08X, dwFlags=0x%08X)", context, flags);
    char description[] = "Prim\xE4rer Anzeigetreiber";
    char driverName[] = "display";
    callback(nullptr, description, driverName, context, nullptr);
    return DD_OK;
}

HRESULT WINAPI DirectDrawEnumerateExW(LPDDENUMCALLBACKEXW, LPVOID, DWORD)
{
    return DDERR_UNSUPPORTED;
}

HRESULT WINAPI DirectDrawEnumerateW(LPDDENUMCALLBACKW, LPVOID)
{
    return DDERR_UNSUPPORTED;
}

STDAPI DllCanUnloadNow()
{
    return DDERR_UNSUPPORTED;
}

STDAPI DllGetClassObject(REFCLSID, REFIID, LPVOID*)
{
    return DDERR_UNSUPPORTED;
}

HRESULT WINAPI GetDDSurfaceLocal(void*, void*, void*)
{
    return DDERR_UNSUPPORTED;
}

ULONG_PTR WINAPI GetOLEThunkData(void*)
{
    return 0;
}

HRESULT WINAPI GetSurfaceFromDC_(void*, void*, void*)
{
    return DDERR_UNSUPPORTED;
}

HRESULT WINAPI RegisterSpecialCase(void*, void*, void*, void*)
{
    return DDERR_UNSUPPORTED;
}

void WINAPI ReleaseDDThreadLock()
{
}

}
