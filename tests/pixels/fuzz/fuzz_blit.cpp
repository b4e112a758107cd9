#include <algorithm>
#include <cstdint>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "pixels/blit/Blit.h"
#include "pixels/fuzz/FuzzInput.h"
#include "pixels/fuzz/FuzzPlane.h"

// Fills, copies and stretches of 8-bit and 16-bit pixels with rectangles,
// pitches and effects drawn from the input, inside one plane (overlapping)
// or between two, each run with the portable loops and with a level the
// input picks, and each result compared byte for byte, margins and padding
// included, with the same writes done pixel by pixel.

namespace {

enum class Operation { Fill, Copy, StretchRect, StretchCopy };

struct Write {
    uint32_t x;
    uint32_t y;
    uint32_t value;
};

// Two planes, or one that is both source and destination.
struct Scene {
    FuzzPlane& destination;
    FuzzPlane& source;
    bool shared;
};

PixelRect DrawNonEmptyRect(FuzzInput& input, uint32_t width, uint32_t height)
{
    PixelRect rect;
    rect.left = input.Below(width);
    rect.right = input.Between(rect.left + 1, width);
    rect.top = input.Below(height);
    rect.bottom = input.Between(rect.top + 1, height);
    return rect;
}

// A key that the painted pixels are likely to hold, or any 32-bit value,
// which for a key wider than the pixel matches nothing.
CopyEffects DrawEffects(FuzzInput& input, const PixelValues& values, uint32_t pixelBytes)
{
    CopyEffects effects;
    effects.mirrorLeftRight = input.Flag();
    effects.mirrorUpDown = input.Flag();
    effects.keyed = input.Flag();
    const uint32_t largest = pixelBytes == 1 ? 0xFFu : 0xFFFFu;
    effects.key = input.Flag() ? values.Chosen(input.Byte()) & largest : input.Bits32();
    return effects;
}

bool KeyedOut(const CopyEffects& effects, uint32_t value)
{
    return effects.keyed && value == effects.key;
}

std::vector<Write> FillWrites(const PixelRect& rect, uint32_t colour)
{
    std::vector<Write> writes;
    for (uint32_t y = rect.top; y < rect.bottom; ++y)
        for (uint32_t x = rect.left; x < rect.right; ++x)
            writes.push_back({x, y, colour});
    return writes;
}

// Every source pixel is read before anything is written: the result of a
// copy from an untouched source.
std::vector<Write> CopyWrites(FuzzPlane& source, const PixelRect& from, uint32_t x, uint32_t y,
                              const CopyEffects& effects)
{
    const uint32_t width = from.right - from.left, height = from.bottom - from.top;
    std::vector<Write> writes;
    for (uint32_t row = 0; row < height; ++row)
        for (uint32_t column = 0; column < width; ++column) {
            const uint32_t sourceX = from.left + (effects.mirrorLeftRight ? width - 1 - column : column);
            const uint32_t sourceY = from.top + (effects.mirrorUpDown ? height - 1 - row : row);
            const uint32_t value = source.At(sourceX, sourceY);
            if (!KeyedOut(effects, value))
                writes.push_back({x + column, y + row, value});
        }
    return writes;
}

// Destination pixel (c, r) of the plain stretch takes source pixel
// (floor(c * sw / dw), floor(r * sh / dh)); a mirror takes the pixel the
// plain stretch puts at the other end.
std::vector<Write> StretchWrites(FuzzPlane& source, const PixelRect& from, const PixelRect& to,
                                 const CopyEffects& effects)
{
    const uint64_t sourceWidth = from.right - from.left, sourceHeight = from.bottom - from.top;
    const uint32_t width = to.right - to.left, height = to.bottom - to.top;
    std::vector<Write> writes;
    for (uint32_t row = 0; row < height; ++row)
        for (uint32_t column = 0; column < width; ++column) {
            const uint32_t plainColumn = effects.mirrorLeftRight ? width - 1 - column : column;
            const uint32_t plainRow = effects.mirrorUpDown ? height - 1 - row : row;
            const uint32_t value = source.At(from.left + uint32_t(plainColumn * sourceWidth / width),
                                             from.top + uint32_t(plainRow * sourceHeight / height));
            if (!KeyedOut(effects, value))
                writes.push_back({to.left + column, to.top + row, value});
        }
    return writes;
}

bool Intersect(const PixelRect& a, const PixelRect& b)
{
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

// A call with everything it needs drawn, and the writes it should make.
struct Call {
    Operation operation;
    std::vector<Write> writes;
    PixelRect sourceRect;
    PixelRect destinationRect;
    uint32_t colour;
    CopyEffects effects;
};

bool DrawCall(FuzzInput& input, PixelValues& values, Scene& scene, Call& call)
{
    const uint32_t bytes = scene.destination.pixelBytes;
    FuzzPlane& destination = scene.destination;
    FuzzPlane& source = scene.source;
    switch (call.operation) {
    case Operation::Fill:
        call.destinationRect = DrawRect(input, destination.width, destination.height);
        call.colour = input.Flag() ? values.Chosen(input.Byte()) : input.Bits32();
        call.colour &= bytes == 1 ? 0xFFu : 0xFFFFu;
        call.writes = FillWrites(call.destinationRect, call.colour);
        return true;
    case Operation::Copy: {
        PixelRect& from = call.sourceRect = DrawRect(input, source.width, source.height);
        from.right = from.left + std::min(from.right - from.left, destination.width);
        from.bottom = from.top + std::min(from.bottom - from.top, destination.height);
        const uint32_t x = input.Below(destination.width - (from.right - from.left) + 1);
        const uint32_t y = input.Below(destination.height - (from.bottom - from.top) + 1);
        call.destinationRect = {x, y, x + (from.right - from.left), y + (from.bottom - from.top)};
        call.effects = DrawEffects(input, values, bytes);
        call.writes = CopyWrites(source, from, x, y, call.effects);
        return true;
    }
    default: {
        call.destinationRect = DrawRect(input, destination.width, destination.height);
        const bool empty = call.destinationRect.left == call.destinationRect.right ||
                           call.destinationRect.top == call.destinationRect.bottom;
        call.sourceRect = empty ? DrawRect(input, source.width, source.height)
                                : DrawNonEmptyRect(input, source.width, source.height);
        call.effects = DrawEffects(input, values, bytes);
        // StretchCopy takes areas that share no memory.
        if (call.operation == Operation::StretchCopy && scene.shared &&
            Intersect(call.sourceRect, call.destinationRect))
            return false;
        call.writes = empty ? std::vector<Write>{}
                            : StretchWrites(source, call.sourceRect, call.destinationRect, call.effects);
        return true;
    }
    }
}

std::string Describe(const Call& call, const Scene& scene, uint32_t bytes, BlitKernels kernels)
{
    static const char* const names[] = {"FillRect", "CopyRect", "StretchRect", "StretchCopy"};
    std::ostringstream text;
    text << names[int(call.operation)] << (bytes == 1 ? "8" : "16") << " with kernels " << int(kernels);
    if (call.operation == Operation::Fill) {
        text << ": colour " << call.colour;
    } else {
        const CopyEffects& effects = call.effects;
        text << " from " << Describe(call.sourceRect) << " of " << Describe(scene.source) << ", mirrors "
             << effects.mirrorLeftRight << effects.mirrorUpDown << ", keyed " << effects.keyed << " key "
             << effects.key << (scene.shared ? ", in one plane" : "");
    }
    text << " to " << Describe(call.destinationRect) << " of " << Describe(scene.destination);
    return text.str();
}

template <typename Pixel>
bool Perform(const Call& call, Scene& scene)
{
    const PixelPlane to = scene.destination.Plane();
    const PixelPlane from = scene.source.Plane();
    constexpr bool eight = sizeof(Pixel) == 1;
    switch (call.operation) {
    case Operation::Fill:
        if constexpr (eight)
            FillRect8(to, call.destinationRect, uint8_t(call.colour));
        else
            FillRect16(to, call.destinationRect, uint16_t(call.colour));
        return true;
    case Operation::Copy: {
        const uint32_t x = call.destinationRect.left, y = call.destinationRect.top;
        return eight ? CopyRect8(to, x, y, from, call.sourceRect, call.effects)
                     : CopyRect16(to, x, y, from, call.sourceRect, call.effects);
    }
    case Operation::StretchRect:
        return eight ? StretchRect8(to, call.destinationRect, from, call.sourceRect, call.effects)
                     : StretchRect16(to, call.destinationRect, from, call.sourceRect, call.effects);
    default: {
        const ptrdiff_t toStride = to.pitch / ptrdiff_t(sizeof(Pixel));
        const ptrdiff_t fromStride = from.pitch / ptrdiff_t(sizeof(Pixel));
        if constexpr (eight)
            StretchCopy8(to.pixels, from.pixels, call.sourceRect, fromStride, call.destinationRect, toStride,
                         call.effects);
        else
            StretchCopy16(reinterpret_cast<uint16_t*>(to.pixels), reinterpret_cast<const uint16_t*>(from.pixels),
                          call.sourceRect, fromStride, call.destinationRect, toStride, call.effects);
        return true;
    }
    }
}

void Run(FuzzInput& input)
{
    const Operation operation = Operation(input.Below(4));
    const uint32_t bytes = input.Flag() ? 2 : 1;
    const BlitKernels level = BlitKernels(input.Below(uint32_t(BestBlitKernels()) + 1));
    // Now and then long rows, only a few of them, so that runs stay quick.
    const bool wide = input.Below(32) == 31;
    const uint32_t widest = wide ? 700 : 64, highest = wide ? 6 : 64;
    FuzzPlane destination(DrawShape(input, bytes, widest, highest));
    const bool shared = operation != Operation::Fill && input.Flag();
    std::optional<FuzzPlane> separate;
    if (!shared)
        separate.emplace(DrawShape(input, bytes, widest, highest));
    Scene scene = {destination, separate ? *separate : destination, shared};
    Call call = {operation, {}, {}, {}, 0, {}};
    PixelValues values(input);
    destination.Paint(values);
    if (separate)
        separate->Paint(values);
    if (!DrawCall(input, values, scene, call))
        return;

    const std::vector<uint8_t> before = destination.Bytes();
    const std::vector<uint8_t> sourceBefore = scene.source.Bytes();
    for (const Write& write : call.writes)
        destination.Set(write.x, write.y, write.value);
    const std::vector<uint8_t> expected = destination.Bytes();
    for (BlitKernels kernels : {BlitKernels::Portable, level}) {
        destination.Restore(before);
        scene.source.Restore(sourceBefore);
        SelectBlitKernels(kernels);
        const bool done = bytes == 1 ? Perform<uint8_t>(call, scene) : Perform<uint16_t>(call, scene);
        const auto describe = [&] { return Describe(call, scene, bytes, kernels); };
        Require(done, "a blit found no memory", describe);
        Require(destination.Holds(expected), "the destination differs from the writes expected", describe);
        Require(shared || scene.source.Holds(sourceBefore), "the source changed", describe);
    }
}

}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput input(data, size);
    Run(input);
    return 0;
}
