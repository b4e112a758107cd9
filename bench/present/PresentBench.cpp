// Measures the module's whole present path through a real game window, under
// Wine on a virtual screen whose size decides the scale:
//
//   tests/wine-run --prefix build/win64/wineprefix --screen 1024x768 build/win64/bin/present_bench.exe
//       [--frames N] [--pacing-frames N]
//
// (bench/run-present-bench runs it on the four screen sizes the tests use.)
// Two 640x480 games take turns: an 8-bit one through IDirectDraw with a
// palette on its primary, and a 16-bit RGB565 one through IDirectDraw4. Both
// show the same seeded frame of flat areas, diagonal edges and noise, since
// the enlargement's cost depends on what it meets.
//
// Whole frames with the cap out of the way (so high that pacing never waits),
// each frame timed three times over:
//   module   the module's own pixel work for a whole frame: the enlargement
//            into the present bitmap, or the 1:1 palette expansion; the
//            routine, arguments and bitmap are those Present.cpp uses. A
//            16-bit game shown 1:1 has none: its primary's DIB is painted.
//   GDI      the window procedure's BitBlt of the present image to the window,
//            through a DC of the window, and GdiFlush, so that it has been
//            done rather than queued.
//   present  PresentPrimary of the whole frame: the module's work, the
//            invalidation, WM_PAINT (BeginPaint, the frame-period check, the
//            BitBlt, EndPaint) and whatever Wine does on the way to the
//            screen. What it takes beyond module and GDI is what USER and
//            Wine add to a frame.
// Emptying the message queue between frames, as a game does, is in none of
// the three.
// Paced whole frames: the interval between successive whole-frame presents
// (queue emptying included) at caps of 45, 60, 75 and 145 fps.
#include <windows.h>
#include <ddraw.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "module/DisplayState.h"
#include "module/Module.h"
#include "pixels/upscale/Expand.h"
#include "pixels/upscale/Upscale.h"
#include "present/Present.h"
#include "surface/DirectDrawPalette.h"
#include "surface/DirectDrawSurface.h"
#include "surface/DirectDrawSurface4.h"

namespace {

constexpr uint32_t modeWidth = 640;
constexpr uint32_t modeHeight = 480;
constexpr double capOutOfTheWay = 1e9;
constexpr int warmUpFrames = 10;
constexpr double pacingCaps[] = {45.0, 60.0, 75.0, 145.0};

struct Options {
    int frames = 500;
    int pacingFrames = 300;
};

Options ParseOptions(int argc, char** argv)
{
    Options options;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--frames") == 0)
            options.frames = std::max(1, std::atoi(argv[i + 1]));
        else if (std::strcmp(argv[i], "--pacing-frames") == 0)
            options.pacingFrames = std::max(1, std::atoi(argv[i + 1]));
    }
    return options;
}

// A call the measurement cannot go on without.
void Require(HRESULT result, const char* call)
{
    if (SUCCEEDED(result))
        return;
    std::fprintf(stderr, "present_bench: %s failed (0x%08lX)\n", call, static_cast<unsigned long>(result));
    std::exit(1);
}

