// The sample game: plays one scene for a number of frames, presses the
// frame-rate hotkeys when asked, saves what the window showed and reports how
// steadily the frames came.
#include <windows.h>
#include <ddraw.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "Capture.h"
#include "FrameClock.h"
#include "Options.h"
#include "Report.h"
#include "Scene.h"
#include "Window.h"

namespace {

constexpr double capStep = 10.0;
// Resources are first sampled once start-up is over (Windows and Wine settle
// their caches in the first seconds), and again at the end of the run; not in
// a run that captures, whose pictures are held until it ends.
constexpr DWORD firstResourceSampleMs = 5000;

struct PendingCapture {
    CaptureRecord record;
    WindowImage image;
};

// Control+NumPad-plus or -minus, as the keyboard sends them.
void PressCapHotkey(bool raise)
{
    const WORD keys[] = {VK_CONTROL, WORD(raise ? VK_ADD : VK_SUBTRACT)};
    INPUT inputs[4] = {};
    for (int index = 0; index < 4; ++index) {
        const bool release = index >= 2;
        const WORD key = keys[release ? 3 - index : index];
        inputs[index].type = INPUT_KEYBOARD;
        inputs[index].ki.wVk = key;
        inputs[index].ki.wScan = WORD(MapVirtualKeyW(key, MAPVK_VK_TO_VSC));
        inputs[index].ki.dwFlags = release ? KEYEVENTF_KEYUP : 0;
    }
    SendInput(4, inputs, sizeof(INPUT));
}

// The cap after a hotkey, within the limits the window keeps to.
double NextCap(double cap, bool raise)
{
    if (raise)
        return cap < 1000.0 ? cap + capStep : cap;
    return cap > 50.0 ? cap - capStep : cap;
}

std::string FramePath(const Options& options, uint32_t frame, const char* extension)
{
    char name[64];
    std::snprintf(name, sizeof name, "scene%d-frame%04u.%s", options.scene, frame, extension);
    return name;
}

std::string InFolder(const Options& options, const std::string& name)
{
    return options.outputFolder + "/" + name;
}

class Game {
public:
    Game(const Options& options_, Scene& scene_) : options(options_), scene(scene_) {}

    void Play();
    bool SaveCaptures();
    RunReport Report() const { return report; }

private:
    void ShowFrame(uint32_t frame);
    void Capture(uint32_t frame, DrawnFrame drawn);
    void PrintProgress(uint32_t frame) const;

