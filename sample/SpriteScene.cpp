// The 16-bit scene, through IDirectDraw4: a detailed background copied with
// BltFast, colour-keyed flowers placed with BltFast, bouncing balls and
// swimming fish drawn with keyed Blt (their outlines softened), the fish
// mirrored to face the way they swim.
#include "Scene.h"

#include <array>

namespace {

constexpr DWORD width = 640;
constexpr DWORD height = 480;
constexpr uint16_t keyColour = 0xF81F;
constexpr DWORD ballSide = 48;
constexpr DWORD fishWidth = 64;
constexpr DWORD fishHeight = 32;
constexpr DWORD flowerSide = 32;
constexpr LONG horizon = 300;

uint16_t Rgb565(uint32_t red, uint32_t green, uint32_t blue)
{
    return uint16_t((red >> 3) << 11 | (green >> 2) << 5 | blue >> 3);
}

struct Mover {
    uint32_t startX;
    uint32_t startY;
    uint32_t speedX;
    uint32_t speedY;
    DWORD mirror;
};

constexpr std::array<Mover, 6> balls = {{
    {0, 0, 3, 2, 0},
    {200, 90, 2, 3, 0},
    {400, 30, 4, 1, 0},
    {90, 200, 1, 4, 0},
    {520, 150, 5, 2, 0},
    {310, 260, 2, 5, 0},
}};

constexpr std::array<Mover, 3> fish = {{
    {0, 120, 3, 0, 0},
    {300, 200, 2, 0, 0},
    {150, 260, 4, 0, DDBLTFX_MIRRORUPDOWN},
}};

// Puffs of cloud, each a circle.
bool InCloud(DWORD x, DWORD y)
{
    struct Puff {
        int32_t x, y, radius;
    };
    static constexpr Puff puffs[] = {{90, 70, 26},  {125, 58, 32},  {162, 72, 24}, {380, 112, 22},
                                     {410, 98, 30}, {446, 114, 20}, {560, 52, 18}, {586, 44, 24}};
    for (const Puff& puff : puffs) {
        const int32_t dx = int32_t(x) - puff.x;
        const int32_t dy = int32_t(y) - puff.y;
        if (dx * dx + dy * dy < puff.radius * puff.radius)
            return true;
    }
    return false;
}

void DrawBackground(uint8_t* bytes, LONG pitch, DWORD surfaceWidth, DWORD surfaceHeight)
{
    uint32_t seed = 2024;
    for (DWORD y = 0; y < surfaceHeight; ++y) {
        uint16_t* row = reinterpret_cast<uint16_t*>(bytes + ptrdiff_t(y) * pitch);
        for (DWORD x = 0; x < surfaceWidth; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const uint32_t grain = seed >> 29;
            const LONG hill = horizon - 40 + Bounce(x, 80) / 2 - Bounce(x * 3, 90) / 3;
            if (LONG(y) < hill) {
                row[x] = InCloud(x, y) ? Rgb565(235, 240, 250) : Rgb565(60 + y / 3, 120 + y / 4, 230 - y / 6);
            } else if (LONG(y) < horizon + 60) {
                const bool stripe = (x + y) % 24 < 3;
                row[x] = stripe ? Rgb565(40, 110, 40) : Rgb565(70 + grain * 8, 150 + grain * 6, 60);
            } else {
                const bool mortar = y % 20 == 0 || (x + (y / 20 % 2) * 20) % 40 == 0;
                row[x] = mortar ? Rgb565(200, 200, 190) : Rgb565(150 + grain * 6, 70 + grain * 4, 50);
            }
        }
    }
}

// Pixels outside the shape are the key colour.
template <class Shape>
void DrawSprite(uint8_t* bytes, LONG pitch, DWORD spriteWidth, DWORD spriteHeight, Shape shape)
{
    for (DWORD y = 0; y < spriteHeight; ++y) {
        uint16_t* row = reinterpret_cast<uint16_t*>(bytes + ptrdiff_t(y) * pitch);
        for (DWORD x = 0; x < spriteWidth; ++x)
            row[x] = shape(int32_t(x), int32_t(y));
    }
}

// A shaded ball, lit from the top left.
uint16_t BallPixel(int32_t x, int32_t y)
{
    const int32_t dx = x - 24;
    const int32_t dy = y - 24;
    const int32_t distance = dx * dx + dy * dy;
    if (distance > 22 * 22)
        return keyColour;
    const int32_t light = (x - 14) * (x - 14) + (y - 14) * (y - 14);
    const uint32_t shade = uint32_t(255 - std::min(200, light / 6));
    return Rgb565(shade, shade / 3, 40 + shade / 4);
}

// A fish facing right: an oval body, a tail on the left and one eye.
uint16_t FishPixel(int32_t x, int32_t y)
{
    const int32_t dx = x - 38;
    const int32_t dy = y - 16;
    if ((dx - 12) * (dx - 12) + (dy + 4) * (dy + 4) < 9)
        return Rgb565(10, 10, 10);
    if (dx * dx * 4 + dy * dy * 16 < 24 * 24 * 4)
        return Rgb565(250, 150 - uint32_t(std::abs(dy)) * 4, 20);
    const bool tail = x < 18 && std::abs(dy) < (18 - x) && std::abs(dy) < 13;
    return tail ? Rgb565(230, 90, 30) : keyColour;
}

// A four-petalled flower.
uint16_t FlowerPixel(int32_t x, int32_t y)
{
    const int32_t dx = std::abs(x - 16);
    const int32_t dy = std::abs(y - 16);
    if (dx * dx + dy * dy < 16)
        return Rgb565(250, 220, 40);
    const bool petal = (dx < 5 && dy < 14) || (dy < 5 && dx < 14);
    return petal ? Rgb565(250, 250, 255) : keyColour;
}

class SpriteScene : public Scene {
public:
    explicit SpriteScene(DirectDrawCreateFunction create_) : create(create_) {}

