#include "sequence/Harness.h"

#include <ddraw.h>
#include <malloc.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

SequenceOptions& Options()
{
    static SequenceOptions options;
    return options;
}

std::wstring ModuleBesideProgram()
{
    wchar_t program[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, program, MAX_PATH);
    std::wstring path(program, length);
    return path.substr(0, path.find_last_of(L"\\/") + 1) + L"ddraw.dll";
}

std::string Format(const char* format, ...)
{
    char text[1024];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    text[sizeof text - 1] = '\0';
    return text;
}

namespace {

const HRESULT knownResults[] = {
    DD_OK, S_FALSE, E_FAIL, E_INVALIDARG, E_NOINTERFACE, E_NOTIMPL, E_OUTOFMEMORY, E_POINTER, E_UNEXPECTED, E_HANDLE,
    E_ACCESSDENIED, CLASS_E_NOAGGREGATION, CLASS_E_CLASSNOTAVAILABLE, DDERR_ALREADYINITIALIZED,
    DDERR_CANNOTATTACHSURFACE, DDERR_CANNOTDETACHSURFACE, DDERR_CURRENTLYNOTAVAIL, DDERR_EXCEPTION, DDERR_GENERIC,
    DDERR_HEIGHTALIGN, DDERR_INCOMPATIBLEPRIMARY, DDERR_INVALIDCAPS, DDERR_INVALIDCLIPLIST, DDERR_INVALIDMODE,
    DDERR_INVALIDOBJECT, DDERR_INVALIDPARAMS, DDERR_INVALIDPIXELFORMAT, DDERR_INVALIDRECT, DDERR_LOCKEDSURFACES,
    DDERR_NO3D, DDERR_NOALPHAHW, DDERR_NOSTEREOHARDWARE, DDERR_NOSURFACELEFT, DDERR_NOCLIPLIST, DDERR_NOCOLORCONVHW,
    DDERR_NOCOOPERATIVELEVELSET, DDERR_NOCOLORKEY, DDERR_NOCOLORKEYHW, DDERR_NODIRECTDRAWSUPPORT,
    DDERR_NOEXCLUSIVEMODE, DDERR_NOFLIPHW, DDERR_NOGDI, DDERR_NOMIRRORHW, DDERR_NOTFOUND, DDERR_NOOVERLAYHW,
    DDERR_OVERLAPPINGRECTS, DDERR_NORASTEROPHW, DDERR_NOROTATIONHW, DDERR_NOSTRETCHHW, DDERR_NOT4BITCOLOR,
    DDERR_NOT4BITCOLORINDEX, DDERR_NOT8BITCOLOR, DDERR_NOTEXTUREHW, DDERR_NOVSYNCHW, DDERR_NOZBUFFERHW,
    DDERR_NOZOVERLAYHW, DDERR_OUTOFCAPS, DDERR_OUTOFMEMORY, DDERR_OUTOFVIDEOMEMORY, DDERR_OVERLAYCANTCLIP,
    DDERR_OVERLAYCOLORKEYONLYONEACTIVE, DDERR_PALETTEBUSY, DDERR_COLORKEYNOTSET, DDERR_SURFACEALREADYATTACHED,
    DDERR_SURFACEALREADYDEPENDENT, DDERR_SURFACEBUSY, DDERR_CANTLOCKSURFACE, DDERR_SURFACEISOBSCURED,
    DDERR_SURFACELOST, DDERR_SURFACENOTATTACHED, DDERR_TOOBIGHEIGHT, DDERR_TOOBIGSIZE, DDERR_TOOBIGWIDTH,
    DDERR_UNSUPPORTED, DDERR_UNSUPPORTEDFORMAT, DDERR_UNSUPPORTEDMASK, DDERR_INVALIDSTREAM,
    DDERR_VERTICALBLANKINPROGRESS, DDERR_WASSTILLDRAWING, DDERR_DDSCAPSCOMPLEXREQUIRED, DDERR_XALIGN,
    DDERR_INVALIDDIRECTDRAWGUID, DDERR_DIRECTDRAWALREADYCREATED, DDERR_NODIRECTDRAWHW,
    DDERR_PRIMARYSURFACEALREADYEXISTS, DDERR_NOEMULATION, DDERR_REGIONTOOSMALL, DDERR_CLIPPERISUSINGHWND,
    DDERR_NOCLIPPERATTACHED, DDERR_NOHWND, DDERR_HWNDSUBCLASSED, DDERR_HWNDALREADYSET, DDERR_NOPALETTEATTACHED,
    DDERR_NOPALETTEHW, DDERR_BLTFASTCANTCLIP, DDERR_NOBLTHW, DDERR_NODDROPSHW, DDERR_OVERLAYNOTVISIBLE,
    DDERR_NOOVERLAYDEST, DDERR_INVALIDPOSITION, DDERR_NOTAOVERLAYSURFACE, DDERR_EXCLUSIVEMODEALREADYSET,
    DDERR_NOTFLIPPABLE, DDERR_CANTDUPLICATE, DDERR_NOTLOCKED, DDERR_CANTCREATEDC, DDERR_NODC, DDERR_WRONGMODE,
    DDERR_IMPLICITLYCREATED, DDERR_NOTPALETTIZED, DDERR_UNSUPPORTEDMODE, DDERR_NOMIPMAPHW, DDERR_INVALIDSURFACETYPE,
    DDERR_NOOPTIMIZEHW, DDERR_NOTLOADED, DDERR_NOFOCUSWINDOW, DDERR_NOTONMIPMAPSUBLEVEL, DDERR_DCALREADYCREATED,
    DDERR_NONONLOCALVIDMEM, DDERR_CANTPAGELOCK, DDERR_CANTPAGEUNLOCK, DDERR_NOTPAGELOCKED, DDERR_MOREDATA,
    DDERR_EXPIRED, DDERR_TESTFINISHED, DDERR_NEWMODE, DDERR_D3DNOTINITIALIZED, DDERR_VIDEONOTACTIVE,
    DDERR_NOMONITORINFORMATION, DDERR_NODRIVERSUPPORT, DDERR_DEVICEDOESNTOWNSURFACE, DDERR_NOTINITIALIZED};

BOOL CALLBACK CountWindow(HWND, LPARAM count)
{
    ++*reinterpret_cast<uint32_t*>(count);
    return TRUE;
}

char callInProgress[1024];

LONG WINAPI ReportCrash(EXCEPTION_POINTERS* exception)
{
    const EXCEPTION_RECORD& record = *exception->ExceptionRecord;
    std::fprintf(stderr, "\nexception 0x%08lX at %p in %s\n", record.ExceptionCode, record.ExceptionAddress,
                 callInProgress);
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 3);
    return EXCEPTION_CONTINUE_SEARCH;
}

}

