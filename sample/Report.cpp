#include "Report.h"

#include <cstdio>

namespace {

std::string Format(const char* format, auto... values)
{
    char line[512];
    std::snprintf(line, sizeof line, format, values...);
    return line;
}

}

std::string FormatReport(const RunReport& report)
{
    std::string text;
    text += Format("scene: %d\n", report.scene);
    text += "interface: " + report.interfaceName + "\n";
    text += Format("build: %d-bit\n", int(sizeof(void*) * 8));
    text += Format("screen: %ux%u\n", report.screenWidth, report.screenHeight);
    text += Format("output: %ux%u\n", report.outputWidth, report.outputHeight);
    text += Format("frames: %u\n", report.frames);
    text += Format("game paints: %d\n", report.gamePaints);
    text += report.leftovers.empty() ? "released: yes\n" : "released: no (" + report.leftovers + ")\n";
    for (const PhaseFigures& phase : report.phases)
        text += Format("phase: frames %u-%u, cap %.2f fps, achieved %.2f fps, median %.3f ms, p1 %.3f ms, "
                       "p99 %.3f ms, max %.3f ms\n",
                       phase.firstFrame, phase.lastFrame, phase.cap, phase.achievedFps, phase.medianMs, phase.p1Ms,
                       phase.p99Ms, phase.maxMs);
    for (const CaptureRecord& capture : report.captures) {
        text += Format("capture: frame %u, %s, ", capture.frame, capture.png.c_str());
        if (!capture.drawn.empty())
            text += capture.drawn + ", ";
        text += Format("overlay age %u ms, cap %.2f fps\n", capture.overlayAgeMs, capture.cap);
    }
    for (const ResourceSample& sample : report.resources)
        text += Format("resources: frame %u, private %llu bytes, GDI %u, USER %u\n", sample.frame,
                       static_cast<unsigned long long>(sample.privateBytes), sample.gdiObjects, sample.userObjects);
    return text;
}
