#include "sequence/Sequence.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <type_traits>

namespace {

const char* const kindNames[] = {"DirectDraw", "DirectDraw2", "DirectDraw4", "Palette",
                                 "Surface",    "Surface4",    "Object"};

bool IsDirectDraw(const Object& o)
{
    return o.mine > 0 && (o.kind == Kind::DirectDraw || o.kind == Kind::DirectDraw2 || o.kind == Kind::DirectDraw4);
}
bool IsPalette(const Object& o)
{
    return o.mine > 0 && o.kind == Kind::Palette;
}
bool IsSurface(const Object& o)
{
    return o.mine > 0 && (o.kind == Kind::Surface || o.kind == Kind::Surface4);
}
bool IsClassic(const Object& o)
{
    return o.mine > 0 && o.kind == Kind::Surface;
}
bool IsSurface4(const Object& o)
{
    return o.mine > 0 && o.kind == Kind::Surface4;
}
bool IsOwned(const Object& o)
{
    return o.mine > 0;
}

template <class S>
struct SurfaceTypes;
template <>
struct SurfaceTypes<IDirectDrawSurface> {
    using Desc = DDSURFACEDESC;
    using Caps = DDSCAPS;
    using Callback = LPDDENUMSURFACESCALLBACK;
    static constexpr Kind kind = Kind::Surface;
    static constexpr int index = 0;
};
template <>
struct SurfaceTypes<IDirectDrawSurface4> {
    using Desc = DDSURFACEDESC2;
    using Caps = DDSCAPS2;
    using Callback = LPDDENUMSURFACESCALLBACK2;
    static constexpr Kind kind = Kind::Surface4;
    static constexpr int index = 1;
};

template <class D>
struct DirectDrawTypes {
    using Surface = IDirectDrawSurface;
    using Desc = DDSURFACEDESC;
};
template <>
struct DirectDrawTypes<IDirectDraw4> {
    using Surface = IDirectDrawSurface4;
    using Desc = DDSURFACEDESC2;
};

Kind KindOfIid(const GUID& iid)
{
    if (iid == IID_IDirectDraw)
        return Kind::DirectDraw;
    if (iid == IID_IDirectDraw2)
        return Kind::DirectDraw2;
    if (iid == IID_IDirectDraw4)
        return Kind::DirectDraw4;
    if (iid == IID_IDirectDrawPalette)
        return Kind::Palette;
    if (iid == IID_IDirectDrawSurface)
        return Kind::Surface;
    if (iid == IID_IDirectDrawSurface4)
        return Kind::Surface4;
    return Kind::Other;
}

// Callbacks a game would pass. A surface handed to an enumeration callback
// comes with a reference, which the callback gives back.
template <class S, class Desc>
HRESULT WINAPI ReleaseEnumerated(S* surface, Desc*, LPVOID)
{
    if (surface != nullptr)
        surface->Release();
    return DDENUMRET_OK;
}
template <class Desc>
HRESULT WINAPI SeeMode(Desc*, LPVOID)
{
    return DDENUMRET_OK;
}
template <class Text>
BOOL WINAPI SeeDevice(GUID*, Text, Text, LPVOID)
{
    return TRUE;
}
template <class Text>
BOOL WINAPI SeeDeviceEx(GUID*, Text, Text, LPVOID, HMONITOR)
{
    return TRUE;
}

// An outer object for the calls that take one: real, and counting nothing.
struct Outer final : IUnknown {
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override
    {
        if (out != nullptr)
            *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
};
Outer outer;

LRESULT CALLBACK PlainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(window, message, wParam, lParam);
}

std::string RectText(const RECT* rect)
{
    return rect != nullptr ? Format("[%ld,%ld,%ld,%ld]", rect->left, rect->top, rect->right, rect->bottom) : "null";
}

uint64_t RowBytes(uint32_t width, uint32_t depth)
{
    return (uint64_t{width} * depth + 7) / 8;
}

const DWORD bltFlags[] = {DDBLT_COLORFILL, DDBLT_KEYSRC,  DDBLT_KEYSRCOVERRIDE, DDBLT_KEYDEST,   DDBLT_KEYDESTOVERRIDE,
                          DDBLT_DDFX,      DDBLT_WAIT,    DDBLT_ASYNC,          DDBLT_ROP,       DDBLT_DDROPS,
                          DDBLT_DEPTHFILL, DDBLT_ZBUFFER, DDBLT_ROTATIONANGLE,  DDBLT_ALPHADEST, DDBLT_DONOTWAIT,
                          DDBLT_COLORFILL};
const DWORD mirrorFlags[] = {DDBLTFX_MIRRORLEFTRIGHT, DDBLTFX_MIRRORUPDOWN, DDBLTFX_ARITHSTRETCHY,  DDBLTFX_NOTEARING,
                             DDBLTFX_ROTATE90,        DDBLTFX_ROTATE180,    DDBLTFX_MIRRORLEFTRIGHT};
const DWORD bltFastFlags[] = {DDBLTFAST_NOCOLORKEY, DDBLTFAST_SRCCOLORKEY, DDBLTFAST_DESTCOLORKEY, DDBLTFAST_WAIT,
                              DDBLTFAST_DONOTWAIT};
const DWORD keyFlags[] = {DDCKEY_SRCBLT,      DDCKEY_DESTBLT,    DDCKEY_SRCOVERLAY,
                          DDCKEY_DESTOVERLAY, DDCKEY_COLORSPACE, DDCKEY_SRCBLT};
const DWORD lockFlags[] = {DDLOCK_WAIT,  DDLOCK_READONLY,  DDLOCK_WRITEONLY,       DDLOCK_NOSYSLOCK,
                           DDLOCK_EVENT, DDLOCK_DONOTWAIT, DDLOCK_SURFACEMEMORYPTR};
const DWORD flipFlags[] = {DDFLIP_WAIT, DDFLIP_EVEN, DDFLIP_ODD, DDFLIP_NOVSYNC, DDFLIP_DONOTWAIT, DDFLIP_INTERVAL2};
const DWORD levelFlags[] = {DDSCL_EXCLUSIVE,   DDSCL_FULLSCREEN,      DDSCL_NORMAL,        DDSCL_ALLOWMODEX,
                            DDSCL_ALLOWREBOOT, DDSCL_NOWINDOWCHANGES, DDSCL_MULTITHREADED, DDSCL_FPUPRESERVE};
const DWORD paletteFlags[] = {DDPCAPS_8BIT,        DDPCAPS_8BIT,     DDPCAPS_4BIT,       DDPCAPS_2BIT,
                              DDPCAPS_1BIT,        DDPCAPS_ALLOW256, DDPCAPS_INITIALIZE, DDPCAPS_PRIMARYSURFACE,
                              DDPCAPS_8BITENTRIES, DDPCAPS_VSYNC};
const DWORD capsFlags[] = {DDSCAPS_BACKBUFFER, DDSCAPS_FLIP,         DDSCAPS_PRIMARYSURFACE, DDSCAPS_OFFSCREENPLAIN,
                           DDSCAPS_COMPLEX,    DDSCAPS_SYSTEMMEMORY, DDSCAPS_VIDEOMEMORY,    DDSCAPS_FRONTBUFFER,
                           DDSCAPS_OVERLAY,    DDSCAPS_TEXTURE,      DDSCAPS_BACKBUFFER};

}

Sequence::Sequence(uint64_t seed, bool verbose) : random(SuiteSeed("ApiSequence"), seed), seed(seed), verbose(verbose)
{
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = PlainWindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"ApiSequenceGame";
    RegisterClassW(&windowClass);
    window = CreateWindowExW(0, windowClass.lpszClassName, L"game", WS_POPUP | WS_VISIBLE, 0, 0, 640, 480, nullptr,
                             nullptr, windowClass.hInstance, nullptr);
    ownDC = CreateCompatibleDC(nullptr);
    event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    // The window's and the screen's device contexts, and a paint, made once
    // now, are the system's from then on: they belong in the baseline.
    ReleaseDC(window, ::GetDC(window));
    ReleaseDC(nullptr, ::GetDC(nullptr));
    InvalidateRect(window, nullptr, FALSE);
    UpdateWindow(window);
    Pump();
    baseline = CountGuiObjects();
}

Sequence::~Sequence()
{
    if (module != nullptr && !failed)
        FreeLibrary(module);
    ChangeDisplaySettingsW(nullptr, 0);
    DeleteDC(ownDC);
    CloseHandle(event);
    DestroyWindow(window);
    UnregisterClassW(L"ApiSequenceGame", GetModuleHandleW(nullptr));
}

// ---------------------------------------------------------------------------
// The harness around every call.

template <class Invoke>
HRESULT Sequence::Call(const std::string& text, Invoke invoke)
{
    Begin(text);
    const HRESULT result = invoke();
    End(text, Format("0x%08lX", static_cast<unsigned long>(result)),
        IsKnownResult(result) ? "" : "that is no result ddraw.h or winerror.h defines");
    return result;
}

ULONG Sequence::CountCall(const std::string& text, IUnknown* object, bool addRef, LONG expected)
{
    Begin(text);
    const ULONG count = addRef ? object->AddRef() : object->Release();
    std::string problem;
    if (expected >= 0 && count != ULONG(expected))
        problem = Format("the references held make %ld", expected);
    else if (expected < 0 && (count == 0 || count > 1u << 20))
        problem = "that is no sane count";
    End(text, Format("%lu", count), problem);
    return count;
}

void Sequence::Begin(const std::string& text)
{
    ++callNumber;
    if (verbose) {
        // Written before the call, so that a call that ends the process is seen.
        std::printf("#%u %s", callNumber, text.c_str());
        std::fflush(stdout);
    }
    QueryPerformanceCounter(&callStart);
    SetCallInProgress(Format("call #%u (seed %s): %s; replay with --seed %s --calls %u --verbose", callNumber,
                             std::to_string(seed).c_str(), text.c_str(), std::to_string(seed).c_str(), callNumber + 1));
}

void Sequence::End(const std::string& text, const std::string& result, std::string problem)
{
    LARGE_INTEGER now;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    const double ms = double(now.QuadPart - callStart.QuadPart) * 1000.0 / double(frequency.QuadPart);
    if (ms > slowestMs) {
        slowestMs = ms;
        slowest = Format("#%u %s", callNumber, text.c_str());
    }
    if (problem.empty() && !HeapsIntact())
        problem = "a heap is damaged after it";
    if (verbose)
        std::printf(" = %s\n", result.c_str());
    if (!problem.empty())
        Fail(text + " returned " + result + ": " + problem);
    Pump();
}

