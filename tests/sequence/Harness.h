#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

// What the command line chose, read by main after GoogleTest took its own
// options.
struct SequenceOptions {
    uint64_t seed = 1;
    uint32_t calls = 5000;
    bool verbose = false;
};
SequenceOptions& Options();

// The ddraw.dll beside this program, where a game looks for it first.
std::wstring ModuleBesideProgram();

// A printf-style std::string.
std::string Format(const char* format, ...) __attribute__((format(__MINGW_PRINTF_FORMAT, 1, 2)));

// Whether a call answered a plain result: success, a DirectDraw error that
// ddraw.h defines, or one of the COM errors a COM method may give.
bool IsKnownResult(HRESULT result);

// Every heap of the process, and the C runtime's, pass their own checks.
bool HeapsIntact();

// What the process holds of the window system. GetGuiResources is asked, and
// the handle tables are also walked, since Wine answers it with 0.
struct GuiCounts {
    DWORD gdiObjects;
    DWORD userObjects;
    uint32_t gdiHandles;
    uint32_t windows;
    bool operator==(const GuiCounts&) const = default;
};
GuiCounts CountGuiObjects();
std::string Describe(const GuiCounts& counts);

// The call in progress, named by the crash report if the process faults in it.
void SetCallInProgress(const std::string& text);
void InstallCrashReport();

// Memory that ends where an inaccessible page begins: whatever a call is
// handed is placed against that page, so reading or writing past the bytes it
// was given faults inside the call.
class EdgeMemory {
public:
    static constexpr size_t capacity = 16384;

    EdgeMemory();
    ~EdgeMemory();
    EdgeMemory(const EdgeMemory&) = delete;
    EdgeMemory& operator=(const EdgeMemory&) = delete;

    // `count` objects of T ending at the guard page, each byte `fill`.
    template <class T>
    T* Place(size_t count = 1, uint8_t fill = 0)
    {
        uint8_t* start = end_ - sizeof(T) * count;
        for (uint8_t* byte = start; byte < end_; ++byte)
            *byte = fill;
        return reinterpret_cast<T*>(start);
    }

private:
    uint8_t* base_ = nullptr;
    uint8_t* end_ = nullptr;
};