    const Options& options;
    Scene& scene;
    GameWindow window;
    FrameClock clock;
    DWORD overlayArmedAt = 0;
    double cap = 75.0;
    size_t nextCapture = 0;
    size_t nextKey = 0;
    std::vector<PendingCapture> captures;
    std::vector<std::pair<std::string, DrawnFrame>> drawnFrames;
    RunReport report;
};

void Game::Play()
{
    scene.Start(window.Handle(), overlayArmedAt);
    window.StartCountingPaints();
    report.scene = options.scene;
    report.interfaceName = scene.InterfaceName();
    report.screenWidth = uint32_t(GetSystemMetrics(SM_CXSCREEN));
    report.screenHeight = uint32_t(GetSystemMetrics(SM_CYSCREEN));
    const SIZE output = window.ClientSize();
    report.outputWidth = uint32_t(output.cx);
    report.outputHeight = uint32_t(output.cy);

    const DWORD startedAt = GetTickCount();
    const bool sampling = options.captures.empty();
    uint32_t frame = 1;
    for (; options.frames == 0 || frame <= options.frames; ++frame) {
        if (!window.PumpMessages())
            break;
        ShowFrame(frame);
        if (sampling && report.resources.empty() && GetTickCount() - startedAt >= firstResourceSampleMs)
            report.resources.push_back(SampleResources(frame));
        PrintProgress(frame);
    }
    report.frames = frame - 1;
    if (sampling)
        report.resources.push_back(SampleResources(report.frames));
    std::printf("\n");
    report.gamePaints = window.PaintsReceived();
    report.phases = clock.Phases();
}

void Game::ShowFrame(uint32_t frame)
{
    scene.DrawFrame(frame);
    const bool capturing = nextCapture < options.captures.size() && options.captures[nextCapture] == frame;
    DrawnFrame drawn;
    if (capturing && options.saveDrawnFrames)
        drawn = scene.ReadBackBuffer();
    scene.ShowFrame();
    clock.FrameShown(frame);
    if (capturing) {
        Capture(frame, std::move(drawn));
        while (nextCapture < options.captures.size() && options.captures[nextCapture] == frame)
            ++nextCapture;
    }
    while (nextKey < options.keys.size() && options.keys[nextKey].frame == frame) {
        const bool raise = options.keys[nextKey++].raise;
        overlayArmedAt = GetTickCount();
        PressCapHotkey(raise);
        cap = NextCap(cap, raise);
        clock.StartPhase(cap);
    }
}

void Game::Capture(uint32_t frame, DrawnFrame drawn)
{
    PendingCapture capture;
    capture.image = ReadWindow(window.Handle(), window.ClientSize());
    capture.record.frame = frame;
    capture.record.png = FramePath(options, frame, "png");
    capture.record.overlayAgeMs = GetTickCount() - overlayArmedAt;
    capture.record.cap = cap;
    if (!drawn.pixels.empty()) {
        capture.record.drawn = FramePath(options, frame, "drawn");
        drawnFrames.emplace_back(capture.record.drawn, std::move(drawn));
    }
    captures.push_back(std::move(capture));
    clock.LeaveOutNextInterval();
}

void Game::PrintProgress(uint32_t frame) const
{
    if (frame % 30 != 0)
        return;
    if (options.frames != 0)
        std::printf("\rscene %d: frame %u of %u, %.1f fps (cap %.0f)  ", options.scene, frame, options.frames,
                    clock.RecentFps(), cap);
    else
        std::printf("\rscene %d: frame %u, %.1f fps (cap %.0f)  ", options.scene, frame, clock.RecentFps(), cap);
    std::fflush(stdout);
}

// PNG encoding waits until the run is over, so that it does not hold up frames.
bool Game::SaveCaptures()
{
    bool saved = true;
    for (const PendingCapture& capture : captures) {
        report.captures.push_back(capture.record);
        if (!WritePng(InFolder(options, capture.record.png), capture.image)) {
            std::fprintf(stderr, "sample_game: could not write %s\n", InFolder(options, capture.record.png).c_str());
            saved = false;
        }
    }
    for (const auto& [name, drawn] : drawnFrames) {
        if (!WriteDrawnFrame(InFolder(options, name), drawn)) {
            std::fprintf(stderr, "sample_game: could not write %s\n", InFolder(options, name).c_str());
            saved = false;
        }
    }
    return saved;
}

bool WriteReport(const Options& options, const RunReport& report)
{
    const std::string text = FormatReport(report);
    const std::string path = InFolder(options, "scene" + std::to_string(options.scene) + "-report.txt");
    FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr) {
        std::fprintf(stderr, "sample_game: could not write %s\n", path.c_str());
        return false;
    }
    std::fputs(text.c_str(), file);
    if (std::fclose(file) != 0)
        return false;
    std::printf("sample_game: report in %s\n", path.c_str());
    return true;
}

int Run(const Options& options)
{
    std::error_code error;
    std::filesystem::create_directories(options.outputFolder, error);
    HMODULE module = LoadLibraryW(options.dllPath.c_str());
    if (module == nullptr) {
        std::fprintf(stderr, "sample_game: cannot load %ls (error %lu)\n", options.dllPath.c_str(), GetLastError());
        return 1;
    }
    const auto create = reinterpret_cast<DirectDrawCreateFunction>(
        reinterpret_cast<void*>(GetProcAddress(module, "DirectDrawCreate")));
    if (create == nullptr) {
        std::fprintf(stderr, "sample_game: %ls has no DirectDrawCreate\n", options.dllPath.c_str());
        return 1;
    }
    std::unique_ptr<Scene> scene = options.scene == 8 ? MakePaletteScene(create) : MakeSpriteScene(create);
    bool played = true;
    RunReport report;
    {
        Game game(options, *scene);
        try {
            game.Play();
        } catch (const GameError& error) {
            std::fprintf(stderr, "\nsample_game: %s\n", error.what());
            played = false;
        }
        played = game.SaveCaptures() && played;
        report = game.Report();
        report.leftovers = scene->ReleaseEverything();
    }
    scene.reset();
    FreeLibrary(module);
    const bool reported = WriteReport(options, report);
    return played && reported && report.leftovers.empty() ? 0 : 1;
}

}

int main(int argc, char** argv)
{
    Options options;
    std::string error;
    if (!ParseOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
        std::fprintf(stderr, "sample_game: %s\n%s", error.c_str(), Usage());
        return 2;
    }
    return Run(options);
}
