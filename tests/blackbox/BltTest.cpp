#include <gtest/gtest.h>

#include <windows.h>
#include <ddraw.h>

#include <cstdint>
#include <type_traits>
#include <vector>

#include "blackbox/SurfaceFixture.h"

namespace {

template <class Surface>
using Desc = typename DescriptionOf<Surface>::type;

DDBLTFX Effects()
{
    DDBLTFX effects = {};
    effects.dwSize = sizeof effects;
    return effects;
}

// Distinct values everywhere, none of them 0, so that every copied or
// skipped pixel shows.
template <class Pixel>
std::vector<Pixel> Pattern(uint32_t width, uint32_t height, uint32_t seed)
{
    std::vector<Pixel> pixels(size_t(width) * height);
    for (size_t index = 0; index < pixels.size(); ++index)
        pixels[index] = Pixel(1 + (index * 7 + seed * 31) % (sizeof(Pixel) == 1 ? 250 : 60000));
    return pixels;
}

template <class Pixel, class Surface>
std::vector<Pixel> Patterned(Surface* surface, uint32_t seed)
{
    const auto desc = Describe(surface);
    std::vector<Pixel> pixels = Pattern<Pixel>(desc.dwWidth, desc.dwHeight, seed);
    WritePixels(surface, pixels);
    return pixels;
}

// What a game expects of a copy of `from` (in `source`, `sourceWidth` pixels
// to a row) onto `to` (in `destination`, `width` to a row): destination pixel
// (to.left + c, to.top + r) takes source pixel (from.left + c' * sw / dw,
// from.top + r' * sh / dh), where c' and r' count from the other side under a
// mirror, unless that pixel is the key.
template <class Pixel>
std::vector<Pixel> Copied(std::vector<Pixel> destination, uint32_t width, const std::vector<Pixel>& source,
                          uint32_t sourceWidth, const RECT& to, const RECT& from, DWORD mirror, uint32_t key = ~0u)
{
    const uint32_t dw = uint32_t(to.right - to.left), dh = uint32_t(to.bottom - to.top);
    const uint32_t sw = uint32_t(from.right - from.left), sh = uint32_t(from.bottom - from.top);
    for (uint32_t row = 0; row < dh; ++row) {
        for (uint32_t column = 0; column < dw; ++column) {
            const uint32_t c = mirror & DDBLTFX_MIRRORLEFTRIGHT ? dw - 1 - column : column;
            const uint32_t r = mirror & DDBLTFX_MIRRORUPDOWN ? dh - 1 - row : row;
            const Pixel value = source[(from.top + r * sh / dh) * sourceWidth + from.left + c * sw / dw];
            if (value != key)
                destination[(to.top + row) * width + to.left + column] = value;
        }
    }
    return destination;
}

// Runs `body` for both generations and both depths, with the pixel type.
template <class Body>
void ForEveryKind(Body body)
{
    ForBothGenerations([&](auto* generation) {
        body(generation, uint8_t{});
        body(generation, uint16_t{});
    });
}

}