    const char* InterfaceName() const override { return "IDirectDraw4"; }
    void Start(HWND window, DWORD& modeSetAt) override;
    void DrawFrame(uint32_t frame) override;
    DrawnFrame ReadBackBuffer() override;
    void ShowFrame() override;
    std::string ReleaseEverything() override;

private:
    template <class Draw>
    IDirectDrawSurface4* CreateSurface(DWORD surfaceWidth, DWORD surfaceHeight, bool keyed, Draw draw);
    void DrawFlowers(uint32_t frame);
    void DrawKeyed(IDirectDrawSurface4* sprite, LONG x, LONG y, DWORD spriteWidth, DWORD spriteHeight, DWORD mirror);

    DirectDrawCreateFunction create;
    Display<IDirectDraw4, IDirectDrawSurface4> display;
    IDirectDrawSurface4* backBuffer = nullptr;
    IDirectDrawSurface4* background = nullptr;
    IDirectDrawSurface4* ball = nullptr;
    IDirectDrawSurface4* fishSprite = nullptr;
    IDirectDrawSurface4* flower = nullptr;
};

void SpriteScene::Start(HWND window, DWORD& modeSetAt)
{
    display.Start(create, IID_IDirectDraw4, window, 16, modeSetAt);
    backBuffer = display.backBuffer;
    background = CreateSurface(width, height, false, DrawBackground);
    ball = CreateSurface(ballSide, ballSide, true, [](uint8_t* bytes, LONG pitch, DWORD w, DWORD h) {
        DrawSprite(bytes, pitch, w, h, BallPixel);
    });
    fishSprite = CreateSurface(fishWidth, fishHeight, true, [](uint8_t* bytes, LONG pitch, DWORD w, DWORD h) {
        DrawSprite(bytes, pitch, w, h, FishPixel);
    });
    flower = CreateSurface(flowerSide, flowerSide, true, [](uint8_t* bytes, LONG pitch, DWORD w, DWORD h) {
        DrawSprite(bytes, pitch, w, h, FlowerPixel);
    });
}

// The key is set before the pixels are drawn, so that the Unlock after
// drawing finds the sprite's outline.
template <class Draw>
IDirectDrawSurface4* SpriteScene::CreateSurface(DWORD surfaceWidth, DWORD surfaceHeight, bool keyed, Draw draw)
{
    IDirectDrawSurface4* surface = display.CreateOffscreen(surfaceWidth, surfaceHeight);
    if (keyed) {
        DDCOLORKEY key = {keyColour, keyColour};
        Check(surface->SetColorKey(DDCKEY_SRCBLT, &key), "SetColorKey");
    }
    DrawLocked(surface, draw);
    return surface;
}

void SpriteScene::DrawFrame(uint32_t frame)
{
    Check(backBuffer->BltFast(0, 0, background, nullptr, DDBLTFAST_NOCOLORKEY | DDBLTFAST_WAIT), "BltFast");
    DrawFlowers(frame);
    for (const Mover& mover : fish) {
        const uint32_t travel = mover.startX + frame * mover.speedX;
        const LONG range = LONG(width - fishWidth);
        const bool swimmingLeft = travel % uint32_t(2 * range) >= uint32_t(range);
        const DWORD mirror = mover.mirror | (swimmingLeft ? DDBLTFX_MIRRORLEFTRIGHT : 0);
        DrawKeyed(fishSprite, Bounce(travel, range), LONG(mover.startY) + Bounce(frame, 12), fishWidth, fishHeight,
                  mirror);
    }
    for (const Mover& mover : balls)
        DrawKeyed(ball, Bounce(mover.startX + frame * mover.speedX, LONG(width - ballSide)),
                  Bounce(mover.startY + frame * mover.speedY, LONG(height - ballSide)), ballSide, ballSide, 0);
}

// A row of flowers along the wall, drifting right.
void SpriteScene::DrawFlowers(uint32_t frame)
{
    const LONG shift = LONG(frame % 64);
    for (LONG x = shift - 64; x < LONG(width); x += 64) {
        if (x < 0 || x + LONG(flowerSide) > LONG(width))
            continue;
        Check(backBuffer->BltFast(DWORD(x), 400, flower, nullptr, DDBLTFAST_SRCCOLORKEY | DDBLTFAST_WAIT),
              "BltFast(keyed)");
    }
}

void SpriteScene::DrawKeyed(IDirectDrawSurface4* sprite, LONG x, LONG y, DWORD spriteWidth, DWORD spriteHeight,
                            DWORD mirror)
{
    RECT target = {x, y, x + LONG(spriteWidth), y + LONG(spriteHeight)};
    DDBLTFX effects = {};
    effects.dwSize = sizeof effects;
    effects.dwDDFX = mirror;
    const DWORD flags = DDBLT_KEYSRC | DDBLT_WAIT | (mirror != 0 ? DDBLT_DDFX : 0);
    Check(backBuffer->Blt(&target, sprite, nullptr, flags, mirror != 0 ? &effects : nullptr), "Blt(keyed)");
}

DrawnFrame SpriteScene::ReadBackBuffer()
{
    return ReadPixels(backBuffer, 16);
}

void SpriteScene::ShowFrame()
{
    display.Flip();
}

std::string SpriteScene::ReleaseEverything()
{
    std::string leftovers;
    display.ReleaseSurfaces(leftovers);
    ReleaseExpecting(background, 0, "the background", leftovers);
    ReleaseExpecting(ball, 0, "the ball", leftovers);
    ReleaseExpecting(fishSprite, 0, "the fish", leftovers);
    ReleaseExpecting(flower, 0, "the flower", leftovers);
    display.ReleaseDirectDraw(leftovers);
    return leftovers;
}

}

std::unique_ptr<Scene> MakeSpriteScene(DirectDrawCreateFunction create)
{
    return std::make_unique<SpriteScene>(create);
}
