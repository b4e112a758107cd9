// The 8-bit scene, through IDirectDraw2: colour-filled sky bands, a sun,
// scrolling BltFast bricks, a stretched picture whose rings cycle through
// the palette, stars written through Lock and a caption drawn with GDI.
#include "Scene.h"

#include <array>
#include <cstdio>

namespace {

constexpr DWORD width = 640;
constexpr DWORD height = 480;

// Palette layout: sky bands, bricks, the cycled ring colours, fixed colours.
constexpr uint8_t skyFirst = 16;
constexpr uint32_t skyBands = 24;
constexpr uint8_t brickFirst = 48;
constexpr uint8_t ringFirst = 64;
constexpr uint32_t ringCount = 64;
constexpr uint8_t ground = 44;
constexpr uint8_t sun = 250;
constexpr uint8_t star = 255;

constexpr DWORD tileSide = 32;
constexpr DWORD pictureWidth = 160;
constexpr DWORD pictureHeight = 120;
constexpr uint32_t starCount = 48;

PALETTEENTRY Entry(uint32_t red, uint32_t green, uint32_t blue)
{
    return {BYTE(red), BYTE(green), BYTE(blue), 0};
}

// One of `ringCount` hues around the colour wheel.
PALETTEENTRY Hue(uint32_t index)
{
    const uint32_t sector = index * 6 / ringCount;
    const uint32_t rise = (index * 6 % ringCount) * 255 / ringCount;
    const uint32_t fall = 255 - rise;
    switch (sector) {
    case 0: return Entry(255, rise, 0);
    case 1: return Entry(fall, 255, 0);
    case 2: return Entry(0, 255, rise);
    case 3: return Entry(0, fall, 255);
    case 4: return Entry(rise, 0, 255);
    default: return Entry(255, 0, fall);
    }
}

std::array<PALETTEENTRY, 256> StartingPalette()
{
    std::array<PALETTEENTRY, 256> entries = {};
    for (uint32_t index = 0; index < 16; ++index)
        entries[index] = Entry(index * 17, index * 17, index * 17);
    for (uint32_t band = 0; band < skyBands; ++band)
        entries[skyFirst + band] = Entry(20 + band * 4, 40 + band * 7, 110 + band * 6);
    for (uint32_t shade = 0; shade < 16; ++shade)
        entries[brickFirst + shade] = Entry(120 + shade * 8, 50 + shade * 4, 30 + shade * 2);
    for (uint32_t ring = 0; ring < ringCount; ++ring)
        entries[ringFirst + ring] = Hue(ring);
    for (uint32_t index = 128; index < 256; ++index)
        entries[index] = Entry(index, 255 - index / 2, (index * 7) & 0xFF);
    entries[ground] = Entry(40, 110, 30);
    entries[sun] = Entry(255, 220, 60);
    entries[star] = Entry(255, 255, 255);
    return entries;
}

class PaletteScene : public Scene {
public:
    explicit PaletteScene(DirectDrawCreateFunction create_) : create(create_) {}

    const char* InterfaceName() const override { return "IDirectDraw2"; }
    void Start(HWND window, DWORD& modeSetAt) override;
    void DrawFrame(uint32_t frame) override;
    DrawnFrame ReadBackBuffer() override;
    void ShowFrame() override;
    std::string ReleaseEverything() override;

private:
    void DrawTile();
    void DrawPicture();
    void Fill(const RECT& rect, uint8_t index);
    void DrawBricks(uint32_t frame);
    void DrawStars(uint32_t frame);
    void DrawCaption(uint32_t frame);
    void CyclePalette(uint32_t frame);

