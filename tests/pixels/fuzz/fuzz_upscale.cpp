#include <array>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "pixels/fuzz/FuzzInput.h"
#include "pixels/fuzz/FuzzPlane.h"
#include "pixels/support/GuardedBuffer.h"
#include "pixels/support/ReferenceScale.h"
#include "pixels/upscale/Expand.h"
#include "pixels/upscale/Upscale.h"
#include "pixels/upscale/UpscaleCanvas.h"

// 8-bit and 16-bit frames enlarged or shrunk to any output size, 0 and far
// beyond 2x included, whole or by a rectangle, 16-bit ones to RGB565 or to
// screen colours, and rectangles expanded to screen colours 1:1, with sizes,
// pitches and content drawn from the input. The portable
// kernels and a level the input picks must each give the reference inside
// the area the call rewrites and leave the sentinel everywhere else.

namespace {

// 16-bit frames shown in 32-bit screen colours.
struct Bits16To32 {
    using Source = uint16_t;
    using Output = uint32_t;
};

// Outputs are bounded so that one input stays quick to run.
constexpr uint64_t largestOutput = 1u << 19;

// A source frame whose last pixel ends at an inaccessible page; the row
// padding is painted like the pixels.
template <typename Bits>
class SourceFrame {
public:
    using Source = typename Bits::Source;
    using Output = typename Bits::Output;

    SourceFrame(uint32_t width_, uint32_t height_, uint32_t stride_)
        : width(width_), height(height_), stride(stride_),
          memory_((size_t(stride_) * (height_ - 1) + width_) * sizeof(Source), sizeof(Source))
    {
    }

    void Paint(PixelValues& values)
    {
        for (size_t index = 0; index < memory_.Size() / sizeof(Source); ++index)
            Pixels()[index] = Source(values.Next());
        for (uint32_t& colour : colours)
            colour = values.Next() & 0x00FFFFFFu;
    }

    const Source* Pixels() const { return reinterpret_cast<const Source*>(memory_.Data()); }
    ptrdiff_t Pitch() const { return ptrdiff_t(stride * sizeof(Source)); }

    Output Value(uint32_t x, uint32_t y) const
    {
        const Source pixel = Pixels()[size_t(y) * stride + x];
        if constexpr (sizeof(Source) == 1)
            return colours[pixel];
        else if constexpr (sizeof(Output) == 4)
            return ScreenColourOf565(pixel);
        else
            return pixel;
    }

    uint32_t width;
    uint32_t height;
    uint32_t stride;
    std::array<uint32_t, 256> colours{};

private:
    Source* Pixels() { return reinterpret_cast<Source*>(memory_.Data()); }

