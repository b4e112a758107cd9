#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "pixels/blit/BlitRequest.h"
#include "pixels/edges/EdgeReference.h"
#include "pixels/support/GuardedBuffer.h"
#include "pixels/support/RandomCases.h"

// Blt and BltFast requests of every kind, hostile ones included, on surfaces
// laid out as the module lays them out, each checked against a slow model of
// what the game sees: the result, what a present is told, and every byte of
// both surfaces. Every surface ends at an inaccessible page.
namespace {

constexpr uint64_t suite = SuiteSeed("BlitRandom");
constexpr uint64_t caseCount = 200000;
// The checksum of every case's expected outcome. A change of behaviour
// changes it; when the change is meant, run once and record the value the
// failure message gives.
constexpr uint64_t goldenChecksum = 0x303c9e33e2006177;

// Pixels as the module keeps them: rows top-down, each padded to four bytes.
struct Model {
    uint32_t width;
    uint32_t height;
    uint32_t depth;
    uint32_t pitch;
    std::vector<uint8_t> bytes;

    uint32_t Get(uint32_t x, uint32_t y) const
    {
        const uint8_t* pixel = &bytes[size_t(y) * pitch + size_t(x) * depth / 8];
        uint32_t value = 0;
        for (uint32_t byte = 0; byte < depth / 8; ++byte)
            value |= uint32_t(pixel[byte]) << (8 * byte);
        return value;
    }

    void Set(uint32_t x, uint32_t y, uint32_t value)
    {
        uint8_t* pixel = &bytes[size_t(y) * pitch + size_t(x) * depth / 8];
        for (uint32_t byte = 0; byte < depth / 8; ++byte)
            pixel[byte] = uint8_t(value >> (8 * byte));
    }
};

struct TestSurface {
    TestSurface(uint32_t width, uint32_t height, uint32_t depth)
        : pitch((width * depth / 8 + 3) & ~3u), model{width, height, depth, pitch, {}},
          memory(size_t(pitch) * height)
    {
    }

    BlitSurface View() { return {{memory.Data(), ptrdiff_t(pitch)}, model.width, model.height, model.depth}; }

    // What the surface holds now.
    Model Snapshot() const
    {
        Model copy = model;
        copy.bytes.assign(memory.Data(), memory.Data() + memory.Size());
        return copy;
    }

    void Load(const Model& pixels) { std::memcpy(memory.Data(), pixels.bytes.data(), memory.Size()); }

    uint32_t pitch;
    Model model;
    GuardedBuffer memory;
};

struct Case {
    bool fast = false;
    std::unique_ptr<TestSurface> destination;
    std::unique_ptr<TestSurface> ownSource;
    bool sameSurface = false;
    bool sourceGiven = true;
    std::optional<SignedRect> destinationRect;
    std::optional<SignedRect> sourceRect;
    BltRequest request = {};
    uint32_t x = 0;
    uint32_t y = 0;
    bool edgeList = false;
    uint16_t listKey = 0;