// Every refusal comes before the first pixel is written.
TEST_F(Surfaces, BltRefusesBadRequestsAndWritesNothing)
{
    ForBothGenerations([&](auto* generation) {
        using Surface = std::remove_pointer_t<decltype(generation)>;
        auto destination = CreateOf(16, 8, 16, generation);
        auto source = CreateOf(8, 8, 16, generation);
        auto indexed = CreateOf(8, 8, 8, generation);
        auto deep = CreateOf(8, 8, 24, generation);
        const std::vector<uint16_t> before = Patterned<uint16_t>(destination.get(), 1);
        Patterned<uint16_t>(source.get(), 2);
        DDBLTFX effects = Effects();
        RECT outside = {0, 0, 17, 8};
        RECT negative = {-1, 0, 4, 4};
        RECT reversed = {4, 0, 3, 4};
        RECT belowSource = {0, 0, 4, 9};
        RECT emptySource = {0, 0, 0, 4};
        RECT square = {0, 0, 4, 4};
        Surface* s = source.get();
        Surface* foreign = reinterpret_cast<Surface*>(&effects);

        EXPECT_EQ(DDERR_INVALIDRECT, destination->Blt(&outside, s, nullptr, 0, nullptr));
        EXPECT_EQ(DDERR_INVALIDRECT, destination->Blt(&negative, s, nullptr, 0, nullptr));
        EXPECT_EQ(DDERR_INVALIDRECT, destination->Blt(&reversed, s, nullptr, 0, nullptr));
        EXPECT_EQ(DDERR_INVALIDRECT, destination->Blt(nullptr, s, &belowSource, 0, nullptr));
        EXPECT_EQ(DDERR_INVALIDRECT, destination->Blt(&square, s, &negative, 0, nullptr));
        EXPECT_EQ(DDERR_INVALIDRECT, destination->Blt(nullptr, nullptr, &reversed, DDBLT_COLORFILL, &effects));
        EXPECT_EQ(DDERR_INVALIDRECT, destination->Blt(nullptr, nullptr, &negative, DDBLT_COLORFILL, &effects));
        EXPECT_EQ(DDERR_INVALIDRECT, destination->Blt(&square, s, &emptySource, 0, nullptr));
        EXPECT_EQ(DDERR_INVALIDPARAMS, destination->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL, nullptr));
        EXPECT_EQ(DDERR_INVALIDPARAMS, destination->Blt(nullptr, nullptr, nullptr, 0, &effects));
        EXPECT_EQ(DDERR_INVALIDPARAMS, destination->Blt(&square, foreign, &square, 0, nullptr));
        for (DWORD flags : {DWORD(DDBLT_DDFX), DWORD(DDBLT_DDROPS), DWORD(DDBLT_DEPTHFILL), DWORD(DDBLT_ROP),
                            DWORD(DDBLT_ROTATIONANGLE), DWORD(DDBLT_ZBUFFER),
                            DWORD(DDBLT_KEYDEST | DDBLT_KEYDESTOVERRIDE), DWORD(DDBLT_KEYSRC | DDBLT_KEYSRCOVERRIDE)})
            EXPECT_EQ(DDERR_INVALIDPARAMS, destination->Blt(&square, s, &square, flags, nullptr)) << flags;
        EXPECT_EQ(DDERR_INVALIDPIXELFORMAT, destination->Blt(&square, indexed.get(), &square, 0, nullptr));
        EXPECT_EQ(DDERR_UNSUPPORTEDFORMAT, deep->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL, &effects));
        EXPECT_EQ(DDERR_UNSUPPORTEDFORMAT, deep->Blt(&square, deep.get(), &square, 0, nullptr));

        EXPECT_EQ(DDERR_INVALIDPARAMS, destination->BltFast(0, 0, nullptr, nullptr, 0));
        EXPECT_EQ(DDERR_INVALIDPARAMS, destination->BltFast(0, 0, foreign, nullptr, 0));
        EXPECT_EQ(DDERR_INVALIDRECT, destination->BltFast(0, 0, s, &reversed, 0));
        EXPECT_EQ(DDERR_INVALIDRECT, destination->BltFast(0, 0, s, &negative, 0));
        EXPECT_EQ(DDERR_INVALIDRECT, destination->BltFast(0, 0, s, &belowSource, 0));
        EXPECT_EQ(DDERR_INVALIDRECT, destination->BltFast(9, 0, s, nullptr, 0));
        EXPECT_EQ(DDERR_INVALIDRECT, destination->BltFast(0xFFFFFFFF, 0, s, &square, 0));
        EXPECT_EQ(DDERR_INVALIDRECT, destination->BltFast(0, 0xFFFFFFFE, s, &square, 0));
        EXPECT_EQ(DDERR_INVALIDPIXELFORMAT, destination->BltFast(0, 0, indexed.get(), nullptr, 0));
        EXPECT_EQ(DDERR_UNSUPPORTEDFORMAT, deep->BltFast(0, 0, deep.get(), &square, 0));
        EXPECT_EQ(before, ReadPixels<uint16_t>(destination.get()));

        // Accepted at the limits: edges equal to the size, empty rectangles,
        // flags whose DDBLTFX is only needed together.
        RECT edge = {8, 4, 16, 8};
        RECT edgeSource = {0, 4, 8, 8};
        RECT empty = {3, 3, 3, 7};
        RECT nothing = {5, 5, 5, 5};
        EXPECT_EQ(DD_OK, destination->Blt(&edge, s, &edgeSource, 0, nullptr));
        EXPECT_EQ(DD_OK, destination->Blt(&empty, s, &empty, 0, nullptr));
        EXPECT_EQ(DD_OK, destination->Blt(&square, s, &square, DDBLT_KEYDEST | DDBLT_KEYSRCOVERRIDE, nullptr));
        EXPECT_EQ(DD_OK, destination->BltFast(8, 0, s, nullptr, 0));
        EXPECT_EQ(DD_OK, destination->BltFast(16, 8, s, &nothing, 0));
        // A whole surface onto one of its own shape is a block copy, whatever its depth.
        EXPECT_EQ(DD_OK, deep->BltFast(0, 0, deep.get(), nullptr, 0));
    });
}

