// Measures how closely presented frames follow the frame-rate cap: a game's
// flip loop run through the real present path, under Wine on a virtual screen.
//
//   tests/wine-run --prefix build/win64/wineprefix --screen 640x480 build/win64/bin/pacing_bench.exe
#include <windows.h>
#include <ddraw.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "module/DisplayState.h"
#include "module/Module.h"
#include "present/Present.h"

namespace {

HWND MakeWindow()
{
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"PacingBench";
    RegisterClassW(&windowClass);
    return CreateWindowExW(0, L"PacingBench", L"pacing", WS_POPUP | WS_VISIBLE, 0, 0, 640, 480, nullptr, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
}

double Milliseconds(LONGLONG counts)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return double(counts) * 1000.0 / double(frequency.QuadPart);
}

void MeasureCap(double cap, int frames)
{
    displayState.frameRateCap = cap;
    displayState.framePeriodMs = 1000.0 / cap;
    std::vector<double> intervals;
    LARGE_INTEGER previous;
    PresentPrimary(nullptr);
    QueryPerformanceCounter(&previous);
    for (int frame = 0; frame < frames; ++frame) {
        PresentPrimary(nullptr);
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        intervals.push_back(Milliseconds(now.QuadPart - previous.QuadPart));
        previous = now;
    }
    std::sort(intervals.begin(), intervals.end());
    const double period = 1000.0 / cap;
    const double median = intervals[intervals.size() / 2];
    double total = 0;
    for (double interval : intervals)
        total += interval;
    std::printf("cap %7.2f fps  period %7.3f ms  median %7.3f ms (%+.3f)  mean %7.3f  min %7.3f  p95 %7.3f  "
                "max %7.3f  achieved %7.2f fps\n",
                cap, period, median, median - period, total / intervals.size(), intervals.front(),
                intervals[intervals.size() * 95 / 100], intervals.back(), 1000.0 * intervals.size() / total);
}

}

int main()
{
    OnProcessAttach(GetModuleHandleW(nullptr));
    LPDIRECTDRAW directDraw = nullptr;
    DirectDrawCreate(nullptr, &directDraw, nullptr);
    directDraw->SetCooperativeLevel(MakeWindow(), DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN);
    directDraw->SetDisplayMode(640, 480, 8);
    DDSURFACEDESC request;
    std::memset(&request, 0, sizeof request);
    request.dwSize = sizeof request;
    request.dwFlags = DDSD_CAPS;
    request.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
    LPDIRECTDRAWSURFACE primary = nullptr;
    directDraw->CreateSurface(&request, &primary, nullptr);
    PALETTEENTRY colours[256] = {};
    LPDIRECTDRAWPALETTE palette = nullptr;
    directDraw->CreatePalette(DDPCAPS_8BIT, colours, &palette, nullptr);
    primary->SetPalette(palette);
    displayState.pacingStarted = 3;

    std::printf("output %ux%u, clock: %s\n", displayState.outputWidth, displayState.outputHeight,
                displayState.useHighResTimer ? "performance counter" : "tick count");
    for (double cap : {75.0, 60.0, 145.0, 45.0})
        MeasureCap(cap, 300);

    palette->Release();
    primary->Release();
    directDraw->Release();
    return 0;
}
