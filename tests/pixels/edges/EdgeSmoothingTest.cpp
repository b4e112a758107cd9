#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <tuple>
#include <utility>
#include <vector>

#include "pixels/blit/Blit.h"
#include "pixels/edges/EdgeReference.h"
#include "pixels/edges/EdgeSmoothing.h"
#include "pixels/support/NoMemory.h"

namespace {

const uint16_t white = Rgb(31, 63, 31);
const uint16_t black = Rgb(0, 0, 0);
const uint16_t red = Rgb(31, 0, 0);
const uint16_t blue = Rgb(0, 0, 31);
const uint16_t key = Rgb(1, 2, 3);

using Record = EdgeRecord;

// Pixels with rows `pitch` apart, possibly negative, in memory of exactly the
// size they span, so that a read past either end faults under the sanitizer.
struct Sprite {
    Sprite(uint32_t width_, uint32_t height_, int32_t pitch_)
        : width(width_), height(height_), pitch(pitch_),
          memory(height_ == 0 ? 0 : size_t(height_ - 1) * std::abs(pitch_) + width_)
    {
    }

    Sprite(uint32_t width_, std::vector<uint16_t> rows)
        : width(width_), height(uint32_t(rows.size() / width_)), pitch(int32_t(width_)), memory(std::move(rows))
    {
    }

    const uint16_t* Pixels() const { return memory.data() + (pitch < 0 ? size_t(height - 1) * -pitch : 0); }
    uint16_t& At(uint32_t x, uint32_t y) { return memory[Pixels() - memory.data() + ptrdiff_t(y) * pitch + x]; }
    uint16_t At(uint32_t x, uint32_t y) const { return Pixels()[ptrdiff_t(y) * pitch + x]; }

