#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "pixels/blit/Blit.h"
#include "pixels/support/NoMemory.h"

namespace {

constexpr size_t guardBytes = 24;

class Random {
public:
    explicit Random(uint32_t seed) : engine_(seed) {}

    uint32_t Bits() { return uint32_t(engine_()); }
    uint32_t Below(uint32_t count) { return Bits() % count; }
    uint32_t Between(uint32_t low, uint32_t high) { return low + Below(high - low + 1); }
    int32_t Offset(int32_t reach) { return int32_t(Below(uint32_t(2 * reach + 1))) - reach; }
    bool OneIn(uint32_t count) { return Below(count) == 0; }

private:
    std::mt19937 engine_;
};

// Bytes that planes are laid over, 2-byte aligned for 16-bit pixels. Every
// byte is compared after a blit, the guards around the planes included.
class Memory {
public:
    explicit Memory(size_t bytes) : words_((bytes + 1) / 2) {}

    uint8_t* Bytes() { return reinterpret_cast<uint8_t*>(words_.data()); }
    const uint8_t* Bytes() const { return reinterpret_cast<const uint8_t*>(words_.data()); }
    size_t Size() const { return words_.size() * 2; }

private:
    std::vector<uint16_t> words_;
};

// A plane over one of a scene's memories; `origin` is the byte offset of its
// pixel (0, 0), so a negative pitch puts row 0 last in memory.
struct TestPlane {
    size_t memory;
    ptrdiff_t origin;
    ptrdiff_t pitch;
    uint32_t width;
    uint32_t height;
};

template <typename Pixel>
constexpr uint32_t widest = (1u << (8 * sizeof(Pixel))) - 1;

// One or two memories and the two planes of a blit, filled with runs of a few
// values (`palette[0]` the likeliest key) or, now and then, with noise.
template <typename Pixel>
struct Scene {
    std::vector<Memory> memories;
    TestPlane source;
    TestPlane destination;
    uint32_t palette[4];

    PixelPlane Plane(const TestPlane& plane)
    {
        return {memories[plane.memory].Bytes() + plane.origin, plane.pitch};
    }

    // Sizes the memories to hold their planes between guards; the planes'
    // origins were relative until now.
    void Build(Random& random)
    {
        TestPlane* const planes[] = {&source, &destination};
        for (size_t memory = 0; memory <= destination.memory; ++memory) {
            ptrdiff_t low = std::numeric_limits<ptrdiff_t>::max(), high = std::numeric_limits<ptrdiff_t>::min();
            for (const TestPlane* plane : planes)
                if (plane->memory == memory) {
                    const ptrdiff_t lastRow = plane->origin + ptrdiff_t(plane->height - 1) * plane->pitch;
                    low = std::min({low, plane->origin, lastRow});
                    high = std::max({high, plane->origin, lastRow});
                }
            for (TestPlane* plane : planes)
                if (plane->memory == memory)
                    plane->origin += ptrdiff_t(guardBytes) - low;
            memories.emplace_back(size_t(high - low) + MostRowBytes() + 2 * guardBytes);
        }
        FillPixels(random);
    }

    size_t MostRowBytes() const { return std::max(source.width, destination.width) * sizeof(Pixel); }