bool IsKnownResult(HRESULT result)
{
    return std::find(std::begin(knownResults), std::end(knownResults), result) != std::end(knownResults);
}

bool HeapsIntact()
{
    HANDLE heaps[256];
    const DWORD count = std::min<DWORD>(GetProcessHeaps(256, heaps), 256);
    for (DWORD index = 0; index < count; ++index) {
        if (!HeapValidate(heaps[index], 0, nullptr))
            return false;
    }
    const int crt = _heapchk();
    return crt == _HEAPOK || crt == _HEAPEMPTY;
}

// A handle whose high word is 0 names whichever object holds that slot of the
// table, so every slot can be asked for its type.
GuiCounts CountGuiObjects()
{
    GuiCounts counts = {GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS),
                        GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS), 0, 0};
    for (uintptr_t slot = 1; slot < 0x10000; ++slot) {
        if (GetObjectType(reinterpret_cast<HGDIOBJ>(slot)) != 0)
            ++counts.gdiHandles;
    }
    EnumThreadWindows(GetCurrentThreadId(), CountWindow, reinterpret_cast<LPARAM>(&counts.windows));
    return counts;
}

std::string Describe(const GuiCounts& counts)
{
    return Format("%lu GDI and %lu USER objects, %u GDI handles, %u windows", counts.gdiObjects, counts.userObjects,
                  counts.gdiHandles, counts.windows);
}

// An executable's TLS callbacks see the process end however it ends, also
// by an ExitProcess from inside a call: a run that did not finish says where
// it stopped.
void NTAPI ReportEnd(PVOID, DWORD reason, PVOID)
{
    if (reason == DLL_PROCESS_DETACH && callInProgress[0] != '\0') {
        std::fprintf(stderr, "\nthe process ended in %s\n", callInProgress);
        std::fflush(stderr);
    }
}

extern "C" {
__attribute__((section(".CRT$XLY"), used)) PIMAGE_TLS_CALLBACK reportEnd = ReportEnd;
}

void SetCallInProgress(const std::string& text)
{
    const size_t length = std::min(text.size(), sizeof callInProgress - 1);
    std::memcpy(callInProgress, text.data(), length);
    callInProgress[length] = '\0';
}

void InstallCrashReport()
{
    SetUnhandledExceptionFilter(ReportCrash);
}

EdgeMemory::EdgeMemory()
{
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    const size_t page = system.dwPageSize;
    const size_t usable = (capacity + page - 1) / page * page;
    base_ = static_cast<uint8_t*>(VirtualAlloc(nullptr, usable + page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    DWORD old = 0;
    if (base_ == nullptr || !VirtualProtect(base_ + usable, page, PAGE_NOACCESS, &old))
        std::abort();
    end_ = base_ + usable;
}

EdgeMemory::~EdgeMemory()
{
    VirtualFree(base_, 0, MEM_RELEASE);
}