// xorshift32: the same frame on every build and run.
struct Random {
    uint32_t state = 0x9E3779B9u;
    uint32_t Next()
    {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
    int Between(int low, int high) { return low + int(Next() % uint32_t(high - low + 1)); }
};

// The frame in palette indices, and the colours they stand for.
struct Picture {
    std::vector<uint8_t> indices = std::vector<uint8_t>(size_t(modeWidth) * modeHeight);
    PALETTEENTRY colours[256] = {};
};

constexpr uint32_t tile = 16;

// A straight line of any slope near a tile's centre.
struct Edge {
    int slopeX;
    int slopeY;
    int offset;
};

// Positions are doubled and taken from the tile's centre, so that they stay
// whole numbers.
bool IsPastEdge(const Edge& edge, uint32_t x, uint32_t y)
{
    const int fromCentreX = 2 * int(x) + 1 - int(tile);
    const int fromCentreY = 2 * int(y) + 1 - int(tile);
    return edge.slopeX * fromCentreX + edge.slopeY * fromCentreY > edge.offset;
}

// A tile is flat (half of them), split in two colours by an edge (three in
// ten) or noise (one in five).
void PaintTile(Picture& picture, Random& random, uint32_t left, uint32_t top)
{
    const int kind = random.Between(0, 9);
    const uint8_t first = uint8_t(random.Next());
    const uint8_t second = uint8_t(random.Next());
    const Edge edge = {random.Between(-3, 3), random.Between(-3, 3), random.Between(-int(tile), int(tile))};
    for (uint32_t y = 0; y < tile; ++y) {
        for (uint32_t x = 0; x < tile; ++x) {
            uint8_t index = first;
            if (kind >= 8)
                index = uint8_t(random.Next());
            else if (kind >= 5 && IsPastEdge(edge, x, y))
                index = second;
            picture.indices[size_t(top + y) * modeWidth + left + x] = index;
        }
    }
}

Picture MakePicture()
{
    Picture picture;
    Random random;
    for (PALETTEENTRY& colour : picture.colours)
        colour = {BYTE(random.Next()), BYTE(random.Next()), BYTE(random.Next()), 0};
    for (uint32_t top = 0; top < modeHeight; top += tile) {
        for (uint32_t left = 0; left < modeWidth; left += tile)
            PaintTile(picture, random, left, top);
    }
    return picture;
}

uint16_t Rgb565(const PALETTEENTRY& colour)
{
    return uint16_t((colour.peRed >> 3) << 11 | (colour.peGreen >> 2) << 5 | colour.peBlue >> 3);
}

template <class Pixel, class Surface, class Desc>
void WriteFrame(Surface* surface, const std::vector<Pixel>& pixels)
{
    Desc desc;
    std::memset(&desc, 0, sizeof desc);
    desc.dwSize = sizeof desc;
    Require(surface->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr), "Lock");
    for (uint32_t y = 0; y < modeHeight; ++y)
        std::memcpy(static_cast<uint8_t*>(desc.lpSurface) + ptrdiff_t(y) * desc.lPitch, &pixels[size_t(y) * modeWidth],
                    modeWidth * sizeof(Pixel));
    Require(surface->Unlock(nullptr), "Unlock");
}

LRESULT CALLBACK GameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND MakeWindow()
{
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = GameProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"PresentBench";
    RegisterClassW(&windowClass);
    HWND window = CreateWindowExW(0, L"PresentBench", L"present", WS_POPUP | WS_VISIBLE, 0, 0, modeWidth, modeHeight,
                                  nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    SetForegroundWindow(window);
    return window;
}

// A game empties its queue between frames; so does each frame here, outside
// what is timed.
void PumpMessages()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

LONGLONG Now()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

double Milliseconds(LONGLONG counts)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return double(counts) * 1000.0 / double(frequency.QuadPart);
}

template <class Work>
double TimeMs(Work work)
{
    const LONGLONG start = Now();
    work();
    return Milliseconds(Now() - start);
}

// Nearest rank, of sorted values.
double Percentile(const std::vector<double>& sorted, int percent)
{
    return sorted[(sorted.size() - 1) * size_t(percent) / 100];
}

std::vector<double> Sorted(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values;
}

void SetCap(double cap)
{
    displayState.frameRateCap = cap;
    displayState.framePeriodMs = 1000.0 / cap;
}

// The overlay would be drawn for the first two seconds only; it is kept
// away, so that every frame is a steady one.
void StartSteadyPacing()
{
    displayState.pacingStarted = 3;
    displayState.overlayShownAt = GetTickCount() - 60000;
}

template <class Desc>
Desc PrimaryRequest()
{
    Desc request;
    std::memset(&request, 0, sizeof request);
    request.dwSize = sizeof request;
    request.dwFlags = DDSD_CAPS;
    request.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
    return request;
}

template <class Desc>
ScaleGeometry GeometryOf(const Desc& desc)
{
    return {desc.dwWidth, desc.dwHeight, desc.lPitch, displayState.presentWidth, displayState.presentHeight,
            displayState.presentPitch};
}

bool PresentBitmapIsModeSized()
{
    return displayState.presentWidth == modeWidth && displayState.presentHeight == modeHeight;
}

void ModuleWork8()
{
    const DirectDrawSurface& primary = *displayState.primarySurface;
    const uint32_t* colours = primary.Palette()->ScreenColours();
    uint32_t* output = static_cast<uint32_t*>(displayState.presentBits);
    if (PresentBitmapIsModeSized())
        ExpandRect8(primary.Pixels(), primary.Description().lPitch, colours, output, displayState.presentPitch,
                    {0, 0, modeWidth, modeHeight});
    else
        ScaleFrame8(primary.Pixels(), colours, output, GeometryOf(primary.Description()));
}