// Fills write the low byte or the low 16 bits of the colour into exactly the
// rectangle, by the destination's depth in either generation.
TEST_F(Surfaces, ColourFillsWriteTheirRectangleOnly)
{
    ForEveryKind([&](auto* generation, auto pixel) {
        using Pixel = decltype(pixel);
        auto surface = CreateOf(9, 5, sizeof(Pixel) * 8, generation);
        std::vector<Pixel> expected = Patterned<Pixel>(surface.get(), 3);
        DDBLTFX effects = Effects();
        effects.dwFillColor = 0x12345678;
        RECT rect = {2, 1, 7, 4};
        ASSERT_EQ(DD_OK, surface->Blt(&rect, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &effects));
        for (uint32_t y = 1; y < 4; ++y)
            for (uint32_t x = 2; x < 7; ++x)
                expected[y * 9 + x] = Pixel(0x12345678);
        EXPECT_EQ(expected, ReadPixels<Pixel>(surface.get()));
    });
}

// Copies honour the mirrors and the key in both generations and both depths,
// stretched or not: destination (i, j) takes the source pixel the mirrors
// name, and source pixels equal to the key leave the destination alone.
TEST_F(Surfaces, CopiesMirrorAndKeyAtEveryDepthAndSize)
{
    ForEveryKind([&](auto* generation, auto pixel) {
        using Pixel = decltype(pixel);
        const DWORD depth = sizeof(Pixel) * 8;
        auto source = CreateOf(5, 3, depth, generation);
        auto destination = CreateOf(12, 8, depth, generation);
        std::vector<Pixel> from = Patterned<Pixel>(source.get(), 4);
        from[1] = from[7] = from[13] = Pixel(0x55);
        WritePixels(source.get(), from);
        DDCOLORKEY key = {0x55, 0x55};
        ASSERT_EQ(DD_OK, source->SetColorKey(DDCKEY_SRCBLT, &key));
        for (DWORD mirror : {0, DDBLTFX_MIRRORLEFTRIGHT, DDBLTFX_MIRRORUPDOWN,
                             DDBLTFX_MIRRORLEFTRIGHT | DDBLTFX_MIRRORUPDOWN}) {
            for (RECT to : {RECT{2, 3, 7, 6}, RECT{1, 0, 11, 6}, RECT{0, 1, 3, 3}}) {
                const std::vector<Pixel> before = Patterned<Pixel>(destination.get(), 5);
                DDBLTFX effects = Effects();
                effects.dwDDFX = mirror;
                ASSERT_EQ(DD_OK, destination->Blt(&to, source.get(), nullptr, DDBLT_DDFX | DDBLT_KEYSRC, &effects));
                EXPECT_EQ(Copied(before, 12, from, 5, to, {0, 0, 5, 3}, mirror, 0x55),
                          ReadPixels<Pixel>(destination.get()))
                    << "mirror " << mirror << " to " << to.right - to.left;
            }
        }
    });
}

// Which key a copy uses: the source's own with DDBLT_KEYSRC, the one given
// with DDBLT_KEYSRCOVERRIDE too, none otherwise; a key wider than the pixel
// matches nothing.
TEST_F(Surfaces, CopiesUseTheKeyTheFlagsName)
{
    ForBothGenerations([&](auto* generation) {
        auto source = CreateOf(4, 1, 16, generation);
        auto destination = CreateOf(4, 1, 16, generation);
        WritePixels<uint16_t>(source.get(), {7, 8, 7, 9});
        DDCOLORKEY own = {7, 7};
        const auto copy = [&](DWORD flags, DWORD overrideKey, const DDCOLORKEY* sourceKey) {
            WritePixels<uint16_t>(destination.get(), {1, 1, 1, 1});
            EXPECT_EQ(DD_OK, source->SetColorKey(DDCKEY_SRCBLT, const_cast<DDCOLORKEY*>(sourceKey)));
            DDBLTFX effects = Effects();
            effects.ddckSrcColorkey = {overrideKey, overrideKey};
            EXPECT_EQ(DD_OK, destination->Blt(nullptr, source.get(), nullptr, flags, &effects));
            return ReadPixels<uint16_t>(destination.get());
        };
        using Row = std::vector<uint16_t>;
        EXPECT_EQ(Row({1, 8, 1, 9}), copy(DDBLT_KEYSRC, 8, &own));
        EXPECT_EQ(Row({7, 1, 7, 9}), copy(DDBLT_KEYSRC | DDBLT_KEYSRCOVERRIDE, 8, &own));
        EXPECT_EQ(Row({7, 8, 7, 9}), copy(DDBLT_KEYSRCOVERRIDE, 8, &own));
        EXPECT_EQ(Row({7, 8, 7, 9}), copy(DDBLT_KEYSRC, 8, nullptr));
        EXPECT_EQ(Row({7, 8, 7, 9}), copy(DDBLT_KEYSRC | DDBLT_KEYSRCOVERRIDE, 0x10007, &own));
    });
}

