#include "pixels/upscale/Expand.h"

#include <bit>
#include <cstring>

#include "pixels/upscale/Upscale.h"
#include "pixels/upscale/UpscaleKernels.h"

namespace {

// Four indices per load: the lookups, not the loop, should set the pace.
void ExpandRowPortable(const uint8_t* source, uint32_t count, const uint32_t* screenColours, uint32_t* output)
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

}

PaletteLookup::PaletteLookup(const uint32_t* screenColours)
    : colours_(screenColours), inPlanes_(SelectedUpscaleKernels() == UpscaleKernels::Avx512)
{
    if (!inPlanes_)
        return;
    for (uint32_t plane = 0; plane < 4; ++plane)
        for (uint32_t index = 0; index < 256; ++index)
            planes_[plane][index] = static_cast<uint8_t>(screenColours[index] >> (8 * plane));
}

void PaletteLookup::Row(const uint8_t* source, uint32_t count, uint32_t* output) const
{
    if (inPlanes_)
        ExpandRowAvx512(planes_, source, count, output);
    else
        ExpandRowPortable(source, count, colours_, output);
}

// Colours are found again through a table of twice as many places as there
// are colours, the next place taken where one is full.
CanonicalIndices::CanonicalIndices(const uint32_t* screenColours)
    : inVectors_(SelectedUpscaleKernels() == UpscaleKernels::Avx512)
{
    constexpr uint32_t places = 512;
    uint16_t indexAt[places];
    std::memset(indexAt, 0xFF, sizeof(indexAt));
    for (uint32_t index = 0; index < 256; ++index) {
        const uint32_t colour = screenColours[index];
        uint32_t place = (colour * 2654435761u) >> 23;
        while (indexAt[place] != 0xFFFF && screenColours[indexAt[place]] != colour)
            place = (place + 1) % places;
        if (indexAt[place] == 0xFFFF)
            indexAt[place] = static_cast<uint16_t>(index);
        first_[index] = static_cast<uint8_t>(indexAt[place]);
    }
}

void CanonicalIndices::Row(const uint8_t* source, uint32_t count, uint8_t* output) const
{
    if (inVectors_) {
        LookUpRowAvx512(first_, source, count, output);
        return;
    }
    for (const uint8_t* const end = source + count; source != end; ++source, ++output)
        *output = first_[*source];
}

void WidenRowPortable(const uint16_t* source, uint32_t count, uint32_t* output)
{
    for (const uint16_t* const end = source + count; source != end; ++source, ++output) {
        const uint32_t red = *source >> 11, green = *source >> 5 & 0x3F, blue = *source & 0x1F;
        *output = (red << 3 | red >> 2) << 16 | (green << 2 | green >> 4) << 8 | (blue << 3 | blue >> 2);
    }
}

namespace {

auto WidenRowOfSelectedKernels()
{
    switch (SelectedUpscaleKernels()) {
    case UpscaleKernels::Portable:
        return WidenRowPortable;
    case UpscaleKernels::Sse2:
    case UpscaleKernels::Ssse3:
        return WidenRowSse2;
    case UpscaleKernels::Avx2:
        return WidenRowAvx2;
    default:
        return WidenRowAvx512;
    }
}

template <typename Lookup>
void ExpandRect(const typename Lookup::Source* source, ptrdiff_t sourcePitch, const Lookup& lookup, uint32_t* output,
                ptrdiff_t outputPitch, const PixelRect& rect)
{
    const uint32_t width = rect.right - rect.left;
    const uint8_t* sourceRow = reinterpret_cast<const uint8_t*>(source + rect.left) + rect.top * sourcePitch;
    uint8_t* outputRow = reinterpret_cast<uint8_t*>(output) + rect.top * outputPitch + rect.left * sizeof(uint32_t);
    for (uint32_t y = rect.top; y < rect.bottom; ++y) {
        lookup.Row(reinterpret_cast<const typename Lookup::Source*>(sourceRow), width,
                   reinterpret_cast<uint32_t*>(outputRow));
        sourceRow += sourcePitch;
        outputRow += outputPitch;
    }
}

}

Rgb565Widening::Rgb565Widening() : widen_(WidenRowOfSelectedKernels()) {}

void Rgb565Widening::Row(const uint16_t* source, uint32_t count, uint32_t* output) const
{
    widen_(source, count, output);
}

void ExpandRect8(const uint8_t* source, ptrdiff_t sourcePitch, const uint32_t* screenColours, uint32_t* output,
                 ptrdiff_t outputPitch, const PixelRect& rect)
{
    ExpandRect(source, sourcePitch, PaletteLookup(screenColours), output, outputPitch, rect);
}

void ExpandRect16(const uint16_t* source, ptrdiff_t sourcePitch, uint32_t* output, ptrdiff_t outputPitch,
                  const PixelRect& rect)
{
    ExpandRect(source, sourcePitch, Rgb565Widening(), output, outputPitch, rect);
}
