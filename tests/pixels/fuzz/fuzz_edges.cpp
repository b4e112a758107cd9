#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "pixels/blit/Blit.h"
#include "pixels/edges/EdgeReference.h"
#include "pixels/edges/EdgeSmoothing.h"
#include "pixels/fuzz/FuzzInput.h"
#include "pixels/fuzz/FuzzPlane.h"

// The edge list of a keyed 16-bit sprite drawn from the input, made at a blit
// level drawn from it, compared with the reference list, then blended into a
// destination at a placement (and mirrors, and a size no larger than the
// sprite's) drawn from the input, compared byte for byte with the blends done
// one by one.

namespace {

struct OwnedList {
    uint32_t count = 0;
    std::unique_ptr<EdgePixel[]> records;
};

std::string DescribeSprite(const FuzzPlane& sprite, uint16_t key, BlitKernels level)
{
    std::ostringstream text;
    text << "the edge list of " << Describe(sprite) << " keyed " << key << " at blit level " << int(level);
    return text.str();
}

OwnedList Build(FuzzPlane& sprite, uint16_t key, BlitKernels level)
{
    EdgePixel* built = nullptr;
    const PixelPlane plane = sprite.Plane();
    OwnedList list;
    SelectBlitKernels(level);
    list.count = BuildEdgeList(reinterpret_cast<const uint16_t*>(plane.pixels), sprite.height, sprite.width,
                               int32_t(plane.pitch / 2), key, &built);
    SelectBlitKernels(BestBlitKernels());
    Require((list.count == 0) == (built == nullptr), "the list pointer disagrees with the count",
            [&] { return DescribeSprite(sprite, key, level); });
    list.records.reset(built);
    return list;
}

void RequireReferenceList(FuzzPlane& sprite, uint16_t key, BlitKernels level, const OwnedList& list)
{
    const std::vector<EdgeRecord> expected = ReferenceEdgeList(
        sprite.width, sprite.height, key, [&](int x, int y) { return uint16_t(sprite.At(uint32_t(x), uint32_t(y))); });
    const auto describe = [&] { return DescribeSprite(sprite, key, level); };
    Require(expected.size() == list.count, "the list has the wrong number of records", describe);
    for (uint32_t index = 0; index < list.count; ++index) {
        const EdgePixel& record = list.records[index];
        Require(expected[index] == EdgeRecord(record.x, record.y, record.weight, record.colour),
                "a record differs from the reference", describe);
        Require(reinterpret_cast<const uint8_t*>(&record)[offsetof(EdgePixel, weight) + 1] == 0,
                "a record's padding byte is not 0", describe);
    }
}

EdgeListPlacement DrawPlacement(FuzzInput& input, const FuzzPlane& sprite, const FuzzPlane& destination)
{
    EdgeListPlacement placement;
    placement.sourceWidth = input.Between(1, std::min(sprite.width, destination.width));
    placement.sourceHeight = input.Between(1, std::min(sprite.height, destination.height));
    placement.left = input.Below(destination.width - placement.sourceWidth + 1);
    placement.top = input.Below(destination.height - placement.sourceHeight + 1);
    placement.mirrorLeftRight = input.Flag();
    placement.mirrorUpDown = input.Flag();
    return placement;
}

std::string DescribeApply(const FuzzPlane& destination, const EdgeListPlacement& placement, bool keyed, uint32_t key)
{
    std::ostringstream text;
    text << "ApplyEdgeList at " << placement.left << "," << placement.top << " for " << placement.sourceWidth << "x"
         << placement.sourceHeight << ", mirrors " << placement.mirrorLeftRight << placement.mirrorUpDown << ", onto "
         << Describe(destination) << ", keyed " << keyed << " key " << key;
    return text.str();
}

// The blends one by one, in list order, onto the destination as it is.
void BlendOneByOne(FuzzPlane& destination, const EdgeListPlacement& placement, const OwnedList& list, bool keyed,
                   uint32_t key)
{
    for (uint32_t index = 0; index < list.count; ++index) {
        const EdgePixel& record = list.records[index];
        if (record.x >= placement.sourceWidth || record.y >= placement.sourceHeight)
            continue;
        const uint32_t column = placement.mirrorLeftRight ? placement.sourceWidth - 1 - record.x : record.x;
        const uint32_t row = placement.mirrorUpDown ? placement.sourceHeight - 1 - record.y : record.y;
        const uint32_t x = placement.left + column, y = placement.top + row;
        const uint16_t under = uint16_t(destination.At(x, y));
        if (!(keyed && under == key))
            destination.Set(x, y, ReferenceBlend(under, record.colour, record.weight));
    }
}

void Run(FuzzInput& input)
{
    const BlitKernels level = BlitKernels(input.Below(uint32_t(BestBlitKernels()) + 1));
    const bool wide = input.Below(32) == 31;
    const uint32_t widest = wide ? 300 : 40, highest = wide ? 8 : 40;
    FuzzPlane sprite(DrawShape(input, 2, widest, highest));
    FuzzPlane destination(DrawShape(input, 2, widest + 8, highest + 8));
    PixelValues values(input);
    const uint16_t spriteKey = uint16_t(values.Chosen(input.Byte()));
    const bool destinationKeyed = input.Flag();
    const uint32_t destinationKey = input.Flag() ? uint16_t(values.Chosen(input.Byte())) : input.Bits32();
    const EdgeListPlacement placement = DrawPlacement(input, sprite, destination);
    const uint16_t blendDestination = uint16_t(input.Bits32()), blendColour = uint16_t(input.Bits32());
    const uint8_t blendWeight = input.Byte();
    sprite.Paint(values);
    destination.Paint(values);

    Require(BlendRgb565(blendDestination, blendColour, blendWeight) ==
                ReferenceBlend(blendDestination, blendColour, blendWeight),
            "BlendRgb565 differs from the reference", [&] {
                return "BlendRgb565(" + std::to_string(blendDestination) + ", " + std::to_string(blendColour) + ", " +
                       std::to_string(blendWeight) + ")";
            });
    const std::vector<uint8_t> spriteBytes = sprite.Bytes();
    const OwnedList list = Build(sprite, spriteKey, level);
    Require(sprite.Holds(spriteBytes), "building the list wrote into the sprite",
            [&] { return DescribeSprite(sprite, spriteKey, level); });
    RequireReferenceList(sprite, spriteKey, level, list);

    const std::vector<uint8_t> before = destination.Bytes();
    BlendOneByOne(destination, placement, list, destinationKeyed, destinationKey);
    const std::vector<uint8_t> expected = destination.Bytes();
    destination.Restore(before);
    ApplyEdgeList(destination.Plane(), placement, list.records.get(), list.count, destinationKeyed, destinationKey);
    Require(destination.Holds(expected), "the destination differs from the blends expected",
            [&] { return DescribeApply(destination, placement, destinationKeyed, destinationKey); });
}

}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput input(data, size);
    Run(input);
    return 0;
}
