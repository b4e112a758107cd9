#include "endtoend/SceneReport.h"

#include <cstdio>
#include <fstream>
#include <map>

std::ostream& operator<<(std::ostream& out, const Size& size)
{
    return out << size.width << "x" << size.height;
}

namespace {

// sscanf that fills every field and consumes the whole value, so that
// trailing text or a cut-off line is caught rather than half read.
template <typename... Fields>
bool ScanWhole(const std::string& value, const std::string& format, Fields*... fields)
{
    int consumed = -1;
    const int filled = std::sscanf(value.c_str(), (format + "%n").c_str(), fields..., &consumed);
    return filled == int(sizeof...(fields)) && consumed == int(value.size());
}

bool ParseText(const std::string& value, std::string& text)
{
    text = value;
    return !value.empty();
}

bool ParsePhase(const std::string& value, SceneReport& report)
{
    Phase p;
    const bool parsed = ScanWhole(value,
                                  "frames %u-%u, cap %lf fps, achieved %lf fps, median %lf ms, p1 %lf ms, "
                                  "p99 %lf ms, max %lf ms",
                                  &p.firstFrame, &p.lastFrame, &p.cap, &p.achieved, &p.median, &p.p1, &p.p99, &p.max);
    if (parsed)
        report.phases.push_back(p);
    return parsed;
}

bool ParseCapture(const std::string& value, SceneReport& report)
{
    Capture c;
    char png[256], drawn[256];
    const bool parsed = ScanWhole(value, "frame %u, %255[^,], %255[^,], overlay age %u ms, cap %lf fps", &c.frame,
                                  png, drawn, &c.overlayAge, &c.cap);
    if (parsed) {
        c.png = png;
        c.drawn = drawn;
        report.captures.push_back(c);
    }
    return parsed;
}

bool ParseResources(const std::string& value, SceneReport& report)
{
    ResourceSample sample;
    unsigned long long privateBytes = 0;
    const bool parsed = ScanWhole(value, "frame %u, private %llu bytes, GDI %u, USER %u", &sample.frame,
                                  &privateBytes, &sample.gdiObjects, &sample.userObjects);
    if (parsed) {
        sample.privateBytes = privateBytes;
        report.resources.push_back(sample);
    }
    return parsed;
}

struct Field {
    const char* key;
    bool repeats;
    bool (*parse)(const std::string& value, SceneReport& report);
};

constexpr Field fields[] = {
    {"scene", false, [](const std::string& v, SceneReport& r) { return ScanWhole(v, "%u", &r.scene); }},
    {"interface", false, [](const std::string& v, SceneReport& r) { return ParseText(v, r.interfaceName); }},
    {"build", false, [](const std::string& v, SceneReport& r) { return ParseText(v, r.build); }},
    {"screen", false,
     [](const std::string& v, SceneReport& r) { return ScanWhole(v, "%ux%u", &r.screen.width, &r.screen.height); }},
    {"output", false,
     [](const std::string& v, SceneReport& r) { return ScanWhole(v, "%ux%u", &r.output.width, &r.output.height); }},
    {"frames", false, [](const std::string& v, SceneReport& r) { return ScanWhole(v, "%u", &r.frames); }},
    {"game paints", false, [](const std::string& v, SceneReport& r) { return ScanWhole(v, "%u", &r.gamePaints); }},
    {"released", false, [](const std::string& v, SceneReport& r) { return ParseText(v, r.released); }},
    {"phase", true, ParsePhase},
    {"capture", true, ParseCapture},
    {"resources", true, ParseResources},
};

const Field* FieldNamed(const std::string& key)
{
    for (const Field& field : fields) {
        if (key == field.key)
            return &field;
    }
    return nullptr;
}

}

testing::AssertionResult ReadSceneReport(const std::string& path, SceneReport& report)
{
    std::ifstream file(path);
    if (!file)
        return testing::AssertionFailure() << "the game wrote no report " << path;
    std::map<std::string, int> seen;
    std::string line;
    for (int number = 1; std::getline(file, line); ++number) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty())
            continue;
        const size_t colon = line.find(": ");
        const Field* field = colon == std::string::npos ? nullptr : FieldNamed(line.substr(0, colon));
        if (!field || !field->parse(line.substr(colon + 2), report) || (++seen[field->key] > 1 && !field->repeats))
            return testing::AssertionFailure() << path << " line " << number << " is not understood: " << line;
    }
    for (const Field& field : fields) {
        if (!field.repeats && seen[field.key] == 0)
            return testing::AssertionFailure() << path << " has no \"" << field.key << "\" line";
    }
    return testing::AssertionSuccess();
}