    GuardedBuffer memory_;
};

// As the mode, twice or four times it, anything up to three times it, or up to
// eight.
uint32_t DrawOutputSide(FuzzInput& input, uint32_t mode)
{
    switch (input.Below(4)) {
    case 0:
        return mode;
    case 1:
        return (input.Below(2) + 1) * 2 * mode;
    case 2:
        return input.Below(3 * mode + 3);
    default:
        return input.Below(8 * mode + 1);
    }
}

uint32_t PadBytes(FuzzInput& input, uint32_t rowBytes)
{
    return (4 - rowBytes % 4) % 4 + 4 * input.Below(3);
}

PixelRect ExpectedArea(const ScaleGeometry& geometry, const PixelRect& rect)
{
    auto at = [](uint32_t position, uint32_t output, uint32_t source) {
        return uint32_t(uint64_t(position) * output / source);
    };
    return {at(rect.left, geometry.outputWidth, geometry.sourceWidth),
            at(rect.top, geometry.outputHeight, geometry.sourceHeight),
            at(rect.right, geometry.outputWidth, geometry.sourceWidth),
            at(rect.bottom, geometry.outputHeight, geometry.sourceHeight)};
}

std::string DescribeCall(const std::string& routine, const PixelRect& rect, const ScaleGeometry& geometry, int kernels)
{
    std::ostringstream text;
    text << routine << " " << Describe(rect) << " of " << geometry.sourceWidth << "x" << geometry.sourceHeight
         << " pitch " << geometry.sourcePitch << " to " << geometry.outputWidth << "x" << geometry.outputHeight
         << " pitch " << geometry.outputPitch << " with kernels " << kernels;
    return text.str();
}

template <typename Output, typename Describe>
void RequireCanvas(const Canvas<Output>& canvas, const std::vector<Output>& expected, const PixelRect& area,
                   Describe describe)
{
    const CanvasDifferences differences = DifferencesFrom(canvas, expected, area, 3);
    Require(differences.count == 0, "output pixels differ from the reference",
            [&] { return describe() + ";" + differences.firstOnes; });
    Require(canvas.GuardsIntact(), "a write landed in the row padding or past the last pixel", describe);
}

template <typename Bits>
void RequireScaling(FuzzInput& input, const SourceFrame<Bits>& frame, UpscaleKernels level)
{
    using Output = typename Bits::Output;
    const uint32_t outWidth = DrawOutputSide(input, frame.width);
    uint32_t outHeight = DrawOutputSide(input, frame.height);
    if (uint64_t(outWidth) * outHeight > largestOutput)
        outHeight = uint32_t(largestOutput / outWidth);
    Canvas<Output> canvas(outWidth, outHeight, PadBytes(input, outWidth * sizeof(Output)));
    const ScaleGeometry geometry = {frame.width, frame.height, frame.Pitch(), outWidth, outHeight,
                                    ptrdiff_t(canvas.pitch)};
    const bool whole = input.Flag();
    const PixelRect rect =
        whole ? PixelRect{0, 0, frame.width, frame.height} : DrawRect(input, frame.width, frame.height);
    const PixelRect area = ExpectedArea(geometry, rect);
    const PixelRect scaledArea = ScaledArea(geometry, rect);
    const std::string routine =
        std::string(whole ? "ScaleFrame" : "ScaleRect") +
        (sizeof(typename Bits::Source) == 1 ? "8" : sizeof(Output) == 2 ? "16" : "16To32");
    Require(scaledArea.left == area.left && scaledArea.top == area.top && scaledArea.right == area.right &&
                scaledArea.bottom == area.bottom,
            "ScaledArea differs from the stepping", [&] { return DescribeCall("ScaledArea", rect, geometry, 0); });
    const std::vector<Output> reference = ReferenceScale<Output>(
        frame.width, frame.height, outWidth, outHeight, [&](uint32_t x, uint32_t y) { return frame.Value(x, y); });
    for (UpscaleKernels kernels : {UpscaleKernels::Portable, level}) {
        SelectUpscaleKernels(kernels);
        canvas.Clear();
        Scale(frame.Pixels(), frame.colours.data(), canvas.Pixels(), geometry, whole ? nullptr : &rect);
        RequireCanvas(canvas, reference, area, [&] { return DescribeCall(routine, rect, geometry, int(kernels)); });
    }
}

void Expand(const SourceFrame<Bits8>& frame, uint32_t* output, ptrdiff_t pitch, const PixelRect& rect)
{
    ExpandRect8(frame.Pixels(), frame.Pitch(), frame.colours.data(), output, pitch, rect);
}

void Expand(const SourceFrame<Bits16To32>& frame, uint32_t* output, ptrdiff_t pitch, const PixelRect& rect)
{
    ExpandRect16(frame.Pixels(), frame.Pitch(), output, pitch, rect);
}

template <typename Bits>
void RequireExpansion(FuzzInput& input, const SourceFrame<Bits>& frame)
{
    Canvas<uint32_t> canvas(frame.width, frame.height, PadBytes(input, frame.width * 4));
    const PixelRect rect = DrawRect(input, frame.width, frame.height);
    std::vector<uint32_t> expected(size_t(frame.width) * frame.height);
    for (uint32_t y = 0; y < frame.height; ++y)
        for (uint32_t x = 0; x < frame.width; ++x)
            expected[size_t(y) * frame.width + x] = frame.Value(x, y);
    Expand(frame, canvas.Pixels(), canvas.pitch, rect);
    const ScaleGeometry geometry = {frame.width, frame.height, frame.Pitch(), frame.width, frame.height,
                                    ptrdiff_t(canvas.pitch)};
    const char* routine = sizeof(typename Bits::Source) == 1 ? "ExpandRect8" : "ExpandRect16";
    RequireCanvas(canvas, expected, rect, [&] { return DescribeCall(routine, rect, geometry, 0); });
}

template <typename Bits>
void Run(FuzzInput& input, bool expand)
{
    const UpscaleKernels level = UpscaleKernels(input.Below(uint32_t(BestUpscaleKernels()) + 1));
    // Now and then a frame wider than the routines' strips of 1280 columns.
    const bool wide = input.Below(16) == 15;
    const uint32_t width = input.Between(1, wide ? 1360 : 64);
    const uint32_t height = input.Between(1, wide ? 8 : 64);
    SourceFrame<Bits> frame(width, height, width + input.Below(8));
    PixelValues values(input);
    frame.Paint(values);
    if constexpr (sizeof(typename Bits::Output) == 4) {
        if (expand) {
            SelectUpscaleKernels(level);
            RequireExpansion(input, frame);
            return;
        }
    }
    RequireScaling(input, frame, level);
}

}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput input(data, size);
    const uint32_t routine = input.Below(5);
    if (routine == 0)
        Run<Bits16>(input, false);
    else if (routine <= 2)
        Run<Bits8>(input, routine == 2);
    else
        Run<Bits16To32>(input, routine == 4);
    return 0;
}
