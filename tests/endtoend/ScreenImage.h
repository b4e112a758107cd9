#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "endtoend/SceneReport.h"

// Colours as the screen shows them, 0x00RRGGBB, row after row.
struct ScreenImage {
    Size size{};
    std::vector<uint32_t> colours;
};

// A frame as the game drew it: palette indices with the palette's screen
// colours, or RGB565 values.
struct DrawnFrame {
    Size size{};
    uint32_t bitsPerPixel = 0;
    std::array<uint32_t, 256> colours{};
    std::vector<uint16_t> values;
};

testing::AssertionResult ReadDrawnFrame(const std::string& path, DrawnFrame& frame);
testing::AssertionResult ReadPng(const std::string& path, ScreenImage& image);

// What the window should show for the frame at `output`, with the frame-rate
// overlay for `overlayCap` when there is one.
ScreenImage ExpectedScreen(const DrawnFrame& frame, Size output, std::optional<double> overlayCap);

testing::AssertionResult SameImage(const ScreenImage& expected, const ScreenImage& got);
