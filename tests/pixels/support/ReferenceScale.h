#pragma once

#include <cstdint>
#include <vector>

// The edge rule and the block layout written out pixel by pixel, as plainly
// as possible, for any kind of value: valueAt(x, y) gives the source value as
// the rule compares it (for 8-bit frames, the screen colour of the index).
// Source pixel (x, y) covers output columns x * outW / srcW up to
// (x + 1) * outW / srcW, left values over the first half of them (rounded up),
// and likewise rows; below 1x on either axis there is no rule.
template <typename Value, typename ValueAt>
std::vector<Value> ReferenceScale(uint32_t width, uint32_t height, uint32_t outWidth, uint32_t outHeight,
                                  ValueAt valueAt)
{
    const uint32_t w = width;
    const uint32_t h = height;
    const bool rule = outWidth >= w && outHeight >= h;
    std::vector<Value> out(size_t(outWidth) * outHeight);
    for (uint32_t y = 0; y < h; ++y) {
        for (uint32_t x = 0; x < w; ++x) {
            const Value e = valueAt(x, y);
            Value quarter[4] = {e, e, e, e};
            if (rule && x > 0 && y > 0 && x + 1 < w && y + 1 < h) {
                const Value b = valueAt(x, y - 1), d = valueAt(x - 1, y);
                const Value f = valueAt(x + 1, y), hh = valueAt(x, y + 1);
                if (d == b && d != hh && b != f)
                    quarter[0] = b;
                if (b == f && b != d && f != hh)
                    quarter[1] = f;
                if (d == hh && d != b && hh != f)
                    quarter[2] = d;
                if (hh == f && f != b && hh != d)
                    quarter[3] = hh;
            }
            const uint64_t x0 = uint64_t(x) * outWidth / w, x1 = uint64_t(x + 1) * outWidth / w;
            const uint64_t y0 = uint64_t(y) * outHeight / h, y1 = uint64_t(y + 1) * outHeight / h;
            for (uint64_t oy = y0; oy < y1; ++oy)
                for (uint64_t ox = x0; ox < x1; ++ox) {
                    const bool lower = oy - y0 >= (y1 - y0 + 1) / 2;
                    const bool right = ox - x0 >= (x1 - x0 + 1) / 2;
                    out[oy * outWidth + ox] = quarter[2 * lower + right];
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
