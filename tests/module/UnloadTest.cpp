#include <gtest/gtest.h>

#include <windows.h>
#include <ddraw.h>

#include "ddraw/DirectDraw.h"
#include "module/DisplayState.h"
#include "module/Module.h"
#include "surface/DirectDrawPalette.h"

namespace {

DirectDrawPalette* NewPalette(IDirectDraw* directDraw)
{
    PALETTEENTRY colours[256] = {};
    LPDIRECTDRAWPALETTE palette = nullptr;
    EXPECT_EQ(DD_OK, directDraw->CreatePalette(DDPCAPS_8BIT, colours, &palette, nullptr));
    return static_cast<DirectDrawPalette*>(palette);
}

}

TEST(Module, AttachChoosesTheFrameClock)
{
    EXPECT_EQ(GetModuleHandleW(nullptr), displayState.moduleHandle);
    LARGE_INTEGER frequency;
    ASSERT_TRUE(QueryPerformanceFrequency(&frequency));
    EXPECT_EQ(1u, displayState.useHighResTimer);
    EXPECT_EQ(frequency.QuadPart, displayState.timerFrequency);
    EXPECT_GT(displayState.lastFrameTime, 0);
}

// The walk gives each registered object one Release: objects the game holds
// twice survive it, objects it holds once are destroyed, and an object that
// only another object holds is left for its holder to let go.
TEST(Module, DetachReleasesWhatTheGameStillHolds)
{
    LPDIRECTDRAW directDraw = nullptr;
    ASSERT_EQ(DD_OK, DirectDrawCreate(nullptr, &directDraw, nullptr));
    void* out = nullptr;
    ASSERT_EQ(DD_OK, directDraw->QueryInterface(IID_IDirectDraw2, &out));
    IDirectDraw2* directDraw2 = static_cast<IDirectDraw2*>(out);
    directDraw2->AddRef();

    DirectDrawPalette* heldOnlyByHolder = NewPalette(directDraw);
    heldOnlyByHolder->TakeHeldReference();
    heldOnlyByHolder->Release();
    DirectDrawPalette* heldByBoth = NewPalette(directDraw);
    heldByBoth->TakeHeldReference();
    const uint32_t heldOnlyPosition = heldOnlyByHolder->RegistryPosition();

    OnProcessDetach();

    EXPECT_EQ(0u, objectRegistry<DirectDraw>.LiveCount());
    EXPECT_EQ(1u, objectRegistry<DirectDraw2>.LiveCount());
    EXPECT_EQ(1, static_cast<DirectDraw2*>(directDraw2)->ReferenceCount());
    EXPECT_EQ(heldOnlyByHolder, objectRegistry<DirectDrawPalette>.At(heldOnlyPosition));
    EXPECT_EQ(1, heldOnlyByHolder->ReferenceCount());
    EXPECT_EQ(1, heldByBoth->ReferenceCount());

    // The holders let go later, as a surface does when it is destroyed.
    heldOnlyByHolder->DropHeldReference();
    heldByBoth->DropHeldReference();
    directDraw2->Release();
    EXPECT_EQ(0u, objectRegistry<DirectDrawPalette>.LiveCount());
    EXPECT_EQ(0u, objectRegistry<DirectDraw2>.LiveCount());
}
