#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "pixels/support/GuardedBuffer.h"
#include "pixels/support/RandomCases.h"
#include "pixels/support/ReferenceScale.h"
#include "pixels/upscale/Expand.h"
#include "pixels/upscale/Upscale.h"
#include "pixels/upscale/UpscaleCanvas.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/common_interface_defs.h>
#endif

// Numbered random cases: a frame of a random mode size and content, enlarged
// (or shrunk) to a random output size by every kernel level, whole and by
// random rectangles, each result compared pixel for pixel with the reference.
// DDRAW_REPLAY=N runs case N alone and describes it.

namespace {

constexpr uint64_t suite = SuiteSeed("UpscaleRandom");
constexpr uint64_t caseCount = 20000;

// Every case's parameters and reference pixels folded together, so that a
// change of the generator or of the reference shows. After a deliberate one,
// run the test and put here the value its failure message gives.
constexpr uint64_t goldenChecksum = 0xfc47e4129e34fac4ull;

struct CaseParameters {
    bool eightBit;
    uint32_t width;
    uint32_t height;
    uint32_t outWidth;
    uint32_t outHeight;
    uint32_t sourcePad;  // pixels after each source row
    uint32_t outputPad;  // bytes after each output row
    uint32_t distinct;   // values (8-bit: indices) the frame is drawn from
    uint32_t colours;    // distinct screen colours of the palette
    uint32_t repeatEighths;    // the chance that a pixel repeats the one left of or above it
    std::vector<PixelRect> rects;
};

std::ostream& operator<<(std::ostream& out, const PixelRect& rect)
{
    return out << "{" << rect.left << "," << rect.top << "," << rect.right << "," << rect.bottom << "}";
}

std::ostream& operator<<(std::ostream& out, const CaseParameters& c)
{
    out << (c.eightBit ? "8-bit " : "16-bit ") << c.width << "x" << c.height << " -> " << c.outWidth << "x"
        << c.outHeight << ", source pad " << c.sourcePad << " px, output pad " << c.outputPad << " bytes, "
        << c.distinct << " values";
    if (c.eightBit)
        out << " over " << c.colours << " colours";
    out << ", repeats " << c.repeatEighths << "/8, rects";
    for (const PixelRect& rect : c.rects)
        out << " " << rect;
    return out;
}

// Mostly small modes; now and then one long side, rarely two, or a frame
// wider than the routines' strips of 1280 columns.
void DrawModeSize(CaseRandom& random, CaseParameters& c)
{
    auto small = [&] { return random.OneIn(6) ? random.Between(1, 4) : random.Between(1, 64); };
    c.width = small();
    c.height = small();
    if (random.OneIn(400)) {
        c.width = random.Between(65, 700);
        c.height = random.Between(65, 700);
    } else if (random.OneIn(300)) {
        c.width = random.Between(1281, 1360);
        c.height = random.Between(1, 6);
    } else if (random.OneIn(20)) {
        (random.OneIn(2) ? c.width : c.height) = random.Between(65, 700);
    }
}

// One axis of the output: as the mode, exactly twice it, in between, beyond
// twice (up to eight times for small modes, now and then exactly four times,
// three times for larger ones), below it, or one pixel.
uint32_t OutputSize(CaseRandom& random, uint32_t mode)
{
    switch (random.Below(6)) {
    case 0:
        return mode;
    case 1:
        return 2 * mode;
    case 2:
        return random.Between(mode, 2 * mode);
    case 3:
        if (mode > 64)
            return random.Between(2 * mode, 3 * mode + 1);
        return random.OneIn(4) ? 4 * mode : random.Between(2 * mode, 8 * mode + 1);
    case 4:
        return random.Between(1, mode);
    default:
        return 1;
    }
}

// Anywhere in the frame, often against its edges, sometimes empty or whole.
PixelRect DrawRect(CaseRandom& random, uint32_t width, uint32_t height)
{
    if (random.OneIn(6))
        return {0, 0, width, height};
    uint32_t x0 = random.Between(0, width), x1 = random.Between(0, width);
    uint32_t y0 = random.Between(0, height), y1 = random.Between(0, height);
    PixelRect rect = {std::min(x0, x1), std::min(y0, y1), std::max(x0, x1), std::max(y0, y1)};
    if (random.OneIn(4))
        rect.left = 0;
    if (random.OneIn(4))
        rect.right = width;
    if (random.OneIn(4))
        rect.top = 0;
    if (random.OneIn(4))
        rect.bottom = height;
    rect.right = std::max(rect.left, rect.right);
    rect.bottom = std::max(rect.top, rect.bottom);
    if (random.OneIn(8)) {
        if (random.OneIn(2))
            rect.right = rect.left;
        else
            rect.bottom = rect.top;
    }
    return rect;
}

CaseParameters DrawParameters(CaseRandom& random)
{
    CaseParameters c;
    c.eightBit = random.OneIn(2);
    DrawModeSize(random, c);
    if (random.OneIn(10)) {
        c.outWidth = c.width;
        c.outHeight = c.height;
    } else {
        c.outWidth = OutputSize(random, c.width);
        c.outHeight = OutputSize(random, c.height);
    }
    c.sourcePad = random.OneIn(3) ? 0 : random.Between(1, 9);
    const uint32_t outputBytes = c.outWidth * (c.eightBit ? 4 : 2);
    c.outputPad = (4 - outputBytes % 4) % 4 + 4 * random.Below(3);
    c.distinct = random.OneIn(10) ? random.Between(5, 256) : random.Between(1, 4);
    c.colours = random.OneIn(4) ? 256 : random.Between(1, 4);
    c.repeatEighths = random.Below(3) * 3;
    const uint32_t rects = random.Between(1, 3);
    for (uint32_t index = 0; index < rects; ++index)
        c.rects.push_back(DrawRect(random, c.width, c.height));
    return c;
}

// A source frame ending at an inaccessible page; the padding of its rows
// holds noise, which a routine reading it would show.
template <typename Bits>
class Frame {
public:
    using Source = typename Bits::Source;
    using Output = typename Bits::Output;

