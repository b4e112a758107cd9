#pragma once

#include <cstdint>
#include <vector>

// The enlargement written out pixel by pixel, as plainly as possible, for any
// kind of value: valueAt(x, y) gives the source value as the rule compares it
// (for 8-bit frames, the screen colour of the index).
//
// Source pixel (x, y) covers output columns x * outW / srcW up to
// (x + 1) * outW / srcW, and likewise rows. Below 1x on either axis there is
// no rule: the block shows the pixel. Up to 2x on both axes the block shows
// the Scale2x quarters, the left ones over the first half of its columns
// (rounded up), the upper ones over the first half of its rows. Beyond, the
// rule is applied again to its own whole output, twice up to 4x and three
// times beyond, and each output pixel of a block w wide takes the sub-pixel
// under its centre: floor((2i + 1) * k / (2w)) of the k the source pixel
// became. Each application keeps its image's edge pixels as they are.

template <typename Value>
struct ReferenceImage {
    uint32_t width;
    uint32_t height;
    std::vector<Value> pixels;

    Value At(uint32_t x, uint32_t y) const { return pixels[size_t(y) * width + x]; }
};

template <typename Value>
ReferenceImage<Value> RuleQuarters(const ReferenceImage<Value>& image)
{
    const uint32_t w = image.width, h = image.height;
    ReferenceImage<Value> out{2 * w, 2 * h, std::vector<Value>(size_t(4) * w * h)};
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
            const Value e = image.At(x, y);
            Value quarter[4] = {e, e, e, e};
            if (x > 0 && y > 0 && x + 1 < w && y + 1 < h) {
                const Value b = image.At(x, y - 1), d = image.At(x - 1, y);
                const Value f = image.At(x + 1, y), hh = image.At(x, y + 1);
                if (d == b && d != hh && b != f)
                    quarter[0] = b;
                if (b == f && b != d && f != hh)
                    quarter[1] = f;
                if (d == hh && d != b && hh != f)
                    quarter[2] = d;
                if (hh == f && f != b && hh != d)
                    quarter[3] = hh;
            }
            for (uint32_t q = 0; q < 4; ++q)
                out.pixels[size_t(2 * y + q / 2) * out.width + 2 * x + q % 2] = quarter[q];
        }
    return out;
}

inline uint32_t ReferenceLevels(uint32_t width, uint32_t height, uint32_t outWidth, uint32_t outHeight)
{
    if (outWidth < width || outHeight < height)
        return 0;
    const auto beyond = [&](uint64_t times) { return outWidth > times * width || outHeight > times * height; };
    return beyond(4) ? 3 : beyond(2) ? 2 : 1;
}

// The sub-pixel, of `k`, that output pixel i of a block w wide shows.
inline uint32_t ReferenceSubPixel(uint64_t i, uint64_t w, uint32_t k, uint32_t levels)
{
    if (levels == 0)
        return 0;
    if (levels == 1)
        return i >= (w + 1) / 2;
    return static_cast<uint32_t>((2 * i + 1) * k / (2 * w));
}

template <typename Value, typename ValueAt>
std::vector<Value> ReferenceScale(uint32_t width, uint32_t height, uint32_t outWidth, uint32_t outHeight,
                                  ValueAt valueAt)
{
    ReferenceImage<Value> image{width, height, std::vector<Value>(size_t(width) * height)};
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x)
            image.pixels[size_t(y) * width + x] = valueAt(x, y);
    const uint32_t levels = ReferenceLevels(width, height, outWidth, outHeight);
    for (uint32_t level = 0; level < levels; ++level)
        image = RuleQuarters(image);
    const uint32_t k = 1u << levels;
    std::vector<Value> out(size_t(outWidth) * outHeight);
    for (uint32_t y = 0; y < height; ++y) {
        const uint64_t y0 = uint64_t(y) * outHeight / height, y1 = uint64_t(y + 1) * outHeight / height;
        for (uint32_t x = 0; x < width; ++x) {
            const uint64_t x0 = uint64_t(x) * outWidth / width, x1 = uint64_t(x + 1) * outWidth / width;
            for (uint64_t oy = y0; oy < y1; ++oy)
                for (uint64_t ox = x0; ox < x1; ++ox) {
                    const uint32_t subX = ReferenceSubPixel(ox - x0, x1 - x0, k, levels);
                    const uint32_t subY = ReferenceSubPixel(oy - y0, y1 - y0, k, levels);
                    out[oy * outWidth + ox] = image.At(x * k + subX, y * k + subY);
                }
        }
    }
    return out;
}

// An RGB565 pixel as a 32-bit screen shows it: each channel's top bits
// repeated into the low bits it gains.
inline uint32_t ScreenColourOf565(uint16_t pixel)
{
    const uint32_t red = pixel >> 11, green = (pixel >> 5) & 63, blue = pixel & 31;
    return (red << 3 | red >> 2) << 16 | (green << 2 | green >> 4) << 8 | (blue << 3 | blue >> 2);
}