void Sequence::Fail(const std::string& what)
{
    if (failed)
        return;
    failed = true;
    ADD_FAILURE() << "call #" << callNumber << " (seed " << seed << "): " << what << "; replay with --seed " << seed
                  << " --calls " << callNumber + 1 << " --verbose";
}

void Sequence::Pump()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageW(&message);
}

// ---------------------------------------------------------------------------
// The model.

LONG Sequence::Held(const Object& object) const
{
    LONG held = 0;
    if (object.front != nullptr && !object.front->dead)
        ++held;
    if (object.kind == Kind::Palette) {
        for (const auto& other : objects) {
            if (!other->dead && other->palette == &object)
                ++held;
        }
    }
    return held;
}

Object* Sequence::Find(const void* pointer) const
{
    for (const auto& object : objects) {
        if (object->pointer == pointer)
            return object.get();
    }
    return nullptr;
}

Object* Sequence::Adopt(void* pointer, Kind kind, Object* front, const char* how)
{
    if (pointer == nullptr) {
        Fail(Format("%s succeeded without handing out an object", how));
        return nullptr;
    }
    if (Object* known = Find(pointer)) {
        if (known->kind != kind && kind != Kind::Other && known->kind != Kind::Other)
            Fail(Format("%s handed out %s as a %s", how, Name(pointer).c_str(), kindNames[int(kind)]));
        ++known->mine;
        return known;
    }
    objects.push_back(std::make_unique<Object>(Object{kind, pointer, nextSerial++}));
    objects.back()->front = front;
    mostAlive = std::max(mostAlive, objects.size());
    return objects.back().get();
}

// Objects whose last reference went die, and with them what only they held.
void Sequence::Settle()
{
    for (bool changed = true; changed;) {
        changed = false;
        for (const auto& object : objects) {
            if (!object->dead && Total(*object) == 0) {
                object->dead = true;
                changed = true;
                if (object->kind == Kind::Surface || object->kind == Kind::Surface4)
                    handedDC[object->kind == Kind::Surface ? 0 : 1] = nullptr;
            }
        }
    }
    for (const auto& object : objects) {
        if (object->palette != nullptr && object->palette->dead)
            object->palette = nullptr;
        if (object->front != nullptr && object->front->dead)
            object->front = nullptr;
    }
    if (lastSurface != nullptr && lastSurface->dead)
        lastSurface = nullptr;
    std::erase_if(objects, [](const std::unique_ptr<Object>& object) { return object->dead; });
}

template <class Wanted>
Object* Sequence::Pick(Wanted wanted, Object* preferred)
{
    if (preferred != nullptr && wanted(*preferred) && random.Below(10) < 3)
        return preferred;
    uint32_t count = 0;
    for (const auto& object : objects)
        count += wanted(*object) ? 1 : 0;
    if (count == 0)
        return nullptr;
    uint32_t chosen = random.Below(count);
    for (const auto& object : objects) {
        if (wanted(*object) && chosen-- == 0)
            return object.get();
    }
    return nullptr;
}

std::string Sequence::Name(const void* pointer) const
{
    if (pointer == nullptr)
        return "null";
    if (pointer == &outer)
        return "outer";
    if (const Object* object = Find(pointer))
        return Format("%s#%u", kindNames[int(object->kind)], object->serial);
    return "unknown";
}

void Sequence::Release(Object& object)
{
    const LONG expected = object.kind == Kind::Other ? -1 : Total(object) - 1;
    CountCall(Name(object.pointer) + ".Release()", static_cast<IUnknown*>(object.pointer), false, expected);
    --object.mine;
    if (object.kind == Kind::Other && object.mine == 0)
        object.dead = true;
    Settle();
}

// ---------------------------------------------------------------------------
// Loading, unloading and the end.

void Sequence::Load()
{
    const std::wstring path = ModuleBesideProgram();
    Begin("LoadLibrary(ddraw.dll)");
    module = LoadLibraryW(path.c_str());
    End("LoadLibrary(ddraw.dll)", module != nullptr ? "loaded" : "failed",
        module != nullptr ? "" : Format("cannot load it (error %lu)", GetLastError()));
    ++loads;
    windowGiven = modeSet = capRaised = false;
}

// The unload walk gives each object one reference back, so each is held once
// when the module goes; the module's own objects let go of the rest. What is
// left must be nothing.
void Sequence::Unload()
{
    for (size_t index = 0; index < objects.size() && !failed; ++index) {
        while (objects[index]->mine > 1 && !failed)
            Release(*objects[index]);
    }
    if (failed)
        return;
    const std::string text = Format("FreeLibrary(ddraw.dll) with %u objects alive", unsigned(objects.size()));
    if (verbose)
        std::printf("   (the process holds %s)\n", Describe(CountGuiObjects()).c_str());
    Begin(text);
    FreeLibrary(module);
    module = nullptr;
    objects.clear();
    lastSurface = nullptr;
    handedDC[0] = handedDC[1] = nullptr;
    const GuiCounts now = CountGuiObjects();
    End(text, "unloaded",
        now == baseline ? "" : "the process holds " + Describe(now) + ", before the first load " + Describe(baseline));
}

void Sequence::Finish()
{
    while (!objects.empty() && !failed) {
        Object* owned = Pick(IsOwned);
        if (owned == nullptr) {
            Fail(Format("%s is alive with no reference this test holds", Name(objects.front()->pointer).c_str()));
            return;
        }
        Release(*owned);
    }
    if (!failed)
        Unload();
}

// Control+NumPad-plus raises the cap by one step; enough of them take it to
// the top, so that paced presents cost a millisecond.
void Sequence::RaiseCap()
{
    BYTE keys[256];
    GetKeyboardState(keys);
    const BYTE control = keys[VK_CONTROL];
    keys[VK_CONTROL] = 0x80;
    SetKeyboardState(keys);
    for (int step = 0; step < 96; ++step)
        SendMessageW(window, WM_KEYDOWN, VK_ADD, 1);
    keys[VK_CONTROL] = control;
    SetKeyboardState(keys);
    capRaised = true;
    if (verbose)
        std::printf("   (raised the frame-rate cap)\n");
}

void Sequence::Run(uint32_t calls)
{
    Load();
    while (!failed && callNumber < calls)
        Step();
    if (!failed)
        Finish();
    SetCallInProgress("");
}

// ---------------------------------------------------------------------------
// Choices.

void Sequence::Step()
{
    uint32_t counts[4] = {};
    for (const auto& object : objects) {
        counts[0] += IsDirectDraw(*object);
        counts[1] += IsPalette(*object);
        counts[2] += IsSurface(*object);
        counts[3] += IsOwned(*object);
    }
    // Unloading is one choice in about 500.
    const uint32_t weights[] = {
        counts[0] == 0 ? 120u : 12u,                  // exports
        counts[0] > 0 ? 120u : 0u,                    // DirectDraw objects
        counts[1] > 0 ? 36u : 0u,                     // palettes
        counts[2] > 0 ? 270u : 0u,                    // surfaces
        counts[3] > 0 ? 12u : 0u,                     // AddRef
        counts[3] > 0 ? 12u + 3 * counts[3] / 2 : 0u, // Release
        1u,                                           // unload and load again
    };
    uint32_t total = 0;
    for (uint32_t weight : weights)
        total += weight;
    uint32_t choice = random.Below(total);
    size_t category = 0;
    while (choice >= weights[category]) {
        choice -= weights[category];
        ++category;
    }
    switch (category) {
    case 0:
        CallExport();
        break;
    case 1: {
        Object& object = *Pick(IsDirectDraw);
        if (object.kind == Kind::DirectDraw)
            CallDirectDraw<IDirectDraw>(object);
        else if (object.kind == Kind::DirectDraw2)
            CallDirectDraw<IDirectDraw2>(object);
        else
            CallDirectDraw<IDirectDraw4>(object);
        break;
    }
    case 2:
        CallPalette(*Pick(IsPalette));
        break;
    case 3: {
        Object& surface = *Pick(IsSurface, lastSurface);
        lastSurface = &surface;
        if (surface.kind == Kind::Surface)
            CallSurface<IDirectDrawSurface>(surface);
        else
            CallSurface<IDirectDrawSurface4>(surface);
        break;
    }
    case 4: {
        Object& object = *Pick(IsOwned);
        const LONG expected = object.kind == Kind::Other ? -1 : Total(object) + 1;
        CountCall(Name(object.pointer) + ".AddRef()", static_cast<IUnknown*>(object.pointer), true, expected);
        ++object.mine;
        break;
    }
    case 5:
        Release(*Pick(IsOwned));
        break;
    default:
        Unload();
        if (!failed)
            Load();
        break;
    }
}