    uint32_t width;
    uint32_t height;
    int32_t pitch;
    std::vector<uint16_t> memory;
};

// The list BuildEdgeList makes at one blit level, freed again; an empty
// result must leave the list pointer as it was, and every record's padding
// byte is 0.
std::vector<Record> BuildAt(BlitKernels level, const Sprite& sprite, uint16_t spriteKey)
{
    SelectBlitKernels(level);
    EdgePixel untouched{};
    EdgePixel* list = &untouched;
    const uint32_t count = BuildEdgeList(sprite.Pixels(), sprite.height, sprite.width, sprite.pitch, spriteKey, &list);
    SelectBlitKernels(BestBlitKernels());
    std::vector<Record> records;
    if (count == 0) {
        EXPECT_EQ(&untouched, list);
        return records;
    }
    for (uint32_t index = 0; index < count; ++index) {
        records.emplace_back(list[index].x, list[index].y, list[index].weight, list[index].colour);
        EXPECT_EQ(0, reinterpret_cast<const uint8_t*>(list + index)[offsetof(EdgePixel, weight) + 1]);
    }
    delete[] list;
    return records;
}

// The list of the portable level, which every other level the processor has
// must give too.
std::vector<Record> Build(const Sprite& sprite, uint16_t spriteKey)
{
    const std::vector<Record> portable = BuildAt(BlitKernels::Portable, sprite, spriteKey);
    for (int level = 1; level <= int(BestBlitKernels()); ++level)
        EXPECT_TRUE(portable == BuildAt(BlitKernels(level), sprite, spriteKey)) << "blit level " << level;
    return portable;
}

std::vector<Record> ReferenceList(const Sprite& sprite, uint16_t spriteKey)
{
    return ReferenceEdgeList(sprite.width, sprite.height, spriteKey,
                             [&](int x, int y) { return sprite.At(uint32_t(x), uint32_t(y)); });
}

void ExpectSameList(const std::vector<Record>& expected, const std::vector<Record>& actual)
{
    ASSERT_EQ(expected.size(), actual.size());
    for (size_t index = 0; index < expected.size(); ++index)
        ASSERT_EQ(expected[index], actual[index]) << "record " << index;
}

TEST(EdgeList, AVisiblePixelInTheMiddleOfKeyGivesItsEightNeighbours)
{
    const Sprite sprite(3, {key, key, key, key, 0x1234, key, key, key, key});
    const std::vector<Record> expected = {{0, 0, 8, 0x1234},  {1, 0, 17, 0x1234}, {2, 0, 8, 0x1234},
                                          {0, 1, 17, 0x1234}, {2, 1, 17, 0x1234}, {0, 2, 8, 0x1234},
                                          {1, 2, 17, 0x1234}, {2, 2, 8, 0x1234}};
    EXPECT_EQ(expected, Build(sprite, key));
}

TEST(EdgeList, TotalWeightAndMeanColourFollowTheVisibleNeighbours)
{
    const uint16_t colour = Rgb(9, 40, 22);
    const std::vector<Record> corner = {{0, 0, 42, colour}};
    EXPECT_EQ(corner, Build(Sprite(2, {key, colour, colour, colour}), key));

    const uint16_t mix = Rgb(15, 0, 15);
    const std::vector<Record> mixed = {{0, 0, 33, mix}, {2, 0, 17, red},  {1, 1, 33, mix},
                                       {2, 1, 8, red},  {0, 2, 17, blue}, {1, 2, 8, blue}};
    EXPECT_EQ(mixed, Build(Sprite(3, {key, red, key, blue, key, key, key, key, key}), key));

    const std::vector<Record> shaded = {
        {2, 0, 17, black}, {0, 1, 25, Rgb(20, 42, 20)}, {1, 1, 25, Rgb(10, 21, 10)}, {2, 1, 8, black}};
    EXPECT_EQ(shaded, Build(Sprite(3, {white, black, key, key, key, key}), key));
}

// With rows back to back in memory, the last pixel of a row lies next to the
// first of the following one, yet they are no neighbours.
TEST(EdgeList, RowsDoNotWrap)
{
    for (uint32_t width : {3u, 4u, 5u, 8u, 9u}) {
        SCOPED_TRACE(width);
        Sprite lastColumn(width, std::vector<uint16_t>(width * 2, key));
        lastColumn.At(0, 1) = white;
        Sprite firstColumn(width, std::vector<uint16_t>(width * 2, key));
        firstColumn.At(width - 1, 0) = white;
        for (const Sprite* sprite : {&lastColumn, &firstColumn}) {
            const std::vector<Record> records = Build(*sprite, key);
            ExpectSameList(ReferenceList(*sprite, key), records);
            EXPECT_EQ(3u, records.size());
        }
    }
}

TEST(EdgeList, NoEdgePixelsOrNoMemoryMeansNoList)
{
    const std::vector<uint16_t> nothing;
    EdgePixel untouched{};
    EdgePixel* list = &untouched;
    EXPECT_EQ(0u, BuildEdgeList(nothing.data(), 0, 5, 5, key, &list));
    EXPECT_EQ(0u, BuildEdgeList(nothing.data(), 5, 0, 0, key, &list));
    EXPECT_EQ(&untouched, list);

    EXPECT_TRUE(Build(Sprite(1, {key}), key).empty());
    EXPECT_TRUE(Build(Sprite(1, {white}), key).empty());
    EXPECT_TRUE(Build(Sprite(3, std::vector<uint16_t>(12, white)), key).empty());
    EXPECT_TRUE(Build(Sprite(5, std::vector<uint16_t>(35, key)), key).empty());

    // Without memory for the list there is none, rather than a short one.
    const NoMemory noMemory;
    EXPECT_TRUE(Build(Sprite(3, {key, key, key, key, black, key, key, key, key}), key).empty());
}

// Positions are 16-bit: the widest and highest surfaces the records can hold,
// every pixel of one row or column an edge pixel, and one pixel more.
TEST(EdgeList, SurfacesUpTo65535PixelsASideAreListed)
{
    Sprite wide(65535, 2, 65535);
    std::fill(wide.memory.begin(), wide.memory.begin() + 65535, key);
    const std::vector<Record> wideList = Build(wide, key);
    EXPECT_EQ(65535u, wideList.size());
    ExpectSameList(ReferenceList(wide, key), wideList);
    Sprite high(2, 65535, 2);
    for (uint32_t y = 0; y < high.height; ++y)
        high.At(1, y) = key;
    ExpectSameList(ReferenceList(high, key), Build(high, key));

    std::vector<uint16_t> tooWide(65536 * 2, white);
    std::fill_n(tooWide.begin(), 65535, key);
    EXPECT_TRUE(Build(Sprite(65536, std::move(tooWide)), key).empty());
    Sprite tooHigh(1, 65536, 1);
    tooHigh.At(0, 0) = key;
    EXPECT_TRUE(Build(tooHigh, key).empty());
}

// Every size up to past a few of the scan's four-pixel groups, and of the
// widest vectors, on each axis, rows padded with visible pixels that must
// never count, both row orders in memory, and pictures from sparse dots to
// solid shapes in a few colours, the brightest among them so that the
// weighted sums reach their largest. Now and then a tall sprite, with more
// edge pixels than the vector levels list before they know the count.
TEST(EdgeList, MatchesTheReferenceOnRandomSprites)
{
    std::mt19937 random(2024);
    for (uint32_t trial = 0; trial < 600; ++trial) {
        const bool tall = trial % 100 == 99;
        const uint32_t width = tall ? 33 + random() % 64 : 1 + random() % 70;
        const uint32_t height = tall ? 1200 + random() % 800 : 1 + random() % 70;
        const int32_t stride = int32_t(width + random() % 6);
        const uint16_t spriteKey = uint16_t(random());
        const uint16_t colours[4] = {white, uint16_t(random()), uint16_t(random()), uint16_t(random())};
        Sprite sprite(width, height, random() % 4 == 0 ? -stride : stride);
        for (uint16_t& pixel : sprite.memory) {
            const uint16_t colour = colours[random() % 4];
            pixel = colour == spriteKey ? uint16_t(~spriteKey) : colour;
        }
        const uint32_t keyPercent = 20 + random() % 75;
        for (uint32_t y = 0; y < height; ++y)
            for (uint32_t x = 0; x < width; ++x)
                if (random() % 100 < keyPercent)
                    sprite.At(x, y) = spriteKey;
        SCOPED_TRACE(testing::Message() << "trial " << trial << ": " << width << "x" << height << ", pitch "
                                        << sprite.pitch);
        ExpectSameList(ReferenceList(sprite, spriteKey), Build(sprite, spriteKey));
    }
}

TEST(EdgeBlend, MixesEachChannelByTheWeightsShares)
{
    const uint8_t weights[] = {8, 17, 25, 33, 42, 50};
    const struct {
        uint16_t destination, colour;
        uint16_t mixes[6];
    } cases[] = {
        {white,
         black,
         {Rgb(28, 57, 28), Rgb(25, 52, 25), Rgb(23, 47, 23), Rgb(20, 42, 20), Rgb(17, 36, 17), Rgb(15, 31, 15)}},
        {black, white, {Rgb(2, 5, 2), Rgb(5, 10, 5), Rgb(7, 15, 7), Rgb(10, 20, 10), Rgb(13, 26, 13), Rgb(15, 31, 15)}},
        {red, blue, {Rgb(28, 0, 2), Rgb(25, 0, 5), Rgb(23, 0, 7), Rgb(20, 0, 10), Rgb(17, 0, 13), Rgb(15, 0, 15)}},
    };
    for (const auto& mixCase : cases)
        for (size_t index = 0; index < 6; ++index)
            EXPECT_EQ(mixCase.mixes[index], BlendRgb565(mixCase.destination, mixCase.colour, weights[index]))
                << mixCase.destination << " with " << mixCase.colour << " at " << int(weights[index]);
    for (uint8_t other : {0, 1, 9, 49, 51, 100, 255})
        EXPECT_EQ(Rgb(15, 31, 15), BlendRgb565(white, black, other)) << int(other);
}

TEST(EdgeBlend, MatchesTheReferenceForEveryWeight)
{
    std::mt19937 random(99);
    for (uint32_t weight = 0; weight < 256; ++weight)
        for (uint32_t pair = 0; pair < 300; ++pair) {
            const uint16_t destination = pair == 0 ? white : uint16_t(random());
            const uint16_t colour = pair == 1 ? white : uint16_t(random());
            ASSERT_EQ(ReferenceBlend(destination, colour, weight), BlendRgb565(destination, colour, uint8_t(weight)))
                << destination << " with " << colour << " at " << weight;
            ASSERT_EQ(colour, BlendRgb565(colour, colour, uint8_t(weight))) << colour << " at " << weight;
        }
}

// A 16-bit destination with padded rows; pixels are reached through memcpy
// as the plane only promises byte addresses.
struct Canvas {
    uint16_t At(uint32_t x, uint32_t y) const
    {
        uint16_t pixel;
        std::memcpy(&pixel, bytes.data() + size_t(y) * pitch + x * 2, 2);
        return pixel;
    }

