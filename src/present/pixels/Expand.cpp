#include "present/pixels/Expand.h"

#include <bit>
#include <cstring>

// Four indices per load: the lookups, not the loop, should set the pace.
void ExpandRow8(const uint8_t* source, uint32_t count, const uint32_t* screenColours, uint32_t* output)
{
    static_assert(std::endian::native == std::endian::little);
    const uint8_t* in = source;
    const uint8_t* const end = in + count;
    uint32_t* out = output;
    for (; end - in >= 4; in += 4, out += 4) {
        uint32_t four;
        std::memcpy(&four, in, sizeof(four));
        out[0] = screenColours[four & 0xFF];
        out[1] = screenColours[(four >> 8) & 0xFF];
        out[2] = screenColours[(four >> 16) & 0xFF];
        out[3] = screenColours[four >> 24];
    }
    for (; in != end; ++in, ++out)
        *out = screenColours[*in];
}

void ExpandRect8(const uint8_t* source, ptrdiff_t sourcePitch, const uint32_t* screenColours, uint32_t* output,
                 ptrdiff_t outputPitch, const PixelRect& rect)
{
    const uint32_t width = rect.right - rect.left;
    const uint8_t* sourceRow = source + rect.top * sourcePitch + rect.left;
    uint8_t* outputRow = reinterpret_cast<uint8_t*>(output) + rect.top * outputPitch + rect.left * sizeof(uint32_t);
    for (uint32_t y = rect.top; y < rect.bottom; ++y) {
        ExpandRow8(sourceRow, width, screenColours, reinterpret_cast<uint32_t*>(outputRow));
        sourceRow += sourcePitch;
        outputRow += outputPitch;
    }
}