    TestSurface& Source() { return sameSurface ? *destination : *ownSource; }
};

struct Outcome {
    BlitResult result;
    SignedRect area;
    bool wholeFrame;
    Model destination;
    Model source;
};

uint32_t Side(CaseRandom& random)
{
    const uint32_t kind = random.Below(40);
    if (kind == 0)
        return random.Between(1, 700);
    if (kind < 8)
        return random.Between(1, 64);
    return random.Between(1, 12);
}

uint32_t Depth(CaseRandom& random)
{
    const uint32_t kind = random.Below(20);
    return kind < 9 ? 8 : kind < 18 ? 16 : 24;
}

// A few values, so that keys and the edge rule find their pixels, and now
// and then any value.
std::vector<uint32_t> Values(CaseRandom& random, uint32_t depth)
{
    const uint32_t mask = depth == 32 ? ~0u : (1u << depth) - 1;
    std::vector<uint32_t> values(4);
    for (uint32_t& value : values)
        value = random.Bits() & mask;
    return values;
}

void Paint(CaseRandom& random, TestSurface& surface, const std::vector<uint32_t>& values)
{
    Model pixels = surface.Snapshot();
    for (uint8_t& byte : pixels.bytes)
        byte = uint8_t(random.Bits());
    const uint32_t mask = (1u << (surface.model.depth / 2) << (surface.model.depth / 2)) - 1;
    for (uint32_t y = 0; y < pixels.height; ++y)
        for (uint32_t x = 0; x < pixels.width; ++x)
            pixels.Set(x, y, random.OneIn(10) ? random.Bits() & mask : values[random.Below(4)]);
    surface.Load(pixels);
}

int32_t Coordinate(CaseRandom& random, uint32_t side)
{
    switch (random.Below(24)) {
    case 0: return std::numeric_limits<int32_t>::min();
    case 1: return std::numeric_limits<int32_t>::max();
    case 2: return -int32_t(random.Between(1, 4));
    case 3: return int32_t(side + random.Between(1, 4));
    default: return int32_t(random.Between(0, side));
    }
}

// Inside, touching the edges, empty, reversed, negative or far outside.
SignedRect AnyRect(CaseRandom& random, uint32_t width, uint32_t height)
{
    SignedRect rect = {Coordinate(random, width), Coordinate(random, height), Coordinate(random, width),
                       Coordinate(random, height)};
    if (!random.OneIn(6)) {
        if (rect.left > rect.right)
            std::swap(rect.left, rect.right);
        if (rect.top > rect.bottom)
            std::swap(rect.top, rect.bottom);
    }
    return rect;
}

// A rectangle of the size of `like` somewhere in the surface, where it fits.
SignedRect SameSizeRect(CaseRandom& random, const SignedRect& like, uint32_t width, uint32_t height)
{
    const int64_t w = int64_t(like.right) - like.left, h = int64_t(like.bottom) - like.top;
    if (w < 0 || h < 0 || w > width || h > height)
        return AnyRect(random, width, height);
    const int32_t left = int32_t(random.Between(0, uint32_t(width - w)));
    const int32_t top = int32_t(random.Between(0, uint32_t(height - h)));
    return {left, top, left + int32_t(w), top + int32_t(h)};
}

Case MakeCase(uint64_t number)
{
    CaseRandom random(suite, number);
    Case made;
    made.fast = random.OneIn(3);
    const uint32_t depth = Depth(random);
    made.destination = std::make_unique<TestSurface>(Side(random), Side(random), depth);
    const std::vector<uint32_t> values = Values(random, depth);
    Paint(random, *made.destination, values);
    made.sameSurface = random.OneIn(5);
    if (!made.sameSurface) {
        const uint32_t sourceDepth = random.OneIn(12) ? Depth(random) : depth;
        const bool sameShape = random.OneIn(6);
        made.ownSource = std::make_unique<TestSurface>(
            sameShape ? made.destination->model.width : Side(random),
            sameShape ? made.destination->model.height : Side(random), sourceDepth);
        Paint(random, *made.ownSource, sourceDepth == depth ? values : Values(random, sourceDepth));
    }
    const Model& source = made.Source().model;
    const uint32_t key = random.OneIn(5) ? random.Bits() : values[random.Below(4)];
    CopyEffects& copy = made.request.copy;
    copy.keyed = random.OneIn(2);
    copy.key = key;
    if (made.fast) {
        made.x = random.OneIn(10) ? random.Bits() : random.Between(0, made.destination->model.width);
        made.y = random.OneIn(10) ? random.Bits() : random.Between(0, made.destination->model.height);
        if (!random.OneIn(4))
            made.sourceRect = AnyRect(random, source.width, source.height);
        return made;
    }
    if (!random.OneIn(7))
        made.destinationRect = AnyRect(random, made.destination->model.width, made.destination->model.height);
    made.sourceGiven = !random.OneIn(25);
    if (!random.OneIn(7)) {
        const SignedRect whole = {0, 0, int32_t(made.destination->model.width),
                                  int32_t(made.destination->model.height)};
        made.sourceRect = random.OneIn(2) ? SameSizeRect(random, made.destinationRect.value_or(whole), source.width,
                                                         source.height)
                                          : AnyRect(random, source.width, source.height);
    }
    BltRequest& request = made.request;
    request.colourFill = random.OneIn(4);
    request.effectsGiven = !random.OneIn(12);
    request.effectsNeeded = random.OneIn(6);
    request.fillColour = random.OneIn(3) ? random.Bits() : values[random.Below(4)];
    copy.mirrorLeftRight = random.OneIn(3);
    copy.mirrorUpDown = random.OneIn(3);
    made.edgeList = source.depth == 16 && random.OneIn(2);
    made.listKey = uint16_t(random.OneIn(4) ? random.Bits() : key);
    request.destinationKeyed = random.OneIn(3);
    request.destinationKey = random.OneIn(4) ? random.Bits() : values[random.Below(4)];
    return made;
}

bool FitsIn(const SignedRect& rect, const Model& surface)
{
    return rect.left >= 0 && rect.top >= 0 && rect.left <= rect.right && rect.top <= rect.bottom &&
           int64_t{rect.right} <= surface.width && int64_t{rect.bottom} <= surface.height;
}

bool Ordered(const SignedRect& rect)
{
    return rect.left >= 0 && rect.top >= 0 && rect.left <= rect.right && rect.top <= rect.bottom;
}

SignedRect Whole(const Model& surface)
{
    return {0, 0, int32_t(surface.width), int32_t(surface.height)};
}

bool Same(const SignedRect& a, const SignedRect& b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

// Destination pixel (left + c, top + r) takes source pixel (left + c * sw / dw,
// top + r * sh / dh) of the untouched source, counted from the far side under
// a mirror; keyed source pixels are skipped.
void ReferenceCopy(Model& to, const SignedRect& area, const Model& from, const SignedRect& fromArea,
                   const CopyEffects& effects)
{
    const uint64_t dw = uint64_t(area.right - area.left), dh = uint64_t(area.bottom - area.top);
    const uint64_t sw = uint64_t(fromArea.right - fromArea.left), sh = uint64_t(fromArea.bottom - fromArea.top);
    for (uint64_t r = 0; r < dh; ++r)
        for (uint64_t c = 0; c < dw; ++c) {
            const uint64_t pc = effects.mirrorLeftRight ? dw - 1 - c : c;
            const uint64_t pr = effects.mirrorUpDown ? dh - 1 - r : r;
            const uint32_t value = from.Get(uint32_t(fromArea.left + pc * sw / dw), uint32_t(fromArea.top + pr * sh / dh));
            if (!effects.keyed || value != effects.key)
                to.Set(uint32_t(area.left + c), uint32_t(area.top + r), value);
        }
}

void ReferenceEdges(Model& to, const SignedRect& area, const Model& from, const Case& made)
{
    const BltRequest& request = made.request;
    const auto records = ReferenceEdgeList(from.width, from.height, made.listKey,
                                           [&](int x, int y) { return uint16_t(from.Get(uint32_t(x), uint32_t(y))); });
    for (const auto& [x, y, weight, colour] : records) {
        const uint32_t tx = request.copy.mirrorLeftRight ? area.left + from.width - 1 - x : area.left + x;
        const uint32_t ty = request.copy.mirrorUpDown ? area.top + from.height - 1 - y : area.top + y;
        const uint32_t under = to.Get(tx, ty);
        if (!request.destinationKeyed || under != request.destinationKey)
            to.Set(tx, ty, ReferenceBlend(uint16_t(under), uint16_t(colour), weight));
    }
}

Outcome ReferenceBlt(const Case& made, const Model& before, const Model& source)
{
    const BltRequest& request = made.request;
    Outcome outcome = {BlitResult::Done, made.destinationRect.value_or(Whole(before)), false, before, source};
    const SignedRect& area = outcome.area;
    const SignedRect fromArea =
        made.sourceRect.value_or(made.sourceGiven ? Whole(source) : SignedRect{0, 0, 0, 0});
    if (!FitsIn(area, before) || !Ordered(fromArea) || (made.sourceGiven && !FitsIn(fromArea, source))) {
        outcome.result = BlitResult::InvalidRect;
        return outcome;
    }
    outcome.wholeFrame = Same(area, Whole(before));
    const bool handled = before.depth == 8 || before.depth == 16;
    if (request.colourFill) {
        if (!request.effectsGiven)
            outcome.result = BlitResult::InvalidParams;
        else if (!handled)
            outcome.result = BlitResult::UnsupportedFormat;
        for (int32_t y = area.top; outcome.result == BlitResult::Done && y < area.bottom; ++y)
            for (int32_t x = area.left; x < area.right; ++x)
                outcome.destination.Set(uint32_t(x), uint32_t(y), request.fillColour);
        if (made.sameSurface)
            outcome.source = outcome.destination;
        return outcome;
    }
    const bool sameSize = area.right - area.left == fromArea.right - fromArea.left &&
                          area.bottom - area.top == fromArea.bottom - fromArea.top;
    const bool emptySource = fromArea.left == fromArea.right || fromArea.top == fromArea.bottom;
    const bool emptyArea = area.left == area.right || area.top == area.bottom;
    if (!made.sourceGiven || (request.effectsNeeded && !request.effectsGiven))
        outcome.result = BlitResult::InvalidParams;
    else if (!handled)
        outcome.result = BlitResult::UnsupportedFormat;
    else if (source.depth != before.depth)
        outcome.result = BlitResult::InvalidPixelFormat;
    else if (!sameSize && emptySource && !emptyArea)
        outcome.result = BlitResult::InvalidRect;
    if (outcome.result != BlitResult::Done)
        return outcome;
    ReferenceCopy(outcome.destination, area, source, fromArea, request.copy);
    if (made.edgeList && request.copy.keyed && before.depth == 16 && sameSize && Same(fromArea, Whole(source)))
        ReferenceEdges(outcome.destination, area, source, made);
    if (made.sameSurface)
        outcome.source = outcome.destination;
    return outcome;
}

Outcome ReferenceBltFast(const Case& made, const Model& before, const Model& source)
{
    Outcome outcome = {BlitResult::Done, Whole(before), true, before, source};
    if (source.depth != before.depth) {
        outcome.result = BlitResult::InvalidPixelFormat;
    } else if (!made.sourceRect && source.pitch == before.pitch && source.width == before.width &&
               source.height == before.height) {
        outcome.destination.bytes = source.bytes;
    } else if (before.depth != 8 && before.depth != 16) {
        outcome.result = BlitResult::UnsupportedFormat;
    } else {
        const SignedRect fromArea = made.sourceRect.value_or(Whole(source));
        const uint64_t w = uint64_t(fromArea.right) - uint64_t(fromArea.left);
        const uint64_t h = uint64_t(fromArea.bottom) - uint64_t(fromArea.top);
        if (!FitsIn(fromArea, source) || made.x + w > before.width || made.y + h > before.height) {
            outcome.result = BlitResult::InvalidRect;
            return outcome;
        }
        outcome.area = {int32_t(made.x), int32_t(made.y), int32_t(made.x + w), int32_t(made.y + h)};
        outcome.wholeFrame = !made.sourceRect || Same(outcome.area, Whole(before));
        CopyEffects key = {};
        key.keyed = made.request.copy.keyed;
        key.key = made.request.copy.key;
        ReferenceCopy(outcome.destination, outcome.area, source, fromArea, key);
    }
    if (made.sameSurface)
        outcome.source = outcome.destination;
    return outcome;
}

Outcome Perform(Case& made)
{
    TestSurface& source = made.Source();
    BlitSurface destinationView = made.destination->View();
    BlitSurface sourceView = source.View();
    const SignedRect* sourceRect = made.sourceRect ? &*made.sourceRect : nullptr;
    BlitOutcome outcome;
    if (made.fast) {
        CopyEffects key = {};
        key.keyed = made.request.copy.keyed;
        key.key = made.request.copy.key;
        outcome = PerformBltFast(destinationView, made.x, made.y, sourceView, sourceRect, key);
    } else {
        EdgePixel* list = nullptr;
        uint32_t count = 0;
        if (made.edgeList)
            count = BuildEdgeList(reinterpret_cast<const uint16_t*>(sourceView.plane.pixels), sourceView.height,
                                  sourceView.width, int32_t(sourceView.plane.pitch / 2), made.listKey, &list);
        BltRequest request = made.request;
        request.destinationRect = made.destinationRect ? &*made.destinationRect : nullptr;
        request.source = made.sourceGiven ? &sourceView : nullptr;
        request.sourceRect = sourceRect;
        request.edgeList = list;
        request.edgeCount = count;
        outcome = PerformBlt(destinationView, request);
        if (count != 0)
            delete[] list;
    }
    return {outcome.result, outcome.area, outcome.wholeFrame, made.destination->Snapshot(), source.Snapshot()};
}

std::string Describe(const SignedRect& rect)
{
    char text[64];
    std::snprintf(text, sizeof text, "{%d, %d, %d, %d}", int(rect.left), int(rect.top), int(rect.right),
                  int(rect.bottom));
    return text;
}

std::string Describe(const Case& made)
{
    const Model& to = made.destination->model;
    const Model& from = made.sameSurface ? to : made.ownSource->model;
    std::string text = std::string(made.fast ? "BltFast" : "Blt") + " onto " + std::to_string(to.width) + "x" +
                       std::to_string(to.height) + "x" + std::to_string(to.depth) + " from " +
                       (made.sameSurface ? std::string("itself") : std::to_string(from.width) + "x" +
                                                                    std::to_string(from.height) + "x" +
                                                                    std::to_string(from.depth));
    const CopyEffects& copy = made.request.copy;
    if (made.fast)
        text += " at (" + std::to_string(made.x) + ", " + std::to_string(made.y) + ")";
    else
        text += ", destination " + (made.destinationRect ? Describe(*made.destinationRect) : "whole") +
                (made.sourceGiven ? "" : ", no source") + (made.request.colourFill ? ", colour fill" : "") +
                (made.request.effectsGiven ? "" : ", no effects") +
                (made.request.effectsNeeded ? ", effects needed" : "") + (copy.mirrorLeftRight ? ", mirror LR" : "") +
                (copy.mirrorUpDown ? ", mirror UD" : "") + (made.edgeList ? ", edge list" : "");
    text += ", source " + (made.sourceRect ? Describe(*made.sourceRect) : "whole");
    if (copy.keyed)
        text += ", key " + std::to_string(copy.key);
    return text;
}

const char* Name(BlitResult result)
{
    static const char* const names[] = {"Done", "InvalidRect", "InvalidParams", "UnsupportedFormat",
                                        "InvalidPixelFormat", "OutOfMemory"};
    return names[int(result)];
}

// Where the model and the blitter part, or nothing.
std::string Difference(const Outcome& expected, const Outcome& actual)
{
    if (expected.result != actual.result)
        return std::string("result ") + Name(actual.result) + ", expected " + Name(expected.result);
    if (expected.result == BlitResult::Done &&
        (!Same(expected.area, actual.area) || expected.wholeFrame != actual.wholeFrame))
        return "presented " + Describe(actual.area) + (actual.wholeFrame ? " as the whole frame" : "") +
               ", expected " + Describe(expected.area) + (expected.wholeFrame ? " as the whole frame" : "");
    for (const bool destination : {true, false}) {
        const Model& want = destination ? expected.destination : expected.source;
        const Model& got = destination ? actual.destination : actual.source;
        for (size_t offset = 0; offset < want.bytes.size(); ++offset) {
            if (want.bytes[offset] != got.bytes[offset])
                return std::string(destination ? "destination" : "source") + " byte " +
                       std::to_string(offset) + " (row " + std::to_string(offset / want.pitch) + ") is " +
                       std::to_string(got.bytes[offset]) + ", expected " + std::to_string(want.bytes[offset]);
        }
    }
    return {};
}

void Fold(Checksum& checksum, uint64_t number, const Outcome& expected)
{
    checksum.Add(number);
    checksum.Add(uint64_t(expected.result));
    if (expected.result == BlitResult::Done) {
        checksum.Add(&expected.area, sizeof expected.area);
        checksum.Add(uint64_t(expected.wholeFrame));
    }
    checksum.Add(expected.destination.bytes.data(), expected.destination.bytes.size());
}

std::vector<BlitKernels> AvailableKernels()
{
    const BlitKernels all[] = {BlitKernels::Portable, BlitKernels::Sse2, BlitKernels::Ssse3,
                               BlitKernels::Sse41,    BlitKernels::Avx2, BlitKernels::Avx512};
    std::vector<BlitKernels> kernels;
    for (BlitKernels level : all) {
        kernels.push_back(level);
        if (level == BestBlitKernels())
            break;
    }
    return kernels;
}

// Runs one case; false when the blitter and the model disagree.
bool RunCase(uint64_t number, BlitKernels kernels, Checksum& checksum, bool verbose)
{
    Case made = MakeCase(number);
    if (verbose)
        std::printf("case %llu: %s\n", static_cast<unsigned long long>(number), Describe(made).c_str());
    const Model before = made.destination->Snapshot();
    const Model source = made.Source().Snapshot();
    const Outcome expected = made.fast ? ReferenceBltFast(made, before, source) : ReferenceBlt(made, before, source);
    Fold(checksum, number, expected);
    SelectBlitKernels(kernels);
    const Outcome actual = Perform(made);
    const std::string difference = Difference(expected, actual);
    if (verbose)
        std::printf("  expected %s, got %s\n", Name(expected.result), Name(actual.result));
    if (difference.empty() && made.destination->memory.SlackIntact() &&
        (made.sameSurface || made.ownSource->memory.SlackIntact()))
        return true;
    ADD_FAILURE() << "case " << number << ": " << Describe(made) << ": "
                  << (difference.empty() ? "wrote past the last row" : difference)
                  << "\n  replay with DDRAW_REPLAY=" << number;
    return false;
}

TEST(BlitRandom, EveryRequestDoesWhatTheGameSeesAndStaysInItsSurfaces)
{
    const std::vector<BlitKernels> kernels = AvailableKernels();
    Checksum checksum;
    if (const std::optional<uint64_t> replayed = ReplayedCase()) {
        for (BlitKernels level : kernels)
            RunCase(*replayed, level, checksum, true);
        return;
    }
    int failures = 0;
    for (uint64_t number = 0; number < caseCount && failures < 5; ++number)
        failures += !RunCase(number, kernels[number % kernels.size()], checksum, false);
    SelectBlitKernels(BestBlitKernels());
    if (failures == 0) {
        EXPECT_EQ(goldenChecksum, checksum.Value())
            << "the outcomes of the " << caseCount << " cases changed; checksum 0x" << std::hex << checksum.Value();
    }
}

}