void Sequence::CallExport()
{
    using Create = HRESULT(WINAPI*)(GUID*, LPDIRECTDRAW*, IUnknown*);
    using CreateEx = HRESULT(WINAPI*)(GUID*, LPVOID*, REFIID, IUnknown*);
    using CreateClipper = HRESULT(WINAPI*)(DWORD, LPDIRECTDRAWCLIPPER*, IUnknown*);
    using Plain = void(WINAPI*)();
    using Call0 = HRESULT(WINAPI*)();
    using Call1 = HRESULT(WINAPI*)(void*);
    using Call2 = HRESULT(WINAPI*)(void*, void*);
    using Call3 = HRESULT(WINAPI*)(void*, void*, void*);
    using Call4 = HRESULT(WINAPI*)(void*, void*, void*, void*);
    const auto exported = [this](const char* name) { return reinterpret_cast<void*>(GetProcAddress(module, name)); };
    // Exports without a published prototype get null or zeroed memory.
    const auto scratch = [this](int slot) -> void* {
        return random.OneIn(2) ? nullptr : memory[slot].Place<uint8_t>(256);
    };
    std::string guidText;
    IUnknown* outerArgument = random.OneIn(8) ? &outer : nullptr;
    const uint32_t choice = random.Below(24);
    if (choice < 10) {
        GUID* device = random.OneIn(6) ? memory[0].Place<GUID>() : nullptr;
        if (device != nullptr)
            *device = Guid(guidText);
        Arg<LPDIRECTDRAW> out = Out<LPDIRECTDRAW>(1);
        const HRESULT result = Call(
            Format("DirectDrawCreate(%s, %s, %s)", device ? guidText.c_str() : "null", out.text.c_str(),
                   Name(outerArgument).c_str()),
            [&] { return reinterpret_cast<Create>(exported("DirectDrawCreate"))(device, out.value, outerArgument); });
        if (result == DD_OK && out.value != nullptr)
            Adopt(*out.value, Kind::DirectDraw, nullptr, "DirectDrawCreate");
        return;
    }
    if (choice == 10) {
        const GUID& iid = Guid(guidText);
        Arg<void*> out = Out<void*>(1);
        const HRESULT result = Call(Format("DirectDrawCreateEx(null, %s, %s, %s)", out.text.c_str(), guidText.c_str(),
                                           Name(outerArgument).c_str()),
                                    [&] {
                                        return reinterpret_cast<CreateEx>(exported("DirectDrawCreateEx"))(
                                            nullptr, out.value, iid, outerArgument);
                                    });
        if (result == DD_OK && out.value != nullptr)
            Adopt(*out.value, KindOfIid(iid), nullptr, "DirectDrawCreateEx");
        return;
    }
    if (choice == 11) {
        const DWORD flags = random.OneIn(2) ? 0 : random.Bits();
        Arg<LPDIRECTDRAWCLIPPER> out = Out<LPDIRECTDRAWCLIPPER>(1);
        const HRESULT result = Call(
            Format("DirectDrawCreateClipper(0x%08lX, %s, %s)", flags, out.text.c_str(), Name(outerArgument).c_str()),
            [&] {
                return reinterpret_cast<CreateClipper>(exported("DirectDrawCreateClipper"))(flags, out.value,
                                                                                            outerArgument);
            });
        if (result == DD_OK && out.value != nullptr)
            Adopt(*out.value, Kind::Other, nullptr, "DirectDrawCreateClipper");
        return;
    }
    const bool callback = !random.OneIn(4);
    const DWORD flags = random.OneIn(2) ? 0 : random.Bits();
    void* context = random.OneIn(2) ? nullptr : this;
    const std::string with = callback ? "callback" : "null";
    switch (choice) {
    case 12:
        Call("DirectDrawEnumerateA(" + with + ")", [&] {
            return reinterpret_cast<HRESULT(WINAPI*)(LPDDENUMCALLBACKA, LPVOID)>(exported("DirectDrawEnumerateA"))(
                callback ? SeeDevice<LPSTR> : nullptr, context);
        });
        break;
    case 13:
        Call("DirectDrawEnumerateW(" + with + ")", [&] {
            return reinterpret_cast<HRESULT(WINAPI*)(LPDDENUMCALLBACKW, LPVOID)>(exported("DirectDrawEnumerateW"))(
                callback ? SeeDevice<LPWSTR> : nullptr, context);
        });
        break;
    case 14:
        Call(Format("DirectDrawEnumerateExA(%s, 0x%08lX)", with.c_str(), flags), [&] {
            return reinterpret_cast<LPDIRECTDRAWENUMERATEEXA>(exported("DirectDrawEnumerateExA"))(
                callback ? SeeDeviceEx<LPSTR> : nullptr, context, flags);
        });
        break;
    case 15:
        Call(Format("DirectDrawEnumerateExW(%s, 0x%08lX)", with.c_str(), flags), [&] {
            return reinterpret_cast<LPDIRECTDRAWENUMERATEEXW>(exported("DirectDrawEnumerateExW"))(
                callback ? SeeDeviceEx<LPWSTR> : nullptr, context, flags);
        });
        break;
    case 16:
        Call("DllCanUnloadNow()", [&] { return reinterpret_cast<Call0>(exported("DllCanUnloadNow"))(); });
        break;
    case 17: {
        std::string iidText;
        const GUID& clsid = Guid(guidText);
        const GUID& iid = Guid(iidText);
        Arg<void*> out = Out<void*>(1);
        const HRESULT result =
            Call(Format("DllGetClassObject(%s, %s, %s)", guidText.c_str(), iidText.c_str(), out.text.c_str()), [&] {
                return reinterpret_cast<HRESULT(WINAPI*)(REFCLSID, REFIID, LPVOID*)>(exported("DllGetClassObject"))(
                    clsid, iid, out.value);
            });
        if (result == DD_OK && out.value != nullptr)
            Adopt(*out.value, Kind::Other, nullptr, "DllGetClassObject");
        break;
    }
    case 18: {
        const bool acquire = random.OneIn(2);
        const char* name = acquire ? "AcquireDDThreadLock" : "ReleaseDDThreadLock";
        Begin(Format("%s()", name));
        reinterpret_cast<Plain>(exported(name))();
        End(Format("%s()", name), "done", "");
        break;
    }
    default: {
        // The exports without a published prototype, with the arguments each takes.
        struct Unpublished {
            const char* name;
            int arguments;
        };
        static const Unpublished unpublished[] = {
            {"CompleteCreateSysmemSurface", 2},
            {"D3DParseUnknownCommand", 2},
            {"DDGetAttachedSurfaceLcl", 3},
            {"DDInternalLock", 2},
            {"DDInternalUnlock", 1},
            {"DSoundHelp", 3},
            {"GetDDSurfaceLocal", 3},
            {"GetOLEThunkData", 1},
            {"GetSurfaceFromDC_", 3},
            {"RegisterSpecialCase", 4},
        };
        const Unpublished& chosen = unpublished[random.Below(std::size(unpublished))];
        void* a[4] = {scratch(0), scratch(1), scratch(2), scratch(3)};
        std::string text = std::string(chosen.name) + "(";
        for (int index = 0; index < chosen.arguments; ++index)
            text += std::string(index ? ", " : "") + (a[index] ? "zeroes" : "null");
        text += ")";
        void* function = exported(chosen.name);
        const auto invoke = [&]() -> HRESULT {
            switch (chosen.arguments) {
            case 1:
                return reinterpret_cast<Call1>(function)(a[0]);
            case 2:
                return reinterpret_cast<Call2>(function)(a[0], a[1]);
            case 3:
                return reinterpret_cast<Call3>(function)(a[0], a[1], a[2]);
            default:
                return reinterpret_cast<Call4>(function)(a[0], a[1], a[2], a[3]);
            }
        };
        if (std::strcmp(chosen.name, "GetOLEThunkData") == 0) {
            // Its answer is a value, not a result.
            Begin(text);
            const HRESULT value = invoke();
            End(text, Format("0x%08lX", static_cast<unsigned long>(value)), "");
        } else {
            Call(text, invoke);
        }
    }
    }
}

