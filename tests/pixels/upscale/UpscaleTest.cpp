#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <random>
#include <vector>

#include "pixels/support/ReferenceScale.h"
#include "pixels/upscale/Upscale.h"
#include "pixels/upscale/UpscaleCanvas.h"

namespace {

template <typename Bits>
struct Picture {
    using Source = typename Bits::Source;
    using Output = typename Bits::Output;

    Picture(uint32_t width_, uint32_t height_, uint32_t padPixels = 0)
        : width(width_), height(height_), stride(width_ + padPixels), pixels(size_t(stride) * height_)
    {
        // Indices 0 and 4, and 1 and 5, share a colour.
        for (uint32_t index = 0; index < 256; ++index)
            colours[index] = 0x00300000u * (index % 4) + 0x1234u;
    }

    Output Value(uint32_t x, uint32_t y) const
    {
        const Source pixel = pixels[size_t(y) * stride + x];
        if constexpr (sizeof(Source) == 1)
            return colours[pixel];
        else
            return pixel;
    }

    Source& At(uint32_t x, uint32_t y) { return pixels[size_t(y) * stride + x]; }

    void FillRandomly(uint32_t seed)
    {
        static constexpr uint16_t values16[] = {0x0000, 0xF800, 0x07E0, 0xFFFF};
        std::mt19937 random(seed);
        for (Source& pixel : pixels) {
            const uint32_t choice = random() % 6;
            pixel = sizeof(Source) == 1 ? Source(choice) : Source(values16[choice % 4]);
        }
    }

    uint32_t width;
    uint32_t height;
    uint32_t stride;
    std::vector<Source> pixels;
    std::array<uint32_t, 256> colours;
};

template <typename Bits>
ScaleGeometry GeometryOf(const Picture<Bits>& picture, const Canvas<typename Bits::Output>& canvas)
{
    return {picture.width, picture.height, ptrdiff_t(picture.stride * sizeof(typename Bits::Source)),
            canvas.width, canvas.height, ptrdiff_t(canvas.pitch)};
}

template <typename Bits>
void Scale(const Picture<Bits>& picture, Canvas<typename Bits::Output>& canvas, const PixelRect* rect = nullptr)
{
    Scale(picture.pixels.data(), picture.colours.data(), canvas.Pixels(), GeometryOf(picture, canvas), rect);
}

// The shared reference, fed the picture's values.
template <typename Bits>
std::vector<typename Bits::Output> Reference(const Picture<Bits>& picture, uint32_t outWidth, uint32_t outHeight)
{
    return ReferenceScale<typename Bits::Output>(picture.width, picture.height, outWidth, outHeight,
                                                 [&](uint32_t x, uint32_t y) { return picture.Value(x, y); });
}

// Inside `area` the canvas must hold the reference, outside it the sentinel.
template <typename Output>
void ExpectCanvas(const Canvas<Output>& canvas, const std::vector<Output>& reference, const PixelRect& area)
{
    const CanvasDifferences differences = DifferencesFrom(canvas, reference, area, 3);
    EXPECT_EQ(0u, differences.count) << differences.firstOnes;
    EXPECT_TRUE(canvas.GuardsIntact());
}

struct Size {
    uint32_t width, height, outWidth, outHeight;
};

// Working range, its edges, above 2x, 4x and beyond, below 1x, one axis each
// way, frames of one or two pixels, odd 16-bit widths (whose rows are padded),
// and frames wider than the routines' strips at each level.
constexpr Size sizes[] = {
    {640, 480, 800, 600}, {640, 480, 1024, 768}, {640, 480, 1440, 1080}, {64, 48, 80, 48},  {64, 48, 64, 60},
    {33, 17, 65, 33},     {33, 17, 66, 34},      {31, 9, 100, 40},       {40, 30, 37, 25},  {40, 30, 35, 45},
    {45, 30, 60, 20},     {1, 1, 3, 2},          {2, 2, 3, 3},           {1, 5, 2, 9},      {1300, 6, 1501, 11},
    {1300, 6, 700, 7},    {7, 7, 13, 13},        {5, 4, 23, 19},         {64, 48, 192, 144}, {64, 48, 288, 216},
    {700, 5, 1500, 12},   {340, 8, 1500, 40},    {20, 15, 30, 90},
};

uint32_t PadBytes(uint32_t width, uint32_t pixelBytes)
{
    return (4 - width * pixelBytes % 4) % 4 + 4;
}

template <typename Bits>
class Upscale : public testing::Test {
protected:
    using Output = typename Bits::Output;

