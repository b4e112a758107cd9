#pragma once

#include <ddraw.h>
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "pixels/support/RandomCases.h"
#include "sequence/Harness.h"

// What a game could hold of the module: the objects it was handed.
enum class Kind { DirectDraw, DirectDraw2, DirectDraw4, Palette, Surface, Surface4, Other };

// One object the module handed out, with the references this test holds on
// it and the ones the module's own objects hold (a surface on its palette, a
// flipping surface on its back buffer), so that every AddRef and Release can
// be told what it must answer. `Other` is an object of no class this test
// knows; only its own references are counted.
struct Object {
    Kind kind;
    void* pointer;
    uint32_t serial;
    LONG mine = 1;
    Object* palette = nullptr;
    Object* front = nullptr;
    bool dead = false;
    // Surfaces, as GetSurfaceDesc described them when first seen.
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t depth = 0;
    LONG pitch = 0;
};

// A game that makes random calls of legal types with hostile values, loading
// and unloading the module now and then. Every call must answer a plain
// result and leave the heaps intact; every count must be the one the
// references taken and given back make; unloading, and releasing everything
// at the end, must leave the process with the window-system objects it had
// before the first load. The first fault stops the run with the call that
// made it and how to replay it.
class Sequence {
public:
    Sequence(uint64_t seed, bool verbose);
    ~Sequence();
    Sequence(const Sequence&) = delete;
    Sequence& operator=(const Sequence&) = delete;

    void Run(uint32_t calls);
    uint32_t CallsMade() const { return callNumber; }
    uint32_t Loads() const { return loads; }
    size_t MostObjectsAlive() const { return mostAlive; }
    std::string SlowestCall() const { return Format("%.1f ms in %s", slowestMs, slowest.c_str()); }

private:
    template <class T>
    struct Arg {
        T* value;
        std::string text;
    };

    // The harness around every call.
    template <class Invoke>
    HRESULT Call(const std::string& text, Invoke invoke);
    ULONG CountCall(const std::string& text, IUnknown* object, bool addRef, LONG expected);
    void Begin(const std::string& text);
    void End(const std::string& text, const std::string& result, std::string problem);
    void Fail(const std::string& what);
    void Pump();

    // The model of what is alive.
    LONG Held(const Object& object) const;
    LONG Total(const Object& object) const { return object.mine + Held(object); }
    Object* Find(const void* pointer) const;
    Object* Adopt(void* pointer, Kind kind, Object* front, const char* how);
    void Settle();
    template <class Wanted>
    Object* Pick(Wanted wanted, Object* preferred = nullptr);
    std::string Name(const void* pointer) const;
    void Release(Object& object);

    // Loading, unloading, the end.
    void Load();
    void Unload();
    void Finish();
    void RaiseCap();

    // Choices.
    void Step();
    void CallExport();
    template <class D>
    void CallDirectDraw(Object& object);
    template <class D>
    void CreateSurface(Object& owner);
    template <class D>
    void SetDisplayMode(D* directDraw, const std::string& name);
    template <class D>
    void CreatePalette(D* directDraw, const std::string& name);
    void CallPalette(Object& palette);
    template <class S>
    void CallSurface(Object& surface);
    template <class S>
    void Learn(Object& surface);
    template <class S>
    void Lock(Object& surface);
    template <class S>
    void GetDC(Object& surface);
    template <class S>
    void Blt(Object& surface);
    template <class S>
    void CallFixedSurfaceSlot(Object& surface);
    void CallSurface4Slot(IDirectDrawSurface4* surface, const std::string& name);

    // Hostile values of legal types.
    DWORD Flags(const DWORD* named, size_t count);
    template <size_t N>
    DWORD Flags(const DWORD (&named)[N])
    {
        return Flags(named, N);
    }
    DWORD Size();
    LONG Coordinate(uint32_t extent);
    Arg<RECT> Rect(int slot, const Object* surface);
    Arg<DDBLTFX> Effects(int slot);
    Arg<DDCOLORKEY> ColourKey(int slot);
    Arg<PALETTEENTRY> Entries(int slot, DWORD count);
    GUID Guid(std::string& text);
    template <class S>
    Arg<S> SurfaceArgument(const Object& self);
    template <class T>
    Arg<T> Out(int slot);
    void FillPixelFormat(DDPIXELFORMAT& format, std::string& text);
    template <class Desc>
    std::string FillSurfaceRequest(Desc& desc);

    CaseRandom random;
    uint64_t seed;
    bool verbose;
    uint32_t callNumber = 0;
    uint32_t loads = 0;
    size_t mostAlive = 0;
    bool failed = false;
    LARGE_INTEGER callStart = {};
    double slowestMs = 0.0;
    std::string slowest;

    HWND window = nullptr;
    HDC ownDC = nullptr;
    HANDLE event = nullptr;
    GuiCounts baseline = {};
    HMODULE module = nullptr;
    bool windowGiven = false;
    bool modeSet = false;
    bool capRaised = false;

    std::vector<std::unique_ptr<Object>> objects;
    uint32_t nextSerial = 1;
    Object* lastSurface = nullptr;
    HDC handedDC[2] = {};
    void* lastLockPointer = nullptr;
    EdgeMemory memory[5];
};
