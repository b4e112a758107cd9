#pragma once

#include <cstdint>
#include <tuple>
#include <vector>

// The edge smoothing of keyed sprites written out as plainly as possible.

inline uint16_t Rgb(uint32_t red, uint32_t green, uint32_t blue)
{
    return uint16_t(red << 11 | green << 5 | blue);
}

// x, y, weight, colour: comparable and printable as they are.
using EdgeRecord = std::tuple<uint32_t, uint32_t, uint32_t, uint32_t>;

// The rule, pixel by pixel and neighbour by neighbour; pixelAt(x, y) reads
// the sprite.
template <typename PixelAt>
std::vector<EdgeRecord> ReferenceEdgeList(uint32_t width, uint32_t height, uint16_t spriteKey, PixelAt pixelAt)
{
    static constexpr uint32_t blendWeights[13] = {0, 8, 17, 25, 33, 42, 50, 50, 50, 50, 50, 50, 50};
    std::vector<EdgeRecord> records;
    for (int y = 0; y < int(height); ++y)
        for (int x = 0; x < int(width); ++x) {
            if (pixelAt(x, y) != spriteKey)
                continue;
            uint32_t n = 0, sumRed = 0, sumGreen = 0, sumBlue = 0;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    const int nx = x + dx, ny = y + dy;
                    if ((dx == 0 && dy == 0) || nx < 0 || ny < 0 || nx >= int(width) || ny >= int(height) ||
                        pixelAt(nx, ny) == spriteKey)
                        continue;
                    const uint32_t weight = dx == 0 || dy == 0 ? 2 : 1;
                    const uint16_t pixel = pixelAt(nx, ny);
                    n += weight;
                    sumRed += weight * (pixel >> 11);
                    sumGreen += weight * (pixel >> 5 & 63);
                    sumBlue += weight * (pixel & 31);
                }
            if (n > 0)
                records.emplace_back(x, y, blendWeights[n], Rgb(sumRed / n, sumGreen / n, sumBlue / n));
        }
    return records;
}

// Shares of the colour against the destination, in percent, by weight.
inline uint32_t ColourShare(uint32_t weight)
{
    return weight == 8 || weight == 17 || weight == 25 || weight == 33 || weight == 42 ? weight : 50;
}

inline uint16_t ReferenceBlend(uint16_t destination, uint16_t colour, uint32_t weight)
{
    const uint32_t share = ColourShare(weight);
    const auto mix = [&](uint32_t shift, uint32_t mask) {
        return ((100 - share) * (destination >> shift & mask) + share * (colour >> shift & mask)) / 100;
    };
    return Rgb(mix(11, 31), mix(5, 63), mix(0, 31));
}