    void TearDown() override { SelectUpscaleKernels(BestUpscaleKernels()); }

    static Canvas<Output> MakeCanvas(const Size& size)
    {
        return Canvas<Output>(size.outWidth, size.outHeight, PadBytes(size.outWidth, sizeof(Output)));
    }
};

using PixelFormats = testing::Types<Bits8, Bits16>;
TYPED_TEST_SUITE(Upscale, PixelFormats);

TYPED_TEST(Upscale, EveryKernelMatchesTheReferenceAtEverySize)
{
    for (const Size& size : sizes) {
        Picture<TypeParam> picture(size.width, size.height, 3);
        picture.FillRandomly(size.width * 7 + size.outHeight);
        const auto reference = Reference(picture, size.outWidth, size.outHeight);
        for (UpscaleKernels kernels : AvailableKernels()) {
            SCOPED_TRACE(testing::Message() << size.width << "x" << size.height << " -> " << size.outWidth << "x"
                                            << size.outHeight << ", kernels " << int(kernels));
            SelectUpscaleKernels(kernels);
            auto canvas = this->MakeCanvas(size);
            Scale(picture, canvas);
            ExpectCanvas(canvas, reference, {0, 0, size.outWidth, size.outHeight});
        }
    }
}

TYPED_TEST(Upscale, ARectIsTheFrameInsideItsAreaAndNothingElse)
{
    constexpr Size rectSizes[] = {{640, 480, 800, 600}, {640, 480, 1024, 768}, {64, 48, 144, 108},
                                  {40, 30, 35, 45},     {1300, 6, 1501, 11},   {64, 48, 288, 216}};
    for (const Size& size : rectSizes) {
        Picture<TypeParam> picture(size.width, size.height);
        picture.FillRandomly(size.outWidth);
        const auto reference = Reference(picture, size.outWidth, size.outHeight);
        const uint32_t w = size.width, h = size.height;
        const PixelRect rects[] = {{0, 0, w, h},     {3, 2, 17, h - 1}, {2, 2, 34, 6},     {w - 5, h - 4, w, h},
                                   {w - 1, 0, w, 1}, {0, 1, 1, h - 1},  {w / 2, 0, w, 3}, {1, 1, 2, 2},
                                   {1000 % w, 2, w, 5}};
        for (const PixelRect& rect : rects)
            for (UpscaleKernels kernels : AvailableKernels()) {
                SCOPED_TRACE(testing::Message() << size.outWidth << "x" << size.outHeight << ", rect " << rect.left
                                                << "," << rect.top << "," << rect.right << "," << rect.bottom
                                                << ", kernels " << int(kernels));
                SelectUpscaleKernels(kernels);
                auto canvas = this->MakeCanvas(size);
                Scale(picture, canvas, &rect);
                ExpectCanvas(canvas, reference, ScaledArea(GeometryOf(picture, canvas), rect));
            }
    }
}

// Scale4x as it is usually written: Scale2x of the whole picture, then of
// that whole picture, each keeping its edge pixels.
template <typename Value>
std::vector<Value> TextbookScale2x(const std::vector<Value>& in, uint32_t w, uint32_t h)
{
    std::vector<Value> out(size_t(4) * w * h);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
            const Value E = in[size_t(y) * w + x];
            Value E0 = E, E1 = E, E2 = E, E3 = E;
            if (x > 0 && y > 0 && x + 1 < w && y + 1 < h) {
                const Value B = in[size_t(y - 1) * w + x], H = in[size_t(y + 1) * w + x];
                const Value D = in[size_t(y) * w + x - 1], F = in[size_t(y) * w + x + 1];
                if (B != H && D != F) {
                    E0 = D == B ? D : E;
                    E1 = B == F ? F : E;
                    E2 = D == H ? D : E;
                    E3 = H == F ? F : E;
                }
            }
            Value* row = &out[size_t(2 * y) * 2 * w + 2 * x];
            row[0] = E0, row[1] = E1, row[2 * w] = E2, row[2 * w + 1] = E3;
        }
    return out;
}