template <class D>
void Sequence::CallDirectDraw(Object& object)
{
    using Types = DirectDrawTypes<D>;
    using S = typename Types::Surface;
    using Desc = typename Types::Desc;
    D* directDraw = static_cast<D*>(object.pointer);
    const std::string name = Name(directDraw);
    uint32_t surfaces = 0;
    for (const auto& other : objects)
        surfaces += IsSurface(*other);
    const uint32_t createWeight = surfaces < 12 ? 45 : 6;
    const uint32_t modeWeight = modeSet ? 3 : 20;
    uint32_t choice = random.Below(createWeight + modeWeight + 60);
    if (choice < createWeight)
        return CreateSurface<D>(object);
    choice -= createWeight;
    if (choice < modeWeight)
        return SetDisplayMode(directDraw, name);
    choice -= modeWeight;
    if (choice < 12)
        return CreatePalette(directDraw, name);
    if (choice < 20) {
        // Mostly one of the generations, so that all three are often alive.
        static const GUID* const generations[] = {&IID_IDirectDraw, &IID_IDirectDraw2, &IID_IDirectDraw4};
        static const char* const generationNames[] = {"IID_IDirectDraw", "IID_IDirectDraw2", "IID_IDirectDraw4"};
        std::string iidText;
        const uint32_t generation = random.Below(5);
        const GUID iid = generation < 3 ? *generations[generation] : Guid(iidText);
        if (generation < 3)
            iidText = generationNames[generation];
        Arg<void*> out = Out<void*>(1);
        const HRESULT result = Call(name + ".QueryInterface(" + iidText + ", " + out.text + ")",
                                    [&] { return directDraw->QueryInterface(iid, out.value); });
        if (result == DD_OK && out.value != nullptr)
            Adopt(*out.value, KindOfIid(iid), nullptr, "QueryInterface");
        return;
    }
    if (choice < 26) {
        const bool given = !random.OneIn(4);
        const DWORD flags = Flags(levelFlags);
        Call(Format("%s.SetCooperativeLevel(%s, 0x%08lX)", name.c_str(), given ? "window" : "null", flags),
             [&] { return directDraw->SetCooperativeLevel(given ? window : nullptr, flags); });
        windowGiven = windowGiven || given;
        return;
    }
    // The slots with fixed results, and the rest.
    const DWORD flags = random.OneIn(2) ? 0 : random.Bits();
    switch (random.Below(21)) {
    case 0:
        Call(name + ".Compact()", [&] { return directDraw->Compact(); });
        break;
    case 1: {
        Arg<LPDIRECTDRAWCLIPPER> out = Out<LPDIRECTDRAWCLIPPER>(1);
        const HRESULT result =
            Call(Format("%s.CreateClipper(0x%08lX, %s, null)", name.c_str(), flags, out.text.c_str()),
                 [&] { return directDraw->CreateClipper(flags, out.value, nullptr); });
        if (result == DD_OK && out.value != nullptr)
            Adopt(*out.value, Kind::Other, nullptr, "CreateClipper");
        break;
    }
    case 2: {
        Arg<S> from = SurfaceArgument<S>(object);
        Arg<S*> out = Out<S*>(1);
        const HRESULT result = Call(name + ".DuplicateSurface(" + from.text + ", " + out.text + ")",
                                    [&] { return directDraw->DuplicateSurface(from.value, out.value); });
        if (result == DD_OK && out.value != nullptr)
            Adopt(*out.value, Kind::Other, nullptr, "DuplicateSurface");
        break;
    }
    case 3: {
        Desc* desc = random.OneIn(2) ? nullptr : memory[0].Place<Desc>(1, 0);
        if (desc != nullptr)
            desc->dwSize = sizeof *desc;
        const bool callback = !random.OneIn(4);
        Call(Format("%s.EnumDisplayModes(0x%08lX, %s, %s)", name.c_str(), flags, desc ? "desc" : "null",
                    callback ? "callback" : "null"),
             [&] { return directDraw->EnumDisplayModes(flags, desc, nullptr, callback ? SeeMode<Desc> : nullptr); });
        break;
    }
    case 4: {
        Desc* desc = random.OneIn(2) ? nullptr : memory[0].Place<Desc>(1, 0);
        if (desc != nullptr)
            desc->dwSize = sizeof *desc;
        const bool callback = !random.OneIn(4);
        Call(Format("%s.EnumSurfaces(0x%08lX, %s, %s)", name.c_str(), flags, desc ? "desc" : "null",
                    callback ? "callback" : "null"),
             [&] {
                 return directDraw->EnumSurfaces(flags, desc, nullptr, callback ? ReleaseEnumerated<S, Desc> : nullptr);
             });
        break;
    }
    case 5:
        Call(name + ".FlipToGDISurface()", [&] { return directDraw->FlipToGDISurface(); });
        break;
    case 6: {
        DDCAPS* driver = random.OneIn(3) ? nullptr : memory[0].Place<DDCAPS>(1, 0xAB);
        DDCAPS* emulation = random.OneIn(3) ? nullptr : memory[1].Place<DDCAPS>(1, 0xAB);
        if (driver != nullptr)
            driver->dwSize = random.OneIn(4) ? random.Bits() : sizeof *driver;
        if (emulation != nullptr)
            emulation->dwSize = sizeof *emulation;
        Call(Format("%s.GetCaps(%s, %s)", name.c_str(), driver ? "caps" : "null", emulation ? "caps" : "null"),
             [&] { return directDraw->GetCaps(driver, emulation); });
        break;
    }
    case 7: {
        Desc* desc = random.OneIn(3) ? nullptr : memory[0].Place<Desc>(1, 0xAB);
        if (desc != nullptr)
            desc->dwSize = random.OneIn(4) ? random.Bits() : sizeof *desc;
        Call(name + ".GetDisplayMode(" + (desc ? "desc" : "null") + ")",
             [&] { return directDraw->GetDisplayMode(desc); });
        break;
    }
    case 8: {
        const DWORD count = random.Below(17);
        DWORD* number = random.OneIn(4) ? nullptr : memory[0].Place<DWORD>(1, 0);
        if (number != nullptr)
            *number = count;
        DWORD* codes = random.OneIn(3) ? nullptr : memory[1].Place<DWORD>(count, 0xAB);
        Call(Format("%s.GetFourCCCodes(%s%lu, %s)", name.c_str(), number ? "&" : "null/", count,
                    codes ? "codes" : "null"),
             [&] { return directDraw->GetFourCCCodes(number, codes); });
        break;
    }
    case 9: {
        Arg<S*> out = Out<S*>(1);
        const HRESULT result =
            Call(name + ".GetGDISurface(" + out.text + ")", [&] { return directDraw->GetGDISurface(out.value); });
        if (result == DD_OK && out.value != nullptr)
            Adopt(*out.value, Kind::Other, nullptr, "GetGDISurface");
        break;
    }
    case 10: {
        DWORD* value = random.OneIn(3) ? nullptr : memory[0].Place<DWORD>(1, 0xAB);
        Call(name + ".GetMonitorFrequency(" + (value ? "&value" : "null") + ")",
             [&] { return directDraw->GetMonitorFrequency(value); });
        break;
    }
    case 11: {
        DWORD* value = random.OneIn(3) ? nullptr : memory[0].Place<DWORD>(1, 0xAB);
        Call(name + ".GetScanLine(" + (value ? "&value" : "null") + ")",
             [&] { return directDraw->GetScanLine(value); });
        break;
    }
    case 12: {
        WINBOOL* value = random.OneIn(3) ? nullptr : memory[0].Place<WINBOOL>(1, 0xAB);
        Call(name + ".GetVerticalBlankStatus(" + (value ? "&value" : "null") + ")",
             [&] { return directDraw->GetVerticalBlankStatus(value); });
        break;
    }
    case 13: {
        std::string guidText = "null";
        GUID* guid = random.OneIn(2) ? nullptr : memory[0].Place<GUID>();
        if (guid != nullptr)
            *guid = Guid(guidText);
        Call(name + ".Initialize(" + guidText + ")", [&] { return directDraw->Initialize(guid); });
        break;
    }
    case 14:
        Call(name + ".RestoreDisplayMode()", [&] { return directDraw->RestoreDisplayMode(); });
        break;
    case 15: {
        const DWORD wait = random.OneIn(2) ? random.Below(8) : flags;
        const bool withEvent = random.OneIn(3);
        Call(Format("%s.WaitForVerticalBlank(0x%08lX, %s)", name.c_str(), wait, withEvent ? "event" : "null"),
             [&] { return directDraw->WaitForVerticalBlank(wait, withEvent ? event : nullptr); });
        break;
    }
    default:
        if constexpr (std::is_same_v<D, IDirectDraw>) {
            Call(name + ".Compact()", [&] { return directDraw->Compact(); });
        } else {
            using Caps = std::conditional_t<std::is_same_v<D, IDirectDraw4>, DDSCAPS2, DDSCAPS>;
            const uint32_t slot = random.Below(5);
            if (slot == 0) {
                Caps* caps = random.OneIn(3) ? nullptr : memory[0].Place<Caps>(1, 0);
                if (caps != nullptr)
                    caps->dwCaps = Flags(capsFlags);
                DWORD* totalMemory = random.OneIn(3) ? nullptr : memory[1].Place<DWORD>(1, 0xAB);
                DWORD* freeMemory = random.OneIn(3) ? nullptr : memory[2].Place<DWORD>(1, 0xAB);
                Call(Format("%s.GetAvailableVidMem(%s, %s, %s)", name.c_str(), caps ? "caps" : "null",
                            totalMemory ? "&total" : "null", freeMemory ? "&free" : "null"),
                     [&] { return directDraw->GetAvailableVidMem(caps, totalMemory, freeMemory); });
            } else if constexpr (std::is_same_v<D, IDirectDraw4>) {
                if (slot == 1) {
                    const uint32_t which = random.Below(4);
                    HDC dc = which == 0 ? nullptr : which == 1 ? ownDC : handedDC[random.Below(2)];
                    Arg<LPDIRECTDRAWSURFACE4> out = Out<LPDIRECTDRAWSURFACE4>(1);
                    const HRESULT result =
                        Call(Format("%s.GetSurfaceFromDC(%s, %s)", name.c_str(), dc ? "dc" : "null", out.text.c_str()),
                             [&] { return directDraw->GetSurfaceFromDC(dc, out.value); });
                    if (result == DD_OK && out.value != nullptr)
                        Adopt(*out.value, Kind::Other, nullptr, "GetSurfaceFromDC");
                } else if (slot == 2) {
                    Call(name + ".RestoreAllSurfaces()", [&] { return directDraw->RestoreAllSurfaces(); });
                } else if (slot == 3) {
                    Call(name + ".TestCooperativeLevel()", [&] { return directDraw->TestCooperativeLevel(); });
                } else {
                    DDDEVICEIDENTIFIER* identifier =
                        random.OneIn(3) ? nullptr : memory[0].Place<DDDEVICEIDENTIFIER>(1, 0xAB);
                    Call(Format("%s.GetDeviceIdentifier(%s, 0x%08lX)", name.c_str(), identifier ? "id" : "null", flags),
                         [&] { return directDraw->GetDeviceIdentifier(identifier, flags); });
                }
            } else {
                Call(name + ".Compact()", [&] { return directDraw->Compact(); });
            }
        }
        break;
    }
}

// Only the screen's own size is a real mode; the rest are what a confused or
// hostile game might ask for.
template <class D>
void Sequence::SetDisplayMode(D* directDraw, const std::string& name)
{
    const auto extent = [this](DWORD screen, DWORD common) -> DWORD {
        switch (random.Below(20)) {
        case 0:
        case 1:
        case 2:
        case 3:
            return screen;
        case 4:
        case 5:
        case 6:
            return common;
        case 7:
            return 0;
        case 8:
            return 1;
        case 9: {
            const DWORD huge[] = {0x80000000u, 0xFFFFFFFFu, 0xC0000000u};
            return huge[random.Below(3)];
        }
        default:
            return random.Between(2, 1100);
        }
    };
    const DWORD width = extent(DWORD(GetSystemMetrics(SM_CXSCREEN)), random.OneIn(2) ? 640 : 320);
    const DWORD height = extent(DWORD(GetSystemMetrics(SM_CYSCREEN)), random.OneIn(2) ? 480 : 240);
    const DWORD depths[] = {8, 8, 8, 16, 16, 16, 24, 0, 1, 4, 15, 32, 0xFFFFFFFFu};
    const DWORD depth = random.OneIn(3) ? depths[random.Below(std::size(depths))] : (random.OneIn(2) ? 8 : 16);
    HRESULT result;
    if constexpr (std::is_same_v<D, IDirectDraw>) {
        result = Call(Format("%s.SetDisplayMode(%lu, %lu, %lu)", name.c_str(), width, height, depth),
                      [&] { return directDraw->SetDisplayMode(width, height, depth); });
    } else {
        const DWORD refresh = random.OneIn(4) ? random.Below(200) : 0;
        const DWORD flags = random.OneIn(4) ? (random.OneIn(2) ? DDSDM_STANDARDVGAMODE : random.Bits()) : 0;
        result = Call(Format("%s.SetDisplayMode(%lu, %lu, %lu, %lu, 0x%08lX)", name.c_str(), width, height, depth,
                             refresh, flags),
                      [&] { return directDraw->SetDisplayMode(width, height, depth, refresh, flags); });
    }
    modeSet = modeSet || SUCCEEDED(result);
    if (windowGiven && !capRaised)
        RaiseCap();
}

