#include "Resources.h"

// The kernel32 entry point, so that the game needs no psapi.dll.
#define PSAPI_VERSION 2
#include <windows.h>
#include <psapi.h>
#include <winternl.h>

namespace {

// An entry of the process's GDI handle table as Wine lays it out for both
// architectures; a type of 0 marks a free entry.
struct GdiHandleEntry {
    uint64_t object;
    uint32_t owner;
    uint16_t unique;
    uint8_t type;
    uint8_t flags;
    uint64_t userPointer;
};
static_assert(sizeof(GdiHandleEntry) == 24);

constexpr uint32_t gdiHandleEntries = 0x10000;

// Wine answers GetGuiResources with 0; its handle table, which the process
// environment block points to, holds only this process's objects.
uint32_t CountGdiHandleTable()
{
// GCC takes the thread block's segment read for an access past an empty array.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"
    const PEB* environment = NtCurrentTeb()->ProcessEnvironmentBlock;
#pragma GCC diagnostic pop
    const size_t tableOffset = sizeof(void*) == 8 ? 0xF8 : 0x94;
    const auto* table = *reinterpret_cast<const GdiHandleEntry* const*>(
        reinterpret_cast<const uint8_t*>(environment) + tableOffset);
    if (table == nullptr)
        return 0;
    uint32_t count = 0;
    for (uint32_t index = 0; index < gdiHandleEntries; ++index)
        count += table[index].type != 0;
    return count;
}

uint32_t GdiObjects()
{
    const DWORD counted = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    return counted != 0 ? uint32_t(counted) : CountGdiHandleTable();
}

}

// The commit charge is the process's private memory; Wine leaves
// PrivateUsage at 0 and fills only this. It counts pages once touched, so the
// handle table is read first: its first reading would count as growth.
ResourceSample SampleResources(uint32_t frame)
{
    const uint32_t gdiObjects = GdiObjects();
    PROCESS_MEMORY_COUNTERS memory = {};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
    return {frame, uint64_t(memory.PagefileUsage), gdiObjects,
            uint32_t(GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS))};
}