    Frame(CaseRandom& random, const CaseParameters& c)
        : width_(c.width), height_(c.height), stride_(c.width + c.sourcePad),
          memory_((size_t(stride_) * (c.height - 1) + c.width) * sizeof(Source), sizeof(Source))
    {
        DrawPalette(random, c.colours);
        std::vector<Source> values(c.distinct);
        for (Source& value : values)
            value = Source(random.Bits());
        for (uint32_t y = 0; y < height_; ++y)
            for (uint32_t x = 0; x < stride_ && (y + 1 < height_ || x < width_); ++x)
                Pixels()[size_t(y) * stride_ + x] =
                    x >= width_ ? Source(random.Bits()) : DrawPixel(random, c, values, x, y);
    }

    const Source* Pixels() const { return reinterpret_cast<const Source*>(memory_.Data()); }
    const uint32_t* Colours() const { return colours_.data(); }
    ptrdiff_t Pitch() const { return ptrdiff_t(stride_ * sizeof(Source)); }
    Source At(uint32_t x, uint32_t y) const { return Pixels()[size_t(y) * stride_ + x]; }

    // The value the rule compares and the output shows.
    Output Value(uint32_t x, uint32_t y) const
    {
        if constexpr (sizeof(Source) == 1)
            return colours_[At(x, y)];
        else
            return At(x, y);
    }

private:
    Source* Pixels() { return reinterpret_cast<Source*>(memory_.Data()); }

    // Palettes of few colours give different indices the same colour.
    void DrawPalette(CaseRandom& random, uint32_t count)
    {
        std::vector<uint32_t> screenColours(count);
        for (uint32_t& colour : screenColours)
            colour = random.Bits() & 0x00FFFFFFu;
        for (uint32_t& colour : colours_)
            colour = screenColours[random.Below(count)];
    }

    Source DrawPixel(CaseRandom& random, const CaseParameters& c, const std::vector<Source>& values, uint32_t x,
                     uint32_t y)
    {
        if (random.Below(8) < c.repeatEighths && (x > 0 || y > 0))
            return (y == 0 || (x > 0 && random.OneIn(2))) ? At(x - 1, y) : At(x, y - 1);
        return values[random.Below(uint32_t(values.size()))];
    }