template <class D>
void Sequence::CreatePalette(D* directDraw, const std::string& name)
{
    const DWORD flags = Flags(paletteFlags);
    const DWORD entries = (flags & DDPCAPS_8BIT)   ? 256
                          : (flags & DDPCAPS_4BIT) ? 16
                          : (flags & DDPCAPS_2BIT) ? 4
                          : (flags & DDPCAPS_1BIT) ? 2
                                                   : 256;
    Arg<PALETTEENTRY> table = random.OneIn(10) ? Arg<PALETTEENTRY>{nullptr, "null"} : Entries(0, entries);
    Arg<LPDIRECTDRAWPALETTE> out = Out<LPDIRECTDRAWPALETTE>(1);
    IUnknown* outerArgument = random.OneIn(10) ? &outer : nullptr;
    const HRESULT result =
        Call(Format("%s.CreatePalette(0x%08lX, %s, %s, %s)", name.c_str(), flags, table.text.c_str(), out.text.c_str(),
                    Name(outerArgument).c_str()),
             [&] { return directDraw->CreatePalette(flags, table.value, out.value, outerArgument); });
    if (result == DD_OK && out.value != nullptr)
        Adopt(*out.value, Kind::Palette, nullptr, "CreatePalette");
}

template <class D>
void Sequence::CreateSurface(Object& owner)
{
    using Types = DirectDrawTypes<D>;
    using S = typename Types::Surface;
    using Desc = typename Types::Desc;
    D* directDraw = static_cast<D*>(owner.pointer);
    Desc* desc = random.OneIn(40) ? nullptr : memory[0].Place<Desc>();
    const std::string request = desc != nullptr ? FillSurfaceRequest(*desc) : "null";
    Arg<S*> out = random.OneIn(40) ? Arg<S*>{nullptr, "null"} : Out<S*>(1);
    IUnknown* outerArgument = random.OneIn(20) ? &outer : nullptr;
    const HRESULT result =
        Call(Name(directDraw) + ".CreateSurface(" + request + ", " + out.text + ", " + Name(outerArgument) + ")",
             [&] { return directDraw->CreateSurface(desc, out.value, outerArgument); });
    if (result != DD_OK || out.value == nullptr)
        return;
    if (Find(*out.value) != nullptr)
        return Fail("CreateSurface handed out " + Name(*out.value) + " again as a new surface");
    Object* surface = Adopt(*out.value, SurfaceTypes<S>::kind, nullptr, "CreateSurface");
    if (surface != nullptr)
        Learn<S>(*surface);
}

template <class S>
void Sequence::Learn(Object& surface)
{
    using Desc = typename SurfaceTypes<S>::Desc;
    S* pointer = static_cast<S*>(surface.pointer);
    Desc* desc = memory[4].Place<Desc>(1, 0xCD);
    desc->dwSize = sizeof *desc;
    const HRESULT result = Call(Name(pointer) + ".GetSurfaceDesc(desc)", [&] { return pointer->GetSurfaceDesc(desc); });
    if (result != DD_OK)
        return Fail("a surface it made cannot describe itself");
    surface.width = desc->dwWidth;
    surface.height = desc->dwHeight;
    surface.depth = desc->ddpfPixelFormat.dwRGBBitCount;
    surface.pitch = desc->lPitch;
    if (verbose)
        std::printf("   (%s is %lux%lu, %lu bits, %ld bytes a row)\n", Name(pointer).c_str(), desc->dwWidth,
                    desc->dwHeight, desc->ddpfPixelFormat.dwRGBBitCount, desc->lPitch);
    if (surface.width == 0 || surface.height == 0 || surface.pitch <= 0 ||
        uint64_t(surface.pitch) < RowBytes(surface.width, surface.depth))
        Fail(Format("%s is described as %ux%u at %u bits with %ld bytes a row", Name(pointer).c_str(), surface.width,
                    surface.height, surface.depth, surface.pitch));
}

void Sequence::CallPalette(Object& object)
{
    IDirectDrawPalette* palette = static_cast<IDirectDrawPalette*>(object.pointer);
    const std::string name = Name(palette);
    const auto start = [this]() -> DWORD {
        const DWORD odd[] = {0, 255, 256, 257, 0xFFFFFFFFu, 0x80000000u, 0xFFFFFF00u};
        return random.OneIn(4) ? odd[random.Below(std::size(odd))] : random.Below(256);
    };
    const auto count = [this]() -> DWORD {
        const DWORD odd[] = {0, 1, 256, 257, 1024};
        return random.OneIn(3) ? odd[random.Below(std::size(odd))] : random.Below(random.OneIn(4) ? 1025 : 257);
    };
    const DWORD flags = random.OneIn(5) ? random.Bits() : 0;
    switch (random.Below(10)) {
    case 0:
    case 1:
    case 2: {
        const DWORD base = start();
        const DWORD number = count();
        PALETTEENTRY* entries = random.OneIn(10) ? nullptr : memory[0].Place<PALETTEENTRY>(number, 0xAB);
        Call(Format("%s.GetEntries(0x%08lX, %lu, %lu, %s)", name.c_str(), flags, base, number,
                    entries ? "entries" : "null"),
             [&] { return palette->GetEntries(flags, base, number, entries); });
        break;
    }
    case 3:
    case 4:
    case 5: {
        const DWORD first = start();
        const DWORD number = count();
        Arg<PALETTEENTRY> entries = random.OneIn(10) ? Arg<PALETTEENTRY>{nullptr, "null"} : Entries(0, number);
        Call(Format("%s.SetEntries(0x%08lX, %lu, %lu, %s)", name.c_str(), flags, first, number, entries.text.c_str()),
             [&] { return palette->SetEntries(flags, first, number, entries.value); });
        break;
    }
    case 6: {
        DWORD* caps = random.OneIn(3) ? nullptr : memory[0].Place<DWORD>(1, 0xAB);
        Call(name + ".GetCaps(" + (caps ? "&caps" : "null") + ")", [&] { return palette->GetCaps(caps); });
        break;
    }
    case 7: {
        Object* directDraw = random.OneIn(3) ? nullptr : Pick(IsDirectDraw);
        Arg<PALETTEENTRY> table = random.OneIn(3) ? Arg<PALETTEENTRY>{nullptr, "null"} : Entries(0, 256);
        Call(Format("%s.Initialize(%s, 0x%08lX, %s)", name.c_str(),
                    Name(directDraw ? directDraw->pointer : nullptr).c_str(), flags, table.text.c_str()),
             [&] {
                 return palette->Initialize(directDraw ? static_cast<IDirectDraw*>(directDraw->pointer) : nullptr,
                                            flags, table.value);
             });
        break;
    }
    default: {
        std::string iidText;
        const GUID& iid = Guid(iidText);
        Arg<void*> out = Out<void*>(1);
        const HRESULT result = Call(name + ".QueryInterface(" + iidText + ", " + out.text + ")",
                                    [&] { return palette->QueryInterface(iid, out.value); });
        if (result == DD_OK && out.value != nullptr)
            Adopt(*out.value, KindOfIid(iid), nullptr, "QueryInterface");
        break;
    }
    }
}

template <class S>
void Sequence::CallSurface(Object& object)
{
    using Types = SurfaceTypes<S>;
    using Caps = typename Types::Caps;
    S* surface = static_cast<S*>(object.pointer);
    const std::string name = Name(surface);
    const uint32_t choice = random.Below(100);
    if (choice < 26)
        return Blt<S>(object);
    if (choice < 38) {
        const DWORD x = random.OneIn(6) ? DWORD(Coordinate(object.width)) : random.Below(object.width + 1);
        const DWORD y = random.OneIn(6) ? DWORD(Coordinate(object.height)) : random.Below(object.height + 1);
        Arg<S> source = SurfaceArgument<S>(object);
        Arg<RECT> rect = Rect(1, source.value != nullptr ? Find(source.value) : nullptr);
        const DWORD flags = Flags(bltFastFlags);
        Call(Format("%s.BltFast(%lu, %lu, %s, %s, 0x%08lX)", name.c_str(), x, y, source.text.c_str(), rect.text.c_str(),
                    flags),
             [&] { return surface->BltFast(x, y, source.value, rect.value, flags); });
        return;
    }
    if (choice < 46)
        return Lock<S>(object);
    if (choice < 54) {
        if constexpr (std::is_same_v<S, IDirectDrawSurface>) {
            void* data = random.OneIn(2) ? nullptr : lastLockPointer;
            Call(name + ".Unlock(" + (data ? "pixels" : "null") + ")", [&] { return surface->Unlock(data); });
        } else {
            Arg<RECT> rect = Rect(0, &object);
            Call(name + ".Unlock(" + rect.text + ")", [&] { return surface->Unlock(rect.value); });
        }
        return;
    }
    if (choice < 59)
        return GetDC<S>(object);
    if (choice < 64) {
        const uint32_t which = random.Below(5);
        HDC dc = which < 2    ? handedDC[Types::index]
                 : which == 2 ? handedDC[1 - Types::index]
                 : which == 3 ? ownDC
                              : nullptr;
        const char* shown = which < 2    ? "its class's dc"
                            : which == 2 ? "the other class's dc"
                            : which == 3 ? "own dc"
                                         : "null";
        const HRESULT result = Call(name + ".ReleaseDC(" + shown + ")", [&] { return surface->ReleaseDC(dc); });
        if (result == DD_OK && dc == handedDC[Types::index])
            handedDC[Types::index] = nullptr;
        return;
    }
    if (choice < 68) {
        Arg<S> target = SurfaceArgument<S>(object);
        const DWORD flags = Flags(flipFlags);
        Call(Format("%s.Flip(%s, 0x%08lX)", name.c_str(), target.text.c_str(), flags),
             [&] { return surface->Flip(target.value, flags); });
        return;
    }
    if (choice < 72) {
        const DWORD flags = Flags(keyFlags);
        Arg<DDCOLORKEY> key = random.OneIn(5) ? Arg<DDCOLORKEY>{nullptr, "null"} : ColourKey(0);
        Call(Format("%s.SetColorKey(0x%08lX, %s)", name.c_str(), flags, key.text.c_str()),
             [&] { return surface->SetColorKey(flags, key.value); });
        return;
    }
    if (choice < 77) {
        Object* palette = nullptr;
        void* pointer = nullptr;
        const uint32_t which = random.Below(6);
        if (which < 3 && (palette = Pick(IsPalette)) != nullptr)
            pointer = palette->pointer;
        else if (which == 3 && (palette = Pick(IsSurface)) != nullptr)
            pointer = palette->pointer;
        const HRESULT result = Call(name + ".SetPalette(" + Name(pointer) + ")",
                                    [&] { return surface->SetPalette(static_cast<IDirectDrawPalette*>(pointer)); });
        if (result == DD_OK) {
            if (palette != nullptr && palette->kind != Kind::Palette)
                return Fail(name + " took " + Name(pointer) + " for a palette");
            // The palette it had may have been held by nothing else.
            object.palette = palette;
            Settle();
        }
        return;
    }
    if (choice < 81) {
        Caps* caps = random.OneIn(6) ? nullptr : memory[0].Place<Caps>(1, 0);
        std::string capsText = "null";
        if (caps != nullptr) {
            caps->dwCaps = random.OneIn(2) ? DDSCAPS_BACKBUFFER : Flags(capsFlags);
            if constexpr (std::is_same_v<Caps, DDSCAPS2>)
                caps->dwCaps2 = random.OneIn(4) ? random.Bits() : 0;
            capsText = Format("{0x%08lX}", caps->dwCaps);
        }
        Arg<S*> out = Out<S*>(1);
        const HRESULT result = Call(name + ".GetAttachedSurface(" + capsText + ", " + out.text + ")",
                                    [&] { return surface->GetAttachedSurface(caps, out.value); });
        if (result == DD_OK && out.value != nullptr) {
            const bool known = Find(*out.value) != nullptr;
            Object* attached = Adopt(*out.value, Types::kind, &object, "GetAttachedSurface");
            if (attached != nullptr && !known)
                Learn<S>(*attached);
        }
        return;
    }
    if (choice < 84) {
        using Desc = typename Types::Desc;
        Desc* desc = random.OneIn(6) ? nullptr : memory[0].Place<Desc>(1, 0xCD);
        if (desc != nullptr)
            desc->dwSize = random.OneIn(5) ? (random.OneIn(2) ? 0 : random.Bits()) : sizeof *desc;
        Call(name + ".GetSurfaceDesc(" + (desc ? Format("{size %lu}", desc->dwSize) : "null") + ")",
             [&] { return surface->GetSurfaceDesc(desc); });
        return;
    }
    if (choice < 86) {
        DDPIXELFORMAT* format = random.OneIn(6) ? nullptr : memory[0].Place<DDPIXELFORMAT>(1, 0xCD);
        if (format != nullptr)
            format->dwSize = random.OneIn(5) ? random.Bits() : sizeof *format;
        Call(name + ".GetPixelFormat(" + (format ? "format" : "null") + ")",
             [&] { return surface->GetPixelFormat(format); });
        return;
    }
    if constexpr (std::is_same_v<S, IDirectDrawSurface4>) {
        if (choice < 90)
            return CallSurface4Slot(surface, name);
    }
    CallFixedSurfaceSlot<S>(object);
}