    DirectDrawCreateFunction create;
    Display<IDirectDraw2, IDirectDrawSurface> display;
    IDirectDrawPalette* palette = nullptr;
    IDirectDrawSurface* backBuffer = nullptr;
    IDirectDrawSurface* tile = nullptr;
    IDirectDrawSurface* picture = nullptr;
    std::array<PALETTEENTRY, 256> entries = StartingPalette();
};

void PaletteScene::Start(HWND window, DWORD& modeSetAt)
{
    display.Start(create, IID_IDirectDraw2, window, 8, modeSetAt);
    Check(display.directDrawN->CreatePalette(DDPCAPS_8BIT | DDPCAPS_ALLOW256, entries.data(), &palette, nullptr),
          "CreatePalette");
    Check(display.primary->SetPalette(palette), "SetPalette");
    backBuffer = display.backBuffer;
    tile = display.CreateOffscreen(tileSide, tileSide);
    picture = display.CreateOffscreen(pictureWidth, pictureHeight);
    DrawTile();
    DrawPicture();
}

// A brick with mortar lines and shaded faces.
void PaletteScene::DrawTile()
{
    DrawLocked(tile, [](uint8_t* pixels, LONG pitch, DWORD tileWidth, DWORD tileHeight) {
        for (DWORD y = 0; y < tileHeight; ++y) {
            const DWORD offset = (y / 16) % 2 == 0 ? 0 : 16;
            for (DWORD x = 0; x < tileWidth; ++x) {
                const bool mortar = y % 16 == 15 || (x + offset) % 32 == 31;
                pixels[ptrdiff_t(y) * pitch + x] = mortar ? 6 : uint8_t(brickFirst + (x + y) % 16);
            }
        }
    });
}

// Concentric rings, each a ring colour, so that cycling the palette makes them flow.
void PaletteScene::DrawPicture()
{
    DrawLocked(picture, [](uint8_t* pixels, LONG pitch, DWORD pictureW, DWORD pictureH) {
        for (DWORD y = 0; y < pictureH; ++y) {
            for (DWORD x = 0; x < pictureW; ++x) {
                const int32_t dx = int32_t(x) - int32_t(pictureW / 2);
                const int32_t dy = int32_t(y) - int32_t(pictureH / 2);
                const uint32_t distance = uint32_t(dx * dx + dy * dy);
                pixels[ptrdiff_t(y) * pitch + x] = uint8_t(ringFirst + (distance / 48) % ringCount);
            }
        }
    });
}

void PaletteScene::Fill(const RECT& rect, uint8_t index)
{
    DDBLTFX effects = {};
    effects.dwSize = sizeof effects;
    effects.dwFillColor = index;
    RECT target = rect;
    Check(backBuffer->Blt(&target, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &effects), "Blt(colour fill)");
}

void PaletteScene::DrawFrame(uint32_t frame)
{
    const LONG bandHeight = 400 / LONG(skyBands) + 1;
    for (LONG band = 0; band < LONG(skyBands); ++band)
        Fill({0, band * bandHeight, LONG(width), std::min(400L, (band + 1) * bandHeight)}, uint8_t(skyFirst + band));
    const LONG sunX = 20 + Bounce(frame * 2, 560);
    Fill({sunX, 30, sunX + 48, 78}, sun);
    Fill({0, 400, LONG(width), LONG(height)}, ground);
    DrawStars(frame);
    const LONG bob = Bounce(frame, 60);
    RECT stretched = {200, 70 + bob, 440, 250 + bob};
    Check(backBuffer->Blt(&stretched, picture, nullptr, DDBLT_WAIT, nullptr), "Blt(stretch)");
    DrawBricks(frame);
    DrawCaption(frame);
    CyclePalette(frame);
}

// A wall of bricks along the ground, scrolling left; the tile at each end is
// cut to fit with a source rectangle.
void PaletteScene::DrawBricks(uint32_t frame)
{
    const LONG shift = LONG(frame % tileSide);
    for (LONG row = 0; row < 2; ++row) {
        const DWORD y = DWORD(336 + row * LONG(tileSide));
        for (LONG x = -shift; x < LONG(width); x += LONG(tileSide)) {
            RECT source = {std::max(0L, -x), 0, std::min(LONG(tileSide), LONG(width) - x), LONG(tileSide)};
            Check(backBuffer->BltFast(DWORD(std::max(0L, x)), y, tile, &source,
                                      DDBLTFAST_NOCOLORKEY | DDBLTFAST_WAIT),
                  "BltFast");
        }
    }
}

// Stars drifting left across the sky, one pixel each.
void PaletteScene::DrawStars(uint32_t frame)
{
    DrawLocked(backBuffer, [frame](uint8_t* pixels, LONG pitch, DWORD, DWORD) {
        uint32_t seed = 12345;
        for (uint32_t index = 0; index < starCount; ++index) {
            seed = seed * 1103515245u + 12345u;
            const uint32_t speed = 1 + (seed >> 28) % 3;
            const uint32_t x = ((seed >> 8) % width + width * 4 - frame * speed % width) % width;
            const uint32_t y = (seed >> 16) % 300;
            pixels[ptrdiff_t(y) * pitch + x] = star;
        }
    });
}

void PaletteScene::DrawCaption(uint32_t frame)
{
    HDC dc = nullptr;
    Check(backBuffer->GetDC(&dc), "GetDC");
    wchar_t caption[48];
    const int length = std::swprintf(caption, 48, L"8-bit palette scene, frame %u", frame);
    SetBkMode(dc, TRANSPARENT);
    // A palette index, since the surface's own colour table is not the palette.
    SetTextColor(dc, DIBINDEX(star));
    TextOutW(dc, 12, 450, caption, length);
    Check(backBuffer->ReleaseDC(dc), "ReleaseDC");
}

void PaletteScene::CyclePalette(uint32_t frame)
{
    for (uint32_t ring = 0; ring < ringCount; ++ring)
        entries[ringFirst + ring] = Hue((ring + frame) % ringCount);
    Check(palette->SetEntries(0, ringFirst, ringCount, &entries[ringFirst]), "SetEntries");
}

DrawnFrame PaletteScene::ReadBackBuffer()
{
    DrawnFrame frame = ReadPixels(backBuffer, 8);
    frame.palette.assign(entries.begin(), entries.end());
    return frame;
}

void PaletteScene::ShowFrame()
{
    display.Flip();
}

// The primary holds the palette too, until it goes.
std::string PaletteScene::ReleaseEverything()
{
    std::string leftovers;
    display.ReleaseSurfaces(leftovers);
    ReleaseExpecting(palette, 0, "the palette", leftovers);
    ReleaseExpecting(tile, 0, "the brick surface", leftovers);
    ReleaseExpecting(picture, 0, "the picture surface", leftovers);
    display.ReleaseDirectDraw(leftovers);
    return leftovers;
}

}

std::unique_ptr<Scene> MakePaletteScene(DirectDrawCreateFunction create)
{
    return std::make_unique<PaletteScene>(create);
}