TYPED_TEST(Upscale, AtFourTimesThePictureIsScale4x)
{
    Picture<TypeParam> picture(40, 30);
    picture.FillRandomly(4);
    std::vector<typename TypeParam::Output> values;
    for (uint32_t y = 0; y < 30; ++y)
        for (uint32_t x = 0; x < 40; ++x)
            values.push_back(picture.Value(x, y));
    const auto scale4x = TextbookScale2x(TextbookScale2x(values, 40, 30), 80, 60);
    for (UpscaleKernels kernels : AvailableKernels()) {
        SCOPED_TRACE(testing::Message() << "kernels " << int(kernels));
        SelectUpscaleKernels(kernels);
        auto canvas = this->MakeCanvas({40, 30, 160, 120});
        Scale(picture, canvas);
        ExpectCanvas(canvas, scale4x, {0, 0, 160, 120});
    }
}

TYPED_TEST(Upscale, EmptyRectsWriteNothing)
{
    const Size size = {64, 48, 100, 70};
    Picture<TypeParam> picture(size.width, size.height);
    picture.FillRandomly(1);
    for (const PixelRect& rect : {PixelRect{5, 5, 5, 20}, PixelRect{5, 7, 30, 7}, PixelRect{64, 48, 64, 48}}) {
        auto canvas = this->MakeCanvas(size);
        Scale(picture, canvas, &rect);
        ExpectCanvas(canvas, {}, {0, 0, 0, 0});
    }
}

TYPED_TEST(Upscale, AFrameOfOneColourStaysThatColour)
{
    for (const Size& size : {Size{64, 48, 80, 60}, Size{64, 48, 144, 108}, Size{64, 48, 50, 40}}) {
        Picture<TypeParam> picture(size.width, size.height);
        for (auto& pixel : picture.pixels)
            pixel = 2;
        auto canvas = this->MakeCanvas(size);
        Scale(picture, canvas);
        const std::vector<typename TypeParam::Output> expected(size_t(size.outWidth) * size.outHeight,
                                                               picture.Value(0, 0));
        ExpectCanvas(canvas, expected, {0, 0, size.outWidth, size.outHeight});
    }
}

// The output areas of the stepping: the left and top edges of a rect move by
// floor(left * extra / width), and a rect at the right edge ends at the output's.
TEST(UpscaleArea, FollowsTheAccumulatorStepping)
{
    const ScaleGeometry geometry = {640, 480, 640, 1024, 768, 4096};
    const PixelRect area = ScaledArea(geometry, {100, 50, 640, 77});
    EXPECT_EQ(100u + 100 * 384 / 640, area.left);
    EXPECT_EQ(50u + 50 * 288 / 480, area.top);
    EXPECT_EQ(1024u, area.right);
    EXPECT_EQ(77u + 77 * 288 / 480, area.bottom);
}

// A frame whose every column (or row) has its own value shows which source
// columns are doubled: the rule never fires when no neighbours are equal.
std::vector<uint32_t> DoubledColumns(uint32_t outWidth, bool alongRows)
{
    Picture<Bits16> picture(640, 480);
    for (uint32_t y = 0; y < 480; ++y)
        for (uint32_t x = 0; x < 640; ++x)
            picture.At(x, y) = uint16_t(alongRows ? y : x);
    const uint32_t outHeight = outWidth * 3 / 4;
    Canvas<uint16_t> canvas(outWidth, outHeight, 0);
    Scale(picture, canvas);
    std::vector<uint32_t> doubled;
    const uint32_t count = alongRows ? outHeight : outWidth;
    for (uint32_t index = 1; index < count; ++index) {
        const auto previous = alongRows ? canvas.At(0, index - 1) : canvas.At(index - 1, 0);
        if ((alongRows ? canvas.At(0, index) : canvas.At(index, 0)) == previous)
            doubled.push_back(previous + 1u);
    }
    return doubled;
}