    void Set(uint32_t x, uint32_t y, uint16_t pixel)
    {
        std::memcpy(bytes.data() + size_t(y) * pitch + x * 2, &pixel, 2);
    }

    uint32_t pitch;
    std::vector<uint8_t> bytes;
};

void ReferenceApply(Canvas& canvas, const EdgeListPlacement& placement, const std::vector<EdgePixel>& list,
                    bool destinationKeyed, uint32_t destinationKey)
{
    for (const EdgePixel& record : list) {
        if (record.x >= placement.sourceWidth || record.y >= placement.sourceHeight)
            continue;
        const uint32_t x = placement.mirrorLeftRight ? placement.left + placement.sourceWidth - 1 - record.x
                                                     : placement.left + record.x;
        const uint32_t y =
            placement.mirrorUpDown ? placement.top + placement.sourceHeight - 1 - record.y : placement.top + record.y;
        if (destinationKeyed && canvas.At(x, y) == destinationKey)
            continue;
        canvas.Set(x, y, ReferenceBlend(canvas.At(x, y), record.colour, record.weight));
    }
}

// Random placements of random lists (with repeated pixels, whose order
// counts, and records past the sprite) under every mirror, with and without a
// destination key, one that the canvas holds or one wider than its pixels.
TEST(EdgeApply, MatchesTheReferenceAndTouchesOnlyThePlacedSprite)
{
    std::mt19937 random(7);
    const uint8_t weights[] = {8, 17, 25, 33, 42, 50, 0, 77};
    for (uint32_t trial = 0; trial < 300; ++trial) {
        const uint32_t width = 1 + random() % 40, height = 1 + random() % 40;
        Canvas canvas{width * 2 + 2 * uint32_t(random() % 4), {}};
        canvas.bytes.resize(size_t(canvas.pitch) * height);
        const uint16_t colours[3] = {uint16_t(random()), uint16_t(random()), uint16_t(random())};
        for (size_t offset = 0; offset < canvas.bytes.size(); offset += 2)
            canvas.Set(uint32_t(offset % canvas.pitch / 2), uint32_t(offset / canvas.pitch), colours[random() % 3]);

        EdgeListPlacement placement{};
        placement.sourceWidth = 1 + random() % width;
        placement.sourceHeight = 1 + random() % height;
        placement.left = random() % (width - placement.sourceWidth + 1);
        placement.top = random() % (height - placement.sourceHeight + 1);
        std::vector<EdgePixel> list(random() % 80);
        for (EdgePixel& record : list)
            record = {uint16_t(random() % (placement.sourceWidth + 2)),
                      uint16_t(random() % (placement.sourceHeight + 2)), weights[random() % 8], uint16_t(random())};
        const bool destinationKeyed = random() % 2;
        const uint32_t destinationKey = colours[0] | (random() % 4 == 0 ? 0x10000u : 0);

        for (uint32_t mirrors = 0; mirrors < 4; ++mirrors) {
            placement.mirrorLeftRight = mirrors & 1;
            placement.mirrorUpDown = mirrors & 2;
            SCOPED_TRACE(testing::Message() << "trial " << trial << ", mirrors " << mirrors);
            Canvas expected = canvas, actual = canvas;
            ReferenceApply(expected, placement, list, destinationKeyed, destinationKey);
            ApplyEdgeList({actual.bytes.data(), ptrdiff_t(actual.pitch)}, placement, list.data(), uint32_t(list.size()),
                          destinationKeyed, destinationKey);
            for (size_t offset = 0; offset < canvas.bytes.size(); ++offset) {
                const uint32_t x = uint32_t(offset % canvas.pitch / 2), y = uint32_t(offset / canvas.pitch);
                const bool inSprite = x >= placement.left && x < placement.left + placement.sourceWidth &&
                                      y >= placement.top && y < placement.top + placement.sourceHeight;
                ASSERT_TRUE(inSprite || canvas.bytes[offset] == actual.bytes[offset])
                    << "outside the sprite at " << x << "," << y;
            }
            ASSERT_EQ(expected.bytes, actual.bytes);
        }
    }
}

}