void ModuleWork16()
{
    if (displayState.presentBitmap == nullptr)
        return;
    const DirectDrawSurface4& primary = *displayState.primarySurface4;
    ScaleFrame16(reinterpret_cast<const uint16_t*>(primary.Pixels()), static_cast<uint16_t*>(displayState.presentBits),
                 GeometryOf(primary.Description()));
}

// What the window procedure paints, timed from a DC the window already gave.
double GdiPaintMs()
{
    HDC dc = GetDC(displayState.window);
    const double ms = TimeMs([dc] {
        BitBlt(dc, 0, 0, int(displayState.outputWidth), int(displayState.outputHeight), displayState.presentDC, 0, 0,
               SRCCOPY);
        GdiFlush();
    });
    ReleaseDC(displayState.window, dc);
    return ms;
}

struct Game {
    const char* name;
    void (*moduleWork)();
    void (*present)(const RECT*);
};

constexpr Game paletteGame = {"8-bit", ModuleWork8, PresentPrimary};
constexpr Game rgb565Game = {"16-bit", ModuleWork16, PresentPrimary4};
constexpr Game games[] = {paletteGame, rgb565Game};

struct FrameTimes {
    // A 16-bit game shown 1:1 leaves the module nothing to do.
    bool paintedFromPrimary = false;
    std::vector<double> module;
    std::vector<double> gdi;
    std::vector<double> present;
};

FrameTimes TimeWholeFrames(const Game& game, int frames)
{
    SetCap(capOutOfTheWay);
    for (int frame = 0; frame < warmUpFrames; ++frame)
        game.present(nullptr);
    FrameTimes times;
    times.paintedFromPrimary = displayState.presentBitmap == nullptr;
    for (int frame = 0; frame < frames; ++frame) {
        PumpMessages();
        times.module.push_back(TimeMs(game.moduleWork));
        times.gdi.push_back(GdiPaintMs());
        times.present.push_back(TimeMs([&game] { game.present(nullptr); }));
    }
    return times;
}

void PrintSpread(const std::vector<double>& values)
{
    const std::vector<double> sorted = Sorted(values);
    std::printf("  %7.3f [%7.3f-%7.3f]", Percentile(sorted, 50), Percentile(sorted, 10), Percentile(sorted, 90));
}

void PrintWholeFrames(const Game& game, const FrameTimes& times)
{
    std::printf("  %-6s", game.name);
    if (times.paintedFromPrimary)
        std::printf("  %-25s", "none (primary's DIB)");
    else
        PrintSpread(times.module);
    PrintSpread(times.gdi);
    PrintSpread(times.present);
    std::printf("  %7.1f\n", 1000.0 / Percentile(Sorted(times.present), 50));
}

// The first present after a change of cap only sets the start of the period.
std::vector<double> PacedIntervals(const Game& game, double cap, int frames)
{
    SetCap(cap);
    game.present(nullptr);
    std::vector<double> intervals;
    LONGLONG previous = Now();
    for (int frame = 0; frame < frames; ++frame) {
        PumpMessages();
        game.present(nullptr);
        const LONGLONG now = Now();
        intervals.push_back(Milliseconds(now - previous));
        previous = now;
    }
    return intervals;
}

void PrintPacing(const Game& game, double cap, const std::vector<double>& intervals)
{
    const double period = 1000.0 / cap;
    double total = 0;
    double deviation = 0;
    for (double interval : intervals) {
        total += interval;
        deviation = std::max(deviation, std::abs(interval - period));
    }
    const std::vector<double> sorted = Sorted(intervals);
    std::printf("  %-6s  %5.0f  %7.3f  %7.3f  %7.3f  %8.3f  %8.2f\n", game.name, cap, period, Percentile(sorted, 50),
                Percentile(sorted, 99), deviation, 1000.0 * double(intervals.size()) / total);
}

// A game's turn: its whole frames, then its paced ones.
struct Results {
    FrameTimes wholeFrames;
    std::vector<std::vector<double>> paced;
};

Results Measure(const Game& game, const Options& options)
{
    StartSteadyPacing();
    Results results;
    results.wholeFrames = TimeWholeFrames(game, options.frames);
    for (double cap : pacingCaps)
        results.paced.push_back(PacedIntervals(game, cap, options.pacingFrames));
    return results;
}

