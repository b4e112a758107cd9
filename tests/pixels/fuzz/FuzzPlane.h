#pragma once

#include <cstdint>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "pixels/blit/Blit.h"
#include "pixels/fuzz/FuzzInput.h"
#include "pixels/support/GuardedBuffer.h"

// A plane's size and layout; the pitch is in bytes.
struct PlaneShape {
    uint32_t width;
    uint32_t height;
    uint32_t pixelBytes;
    ptrdiff_t pitch;
};

// Sides of 1 pixel up to the widest and highest, and a pitch of the row or a
// few pixels more, either way round.
inline PlaneShape DrawShape(FuzzInput& input, uint32_t pixelBytes, uint32_t widest, uint32_t highest)
{
    const uint32_t width = input.Between(1, widest);
    const uint32_t height = input.Between(1, highest);
    const ptrdiff_t pitch = ptrdiff_t(width + input.Below(8)) * pixelBytes;
    return {width, height, pixelBytes, input.Flag() ? -pitch : pitch};
}

// A surface's pixels over memory that ends at an inaccessible page (its row
// nearest the end has no padding), with a margin in front and the row
// padding painted like the pixels, so that any stray write shows when the
// whole memory is compared with what it should hold. A negative pitch puts
// row 0 last in memory.
class FuzzPlane {
public:
    static constexpr size_t margin = 32;

    explicit FuzzPlane(const PlaneShape& shape)
        : width(shape.width), height(shape.height), pixelBytes(shape.pixelBytes), pitch(shape.pitch),
          memory_(margin + Span(), shape.pixelBytes),
          origin_(memory_.Data() + margin + (pitch < 0 ? Span() - size_t(width) * pixelBytes : 0))
    {
    }

    void Paint(PixelValues& values)
    {
        for (size_t offset = 0; offset < memory_.Size(); offset += pixelBytes) {
            const uint32_t value = values.Next();
            std::memcpy(memory_.Data() + offset, &value, pixelBytes);
        }
    }

    PixelPlane Plane() { return {origin_, pitch}; }

    uint32_t At(uint32_t x, uint32_t y)
    {
        uint32_t value = 0;
        std::memcpy(&value, PixelAddress(x, y), pixelBytes);
        return value;
    }

    void Set(uint32_t x, uint32_t y, uint32_t value) { std::memcpy(PixelAddress(x, y), &value, pixelBytes); }

    std::vector<uint8_t> Bytes() const { return {memory_.Data(), memory_.Data() + memory_.Size()}; }
    void Restore(const std::vector<uint8_t>& bytes) { std::memcpy(memory_.Data(), bytes.data(), bytes.size()); }
    bool Holds(const std::vector<uint8_t>& bytes) const
    {
        return std::memcmp(memory_.Data(), bytes.data(), bytes.size()) == 0 && memory_.SlackIntact();
    }

    uint32_t width;
    uint32_t height;
    uint32_t pixelBytes;
    ptrdiff_t pitch;

private:
    size_t Span() const { return size_t(height - 1) * size_t(pitch < 0 ? -pitch : pitch) + size_t(width) * pixelBytes; }
    uint8_t* PixelAddress(uint32_t x, uint32_t y) { return origin_ + ptrdiff_t(y) * pitch + ptrdiff_t(x) * pixelBytes; }

    GuardedBuffer memory_;
    uint8_t* origin_;
};

// A rectangle inside a width x height area, empty ones and whole ones included.
inline PixelRect DrawRect(FuzzInput& input, uint32_t width, uint32_t height)
{
    PixelRect rect;
    rect.left = input.Below(width + 1);
    rect.right = input.Between(rect.left, width);
    rect.top = input.Below(height + 1);
    rect.bottom = input.Between(rect.top, height);
    return rect;
}

inline std::string Describe(const PixelRect& rect)
{
    std::ostringstream text;
    text << "{" << rect.left << "," << rect.top << "," << rect.right << "," << rect.bottom << "}";
    return text.str();
}

inline std::string Describe(const FuzzPlane& plane)
{
    std::ostringstream text;
    text << plane.width << "x" << plane.height << " pitch " << plane.pitch;
    return text.str();
}
