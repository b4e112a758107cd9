#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "FrameClock.h"
#include "Resources.h"

struct CaptureRecord {
    uint32_t frame;
    std::string png;
    std::string drawn; // empty when the drawn frame was not saved
    uint32_t overlayAgeMs;
    double cap;
};

// What one run of a scene showed, as the report file gives it.
struct RunReport {
    int scene = 0;
    std::string interfaceName;
    uint32_t screenWidth = 0;
    uint32_t screenHeight = 0;
    uint32_t outputWidth = 0;
    uint32_t outputHeight = 0;
    uint32_t frames = 0;
    int gamePaints = 0;
    std::string leftovers; // empty when everything was released
    std::vector<PhaseFigures> phases;
    std::vector<CaptureRecord> captures;
    std::vector<ResourceSample> resources;
};

std::string FormatReport(const RunReport& report);