// A copy within one surface whose areas overlap gives what copying from an
// untouched source would, mirrored or not, stretched or not, and for BltFast.
TEST_F(Surfaces, OverlappingCopiesWithinOneSurfaceReadAnUntouchedSource)
{
    ForEveryKind([&](auto* generation, auto pixel) {
        using Pixel = decltype(pixel);
        auto surface = CreateOf(10, 10, sizeof(Pixel) * 8, generation);
        struct Case {
            RECT to;
            RECT from;
            DWORD mirror;
        };
        for (const Case& test : {Case{{1, 1, 9, 9}, {0, 0, 8, 8}, 0}, Case{{0, 0, 8, 8}, {2, 1, 10, 9}, 0},
                                 Case{{1, 0, 9, 8}, {0, 0, 8, 8}, DDBLTFX_MIRRORLEFTRIGHT},
                                 Case{{0, 1, 8, 9}, {0, 0, 8, 8}, DDBLTFX_MIRRORUPDOWN},
                                 Case{{0, 0, 10, 10}, {1, 1, 6, 6}, 0}}) {
            const std::vector<Pixel> before = Patterned<Pixel>(surface.get(), 6);
            const std::vector<Pixel> expected = Copied(before, 10, before, 10, test.to, test.from, test.mirror);
            DDBLTFX effects = Effects();
            effects.dwDDFX = test.mirror;
            RECT to = test.to;
            RECT from = test.from;
            ASSERT_EQ(DD_OK, surface->Blt(&to, surface.get(), &from, DDBLT_DDFX, &effects));
            EXPECT_EQ(expected, ReadPixels<Pixel>(surface.get())) << test.to.left << "," << test.to.top;
            if (test.mirror == 0 && test.to.right - test.to.left == test.from.right - test.from.left) {
                WritePixels(surface.get(), before);
                ASSERT_EQ(DD_OK, surface->BltFast(DWORD(to.left), DWORD(to.top), surface.get(), &from, 0));
                EXPECT_EQ(expected, ReadPixels<Pixel>(surface.get()));
            }
        }
    });
}

// BltFast keys by the source's own key whatever dwTrans says, copies pixels of
// the destination's depth in either generation, and copies a whole surface
// onto one of its shape in one block, unkeyed and wherever it was asked to go.
TEST_F(Surfaces, BltFastPlacesTheSourceKeyedByItsOwnKey)
{
    ForEveryKind([&](auto* generation, auto pixel) {
        using Pixel = decltype(pixel);
        const DWORD depth = sizeof(Pixel) * 8;
        auto sprite = CreateOf(32, 32, depth, generation);
        auto screen = CreateOf(640, 480, depth, generation);
        std::vector<Pixel> from = Patterned<Pixel>(sprite.get(), 7);
        from[0] = from[33] = Pixel(0x66);
        WritePixels(sprite.get(), from);
        DDCOLORKEY key = {0x66, 0};
        ASSERT_EQ(DD_OK, sprite->SetColorKey(DDCKEY_SRCBLT, &key));
        std::vector<Pixel> expected = Patterned<Pixel>(screen.get(), 8);
        EXPECT_EQ(DD_OK, screen->BltFast(608, 448, sprite.get(), nullptr, DDBLTFAST_NOCOLORKEY));
        EXPECT_EQ(DDERR_INVALIDRECT, screen->BltFast(609, 448, sprite.get(), nullptr, 0));
        for (uint32_t y = 0; y < 32; ++y)
            for (uint32_t x = 0; x < 32; ++x)
                if (from[y * 32 + x] != Pixel(0x66))
                    expected[(448 + y) * 640 + 608 + x] = from[y * 32 + x];
        EXPECT_EQ(expected, ReadPixels<Pixel>(screen.get()));

        auto copy = CreateOf(32, 32, depth, generation);
        Patterned<Pixel>(copy.get(), 9);
        EXPECT_EQ(DD_OK, copy->BltFast(5, 7, sprite.get(), nullptr, DDBLTFAST_SRCCOLORKEY));
        EXPECT_EQ(from, ReadPixels<Pixel>(copy.get()));
    });
}