    uint32_t width_;
    uint32_t height_;
    uint32_t stride_;
    GuardedBuffer memory_;
    std::array<uint32_t, 256> colours_;
};

// The screen colour a pixel is shown in.
template <typename Bits>
uint32_t ScreenValue(const Frame<Bits>& frame, uint32_t x, uint32_t y)
{
    if constexpr (sizeof(typename Bits::Source) == 1)
        return frame.Value(x, y);
    else
        return ScreenColourOf565(frame.At(x, y));
}

// What went wrong in a case, one line per call.
struct Findings {
    uint32_t listedPixels;
    std::vector<std::string> lines;
};

template <typename Output>
void Judge(const Canvas<Output>& canvas, const std::vector<Output>& expected, const PixelRect& area,
           const std::string& call, Findings& findings)
{
    const CanvasDifferences differences = DifferencesFrom(canvas, expected, area, findings.listedPixels);
    if (differences.count != 0)
        findings.lines.push_back(call + ": " + std::to_string(differences.count) + " pixels differ;" +
                                 differences.firstOnes);
    if (!canvas.GuardsIntact())
        findings.lines.push_back(call + ": wrote into row padding or past the last pixel");
}

const char* KernelName(UpscaleKernels kernels)
{
    switch (kernels) {
    case UpscaleKernels::Portable:
        return "Portable";
    case UpscaleKernels::Sse2:
        return "Sse2";
    case UpscaleKernels::Ssse3:
        return "Ssse3";
    case UpscaleKernels::Avx2:
        return "Avx2";
    default:
        return "Avx512";
    }
}

// The routines named by their source and output depths where those differ.
template <typename Source, typename Output>
std::string RoutineName(const char* routine)
{
    return sizeof(Source) < sizeof(Output) && sizeof(Source) == 2 ? std::string(routine) + "16To32" : routine;
}

std::string CallName(const std::string& routine, const PixelRect* rect, const char* kernels)
{
    std::ostringstream name;
    name << routine;
    if (rect)
        name << " " << *rect;
    if (kernels)
        name << " with " << kernels;
    return name.str();
}

// Output column c of source column s starts at floor(s * out / source).
PixelRect ExpectedArea(const CaseParameters& c, const PixelRect& rect)
{
    auto at = [](uint32_t position, uint32_t output, uint32_t source) {
        return uint32_t(uint64_t(position) * output / source);
    };
    return {at(rect.left, c.outWidth, c.width), at(rect.top, c.outHeight, c.height),
            at(rect.right, c.outWidth, c.width), at(rect.bottom, c.outHeight, c.height)};
}

bool SameRect(const PixelRect& a, const PixelRect& b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

// The row padding drawn for the case, lengthened where rows of screen colours
// of a 16-bit case would not end on a whole pixel.
template <typename Output>
uint32_t OutputPad(const CaseParameters& c, uint32_t width)
{
    return c.outputPad + (4 - (width * sizeof(Output) + c.outputPad) % 4) % 4;
}

// Into an output of the routine's type: 16-bit frames are scaled both to
// RGB565 and to screen colours.
template <typename Bits, typename Output>
void CheckScaling(const CaseParameters& c, const Frame<Bits>& frame, const std::vector<Output>& reference,
                  Findings& findings)
{
    using Source = typename Bits::Source;
    Canvas<Output> canvas(c.outWidth, c.outHeight, OutputPad<Output>(c, c.outWidth));
    const ScaleGeometry geometry = {c.width, c.height, frame.Pitch(), c.outWidth, c.outHeight, ptrdiff_t(canvas.pitch)};
    for (const PixelRect& rect : c.rects)
        if (!SameRect(ScaledArea(geometry, rect), ExpectedArea(c, rect)))
            findings.lines.push_back(CallName("ScaledArea", &rect, nullptr) + " is wrong");
    const PixelRect whole = {0, 0, c.outWidth, c.outHeight};
    for (UpscaleKernels kernels : AvailableKernels()) {
        SelectUpscaleKernels(kernels);
        canvas.Clear();
        Scale(frame.Pixels(), frame.Colours(), canvas.Pixels(), geometry, nullptr);
        Judge(canvas, reference, whole, CallName(RoutineName<Source, Output>("ScaleFrame"), nullptr, KernelName(kernels)),
              findings);
        for (const PixelRect& rect : c.rects) {
            canvas.Clear();
            Scale(frame.Pixels(), frame.Colours(), canvas.Pixels(), geometry, &rect);
            Judge(canvas, reference, ExpectedArea(c, rect),
                  CallName(RoutineName<Source, Output>("ScaleRect"), &rect, KernelName(kernels)), findings);
        }
    }
}

// Shown 1:1, a frame is only looked up in its palette or widened: each pixel
// takes the screen colour the rule compares.
template <typename Bits>
std::vector<uint32_t> Expanded(const CaseParameters& c, const Frame<Bits>& frame)
{
    std::vector<uint32_t> expanded(size_t(c.width) * c.height);
    for (uint32_t y = 0; y < c.height; ++y)
        for (uint32_t x = 0; x < c.width; ++x)
            expanded[size_t(y) * c.width + x] = ScreenValue(frame, x, y);
    return expanded;
}

void Expand(const Frame<Bits8>& frame, uint32_t* output, ptrdiff_t pitch, const PixelRect& rect)
{
    ExpandRect8(frame.Pixels(), frame.Pitch(), frame.Colours(), output, pitch, rect);
}

void Expand(const Frame<Bits16>& frame, uint32_t* output, ptrdiff_t pitch, const PixelRect& rect)
{
    ExpandRect16(frame.Pixels(), frame.Pitch(), output, pitch, rect);
}

template <typename Bits>
void CheckExpansion(const CaseParameters& c, const Frame<Bits>& frame, const std::vector<uint32_t>& expanded,
                    Findings& findings)
{
    const char* routine = sizeof(typename Bits::Source) == 1 ? "ExpandRect8" : "ExpandRect16";
    Canvas<uint32_t> canvas(c.width, c.height, OutputPad<uint32_t>(c, c.width));
    for (UpscaleKernels kernels : AvailableKernels()) {
        SelectUpscaleKernels(kernels);
        for (const PixelRect& rect : c.rects) {
            canvas.Clear();
            Expand(frame, canvas.Pixels(), canvas.pitch, rect);
            Judge(canvas, expanded, rect, CallName(routine, &rect, KernelName(kernels)), findings);
        }
    }
}

void FoldParameters(const CaseParameters& c, Checksum& checksum)
{
    for (uint32_t value : {uint32_t(c.eightBit), c.width, c.height, c.outWidth, c.outHeight, c.sourcePad, c.outputPad,
                           c.distinct, c.colours, c.repeatEighths})
        checksum.Add(value);
    for (const PixelRect& rect : c.rects)
        checksum.Add(&rect, sizeof rect);
}

template <typename Bits>
void RunCase(CaseRandom& random, const CaseParameters& c, Checksum& checksum, Findings& findings)
{
    const Frame<Bits> frame(random, c);
    const auto reference = ReferenceScale<typename Bits::Output>(
        c.width, c.height, c.outWidth, c.outHeight, [&](uint32_t x, uint32_t y) { return frame.Value(x, y); });
    checksum.Add(reference.data(), reference.size() * sizeof(reference[0]));
    CheckScaling(c, frame, reference, findings);
    if constexpr (sizeof(typename Bits::Source) == 2) {
        const auto widened = ReferenceScale<uint32_t>(c.width, c.height, c.outWidth, c.outHeight,
                                                      [&](uint32_t x, uint32_t y) { return ScreenValue(frame, x, y); });
        checksum.Add(widened.data(), widened.size() * sizeof(widened[0]));
        CheckScaling(c, frame, widened, findings);
    }
    if (c.outWidth == c.width && c.outHeight == c.height) {
        const std::vector<uint32_t> expanded = Expanded(c, frame);
        checksum.Add(expanded.data(), expanded.size() * sizeof(expanded[0]));
        CheckExpansion(c, frame, expanded, findings);
    }
}

// A case that brings the program down (a fault on a guard page, a
// sanitizer's report) still names itself.
uint64_t runningCase = 0;

#if defined(__SANITIZE_ADDRESS__)
void NameRunningCase()
{
    std::fprintf(stderr, "died in case %llu; DDRAW_REPLAY=%llu runs it alone\n", (unsigned long long)runningCase,
                 (unsigned long long)runningCase);
}

void NameCasesThatDie(bool name)
{
    __sanitizer_set_death_callback(name ? NameRunningCase : nullptr);
}
#else
void NameCasesThatDie(bool) {}
#endif

Findings RunNumberedCase(uint64_t number, Checksum& checksum, uint32_t listedPixels, bool describe)
{
    runningCase = number;
    CaseRandom random(suite, number);
    const CaseParameters c = DrawParameters(random);
    if (describe)
        std::cout << "case " << number << ": " << c << std::endl;
    FoldParameters(c, checksum);
    Findings findings = {listedPixels, {}};
    if (c.eightBit)
        RunCase<Bits8>(random, c, checksum, findings);
    else
        RunCase<Bits16>(random, c, checksum, findings);
    if (!findings.lines.empty()) {
        std::ostringstream text;
        text << "case " << number << " (" << c << "; DDRAW_REPLAY=" << number << " runs it alone):";
        for (const std::string& line : findings.lines)
            text << "\n  " << line;
        ADD_FAILURE() << text.str();
    }
    return findings;
}

class UpscaleRandom : public testing::Test {
protected:
    void SetUp() override { NameCasesThatDie(true); }
    void TearDown() override
    {
        NameCasesThatDie(false);
        SelectUpscaleKernels(BestUpscaleKernels());
    }
};

TEST_F(UpscaleRandom, EveryKernelMatchesTheReferenceInEveryCase)
{
    Checksum checksum;
    if (const std::optional<uint64_t> replayed = ReplayedCase()) {
        RunNumberedCase(*replayed, checksum, 16, true);
        return;
    }
    uint64_t failingCases = 0;
    for (uint64_t number = 0; number < caseCount && failingCases < 10; ++number)
        failingCases += RunNumberedCase(number, checksum, 4, false).lines.empty() ? 0 : 1;
    if (failingCases == 0) {
        EXPECT_EQ(goldenChecksum, checksum.Value())
            << "the cases or the reference changed: checksum is 0x" << std::hex << checksum.Value();
    }
}

}
