#pragma once

#include <cstdint>

// A rectangle of pixels: left and top inclusive, right and bottom exclusive.
struct PixelRect {
    uint32_t left;
    uint32_t top;
    uint32_t right;
    uint32_t bottom;
};