namespace {

constexpr uint16_t white = 0xFFFF;
constexpr uint16_t black = 0x0000;
constexpr uint16_t red = 0xF800;
constexpr uint16_t keyColour = 0xF81F;

uint16_t Rgb565(uint16_t r, uint16_t g, uint16_t b)
{
    return uint16_t(r << 11 | g << 5 | b);
}

// White mixed with 17% and with 8% of black.
const uint16_t beside = Rgb565(25, 52, 25);
const uint16_t diagonal = Rgb565(28, 57, 28);

using Pixels = std::vector<uint16_t>;

class SmoothedSprites : public Surfaces {
protected:
    ComRef<IDirectDrawSurface4> Surface4(DWORD width, DWORD height)
    {
        return CreateOf(width, height, 16, static_cast<IDirectDrawSurface4*>(nullptr));
    }

    // A sprite of the key colour around the given pixels, its key set before
    // the pixels are written, so that their Unlock makes its edge list.
    ComRef<IDirectDrawSurface4> Sprite(DWORD width, DWORD height, const Pixels& pixels)
    {
        ComRef<IDirectDrawSurface4> sprite = Surface4(width, height);
        DDCOLORKEY key = {keyColour, keyColour};
        EXPECT_EQ(DD_OK, sprite->SetColorKey(DDCKEY_SRCBLT, &key));
        WritePixels(sprite.get(), pixels);
        return sprite;
    }

    // The background filled with `ground`, then the sprite drawn onto it.
    Pixels Draw(IDirectDrawSurface4* background, IDirectDrawSurface4* sprite, RECT to, const RECT* from, DWORD flags,
                DWORD mirror = 0, uint16_t ground = white)
    {
        DDBLTFX effects = Effects();
        effects.dwFillColor = ground;
        EXPECT_EQ(DD_OK, background->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL, &effects));
        effects.dwDDFX = mirror;
        effects.ddckSrcColorkey = {keyColour, keyColour};
        EXPECT_EQ(DD_OK, background->Blt(&to, sprite, const_cast<RECT*>(from), flags | DDBLT_DDFX, &effects));
        return ReadPixels<uint16_t>(background);
    }
};

const Pixels dot = {keyColour, keyColour, keyColour, keyColour, black, keyColour, keyColour, keyColour, keyColour};

}

// A keyed copy of a whole 16-bit sprite of the newer generation fades its
// outline into the background: the key pixels beside the dot take 17% of it,
// the diagonal ones 8%. A part of the sprite, or an unkeyed copy, changes only
// the pixels it copies.
TEST_F(SmoothedSprites, AKeyedSpriteFadesIntoTheBackground)
{
    ComRef<IDirectDrawSurface4> sprite = Sprite(3, 3, dot);
    ComRef<IDirectDrawSurface4> background = Surface4(8, 6);
    Pixels smoothed(8 * 6, white);
    const uint16_t around[9] = {diagonal, beside, diagonal, beside, black, beside, diagonal, beside, diagonal};
    for (uint32_t y = 0; y < 3; ++y)
        for (uint32_t x = 0; x < 3; ++x)
            smoothed[(2 + y) * 8 + 4 + x] = around[y * 3 + x];
    const RECT whole = {0, 0, 3, 3};
    EXPECT_EQ(smoothed, Draw(background.get(), sprite.get(), {4, 2, 7, 5}, nullptr, DDBLT_KEYSRC));
    EXPECT_EQ(smoothed, Draw(background.get(), sprite.get(), {4, 2, 7, 5}, &whole, DDBLT_KEYSRC));

    Pixels part(8 * 6, white);
    part[2 * 8 + 4] = black;
    const RECT lowerRight = {1, 1, 3, 3};
    EXPECT_EQ(part, Draw(background.get(), sprite.get(), {4, 2, 6, 4}, &lowerRight, DDBLT_KEYSRC));
    Pixels unkeyed(8 * 6, white);
    for (uint32_t y = 0; y < 3; ++y)
        for (uint32_t x = 0; x < 3; ++x)
            unkeyed[(2 + y) * 8 + 4 + x] = dot[y * 3 + x];
    EXPECT_EQ(unkeyed, Draw(background.get(), sprite.get(), {4, 2, 7, 5}, nullptr, 0));

    // The older generation has no outlines to soften.
    auto classicSprite = CreateOf(3, 3, 16, static_cast<IDirectDrawSurface*>(nullptr));
    auto classicBackground = CreateOf(3, 3, 16, static_cast<IDirectDrawSurface*>(nullptr));
    DDCOLORKEY key = {keyColour, keyColour};
    ASSERT_EQ(DD_OK, classicSprite->SetColorKey(DDCKEY_SRCBLT, &key));
    WritePixels(classicSprite.get(), dot);
    WritePixels(classicBackground.get(), Pixels(9, white));
    ASSERT_EQ(DD_OK, classicBackground->Blt(nullptr, classicSprite.get(), nullptr, DDBLT_KEYSRC, nullptr));
    Pixels plain(9, white);
    plain[4] = black;
    EXPECT_EQ(plain, ReadPixels<uint16_t>(classicBackground.get()));
}

