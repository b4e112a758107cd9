#pragma once

#include <cstdint>

// What the process holds at a frame: its private memory and its GDI and USER
// objects. Sampled early and at the end of a run, they show any leak.
struct ResourceSample {
    uint32_t frame;
    uint64_t privateBytes;
    uint32_t gdiObjects;
    uint32_t userObjects;
};

ResourceSample SampleResources(uint32_t frame);
