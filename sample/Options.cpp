#include "Options.h"

#include <algorithm>
#include <cstdlib>

namespace {

bool ParseCount(const std::string& text, uint32_t& value)
{
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    value = uint32_t(std::strtoul(text.c_str(), nullptr, 10));
    return true;
}

std::vector<std::string> SplitAtCommas(const std::string& text)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t comma = text.find(',', start);
        parts.push_back(text.substr(start, comma - start));
        if (comma == std::string::npos)
            return parts;
        start = comma + 1;
    }
}

bool ParseScene(const std::string& text, int& scene)
{
    if (text != "8" && text != "16")
        return false;
    scene = std::atoi(text.c_str());
    return true;
}

bool ParseFrames(const std::string& text, std::vector<uint32_t>& frames)
{
    for (const std::string& part : SplitAtCommas(text)) {
        uint32_t frame = 0;
        if (!ParseCount(part, frame) || frame == 0)
            return false;
        frames.push_back(frame);
    }
    std::sort(frames.begin(), frames.end());
    return true;
}

bool ParseKeys(const std::string& text, std::vector<KeyPress>& keys)
{
    for (const std::string& part : SplitAtCommas(text)) {
        const size_t colon = part.find(':');
        uint32_t frame = 0;
        if (colon == std::string::npos || !ParseCount(part.substr(0, colon), frame) || frame == 0)
            return false;
        const std::string sign = part.substr(colon + 1);
        if (sign != "+" && sign != "-")
            return false;
        keys.push_back({frame, sign == "+"});
    }
    std::sort(keys.begin(), keys.end(), [](const KeyPress& a, const KeyPress& b) { return a.frame < b.frame; });
    return true;
}

}

const char* Usage()
{
    return "usage: sample_game [--scene 8|16] [--frames N] [--out FOLDER] [--capture F,F,...] [--drawn]\n"
           "                   [--key F:+|-,...] [--dll PATH]\n"
           "  --scene 8     palette scene through IDirectDraw2 (the default); 16: sprites through IDirectDraw4\n"
           "  --frames N    frames to run (default 600); 0 runs until the window is closed\n"
           "  --out FOLDER  where captures and the report go (default: the current folder)\n"
           "  --capture     saves the window as sceneS-frameNNNN.png once those frames are shown\n"
           "  --drawn       with each capture, also saves the frame as drawn (sceneS-frameNNNN.drawn)\n"
           "  --key F:+     presses Control+NumPad-plus (or - for minus) once frame F is shown\n"
           "  --dll PATH    loads ddraw.dll from PATH instead of by name\n";
}

bool ParseOptions(const std::vector<std::string>& arguments, Options& options, std::string& error)
{
    for (size_t index = 0; index < arguments.size(); ++index) {
        const std::string& name = arguments[index];
        if (name == "--drawn") {
            options.saveDrawnFrames = true;
            continue;
        }
        if (index + 1 >= arguments.size()) {
            error = "unknown option or missing value: " + name;
            return false;
        }
        const std::string& value = arguments[++index];
        bool good = true;
        if (name == "--scene")
            good = ParseScene(value, options.scene);
        else if (name == "--frames")
            good = ParseCount(value, options.frames);
        else if (name == "--out")
            options.outputFolder = value;
        else if (name == "--capture")
            good = ParseFrames(value, options.captures);
        else if (name == "--key")
            good = ParseKeys(value, options.keys);
        else if (name == "--dll")
            options.dllPath = std::wstring(value.begin(), value.end());
        else
            good = false;
        if (!good) {
            error = "bad option: " + name + " " + value;
            return false;
        }
    }
    return true;
}