// A game writes every pixel of what it locked: the description handed out
// must name memory that holds them all.
template <class S>
void Sequence::Lock(Object& object)
{
    using Desc = typename SurfaceTypes<S>::Desc;
    S* surface = static_cast<S*>(object.pointer);
    Arg<RECT> rect = Rect(0, &object);
    Desc* desc = random.OneIn(10) ? nullptr : memory[1].Place<Desc>(1, 0xCD);
    if (desc != nullptr)
        desc->dwSize = random.OneIn(6) ? (random.OneIn(2) ? 0 : random.Bits()) : sizeof *desc;
    const DWORD flags = Flags(lockFlags);
    const bool withEvent = random.OneIn(8);
    const std::string text =
        Format("%s.Lock(%s, %s, 0x%08lX, %s)", Name(surface).c_str(), rect.text.c_str(),
               desc ? Format("{size %lu}", desc->dwSize).c_str() : "null", flags, withEvent ? "event" : "null");
    const HRESULT result =
        Call(text, [&] { return surface->Lock(rect.value, desc, flags, withEvent ? event : nullptr); });
    if (result != DD_OK || desc == nullptr)
        return;
    const uint64_t rowBytes = RowBytes(desc->dwWidth, desc->ddpfPixelFormat.dwRGBBitCount);
    if (desc->lpSurface == nullptr || desc->lPitch <= 0 || uint64_t(desc->lPitch) < rowBytes)
        return Fail(Format("%s locked %lux%lu pixels of %lu bits at %s with %ld bytes a row", Name(surface).c_str(),
                           desc->dwWidth, desc->dwHeight, desc->ddpfPixelFormat.dwRGBBitCount,
                           desc->lpSurface ? "an address" : "null", desc->lPitch));
    lastLockPointer = desc->lpSurface;
    uint8_t* row = static_cast<uint8_t*>(desc->lpSurface);
    const int value = int(random.Below(256));
    for (DWORD y = 0; y < desc->dwHeight; ++y, row += desc->lPitch)
        std::memset(row, value, size_t(rowBytes));
}

// A game draws through the device context: it must draw on the surface's own
// pixels, laid out as the surface's description says.
template <class S>
void Sequence::GetDC(Object& object)
{
    using Types = SurfaceTypes<S>;
    S* surface = static_cast<S*>(object.pointer);
    Arg<HDC> out = Out<HDC>(0);
    const HRESULT result = Call(Name(surface) + ".GetDC(" + out.text + ")", [&] { return surface->GetDC(out.value); });
    if (result != DD_OK || out.value == nullptr)
        return;
    HDC dc = *out.value;
    handedDC[Types::index] = dc;
    DIBSECTION section = {};
    if (GetObjectType(dc) != OBJ_MEMDC ||
        GetObjectW(GetCurrentObject(dc, OBJ_BITMAP), sizeof section, &section) != int(sizeof section))
        return Fail(Name(surface) + " handed out a device context that draws on no DIB section");
    const BITMAP& bitmap = section.dsBm;
    if (uint32_t(bitmap.bmWidth) != object.width || uint32_t(std::abs(bitmap.bmHeight)) != object.height ||
        bitmap.bmBitsPixel != object.depth || bitmap.bmWidthBytes != object.pitch)
        return Fail(Format("%s's device context draws on %ldx%ld pixels of %u bits, %ld bytes a row; the surface is "
                           "%ux%u of %u bits, %ld bytes a row",
                           Name(surface).c_str(), bitmap.bmWidth, bitmap.bmHeight, bitmap.bmBitsPixel,
                           bitmap.bmWidthBytes, object.width, object.height, object.depth, object.pitch));
    const DWORD operations[] = {BLACKNESS, WHITENESS, DSTINVERT};
    PatBlt(dc, 0, 0, int(object.width), int(object.height), operations[random.Below(3)]);
}

template <class S>
void Sequence::Blt(Object& object)
{
    S* surface = static_cast<S*>(object.pointer);
    Arg<RECT> destination = Rect(0, &object);
    Arg<S> source = SurfaceArgument<S>(object);
    const Object* from = source.value != nullptr ? Find(source.value) : nullptr;
    Arg<RECT> sourceRect = Rect(1, from != nullptr && from->kind == object.kind ? from : &object);
    DWORD flags = Flags(bltFlags);
    if (random.OneIn(3))
        flags |= random.OneIn(2) ? DDBLT_WAIT : DDBLT_COLORFILL;
    Arg<DDBLTFX> effects = random.OneIn(5) ? Arg<DDBLTFX>{nullptr, "null"} : Effects(2);
    Call(Format("%s.Blt(%s, %s, %s, 0x%08lX, %s)", Name(surface).c_str(), destination.text.c_str(), source.text.c_str(),
                sourceRect.text.c_str(), flags, effects.text.c_str()),
         [&] { return surface->Blt(destination.value, source.value, sourceRect.value, flags, effects.value); });
}

