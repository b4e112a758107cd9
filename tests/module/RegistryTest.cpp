#include <gtest/gtest.h>

#include <windows.h>
#include <ddraw.h>

#include "ddraw/DirectDraw.h"
#include "module/ObjectRegistry.h"

namespace {

LPDIRECTDRAW NewDirectDraw()
{
    LPDIRECTDRAW directDraw = nullptr;
    EXPECT_EQ(DD_OK, DirectDrawCreate(nullptr, &directDraw, nullptr));
    return directDraw;
}

DirectDraw* Registered(LPDIRECTDRAW directDraw)
{
    return static_cast<DirectDraw*>(directDraw);
}

}

TEST(Registry, ObjectsTakeTheLowestFreeSlot)
{
    const uint32_t liveBefore = objectRegistry<DirectDraw>.LiveCount();
    LPDIRECTDRAW first = NewDirectDraw();
    LPDIRECTDRAW middle = NewDirectDraw();
    LPDIRECTDRAW last = NewDirectDraw();
    const uint32_t middlePosition = Registered(middle)->RegistryPosition();
    EXPECT_EQ(Registered(first)->RegistryPosition() + 1, middlePosition);
    EXPECT_EQ(middlePosition + 1, Registered(last)->RegistryPosition());
    EXPECT_EQ(liveBefore + 3, objectRegistry<DirectDraw>.LiveCount());
    EXPECT_EQ(Registered(middle), objectRegistry<DirectDraw>.At(middlePosition));

    middle->Release();
    EXPECT_EQ(nullptr, objectRegistry<DirectDraw>.At(middlePosition));
    EXPECT_EQ(liveBefore + 2, objectRegistry<DirectDraw>.LiveCount());

    LPDIRECTDRAW next = NewDirectDraw();
    EXPECT_EQ(middlePosition, Registered(next)->RegistryPosition());
    for (LPDIRECTDRAW directDraw : {first, next, last})
        directDraw->Release();
    EXPECT_EQ(liveBefore, objectRegistry<DirectDraw>.LiveCount());
}

TEST(Registry, AFullRegistryTakesNothingAndLeavingTwiceCountsOnce)
{
    int objects[3];
    ObjectRegistry<int, 2> registry;
    EXPECT_EQ(1u, registry.Enter(&objects[0]));
    EXPECT_EQ(2u, registry.Enter(&objects[1]));
    EXPECT_EQ(0u, registry.Enter(&objects[2]));
    EXPECT_EQ(2u, registry.LiveCount());

    registry.Leave(1);
    registry.Leave(1);
    registry.Leave(0);
    registry.Leave(3);
    EXPECT_EQ(1u, registry.LiveCount());
    EXPECT_EQ(nullptr, registry.At(1));
    EXPECT_EQ(&objects[1], registry.At(2));
    EXPECT_EQ(nullptr, registry.At(3));
}

TEST(Registry, QueryInterfaceRegistersTheNewObjectInItsOwnClass)
{
    LPDIRECTDRAW directDraw = NewDirectDraw();
    const uint32_t live2 = objectRegistry<DirectDraw2>.LiveCount();
    void* out = nullptr;
    ASSERT_EQ(DD_OK, directDraw->QueryInterface(IID_IDirectDraw2, &out));
    DirectDraw2* directDraw2 = static_cast<DirectDraw2*>(static_cast<IDirectDraw2*>(out));
    EXPECT_EQ(live2 + 1, objectRegistry<DirectDraw2>.LiveCount());
    EXPECT_EQ(directDraw2, objectRegistry<DirectDraw2>.At(directDraw2->RegistryPosition()));
    EXPECT_EQ(0u, directDraw2->Mode().width);
    directDraw2->Release();
    directDraw->Release();
    EXPECT_EQ(live2, objectRegistry<DirectDraw2>.LiveCount());
}
