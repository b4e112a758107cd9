#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

struct Size {
    uint32_t width;
    uint32_t height;

    bool operator==(const Size&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Size& size);

// A stretch of frames under one cap; the times are frame intervals in ms.
struct Phase {
    uint32_t firstFrame, lastFrame;
    double cap, achieved, median, p1, p99, max;
};

// A picture the game took of its window, beside the frame it drew for it.
struct Capture {
    uint32_t frame;
    std::string png, drawn;
    uint32_t overlayAge;
    double cap;
};

// What the process held at a frame.
struct ResourceSample {
    uint32_t frame;
    uint64_t privateBytes;
    uint32_t gdiObjects, userObjects;
};

// What the sample game wrote about one scene's run.
struct SceneReport {
    uint32_t scene = 0;
    std::string interfaceName, build, released;
    Size screen{}, output{};
    uint32_t frames = 0;
    uint32_t gamePaints = 0;
    std::vector<Phase> phases;
    std::vector<Capture> captures;
    std::vector<ResourceSample> resources;
};

// Fails, naming the file and the line, on a missing file, a line that is not
// the game's format or a line missing from it.
testing::AssertionResult ReadSceneReport(const std::string& path, SceneReport& report);
