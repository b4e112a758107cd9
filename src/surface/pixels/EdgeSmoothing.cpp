#include "surface/pixels/EdgeSmoothing.h"

uint32_t BuildEdgeList(const uint16_t*, uint32_t, uint32_t, int32_t, uint16_t, EdgePixel**)
{
    return 0;
}
uint16_t BlendRgb565(uint16_t destination, uint16_t, uint8_t)
{
    return destination;
}
void ApplyEdgeList(const PixelPlane&, const EdgeListPlacement&, const EdgePixel*, uint32_t, bool, uint32_t) {}
