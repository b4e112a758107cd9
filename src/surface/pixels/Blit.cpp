#include "surface/pixels/Blit.h"

void FillRect8(const PixelPlane&, const PixelRect&, uint8_t) {}
void FillRect16(const PixelPlane&, const PixelRect&, uint16_t) {}
bool CopyRect8(const PixelPlane&, uint32_t, uint32_t, const PixelPlane&, const PixelRect&, const CopyEffects&)
{
    return false;
}
bool CopyRect16(const PixelPlane&, uint32_t, uint32_t, const PixelPlane&, const PixelRect&, const CopyEffects&)
{
    return false;
}
void StretchCopy8(uint8_t*, const uint8_t*, PixelRect, ptrdiff_t, PixelRect, ptrdiff_t, const CopyEffects&) {}
void StretchCopy16(uint16_t*, const uint16_t*, PixelRect, ptrdiff_t, PixelRect, ptrdiff_t, const CopyEffects&) {}
bool StretchRect8(const PixelPlane&, const PixelRect&, const PixelPlane&, const PixelRect&, const CopyEffects&)
{
    return false;
}
bool StretchRect16(const PixelPlane&, const PixelRect&, const PixelPlane&, const PixelRect&, const CopyEffects&)
{
    return false;
}
BlitKernels BestBlitKernels()
{
    return BlitKernels::Portable;
}
void SelectBlitKernels(BlitKernels) {}
