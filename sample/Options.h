#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A Control+NumPad-plus (+10 fps) or Control+NumPad-minus (-10 fps) press,
// made by the game itself once the given frame is shown.
struct KeyPress {
    uint32_t frame;
    bool raise;
};

struct Options {
    int scene = 8;
    uint32_t frames = 600; // 0: until the window is closed
    std::string outputFolder = ".";
    std::vector<uint32_t> captures;
    bool saveDrawnFrames = false;
    std::vector<KeyPress> keys;
    std::wstring dllPath = L"ddraw.dll";
};

const char* Usage();

// Reads the command line; on a mistake, returns false and names it in `error`.
bool ParseOptions(const std::vector<std::string>& arguments, Options& options, std::string& error);