TEST(UpscaleStepping, DoublesTheColumnsAndRowsTheAccumulatorsChoose)
{
    for (bool alongRows : {false, true}) {
        const std::vector<uint32_t> at800 = DoubledColumns(800, alongRows);
        ASSERT_EQ(alongRows ? 120u : 160u, at800.size());
        for (size_t index = 0; index < at800.size(); ++index)
            EXPECT_EQ(4 * (index + 1), at800[index]);

        const std::vector<uint32_t> at1024 = DoubledColumns(1024, alongRows);
        ASSERT_EQ(alongRows ? 288u : 384u, at1024.size());
        const uint32_t firstFive[] = {2, 4, 5, 7, 9, 10};
        for (size_t index = 0; index < 6; ++index)
            EXPECT_EQ(firstFive[index], at1024[index]);
        for (size_t index = 3; index < at1024.size(); ++index)
            EXPECT_EQ(at1024[index - 3] + 5, at1024[index]);
        EXPECT_EQ(alongRows ? 480u : 640u, at1024.back());
    }
}

// Around the pixel at (2, 2) of a 5 x 5 frame: D = B, F = H, E a third value.
Picture<Bits16> CornerCase()
{
    Picture<Bits16> picture(5, 5);
    for (auto& pixel : picture.pixels)
        pixel = 9;
    picture.At(2, 2) = 3;
    picture.At(1, 2) = picture.At(2, 1) = 1;
    picture.At(3, 2) = picture.At(2, 3) = 2;
    return picture;
}

TEST(UpscaleRule, AnInteriorPixelShowsItsNeighboursWhereTheRuleSays)
{
    const Picture<Bits16> picture = CornerCase();
    Canvas<uint16_t> doubled(10, 10, 0);
    Scale(picture, doubled);
    EXPECT_EQ(1, doubled.At(4, 4));
    EXPECT_EQ(3, doubled.At(5, 4));
    EXPECT_EQ(3, doubled.At(4, 5));
    EXPECT_EQ(2, doubled.At(5, 5));

    // 5 -> 6 doubles only the last column and row: (2, 2) is single and shows B.
    Canvas<uint16_t> single(6, 6, 0);
    Scale(picture, single);
    EXPECT_EQ(1, single.At(2, 2));
}

TEST(UpscaleRule, ExtraRowsOfZeroShowOnlyUpperValues)
{
    // D = H and nothing else equal: only the lower left value differs from E.
    Picture<Bits16> picture = CornerCase();
    picture.At(1, 2) = 2;
    picture.At(2, 1) = 9;
    picture.At(3, 2) = 8;
    Canvas<uint16_t> doubled(10, 10, 0);
    Scale(picture, doubled);
    ASSERT_EQ(2, doubled.At(4, 5));

    Canvas<uint16_t> wider(10, 5, 0);
    Scale(picture, wider);
    EXPECT_EQ(3, wider.At(4, 2));
    EXPECT_EQ(3, wider.At(5, 2));
    EXPECT_EQ(9, wider.At(4, 1));
    EXPECT_EQ(2, wider.At(4, 3));
}

TEST(UpscaleRule, PixelsOnTheFramesEdgeKeepTheirOwnValue)
{
    Picture<Bits16> picture(4, 4);
    for (auto& pixel : picture.pixels)
        pixel = 9;
    // Left column, row 1: B = F as the rule wants, but there is no D.
    picture.At(0, 1) = 5;
    picture.At(0, 0) = picture.At(1, 1) = 7;
    // Top row, column 2: D = H, but there is no B.
    picture.At(2, 0) = 5;
    picture.At(1, 0) = picture.At(2, 1) = 6;
    Canvas<uint16_t> canvas(8, 8, 0);
    Scale(picture, canvas);
    for (uint32_t dy = 0; dy < 2; ++dy)
        for (uint32_t dx = 0; dx < 2; ++dx) {
            EXPECT_EQ(5, canvas.At(dx, 2 + dy));
            EXPECT_EQ(5, canvas.At(4 + dx, dy));
        }
}

TEST(UpscaleRule, IndicesOfTheSameScreenColourAreEqual)
{
    Picture<Bits8> picture(5, 5);
    for (auto& pixel : picture.pixels)
        pixel = 3;
    picture.At(2, 2) = 2;
    picture.At(1, 2) = 1;
    picture.At(2, 1) = 5;  // the colour of index 1
    Canvas<uint32_t> canvas(10, 10, 0);
    Scale(picture, canvas);
    EXPECT_EQ(picture.colours[1], canvas.At(4, 4));
    EXPECT_EQ(picture.colours[2], canvas.At(5, 4));
}

}