    void FillPixels(Random& random)
    {
        const uint32_t base = random.Bits() & widest<Pixel>;
        palette[0] = base;
        palette[1] = base ^ 1;
        palette[2] = base ^ (sizeof(Pixel) == 1 ? 0x80 : 0x100);
        palette[3] = random.Bits() & widest<Pixel>;
        const bool noise = random.OneIn(8);
        for (Memory& memory : memories) {
            Pixel* pixels = reinterpret_cast<Pixel*>(memory.Bytes());
            const size_t count = memory.Size() / sizeof(Pixel);
            for (size_t at = 0; at < count;) {
                const Pixel value = Pixel(palette[random.Below(4)]);
                for (size_t run = noise ? 1 : random.Between(1, 12); run && at < count; --run, ++at)
                    pixels[at] = noise ? Pixel(random.Bits()) : value;
            }
        }
    }
};

template <typename Pixel>
ptrdiff_t OffsetOf(const TestPlane& plane, uint32_t x, uint32_t y)
{
    return plane.origin + ptrdiff_t(y) * plane.pitch + ptrdiff_t(x * sizeof(Pixel));
}

template <typename Pixel>
uint32_t Get(const std::vector<Memory>& memories, const TestPlane& plane, uint32_t x, uint32_t y)
{
    Pixel pixel;
    std::memcpy(&pixel, memories[plane.memory].Bytes() + OffsetOf<Pixel>(plane, x, y), sizeof(pixel));
    return pixel;
}

template <typename Pixel>
void Put(std::vector<Memory>& memories, const TestPlane& plane, uint32_t x, uint32_t y, uint32_t value)
{
    const Pixel pixel = Pixel(value);
    std::memcpy(memories[plane.memory].Bytes() + OffsetOf<Pixel>(plane, x, y), &pixel, sizeof(pixel));
}

uint32_t RandomLength(Random& random)
{
    switch (random.Below(8)) {
    case 0:
        return 1;
    case 1:
        return random.Between(2, 4);
    case 2:
        return random.Between(40, 150);
    default:
        return random.Between(1, 40);
    }
}

template <typename Pixel>
TestPlane RandomPlane(Random& random, size_t memory, uint32_t minWidth, uint32_t minHeight)
{
    const uint32_t width = std::max(minWidth, RandomLength(random));
    const uint32_t height = std::max(minHeight, random.OneIn(6) ? 1 : random.Between(1, 10));
    const ptrdiff_t pitch = ptrdiff_t((width + random.Below(4)) * sizeof(Pixel));
    return {memory, 0, random.OneIn(6) ? -pitch : pitch, width, height};
}

struct Span {
    uint32_t begin;
    uint32_t end;
};

// A run within `size` places: all of them, one touching either end, or any.
Span RandomSpan(Random& random, uint32_t size, bool mayBeEmpty)
{
    const uint32_t length = mayBeEmpty && random.OneIn(12) ? 0 : random.OneIn(8) ? size : random.Between(1, size);
    switch (random.Below(4)) {
    case 0:
        return {0, length};
    case 1:
        return {size - length, size};
    default: {
        const uint32_t begin = random.Below(size - length + 1);
        return {begin, begin + length};
    }
    }
}

PixelRect RandomRect(Random& random, const TestPlane& plane, bool mayBeEmpty)
{
    const Span columns = RandomSpan(random, plane.width, mayBeEmpty);
    const Span rows = RandomSpan(random, plane.height, mayBeEmpty);
    return {columns.begin, rows.begin, columns.end, rows.end};
}

// Where a run of `length` starts in `size` places: mostly within three of
// `start`, often level with it, where the ordering of overlapping copies is
// put to the test.
uint32_t Near(Random& random, uint32_t start, uint32_t length, uint32_t size)
{
    const int64_t last = int64_t(size) - int64_t(length);
    if (random.OneIn(5))
        return random.Below(uint32_t(last + 1));
    const int32_t offset = random.OneIn(3) ? 0 : random.Offset(3);
    return uint32_t(std::clamp(int64_t(start) + offset, int64_t(0), last));
}

enum class Arrangement { Separate, SamePlane, Aliased };

// The destination for an area of width x height taken from the scene's
// source: its own memory, the source plane itself, or another plane (of the
// same pitch or not) over the source's memory, a few pixels away.
template <typename Pixel>
TestPlane DestinationPlane(Random& random, const Scene<Pixel>& scene, Arrangement arrangement, uint32_t width,
                           uint32_t height)
{
    const TestPlane& source = scene.source;
    switch (arrangement) {
    case Arrangement::Separate:
        return RandomPlane<Pixel>(random, 1, width, height);
    case Arrangement::SamePlane:
        return source;
    case Arrangement::Aliased:
        break;
    }
    TestPlane plane = random.OneIn(2) ? source : RandomPlane<Pixel>(random, 0, width, height);
    const int32_t reach = int32_t(std::abs(source.pitch) / ptrdiff_t(sizeof(Pixel))) * 2 + 3;
    plane.origin = source.origin + random.Offset(reach) * ptrdiff_t(sizeof(Pixel));
    return plane;
}

std::string Describe(const TestPlane& plane)
{
    std::ostringstream out;
    out << plane.width << "x" << plane.height << " pitch " << plane.pitch << " in memory " << plane.memory
        << " at " << plane.origin;
    return out.str();
}

std::string Describe(const PixelRect& rect)
{
    std::ostringstream out;
    out << "(" << rect.left << "," << rect.top << ")-(" << rect.right << "," << rect.bottom << ")";
    return out.str();
}

std::string Describe(const CopyEffects& effects)
{
    std::ostringstream out;
    out << (effects.mirrorLeftRight ? " mirrored left-right" : "") << (effects.mirrorUpDown ? " mirrored up-down" : "");
    if (effects.keyed)
        out << " key 0x" << std::hex << effects.key;
    return out.str();
}

template <typename Pixel>
CopyEffects RandomEffects(Random& random, const Scene<Pixel>& scene)
{
    CopyEffects effects = {random.OneIn(3), random.OneIn(3), random.OneIn(2), scene.palette[0]};
    switch (random.Below(6)) {
    case 3:
        effects.key = random.Bits() & widest<Pixel>;
        break;
    case 4:
        effects.key = (widest<Pixel> + 1) | scene.palette[0];
        break;
    case 5:
        effects.key = random.Bits() | (widest<Pixel> + 1);
        break;
    default:
        break;
    }
    return effects;
}

// Every byte of every memory as the reference left it, and where they differ.
testing::AssertionResult SameBytes(const std::vector<Memory>& actual, const std::vector<Memory>& expected)
{
    for (size_t memory = 0; memory < actual.size(); ++memory)
        for (size_t at = 0; at < actual[memory].Size(); ++at)
            if (actual[memory].Bytes()[at] != expected[memory].Bytes()[at])
                return testing::AssertionFailure()
                       << "memory " << memory << " byte " << at << " is " << int(actual[memory].Bytes()[at])
                       << ", not " << int(expected[memory].Bytes()[at]);
    return testing::AssertionSuccess();
}

// Every level up to the best the processor has.
std::vector<BlitKernels> AvailableKernels()
{
    std::vector<BlitKernels> kernels;
    for (int level = 0; level <= int(BestBlitKernels()); ++level)
        kernels.push_back(BlitKernels(level));
    return kernels;
}

// Runs `cases` random cases on every kernel, stopping at the first failure.
template <typename RunCase>
void OnEveryKernel(uint32_t cases, RunCase runCase)
{
    for (BlitKernels kernels : AvailableKernels()) {
        SelectBlitKernels(kernels);
        for (uint32_t seed = 0; seed < cases; ++seed) {
            const testing::AssertionResult result = runCase(seed);
            if (!result) {
                ADD_FAILURE() << "kernels " << int(kernels) << ", case " << seed << ": " << result.message();
                return;
            }
        }
    }
}

template <typename Pixel>
struct FillCase {
    Scene<Pixel> scene;
    PixelRect rect;
    Pixel colour;