template <class S>
void Sequence::CallFixedSurfaceSlot(Object& object)
{
    using Types = SurfaceTypes<S>;
    using Desc = typename Types::Desc;
    using Caps = typename Types::Caps;
    using Callback = typename Types::Callback;
    S* surface = static_cast<S*>(object.pointer);
    const std::string name = Name(surface);
    const DWORD flags = random.OneIn(2) ? 0 : random.Bits();
    const auto adopt = [this](HRESULT result, void** out, Kind kind, const char* how) {
        if (result == DD_OK && out != nullptr)
            Adopt(*out, kind, nullptr, how);
    };
    switch (random.Below(23)) {
    case 0: {
        std::string iidText;
        const GUID& iid = Guid(iidText);
        Arg<void*> out = Out<void*>(1);
        adopt(Call(name + ".QueryInterface(" + iidText + ", " + out.text + ")",
                   [&] { return surface->QueryInterface(iid, out.value); }),
              out.value, KindOfIid(iid), "QueryInterface");
        break;
    }
    case 1: {
        Arg<S> other = SurfaceArgument<S>(object);
        Call(name + ".AddAttachedSurface(" + other.text + ")",
             [&] { return surface->AddAttachedSurface(other.value); });
        break;
    }
    case 2: {
        Arg<RECT> rect = Rect(0, &object);
        Call(name + ".AddOverlayDirtyRect(" + rect.text + ")",
             [&] { return surface->AddOverlayDirtyRect(rect.value); });
        break;
    }
    case 3: {
        const DWORD count = random.Below(4);
        DDBLTBATCH* batch = random.OneIn(3) ? nullptr : memory[0].Place<DDBLTBATCH>(count, 0);
        Call(Format("%s.BltBatch(%s, %lu, 0x%08lX)", name.c_str(), batch ? "nulls" : "null", count, flags),
             [&] { return surface->BltBatch(batch, count, flags); });
        break;
    }
    case 4: {
        Arg<S> other = SurfaceArgument<S>(object);
        Call(Format("%s.DeleteAttachedSurface(0x%08lX, %s)", name.c_str(), flags, other.text.c_str()),
             [&] { return surface->DeleteAttachedSurface(flags, other.value); });
        break;
    }
    case 5: {
        const bool callback = !random.OneIn(4);
        Call(name + ".EnumAttachedSurfaces(" + (callback ? "callback" : "null") + ")", [&] {
            return surface->EnumAttachedSurfaces(nullptr, callback ? Callback(ReleaseEnumerated<S, Desc>) : nullptr);
        });
        break;
    }
    case 6: {
        const bool callback = !random.OneIn(4);
        Call(Format("%s.EnumOverlayZOrders(0x%08lX, %s)", name.c_str(), flags, callback ? "callback" : "null"), [&] {
            return surface->EnumOverlayZOrders(flags, nullptr,
                                               callback ? Callback(ReleaseEnumerated<S, Desc>) : nullptr);
        });
        break;
    }
    case 7:
        Call(Format("%s.GetBltStatus(0x%08lX)", name.c_str(), flags), [&] { return surface->GetBltStatus(flags); });
        break;
    case 8: {
        Caps* caps = random.OneIn(3) ? nullptr : memory[0].Place<Caps>(1, 0xAB);
        Call(name + ".GetCaps(" + (caps ? "&caps" : "null") + ")", [&] { return surface->GetCaps(caps); });
        break;
    }
    case 9: {
        Arg<LPDIRECTDRAWCLIPPER> out = Out<LPDIRECTDRAWCLIPPER>(1);
        adopt(Call(name + ".GetClipper(" + out.text + ")", [&] { return surface->GetClipper(out.value); }),
              reinterpret_cast<void**>(out.value), Kind::Other, "GetClipper");
        break;
    }
    case 10: {
        DDCOLORKEY* key = random.OneIn(3) ? nullptr : memory[0].Place<DDCOLORKEY>(1, 0xAB);
        Call(Format("%s.GetColorKey(0x%08lX, %s)", name.c_str(), flags, key ? "&key" : "null"),
             [&] { return surface->GetColorKey(flags, key); });
        break;
    }
    case 11:
        Call(Format("%s.GetFlipStatus(0x%08lX)", name.c_str(), flags), [&] { return surface->GetFlipStatus(flags); });
        break;
    case 12: {
        LONG* x = random.OneIn(3) ? nullptr : memory[0].Place<LONG>(1, 0xAB);
        LONG* y = random.OneIn(3) ? nullptr : memory[1].Place<LONG>(1, 0xAB);
        Call(Format("%s.GetOverlayPosition(%s, %s)", name.c_str(), x ? "&x" : "null", y ? "&y" : "null"),
             [&] { return surface->GetOverlayPosition(x, y); });
        break;
    }
    case 13: {
        Arg<LPDIRECTDRAWPALETTE> out = Out<LPDIRECTDRAWPALETTE>(1);
        adopt(Call(name + ".GetPalette(" + out.text + ")", [&] { return surface->GetPalette(out.value); }),
              reinterpret_cast<void**>(out.value), Kind::Palette, "GetPalette");
        break;
    }
    case 14: {
        Object* directDraw = random.OneIn(2) ? nullptr : Pick(IsDirectDraw);
        Desc* desc = random.OneIn(2) ? nullptr : memory[0].Place<Desc>(1, 0);
        if (desc != nullptr)
            desc->dwSize = sizeof *desc;
        Call(name + ".Initialize(" + Name(directDraw ? directDraw->pointer : nullptr) + ", " +
                 (desc ? "desc" : "null") + ")",
             [&] {
                 return surface->Initialize(directDraw ? static_cast<IDirectDraw*>(directDraw->pointer) : nullptr,
                                            desc);
             });
        break;
    }
    case 15:
        Call(name + ".IsLost()", [&] { return surface->IsLost(); });
        break;
    case 16:
        Call(name + ".Restore()", [&] { return surface->Restore(); });
        break;
    case 17:
        Call(name + ".SetClipper(null)", [&] { return surface->SetClipper(nullptr); });
        break;
    case 18: {
        const LONG x = Coordinate(object.width);
        const LONG y = Coordinate(object.height);
        Call(Format("%s.SetOverlayPosition(%ld, %ld)", name.c_str(), x, y),
             [&] { return surface->SetOverlayPosition(x, y); });
        break;
    }
    case 19: {
        Arg<RECT> from = Rect(0, &object);
        Arg<S> other = SurfaceArgument<S>(object);
        Arg<RECT> to = Rect(1, &object);
        DDOVERLAYFX* effects = random.OneIn(2) ? nullptr : memory[2].Place<DDOVERLAYFX>(1, 0);
        if (effects != nullptr)
            effects->dwSize = sizeof *effects;
        Call(Format("%s.UpdateOverlay(%s, %s, %s, 0x%08lX, %s)", name.c_str(), from.text.c_str(), other.text.c_str(),
                    to.text.c_str(), flags, effects ? "effects" : "null"),
             [&] { return surface->UpdateOverlay(from.value, other.value, to.value, flags, effects); });
        break;
    }
    case 20:
        Call(Format("%s.UpdateOverlayDisplay(0x%08lX)", name.c_str(), flags),
             [&] { return surface->UpdateOverlayDisplay(flags); });
        break;
    case 21: {
        Arg<S> other = SurfaceArgument<S>(object);
        Call(Format("%s.UpdateOverlayZOrder(0x%08lX, %s)", name.c_str(), flags, other.text.c_str()),
             [&] { return surface->UpdateOverlayZOrder(flags, other.value); });
        break;
    }
    default:
        Call(name + ".SetClipper(null)", [&] { return surface->SetClipper(nullptr); });
        break;
    }
}

void Sequence::CallSurface4Slot(IDirectDrawSurface4* surface, const std::string& name)
{
    const DWORD flags = random.OneIn(2) ? 0 : random.Bits();
    std::string guidText;
    const GUID& tag = Guid(guidText);
    switch (random.Below(9)) {
    case 0: {
        Arg<void*> out = Out<void*>(1);
        const HRESULT result =
            Call(name + ".GetDDInterface(" + out.text + ")", [&] { return surface->GetDDInterface(out.value); });
        if (result == DD_OK && out.value != nullptr)
            Adopt(*out.value, Kind::Other, nullptr, "GetDDInterface");
        break;
    }
    case 1:
        Call(Format("%s.PageLock(0x%08lX)", name.c_str(), flags), [&] { return surface->PageLock(flags); });
        break;
    case 2:
        Call(Format("%s.PageUnlock(0x%08lX)", name.c_str(), flags), [&] { return surface->PageUnlock(flags); });
        break;
    case 3: {
        DDSURFACEDESC2* desc = random.OneIn(3) ? nullptr : memory[0].Place<DDSURFACEDESC2>(1, 0);
        if (desc != nullptr) {
            desc->dwSize = sizeof *desc;
            desc->dwFlags = random.Bits() & ~DWORD(DDSD_LPSURFACE);
            desc->dwWidth = Size();
            desc->dwHeight = Size();
        }
        Call(Format("%s.SetSurfaceDesc(%s, 0x%08lX)", name.c_str(), desc ? "desc" : "null", flags),
             [&] { return surface->SetSurfaceDesc(desc, flags); });
        break;
    }
    case 4: {
        const DWORD size = random.Below(257);
        uint8_t* data = random.OneIn(4) ? nullptr : memory[1].Place<uint8_t>(size, 0x5A);
        Call(Format("%s.SetPrivateData(%s, %s, %lu, 0x%08lX)", name.c_str(), guidText.c_str(), data ? "data" : "null",
                    size, flags),
             [&] { return surface->SetPrivateData(tag, data, size, flags); });
        break;
    }
    case 5: {
        const DWORD size = random.Below(257);
        DWORD* sizeIn = random.OneIn(4) ? nullptr : memory[2].Place<DWORD>(1, 0);
        if (sizeIn != nullptr)
            *sizeIn = size;
        uint8_t* buffer = random.OneIn(4) ? nullptr : memory[1].Place<uint8_t>(size, 0xAB);
        Call(Format("%s.GetPrivateData(%s, %s, %s%lu)", name.c_str(), guidText.c_str(), buffer ? "buffer" : "null",
                    sizeIn ? "&" : "null/", size),
             [&] { return surface->GetPrivateData(tag, buffer, sizeIn); });
        break;
    }
    case 6:
        Call(name + ".FreePrivateData(" + guidText + ")", [&] { return surface->FreePrivateData(tag); });
        break;
    case 7: {
        DWORD* value = random.OneIn(3) ? nullptr : memory[0].Place<DWORD>(1, 0xAB);
        Call(name + ".GetUniquenessValue(" + (value ? "&value" : "null") + ")",
             [&] { return surface->GetUniquenessValue(value); });
        break;
    }
    default:
        Call(name + ".ChangeUniquenessValue()", [&] { return surface->ChangeUniquenessValue(); });
        break;
    }
}

// ---------------------------------------------------------------------------
// Hostile values of legal types.

DWORD Sequence::Flags(const DWORD* named, size_t count)
{
    if (random.OneIn(25))
        return random.Bits();
    DWORD flags = 0;
    for (uint32_t bits = random.Below(3); bits > 0; --bits)
        flags |= named[random.Below(uint32_t(count))];
    if (random.OneIn(10))
        flags |= 1u << random.Below(32);
    return flags;
}

// Mostly small; now and then large; rarely what no memory holds.
DWORD Sequence::Size()
{
    const uint32_t choice = random.Below(40);
    if (choice == 0)
        return 0;
    if (choice == 1)
        return 1;
    if (choice == 2) {
        const DWORD huge[] = {0x80000000u, 0xFFFFFFFFu, 0xC0000000u};
        return huge[random.Below(3)];
    }
    if (choice < 6)
        return random.Between(65, 700);
    return random.Between(1, 64);
}

LONG Sequence::Coordinate(uint32_t extent)
{
    const LONG edge = LONG(std::min<uint32_t>(extent, INT32_MAX));
    switch (random.Below(12)) {
    case 0:
        return 0;
    case 1:
        return edge;
    case 2:
        return edge - 1;
    case 3:
        return edge + 1;
    case 4:
        return -1;
    case 5:
        return -LONG(random.Between(2, 5000));
    case 6:
        return edge + LONG(random.Between(2, 5000));
    case 7:
        return INT32_MIN;
    case 8:
        return INT32_MAX;
    case 9:
        return LONG(random.Bits());
    default:
        return LONG(random.Below(uint32_t(edge) + 1));
    }
}

// Inside, whole, empty, reversed, touching or crossing the edges, far outside.
Sequence::Arg<RECT> Sequence::Rect(int slot, const Object* surface)
{
    const uint32_t width = surface != nullptr ? surface->width : 64;
    const uint32_t height = surface != nullptr ? surface->height : 64;
    const uint32_t choice = random.Below(20);
    if (choice < 2)
        return {nullptr, "null"};
    RECT* rect = memory[slot].Place<RECT>();
    if (choice < 4) {
        *rect = {0, 0, LONG(width), LONG(height)};
    } else if (choice < 16) {
        const LONG left = LONG(random.Below(width + 1));
        const LONG top = LONG(random.Below(height + 1));
        *rect = {left, top, LONG(random.Between(uint32_t(left), width)), LONG(random.Between(uint32_t(top), height))};
        if (choice == 15)
            std::swap(rect->left, rect->right);
    } else {
        *rect = {Coordinate(width), Coordinate(height), Coordinate(width), Coordinate(height)};
    }
    return {rect, RectText(rect)};
}

