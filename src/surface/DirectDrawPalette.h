#pragma once

#include <windows.h>
#include <ddraw.h>

#include <cstdint>

#include "module/ComObject.h"

// Up to 256 colours exactly as the game gave them, and beside each its screen
// colour, 0x00RRGGBB: the layout of a 32-bit DIB pixel, so that presenting an
// 8-bit frame is one table lookup per pixel.
class DirectDrawPalette final : public ComObject<DirectDrawPalette, IDirectDrawPalette> {
public:
    static constexpr uint32_t entryCount = 256;

    // Makes a palette for CreatePalette; `flags` decide how many entries of
    // `table` are read.
    static HRESULT Create(DWORD flags, const PALETTEENTRY* table, LPDIRECTDRAWPALETTE* out);

    static uint32_t EntriesReadAtCreation(DWORD flags);
    static uint32_t ScreenColour(const PALETTEENTRY& entry);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    HRESULT STDMETHODCALLTYPE GetCaps(LPDWORD caps) override;
    HRESULT STDMETHODCALLTYPE GetEntries(DWORD flags, DWORD base, DWORD count, LPPALETTEENTRY entries) override;
    HRESULT STDMETHODCALLTYPE Initialize(LPDIRECTDRAW directDraw, DWORD flags, LPPALETTEENTRY table) override;
    HRESULT STDMETHODCALLTYPE SetEntries(DWORD flags, DWORD start, DWORD count, LPPALETTEENTRY entries) override;

    const uint32_t* ScreenColours() const { return screenColours; }

private:
    DirectDrawPalette(DWORD flags, const PALETTEENTRY* table);
    template <class T, class... Args>
    friend T* CreateRegistered(Args&&... args);

    PALETTEENTRY entries[entryCount] = {};
    DWORD caps = 0;
    uint32_t screenColours[entryCount] = {};
};
