#include "surface/DirectDrawPalette.h"

#include <cstring>

#include "module/Trace.h"

namespace {

// Entries are read and written only inside the 256 places.
bool RangeFits(DWORD first, DWORD count)
{
    return first <= DirectDrawPalette::entryCount && count <= DirectDrawPalette::entryCount - first;
}

}

uint32_t DirectDrawPalette::EntriesReadAtCreation(DWORD flags)
{
    if (flags & DDPCAPS_8BIT)
        return 256;
    if (flags & DDPCAPS_4BIT)
        return 16;
    if (flags & DDPCAPS_2BIT)
        return 4;
    if (flags & DDPCAPS_1BIT)
        return 2;
    return 0;
}

uint32_t DirectDrawPalette::ScreenColour(const PALETTEENTRY& entry)
{
    return uint32_t{entry.peRed} << 16 | uint32_t{entry.peGreen} << 8 | entry.peBlue;
}

HRESULT DirectDrawPalette::Create(DWORD flags, const PALETTEENTRY* table, LPDIRECTDRAWPALETTE* out)
{
    if (out == nullptr || (table == nullptr && EntriesReadAtCreation(flags) > 0))
        return DDERR_INVALIDPARAMS;
    DirectDrawPalette* palette = CreateRegistered<DirectDrawPalette>(flags, table);
    *out = palette;
    return palette != nullptr ? DD_OK : DDERR_OUTOFMEMORY;
}

DirectDrawPalette::DirectDrawPalette(DWORD flags, const PALETTEENTRY* table) : caps(flags)
{
    const uint32_t count = EntriesReadAtCreation(flags);
    for (uint32_t index = 0; index < count; ++index) {
        entries[index] = table[index];
        screenColours[index] = ScreenColour(table[index]);
    }
}

HRESULT DirectDrawPalette::QueryInterface(REFIID, void** out)
{
    if (out == nullptr)
        return DDERR_INVALIDPARAMS;
    *out = nullptr;
    return DDERR_UNSUPPORTED;
}

HRESULT DirectDrawPalette::GetCaps(LPDWORD out)
{
    if (out == nullptr)
        return DDERR_INVALIDPARAMS;
    *out = caps;
    return DD_OK;
}

HRESULT DirectDrawPalette::GetEntries(DWORD flags, DWORD base, DWORD count, LPPALETTEENTRY out)
{
    TraceCall(L"DirectDrawPalette::GetEntries(dwFlags = 0x%08X, dwBase = %u, dwNumEntries = %u, lpEntries = 0x%08X)",
              flags, base, count, out);
    if (flags != 0)
        return DDERR_UNSUPPORTED;
    // A count of 0 touches nothing, wherever it starts and whatever the table.
    if (count == 0)
        return DD_OK;
    if (out == nullptr || !RangeFits(base, count))
        return DDERR_INVALIDPARAMS;
    std::memcpy(out, entries + base, count * sizeof(PALETTEENTRY));
    return DD_OK;
}

HRESULT DirectDrawPalette::Initialize(LPDIRECTDRAW, DWORD, LPPALETTEENTRY)
{
    return DDERR_ALREADYINITIALIZED;
}

HRESULT DirectDrawPalette::SetEntries(DWORD flags, DWORD start, DWORD count, LPPALETTEENTRY in)
{
    TraceCall(L"DirectDrawPalette::SetEntries(dwFlags = 0x%08X, dwStartingEntry = %u, dwCount = %u, lpEntries = 0x%08X)",
              flags, start, count, in);
    if (count == 0)
        return DD_OK;
    if (in == nullptr || !RangeFits(start, count))
        return DDERR_INVALIDPARAMS;
    for (DWORD index = 0; index < count; ++index) {
        entries[start + index] = in[index];
        screenColours[start + index] = ScreenColour(in[index]);
    }
    return DD_OK;
}