    explicit FillCase(uint32_t seed)
    {
        Random random(seed);
        scene.source = scene.destination = RandomPlane<Pixel>(random, 0, 1, 1);
        rect = RandomRect(random, scene.destination, true);
        scene.Build(random);
        // Colours of two like bytes take the byte fill.
        const uint32_t likeBytes = (random.Bits() & 0xFF) * 0x0101;
        colour = Pixel(random.OneIn(2) ? scene.palette[0] : random.OneIn(3) ? likeBytes : random.Bits());
    }

    void Reference(std::vector<Memory>& memories) const
    {
        for (uint32_t y = rect.top; y < rect.bottom; ++y)
            for (uint32_t x = rect.left; x < rect.right; ++x)
                Put<Pixel>(memories, scene.destination, x, y, colour);
    }

    testing::AssertionResult Run()
    {
        std::vector<Memory> expected = scene.memories;
        Reference(expected);
        if constexpr (sizeof(Pixel) == 1)
            FillRect8(scene.Plane(scene.destination), rect, colour);
        else
            FillRect16(scene.Plane(scene.destination), rect, colour);
        return SameBytes(scene.memories, expected)
               << "\nfill " << Describe(rect) << " of " << Describe(scene.destination) << " with " << int(colour);
    }
};

template <typename Pixel>
struct CopyCase {
    Scene<Pixel> scene;
    Arrangement arrangement;
    PixelRect sourceRect;
    uint32_t x;
    uint32_t y;
    CopyEffects effects;