// What is blended is the list the last Unlock with a source key built: pixels
// or keys changed since, and an Unlock without a key, leave it as it was.
TEST_F(SmoothedSprites, TheEdgeListIsTheOneTheLastKeyedUnlockBuilt)
{
    ComRef<IDirectDrawSurface4> sprite = Sprite(3, 3, dot);
    ComRef<IDirectDrawSurface4> background = Surface4(3, 3);
    DDBLTFX effects = Effects();
    effects.dwFillColor = red;
    RECT centre = {1, 1, 2, 2};
    ASSERT_EQ(DD_OK, sprite->Blt(&centre, nullptr, nullptr, DDBLT_COLORFILL, &effects));
    ASSERT_EQ(DD_OK, sprite->SetColorKey(DDCKEY_SRCBLT, nullptr));
    HDC dc = nullptr;
    ASSERT_EQ(DD_OK, sprite->GetDC(&dc));
    ASSERT_EQ(DD_OK, sprite->Unlock(nullptr));
    ASSERT_EQ(DD_OK, sprite->ReleaseDC(dc));
    DDCOLORKEY other = {0x1234, 0x1234};
    ASSERT_EQ(DD_OK, sprite->SetColorKey(DDCKEY_SRCBLT, &other));
    const Pixels shown =
        Draw(background.get(), sprite.get(), {0, 0, 3, 3}, nullptr, DDBLT_KEYSRC | DDBLT_KEYSRCOVERRIDE);
    EXPECT_EQ(Pixels({diagonal, beside, diagonal, beside, red, beside, diagonal, beside, diagonal}), shown);
}

// The mirrors carry the outline with the sprite, and a destination pixel equal
// to the destination's own key is left for a later keyed copy of it.
TEST_F(SmoothedSprites, TheOutlineFollowsTheMirrorsAndSparesTheDestinationsKey)
{
    ComRef<IDirectDrawSurface4> sprite = Sprite(3, 2, {black, keyColour, keyColour, keyColour, keyColour, keyColour});
    ComRef<IDirectDrawSurface4> background = Surface4(3, 2);
    const uint16_t w = white;
    const RECT whole = {0, 0, 3, 2};
    const auto draw = [&](DWORD mirror) {
        return Draw(background.get(), sprite.get(), whole, nullptr, DDBLT_KEYSRC, mirror);
    };
    EXPECT_EQ(Pixels({black, beside, w, beside, diagonal, w}), draw(0));
    EXPECT_EQ(Pixels({w, beside, black, w, diagonal, beside}), draw(DDBLTFX_MIRRORLEFTRIGHT));
    EXPECT_EQ(Pixels({beside, diagonal, w, black, beside, w}), draw(DDBLTFX_MIRRORUPDOWN));
    EXPECT_EQ(Pixels({w, diagonal, beside, w, beside, black}), draw(DDBLTFX_MIRRORLEFTRIGHT | DDBLTFX_MIRRORUPDOWN));

    DDCOLORKEY own = {w, w};
    ASSERT_EQ(DD_OK, background->SetColorKey(DDCKEY_SRCBLT, &own));
    EXPECT_EQ(Pixels({black, w, w, w, w, w}), draw(0));
}