Results RunPaletteGame(HWND window, const Picture& picture, const Options& options)
{
    LPDIRECTDRAW directDraw = nullptr;
    Require(DirectDrawCreate(nullptr, &directDraw, nullptr), "DirectDrawCreate");
    Require(directDraw->SetCooperativeLevel(window, DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN), "SetCooperativeLevel");
    Require(directDraw->SetDisplayMode(modeWidth, modeHeight, 8), "SetDisplayMode");
    DDSURFACEDESC request = PrimaryRequest<DDSURFACEDESC>();
    LPDIRECTDRAWSURFACE primary = nullptr;
    Require(directDraw->CreateSurface(&request, &primary, nullptr), "CreateSurface");
    LPDIRECTDRAWPALETTE palette = nullptr;
    Require(directDraw->CreatePalette(DDPCAPS_8BIT, const_cast<PALETTEENTRY*>(picture.colours), &palette, nullptr),
            "CreatePalette");
    Require(primary->SetPalette(palette), "SetPalette");
    WriteFrame<uint8_t, IDirectDrawSurface, DDSURFACEDESC>(primary, picture.indices);
    const Results results = Measure(paletteGame, options);
    palette->Release();
    primary->Release();
    directDraw->Release();
    return results;
}

Results RunRgb565Game(HWND window, const Picture& picture, const Options& options)
{
    LPDIRECTDRAW directDraw = nullptr;
    Require(DirectDrawCreate(nullptr, &directDraw, nullptr), "DirectDrawCreate");
    void* out = nullptr;
    Require(directDraw->QueryInterface(IID_IDirectDraw4, &out), "QueryInterface(IDirectDraw4)");
    IDirectDraw4* directDraw4 = static_cast<IDirectDraw4*>(out);
    Require(directDraw4->SetCooperativeLevel(window, DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN), "SetCooperativeLevel");
    Require(directDraw4->SetDisplayMode(modeWidth, modeHeight, 16, 0, 0), "SetDisplayMode");
    DDSURFACEDESC2 request = PrimaryRequest<DDSURFACEDESC2>();
    LPDIRECTDRAWSURFACE4 primary = nullptr;
    Require(directDraw4->CreateSurface(&request, &primary, nullptr), "CreateSurface");
    std::vector<uint16_t> pixels(picture.indices.size());
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = Rgb565(picture.colours[picture.indices[i]]);
    WriteFrame<uint16_t, IDirectDrawSurface4, DDSURFACEDESC2>(primary, pixels);
    const Results results = Measure(rgb565Game, options);
    primary->Release();
    directDraw4->Release();
    directDraw->Release();
    return results;
}

// The module's pixel times depend on the instructions the upscalers chose.
const char* KernelName(UpscaleKernels kernels)
{
    static const char* const names[] = {"portable", "SSE2", "SSSE3", "AVX2", "AVX-512"};
    const size_t level = size_t(kernels);
    return level < std::size(names) ? names[level] : "a level this program has no name for";
}

void PrintHeader(const Options& options)
{
    std::printf("screen %ux%u, output %ux%u (%.2fx), upscalers: %s, clock: %s\n", displayState.screenWidth,
                displayState.screenHeight, displayState.outputWidth, displayState.outputHeight,
                double(displayState.outputWidth) / modeWidth, KernelName(BestUpscaleKernels()),
                displayState.useHighResTimer ? "performance counter" : "tick count");
    std::printf("whole frames, cap out of the way: %d frames each; ms, median [p10-p90]\n", options.frames);
    std::printf("  %-6s  %-25s  %-25s  %-25s  %7s\n", "game", "module", "GDI", "present", "fps");
}

}

int main(int argc, char** argv)
{
    const Options options = ParseOptions(argc, argv);
    OnProcessAttach(GetModuleHandleW(nullptr));
    HWND window = MakeWindow();
    const Picture picture = MakePicture();
    const Results results[] = {RunPaletteGame(window, picture, options), RunRgb565Game(window, picture, options)};

    PrintHeader(options);
    for (int game = 0; game < 2; ++game)
        PrintWholeFrames(games[game], results[game].wholeFrames);
    std::printf("paced whole frames: %d frames per cap; ms, max dev is the largest |interval - period|\n",
                options.pacingFrames);
    std::printf("  %-6s  %5s  %7s  %7s  %7s  %8s  %8s\n", "game", "cap", "period", "median", "p99", "max dev", "fps");
    for (int game = 0; game < 2; ++game) {
        for (size_t cap = 0; cap < std::size(pacingCaps); ++cap)
            PrintPacing(games[game], pacingCaps[cap], results[game].paced[cap]);
    }
    OnProcessDetach();
    DestroyWindow(window);
    return 0;
}