    explicit CopyCase(uint32_t seed)
    {
        Random random(seed);
        scene.source = RandomPlane<Pixel>(random, 0, 1, 1);
        sourceRect = RandomRect(random, scene.source, true);
        const uint32_t width = sourceRect.right - sourceRect.left, height = sourceRect.bottom - sourceRect.top;
        arrangement = Arrangement(random.Below(3));
        scene.destination = DestinationPlane(random, scene, arrangement, width, height);
        x = Near(random, sourceRect.left, width, scene.destination.width);
        y = Near(random, sourceRect.top, height, scene.destination.height);
        scene.Build(random);
        effects = RandomEffects(random, scene);
    }

    // Every destination pixel from its source pixel, read from the memory
    // as it was before the copy.
    void Reference(std::vector<Memory>& memories) const
    {
        const std::vector<Memory> before = memories;
        const uint32_t width = sourceRect.right - sourceRect.left, height = sourceRect.bottom - sourceRect.top;
        for (uint32_t j = 0; j < height; ++j)
            for (uint32_t i = 0; i < width; ++i) {
                const uint32_t fromX = effects.mirrorLeftRight ? sourceRect.right - 1 - i : sourceRect.left + i;
                const uint32_t fromY = effects.mirrorUpDown ? sourceRect.bottom - 1 - j : sourceRect.top + j;
                const uint32_t pixel = Get<Pixel>(before, scene.source, fromX, fromY);
                if (!effects.keyed || pixel != effects.key)
                    Put<Pixel>(memories, scene.destination, x + i, y + j, pixel);
            }
    }

    testing::AssertionResult Run()
    {
        std::vector<Memory> expected = scene.memories;
        Reference(expected);
        // Copies between separate memories never need any.
        const NoMemory noMemory(arrangement == Arrangement::Separate);
        const PixelPlane to = scene.Plane(scene.destination), from = scene.Plane(scene.source);
        const bool copied = sizeof(Pixel) == 1 ? CopyRect8(to, x, y, from, sourceRect, effects)
                                               : CopyRect16(to, x, y, from, sourceRect, effects);
        testing::AssertionResult result = copied ? SameBytes(scene.memories, expected)
                                                 : testing::AssertionFailure() << "the copy failed";
        return result << "\ncopy " << Describe(sourceRect) << " of " << Describe(scene.source) << " to (" << x << ","
                      << y << ") of " << Describe(scene.destination) << Describe(effects);
    }
};

template <typename Pixel>
struct StretchCase {
    Scene<Pixel> scene;
    Arrangement arrangement;
    PixelRect sourceRect;
    PixelRect destinationRect;
    CopyEffects effects;
    bool throughStretchCopy;

    explicit StretchCase(uint32_t seed)
    {
        Random random(seed);
        scene.source = RandomPlane<Pixel>(random, 0, 1, 1);
        sourceRect = RandomRect(random, scene.source, false);
        const uint32_t sourceWidth = sourceRect.right - sourceRect.left;
        const uint32_t sourceHeight = sourceRect.bottom - sourceRect.top;
        const bool doubled = random.OneIn(4);
        uint32_t width = doubled ? 2 * sourceWidth : StretchedLength(random, sourceWidth);
        uint32_t height = doubled ? 2 * sourceHeight : StretchedLength(random, sourceHeight);
        arrangement = Arrangement(random.Below(3));
        scene.destination = DestinationPlane(random, scene, arrangement, width, height);
        width = std::min(width, scene.destination.width);
        height = std::min(height, scene.destination.height);
        const uint32_t left = Near(random, sourceRect.left, width, scene.destination.width);
        const uint32_t top = Near(random, sourceRect.top, height, scene.destination.height);
        destinationRect = {left, top, left + width, top + height};
        throughStretchCopy = arrangement == Arrangement::Separate && random.OneIn(2);
        scene.Build(random);
        effects = RandomEffects(random, scene);
    }

    // Shrinking, growing, the same, and now and then nothing.
    static uint32_t StretchedLength(Random& random, uint32_t length)
    {
        return random.OneIn(16) ? 0 : random.Between(1, 2 * length + 3);
    }

