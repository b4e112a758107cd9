#include <gtest/gtest.h>

#include <windows.h>
#include <ddraw.h>

#include "ddraw/DirectDraw.h"
#include "surface/DirectDrawPalette.h"

namespace {

class PaletteColours : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(DD_OK, DirectDrawCreate(nullptr, &directDraw, nullptr)); }
    void TearDown() override { directDraw->Release(); }

    DirectDrawPalette* Create(DWORD flags, PALETTEENTRY* table)
    {
        LPDIRECTDRAWPALETTE palette = nullptr;
        EXPECT_EQ(DD_OK, directDraw->CreatePalette(flags, table, &palette, nullptr));
        return static_cast<DirectDrawPalette*>(palette);
    }

    LPDIRECTDRAW directDraw = nullptr;
};

}

TEST_F(PaletteColours, AScreenColourIsRedGreenBlueWithoutTheFlags)
{
    PALETTEENTRY table[16] = {};
    table[0] = {0x12, 0x34, 0x56, 0x78};
    table[15] = {0xFF, 0xFE, 0xFD, 0xFF};
    DirectDrawPalette* palette = Create(DDPCAPS_4BIT, table);
    const uint32_t* colours = palette->ScreenColours();
    EXPECT_EQ(0x00123456u, colours[0]);
    EXPECT_EQ(0x00FFFEFDu, colours[15]);
    for (int index = 16; index < 256; ++index)
        ASSERT_EQ(0u, colours[index]) << index;
    palette->Release();
}

TEST_F(PaletteColours, SetEntriesRecomputesExactlyTheColoursWritten)
{
    PALETTEENTRY table[256];
    for (int index = 0; index < 256; ++index)
        table[index] = {BYTE(index), BYTE(index), BYTE(index), 0};
    DirectDrawPalette* palette = Create(DDPCAPS_8BIT, table);
    PALETTEENTRY changes[2] = {{1, 2, 3, 4}, {0xA0, 0xB0, 0xC0, 0xD0}};
    ASSERT_EQ(DD_OK, palette->SetEntries(0, 10, 2, changes));
    const uint32_t* colours = palette->ScreenColours();
    for (uint32_t index = 0; index < 256; ++index) {
        uint32_t expected = index * 0x010101u;
        if (index == 10)
            expected = 0x00010203u;
        if (index == 11)
            expected = 0x00A0B0C0u;
        ASSERT_EQ(expected, colours[index]) << index;
    }
    palette->Release();
}
