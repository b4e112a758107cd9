#include "present/pixels/Expand.h"

void ExpandRect8(const uint8_t* source, ptrdiff_t sourcePitch, const uint32_t* screenColours, uint32_t* output,
                 ptrdiff_t outputPitch, const PixelRect& rect)
{
    const uint32_t width = rect.right - rect.left;
    const uint8_t* sourceRow = source + rect.top * sourcePitch + rect.left;
    uint8_t* outputRow = reinterpret_cast<uint8_t*>(output) + rect.top * outputPitch + rect.left * sizeof(uint32_t);
    for (uint32_t y = rect.top; y < rect.bottom; ++y) {
        const uint8_t* in = sourceRow;
        uint32_t* out = reinterpret_cast<uint32_t*>(outputRow);
        for (const uint8_t* end = in + width; in != end; ++in, ++out)
            *out = screenColours[*in];
        sourceRow += sourcePitch;
        outputRow += outputPitch;
    }
}