    void Reference(std::vector<Memory>& memories) const
    {
        const std::vector<Memory> before = memories;
        const uint64_t sourceWidth = sourceRect.right - sourceRect.left;
        const uint64_t sourceHeight = sourceRect.bottom - sourceRect.top;
        const uint32_t width = destinationRect.right - destinationRect.left;
        const uint32_t height = destinationRect.bottom - destinationRect.top;
        for (uint32_t r = 0; r < height; ++r)
            for (uint32_t c = 0; c < width; ++c) {
                const uint32_t column = effects.mirrorLeftRight ? width - 1 - c : c;
                const uint32_t row = effects.mirrorUpDown ? height - 1 - r : r;
                const uint32_t fromX = sourceRect.left + uint32_t(column * sourceWidth / width);
                const uint32_t fromY = sourceRect.top + uint32_t(row * sourceHeight / height);
                const uint32_t pixel = Get<Pixel>(before, scene.source, fromX, fromY);
                if (!effects.keyed || pixel != effects.key)
                    Put<Pixel>(memories, scene.destination, destinationRect.left + c, destinationRect.top + r, pixel);
            }
    }

    bool Stretch()
    {
        const PixelPlane to = scene.Plane(scene.destination), from = scene.Plane(scene.source);
        if (!throughStretchCopy)
            return sizeof(Pixel) == 1 ? StretchRect8(to, destinationRect, from, sourceRect, effects)
                                      : StretchRect16(to, destinationRect, from, sourceRect, effects);
        const ptrdiff_t toStride = to.pitch / ptrdiff_t(sizeof(Pixel));
        const ptrdiff_t fromStride = from.pitch / ptrdiff_t(sizeof(Pixel));
        if constexpr (sizeof(Pixel) == 1)
            StretchCopy8(to.pixels, from.pixels, sourceRect, fromStride, destinationRect, toStride, effects);
        else
            StretchCopy16(reinterpret_cast<uint16_t*>(to.pixels), reinterpret_cast<const uint16_t*>(from.pixels),
                          sourceRect, fromStride, destinationRect, toStride, effects);
        return true;
    }

