#include <gtest/gtest.h>

#include <windows.h>
#include <ddraw.h>

#include <cstring>
#include <vector>

#include "blackbox/LoadedModule.h"

namespace {

constexpr HRESULT unsupported = static_cast<HRESULT>(0x80004001);

PALETTEENTRY Entry(BYTE red, BYTE green, BYTE blue, BYTE flags)
{
    return PALETTEENTRY{red, green, blue, flags};
}

bool SameEntry(const PALETTEENTRY& a, const PALETTEENTRY& b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

class Palette : public testing::Test {
protected:
    void SetUp() override
    {
        directDraw = CreateDirectDraw();
        ASSERT_TRUE(directDraw);
        for (int index = 0; index < 256; ++index)
            colours[index] = Entry(BYTE(index), BYTE(255 - index), BYTE(index * 3), BYTE(index ^ 0x5A));
    }

    ComRef<IDirectDrawPalette> Create(DWORD flags)
    {
        LPDIRECTDRAWPALETTE palette = nullptr;
        EXPECT_EQ(DD_OK, directDraw->CreatePalette(flags, colours, &palette, nullptr));
        return ComRef<IDirectDrawPalette>(palette);
    }

    std::vector<PALETTEENTRY> ReadAll(IDirectDrawPalette* palette)
    {
        std::vector<PALETTEENTRY> entries(256, Entry(1, 2, 3, 4));
        EXPECT_EQ(DD_OK, palette->GetEntries(0, 0, 256, entries.data()));
        return entries;
    }

    ComRef<IDirectDraw> directDraw;
    PALETTEENTRY colours[256];
};

}

TEST_F(Palette, CreationReadsAsManyEntriesAsTheFirstSizeFlagSays)
{
    struct Case {
        DWORD flags;
        int read;
    };
    for (Case c : {Case{DDPCAPS_8BIT | DDPCAPS_ALLOW256, 256}, Case{DDPCAPS_8BIT | DDPCAPS_4BIT, 256},
                   Case{DDPCAPS_4BIT, 16}, Case{DDPCAPS_2BIT, 4}, Case{DDPCAPS_1BIT, 2}, Case{DDPCAPS_INITIALIZE, 0}}) {
        ComRef<IDirectDrawPalette> palette = Create(c.flags);
        ASSERT_TRUE(palette);
        DWORD caps = 0;
        EXPECT_EQ(DD_OK, palette->GetCaps(&caps));
        EXPECT_EQ(c.flags, caps);
        const std::vector<PALETTEENTRY> entries = ReadAll(palette.get());
        for (int index = 0; index < 256; ++index) {
            const PALETTEENTRY expected = index < c.read ? colours[index] : Entry(0, 0, 0, 0);
            EXPECT_TRUE(SameEntry(expected, entries[index])) << "flags " << c.flags << " entry " << index;
        }
    }
}

TEST_F(Palette, SetEntriesChangesOnlyTheEntriesNamedAndKeepsTheirFlags)
{
    ComRef<IDirectDrawPalette> palette = Create(DDPCAPS_4BIT);
    PALETTEENTRY changes[2] = {Entry(0x12, 0x34, 0x56, 0x78), Entry(0xFF, 0, 0x80, 0x01)};
    EXPECT_EQ(DD_OK, palette->SetEntries(1, 10, 2, changes));
    EXPECT_EQ(DD_OK, palette->SetEntries(0, 255, 1, changes));
    const std::vector<PALETTEENTRY> entries = ReadAll(palette.get());
    for (int index = 0; index < 256; ++index) {
        PALETTEENTRY expected = index < 16 ? colours[index] : Entry(0, 0, 0, 0);
        if (index == 10 || index == 255)
            expected = changes[0];
        if (index == 11)
            expected = changes[1];
        EXPECT_TRUE(SameEntry(expected, entries[index])) << "entry " << index;
    }

    PALETTEENTRY two[2] = {};
    EXPECT_EQ(DD_OK, palette->GetEntries(0, 10, 2, two));
    EXPECT_TRUE(SameEntry(changes[0], two[0]));
    EXPECT_TRUE(SameEntry(changes[1], two[1]));
}

TEST_F(Palette, GetEntriesWithFlagsIsUnsupportedAndWritesNothing)
{
    ComRef<IDirectDrawPalette> palette = Create(DDPCAPS_8BIT);
    PALETTEENTRY buffer[4];
    std::memset(buffer, 0xCD, sizeof buffer);
    EXPECT_EQ(unsupported, palette->GetEntries(1, 0, 4, buffer));
    for (const PALETTEENTRY& entry : buffer)
        EXPECT_TRUE(SameEntry(Entry(0xCD, 0xCD, 0xCD, 0xCD), entry));
}

// Ranges past entry 255 and null tables are refused before anything is read
// or written; a count of 0 is always allowed.
TEST_F(Palette, RangesPastTheLastEntryAndNullPointersAreRefused)
{
    ComRef<IDirectDrawPalette> palette = Create(DDPCAPS_8BIT);
    PALETTEENTRY buffer[300];
    std::memset(buffer, 0xCD, sizeof buffer);
    EXPECT_EQ(DDERR_INVALIDPARAMS, palette->GetEntries(0, 250, 7, buffer));
    EXPECT_EQ(DDERR_INVALIDPARAMS, palette->GetEntries(0, 256, 1, buffer));
    EXPECT_EQ(DDERR_INVALIDPARAMS, palette->GetEntries(0, 0, 257, buffer));
    EXPECT_EQ(DDERR_INVALIDPARAMS, palette->GetEntries(0, 1, 0xFFFFFFFF, buffer));
    EXPECT_EQ(DDERR_INVALIDPARAMS, palette->GetEntries(0, 0xFFFFFFFF, 2, buffer));
    for (const PALETTEENTRY& entry : buffer)
        ASSERT_TRUE(SameEntry(Entry(0xCD, 0xCD, 0xCD, 0xCD), entry));

    EXPECT_EQ(DDERR_INVALIDPARAMS, palette->SetEntries(0, 250, 7, buffer));
    EXPECT_EQ(DDERR_INVALIDPARAMS, palette->SetEntries(0, 0xFFFFFFFF, 2, buffer));
    EXPECT_EQ(DDERR_INVALIDPARAMS, palette->SetEntries(0, 0, 257, buffer));
    const std::vector<PALETTEENTRY> entries = ReadAll(palette.get());
    for (int index = 0; index < 256; ++index)
        ASSERT_TRUE(SameEntry(colours[index], entries[index])) << "entry " << index;

    EXPECT_EQ(DDERR_INVALIDPARAMS, palette->GetEntries(0, 0, 1, nullptr));
    EXPECT_EQ(DDERR_INVALIDPARAMS, palette->SetEntries(0, 0, 1, nullptr));
    EXPECT_EQ(DDERR_INVALIDPARAMS, palette->GetCaps(nullptr));
    EXPECT_EQ(DD_OK, palette->SetEntries(0, 255, 1, buffer));
    // A count of 0 touches nothing, so it needs no table and no place.
    EXPECT_EQ(DD_OK, palette->GetEntries(0, 256, 0, buffer));
    EXPECT_EQ(DD_OK, palette->GetEntries(0, 0, 0, nullptr));
    EXPECT_EQ(DD_OK, palette->SetEntries(0, 0, 0, nullptr));
    EXPECT_EQ(DD_OK, palette->SetEntries(0, 0xFFFFFFFF, 0, nullptr));
}

TEST_F(Palette, FixedAnswers)
{
    ComRef<IDirectDrawPalette> palette = Create(DDPCAPS_8BIT);
    for (const IID* iid : {&IID_IDirectDrawPalette, &IID_IUnknown}) {
        void* out = reinterpret_cast<void*>(1);
        EXPECT_EQ(unsupported, palette->QueryInterface(*iid, &out));
        EXPECT_EQ(nullptr, out);
    }
    EXPECT_EQ(DDERR_INVALIDPARAMS, palette->QueryInterface(IID_IUnknown, nullptr));

    PALETTEENTRY other[256] = {};
    EXPECT_EQ(DDERR_ALREADYINITIALIZED, palette->Initialize(directDraw.get(), DDPCAPS_8BIT, other));
    const std::vector<PALETTEENTRY> entries = ReadAll(palette.get());
    EXPECT_TRUE(SameEntry(colours[7], entries[7]));
    EXPECT_EQ(2u, palette->AddRef());
    EXPECT_EQ(1u, palette->Release());
}

TEST_F(Palette, SixteenPalettesAtMost)
{
    std::vector<ComRef<IDirectDrawPalette>> palettes;
    for (int index = 0; index < 16; ++index) {
        palettes.push_back(Create(DDPCAPS_8BIT));
        ASSERT_TRUE(palettes.back());
    }
    LPDIRECTDRAWPALETTE refused = reinterpret_cast<LPDIRECTDRAWPALETTE>(1);
    EXPECT_EQ(DDERR_OUTOFMEMORY, directDraw->CreatePalette(DDPCAPS_8BIT, colours, &refused, nullptr));
    EXPECT_EQ(nullptr, refused);
    palettes.erase(palettes.begin() + 3);
    EXPECT_TRUE(Create(DDPCAPS_8BIT));
}
