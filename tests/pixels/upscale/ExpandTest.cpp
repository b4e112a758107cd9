#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "pixels/upscale/Expand.h"

// The rectangle is looked up through the colour table and written at the same
// place of the output; rows are stepped by each side's own pitch.
TEST(Expand, ARectangleIsLookedUpInPlaceAndNothingElseIsTouched)
{
    const uint32_t height = 5;
    const ptrdiff_t sourcePitch = 9;
    const ptrdiff_t outputPitch = 8 * sizeof(uint32_t);
    std::vector<uint8_t> source(sourcePitch * height);
    for (size_t index = 0; index < source.size(); ++index)
        source[index] = static_cast<uint8_t>(index * 37);
    uint32_t colours[256];
    for (uint32_t index = 0; index < 256; ++index)
        colours[index] = 0x00010000u * index + 0xFF - index;
    std::vector<uint32_t> output(8 * height, 0xDEADBEEF);

    const PixelRect rect = {2, 1, 6, 4};
    ExpandRect8(source.data(), sourcePitch, colours, output.data(), outputPitch, rect);

    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < 8; ++x) {
            const bool inside = x >= rect.left && x < rect.right && y >= rect.top && y < rect.bottom;
            const uint32_t expected = inside ? colours[source[y * sourcePitch + x]] : 0xDEADBEEF;
            EXPECT_EQ(expected, output[y * 8 + x]) << x << "," << y;
        }
    }
}