    testing::AssertionResult Run()
    {
        std::vector<Memory> expected = scene.memories;
        Reference(expected);
        const NoMemory noMemory(arrangement == Arrangement::Separate);
        testing::AssertionResult result = Stretch() ? SameBytes(scene.memories, expected)
                                                    : testing::AssertionFailure() << "the stretch failed";
        return result << "\nstretch " << Describe(sourceRect) << " of " << Describe(scene.source) << " to "
                      << Describe(destinationRect) << " of " << Describe(scene.destination) << Describe(effects)
                      << (throughStretchCopy ? " through StretchCopy" : "");
    }
};

template <typename Pixel>
class Blit : public testing::Test {
protected:
    void TearDown() override { SelectBlitKernels(BestBlitKernels()); }
};

using PixelTypes = testing::Types<uint8_t, uint16_t>;
TYPED_TEST_SUITE(Blit, PixelTypes);

TYPED_TEST(Blit, FillsMatchTheReference)
{
    OnEveryKernel(400, [](uint32_t seed) { return FillCase<TypeParam>(seed).Run(); });
}

TYPED_TEST(Blit, CopiesMatchTheReference)
{
    OnEveryKernel(2000, [](uint32_t seed) { return CopyCase<TypeParam>(seed).Run(); });
}

TYPED_TEST(Blit, StretchesMatchTheReference)
{
    OnEveryKernel(1200, [](uint32_t seed) { return StretchCase<TypeParam>(seed).Run(); });
}

template <typename Pixel>
std::vector<Pixel> Stretched(const std::vector<Pixel>& source, uint32_t width, uint32_t height)
{
    std::vector<Pixel> stretched(size_t(width) * height);
    const uint32_t sourceWidth = uint32_t(source.size());
    const PixelRect from = {0, 0, sourceWidth, 1}, to = {0, 0, width, height};
    if constexpr (sizeof(Pixel) == 1)
        StretchCopy8(stretched.data(), source.data(), from, sourceWidth, to, width, CopyEffects{});
    else
        StretchCopy16(stretched.data(), source.data(), from, sourceWidth, to, width, CopyEffects{});
    return stretched;
}

TYPED_TEST(Blit, DoublingRepeatsEveryPixelAndRow)
{
    for (BlitKernels kernels : AvailableKernels()) {
        SelectBlitKernels(kernels);
        EXPECT_EQ((std::vector<TypeParam>{1, 1, 2, 2, 3, 3, 4, 4, 1, 1, 2, 2, 3, 3, 4, 4}),
                  Stretched<TypeParam>({1, 2, 3, 4}, 8, 2));
    }
}

TYPED_TEST(Blit, ShrinkingTakesTheFlooredColumns)
{
    EXPECT_EQ((std::vector<TypeParam>{10, 12, 15}), Stretched<TypeParam>({10, 11, 12, 13, 14, 15, 16, 17}, 3, 1));
}

// Rows of nine, whole vectors and an odd pixel after them, from an aligned
// and an unaligned start.
TEST(BlitFill16, AnOddWidthLeavesTheNextPixelAlone)
{
    for (BlitKernels kernels : AvailableKernels()) {
        SelectBlitKernels(kernels);
        for (uint32_t left : {0u, 1u}) {
            std::vector<uint16_t> row(12, 0xAAAA);
            FillRect16({reinterpret_cast<uint8_t*>(row.data()), 24}, {left, 0, left + 9, 1}, 0x1234);
            std::vector<uint16_t> expected(12, 0xAAAA);
            std::fill_n(expected.begin() + left, 9, 0x1234);
            EXPECT_EQ(expected, row) << "kernels " << int(kernels) << ", from " << left;
        }
    }
    SelectBlitKernels(BestBlitKernels());
}

// The vector fills store most of a row on vector boundaries, which a row of
// 16-bit pixels at an odd address reaches half-way through a pixel.
TEST(BlitFill16, ARowAtAnOddAddressKeepsItsByteOrder)
{
    for (BlitKernels kernels : AvailableKernels()) {
        SelectBlitKernels(kernels);
        for (uint32_t width = 1; width <= 80; ++width) {
            std::vector<uint8_t> bytes(2 * width + 2, 0xAA);
            FillRect16({bytes.data() + 1, ptrdiff_t(2 * width)}, {0, 0, width, 1}, 0x1234);
            std::vector<uint8_t> expected(bytes.size(), 0xAA);
            for (uint32_t pixel = 0; pixel < width; ++pixel) {
                expected[1 + 2 * pixel] = 0x34;
                expected[2 + 2 * pixel] = 0x12;
            }
            ASSERT_EQ(expected, bytes) << "kernels " << int(kernels) << ", width " << width;
        }
    }
    SelectBlitKernels(BestBlitKernels());
}

// Only copies that overlap and cannot be ordered set their source aside.
TYPED_TEST(Blit, WithoutMemoryOnlyUnorderableOverlapsFail)
{
    Random random(1);
    Scene<TypeParam> scene;
    scene.source = scene.destination = {0, 0, ptrdiff_t(16 * sizeof(TypeParam)), 16, 6};
    scene.Build(random);
    const PixelPlane plane = scene.Plane(scene.source);
    const std::vector<Memory> before = scene.memories;
    const NoMemory noMemory;
    const auto copy = sizeof(TypeParam) == 1 ? CopyRect8 : CopyRect16;
    const auto stretch = sizeof(TypeParam) == 1 ? StretchRect8 : StretchRect16;
    EXPECT_FALSE(copy(plane, 2, 1, plane, {0, 0, 10, 4}, {true, false, false, 0}));
    EXPECT_FALSE(copy(plane, 2, 1, plane, {0, 0, 10, 4}, {false, true, true, 0}));
    EXPECT_FALSE(stretch(plane, {1, 1, 15, 5}, plane, {0, 0, 8, 3}, {}));
    EXPECT_TRUE(SameBytes(scene.memories, before));
    EXPECT_TRUE(copy(plane, 2, 1, plane, {0, 0, 10, 4}, {false, false, true, scene.palette[0]}));
    EXPECT_TRUE(stretch(plane, {8, 3, 16, 6}, plane, {0, 0, 8, 3}, {}));
}

}