// A real DDBLTFX: every number random, every pointer it could hold null.
Sequence::Arg<DDBLTFX> Sequence::Effects(int slot)
{
    DDBLTFX* effects = memory[slot].Place<DDBLTFX>(1, 0);
    effects->dwSize = random.OneIn(8) ? (random.OneIn(2) ? 0 : random.Bits()) : sizeof *effects;
    effects->dwDDFX = Flags(mirrorFlags);
    effects->dwROP = random.OneIn(2) ? SRCCOPY : random.Bits();
    effects->dwRotationAngle = random.OneIn(4) ? random.Bits() : 0;
    effects->dwFillColor = random.OneIn(2) ? random.Below(256) : random.Bits();
    const auto key = [this](DDCOLORKEY& colourKey) {
        colourKey.dwColorSpaceLowValue = random.OneIn(2) ? random.Below(256) : random.Bits();
        colourKey.dwColorSpaceHighValue = random.OneIn(2) ? colourKey.dwColorSpaceLowValue : random.Bits();
    };
    key(effects->ddckDestColorkey);
    key(effects->ddckSrcColorkey);
    return {effects, Format("{size %lu, fx 0x%08lX, fill 0x%08lX, src key 0x%08lX}", effects->dwSize, effects->dwDDFX,
                            effects->dwFillColor, effects->ddckSrcColorkey.dwColorSpaceLowValue)};
}

Sequence::Arg<DDCOLORKEY> Sequence::ColourKey(int slot)
{
    DDCOLORKEY* key = memory[slot].Place<DDCOLORKEY>();
    key->dwColorSpaceLowValue = random.OneIn(2) ? random.Below(256) : random.Bits();
    key->dwColorSpaceHighValue = random.OneIn(2) ? key->dwColorSpaceLowValue : random.Bits();
    return {key, Format("{0x%08lX, 0x%08lX}", key->dwColorSpaceLowValue, key->dwColorSpaceHighValue)};
}

Sequence::Arg<PALETTEENTRY> Sequence::Entries(int slot, DWORD count)
{
    PALETTEENTRY* entries = memory[slot].Place<PALETTEENTRY>(count);
    for (DWORD index = 0; index < count; ++index) {
        const uint32_t bits = random.Bits();
        std::memcpy(&entries[index], &bits, sizeof entries[index]);
    }
    return {entries, Format("%lu entries", count)};
}

GUID Sequence::Guid(std::string& text)
{
    GUID made;
    struct Named {
        const GUID* guid;
        const char* name;
    };
    static const Named named[] = {
        {&IID_IDirectDraw, "IID_IDirectDraw"},
        {&IID_IDirectDraw2, "IID_IDirectDraw2"},
        {&IID_IDirectDraw4, "IID_IDirectDraw4"},
        {&IID_IDirectDraw7, "IID_IDirectDraw7"},
        {&IID_IUnknown, "IID_IUnknown"},
        {&IID_IDirectDrawSurface, "IID_IDirectDrawSurface"},
        {&IID_IDirectDrawSurface4, "IID_IDirectDrawSurface4"},
        {&IID_IDirectDrawPalette, "IID_IDirectDrawPalette"},
        {&IID_IDirectDrawClipper, "IID_IDirectDrawClipper"},
        {&CLSID_DirectDraw, "CLSID_DirectDraw"},
    };
    const uint32_t choice = random.Below(std::size(named) + 1);
    if (choice < std::size(named)) {
        text = named[choice].name;
        return *named[choice].guid;
    }
    const uint64_t high = random.Bits64();
    const uint64_t low = random.Bits64();
    std::memcpy(&made, &high, sizeof high);
    std::memcpy(reinterpret_cast<uint8_t*>(&made) + sizeof high, &low, sizeof low);
    text = Format("{%08lX-...}", made.Data1);
    return made;
}

// Null, the surface itself, another of its class, one of the other class, a
// palette: all live objects, some of the wrong kind.
template <class S>
Sequence::Arg<S> Sequence::SurfaceArgument(const Object& self)
{
    constexpr Kind own = SurfaceTypes<S>::kind;
    Object* chosen = nullptr;
    switch (random.Below(10)) {
    case 0:
    case 1:
        return {nullptr, "null"};
    case 2:
        chosen = const_cast<Object*>(&self);
        break;
    case 7:
        chosen = Pick(own == Kind::Surface ? IsSurface4 : IsClassic);
        break;
    case 8:
        chosen = Pick(IsPalette);
        break;
    case 3:
    case 4:
    case 5: {
        // Mostly one of the same depth, which a copy can take.
        chosen = Pick([&self](const Object& o) { return o.mine > 0 && o.kind == self.kind && o.depth == self.depth; });
        break;
    }
    default:
        chosen = Pick(own == Kind::Surface ? IsClassic : IsSurface4);
        break;
    }
    if (chosen == nullptr)
        return {nullptr, "null"};
    return {static_cast<S*>(chosen->pointer), Name(chosen->pointer)};
}

// Where a call writes what it hands out, or null.
template <class T>
Sequence::Arg<T> Sequence::Out(int slot)
{
    if (random.OneIn(15))
        return {nullptr, "null"};
    return {memory[slot].Place<T>(1, 0), "&out"};
}

void Sequence::FillPixelFormat(DDPIXELFORMAT& format, std::string& text)
{
    const DWORD depths[] = {8, 8, 16, 16, 24, 0, 1, 4, 15, 32, 0x10008, 0xFFFFFFFFu};
    const DWORD depth = random.OneIn(4) ? depths[random.Below(std::size(depths))] : 8 * random.Between(1, 3);
    format.dwSize = random.OneIn(8) ? random.Bits() : sizeof format;
    format.dwFlags = depth == 8 ? DDPF_RGB | DDPF_PALETTEINDEXED8 : DDPF_RGB;
    if (random.OneIn(8))
        format.dwFlags = Flags(capsFlags);
    format.dwRGBBitCount = depth;
    if (depth == 16) {
        const bool rgb565 = !random.OneIn(4);
        format.dwRBitMask = rgb565 ? 0xF800 : 0x7C00;
        format.dwGBitMask = rgb565 ? 0x07E0 : 0x03E0;
        format.dwBBitMask = 0x001F;
    } else if (depth == 24 || depth == 32) {
        format.dwRBitMask = 0xFF0000;
        format.dwGBitMask = 0x00FF00;
        format.dwBBitMask = 0x0000FF;
    }
    if (random.OneIn(10)) {
        format.dwRBitMask = random.Bits();
        format.dwGBitMask = random.Bits();
        format.dwBBitMask = random.Bits();
    }
    text = Format(" format {size %lu, flags 0x%08lX, %lu bits, masks 0x%lX 0x%lX 0x%lX}", format.dwSize, format.dwFlags,
                  format.dwRGBBitCount, format.dwRBitMask, format.dwGBitMask, format.dwBBitMask);
}

template <class Desc>
std::string Sequence::FillSurfaceRequest(Desc& desc)
{
    std::memset(&desc, 0, sizeof desc);
    desc.dwSize = random.OneIn(10) ? (random.OneIn(2) ? 0 : random.Bits()) : sizeof desc;
    const bool primary = random.Below(10) < 3;
    if (primary) {
        desc.dwFlags = DDSD_CAPS;
        desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
        if (const DWORD backBuffers = random.Below(3)) {
            desc.dwFlags |= DDSD_BACKBUFFERCOUNT;
            desc.dwBackBufferCount = backBuffers;
            desc.ddsCaps.dwCaps |= random.OneIn(5) ? 0 : DDSCAPS_FLIP | DDSCAPS_COMPLEX;
        }
    } else {
        desc.dwFlags = DDSD_WIDTH | DDSD_HEIGHT | (random.OneIn(5) ? 0 : DDSD_CAPS);
        if (random.OneIn(20))
            desc.dwFlags &= ~DWORD(random.OneIn(2) ? DDSD_WIDTH : DDSD_HEIGHT);
        desc.ddsCaps.dwCaps = random.OneIn(4) ? Flags(capsFlags) : DDSCAPS_OFFSCREENPLAIN;
        desc.dwWidth = Size();
        desc.dwHeight = Size();
        if (random.OneIn(12)) {
            desc.dwFlags |= DDSD_BACKBUFFERCOUNT;
            desc.dwBackBufferCount = random.Below(3);
        }
    }
    std::string format;
    if (random.Below(10) < (primary ? 1u : 6u)) {
        desc.dwFlags |= DDSD_PIXELFORMAT;
        FillPixelFormat(desc.ddpfPixelFormat, format);
    }
    const DWORD keyFlagsInDesc[] = {DDSD_CKSRCBLT, DDSD_CKDESTBLT, DDSD_CKSRCOVERLAY, DDSD_CKDESTOVERLAY};
    DDCOLORKEY* keys[] = {&desc.ddckCKSrcBlt, &desc.ddckCKDestBlt, &desc.ddckCKSrcOverlay, &desc.ddckCKDestOverlay};
    for (size_t index = 0; index < std::size(keys); ++index) {
        if (random.OneIn(index == 0 ? 3 : 8)) {
            desc.dwFlags |= keyFlagsInDesc[index];
            keys[index]->dwColorSpaceLowValue = random.OneIn(2) ? random.Below(256) : random.Bits();
            keys[index]->dwColorSpaceHighValue = keys[index]->dwColorSpaceLowValue;
        }
    }
    if (random.OneIn(15)) {
        const DWORD odd[] = {DDSD_LINEARSIZE,  DDSD_ZBUFFERBITDEPTH, DDSD_MIPMAPCOUNT,
                             DDSD_REFRESHRATE, DDSD_ALPHABITDEPTH,   DDSD_PITCH};
        desc.dwFlags |= random.OneIn(4) ? random.Bits() & ~DWORD(DDSD_LPSURFACE) : odd[random.Below(std::size(odd))];
    }
    return Format("{size %lu, flags 0x%08lX, caps 0x%08lX, %lux%lu, %lu back buffers, src key 0x%08lX%s}", desc.dwSize,
                  desc.dwFlags, desc.ddsCaps.dwCaps, desc.dwWidth, desc.dwHeight, desc.dwBackBufferCount,
                  desc.ddckCKSrcBlt.dwColorSpaceLowValue, format.c_str());
}
