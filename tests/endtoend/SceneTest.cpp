#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <set>
#include <string>

#include "endtoend/SceneReport.h"
#include "endtoend/ScreenImage.h"

namespace {

std::string outputFolder;

std::string InFolder(const std::string& name)
{
    return outputFolder + "/" + name;
}

constexpr Size mode = {640, 480};

// The overlay shows for 2 s; a capture's age is an upper bound of the true
// one, so near the end it is not known whether the text was still there.
constexpr uint32_t overlaySureUntil = 1900;
constexpr uint32_t overlaySurelyGoneAfter = 2500;

// The largest window of the game's aspect ratio that fits the screen.
Size FitOfTheMode(Size screen)
{
    const uint64_t wide = uint64_t(screen.width) * mode.height, tall = uint64_t(screen.height) * mode.width;
    if (wide == tall)
        return screen;
    if (wide > tall)
        return {uint32_t(double(mode.width) / mode.height * screen.height + 0.5), screen.height};
    return {screen.width, uint32_t(double(mode.height) / mode.width * screen.width + 0.5)};
}

class Scene : public testing::TestWithParam<uint32_t> {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(ReadSceneReport(InFolder("scene" + std::to_string(Bits()) + "-report.txt"), report));
        ASSERT_EQ(Bits(), report.scene);
        EXPECT_EQ(Bits() == 8 ? "IDirectDraw2" : "IDirectDraw4", report.interfaceName);
    }

    static uint32_t Bits() { return GetParam(); }

    // Compares one capture with what its drawn frame should look like.
    void CheckCapture(const Capture& capture, bool withOverlay)
    {
        DrawnFrame drawn;
        ASSERT_TRUE(ReadDrawnFrame(InFolder(capture.drawn), drawn));
        ASSERT_EQ(Bits(), drawn.bitsPerPixel);
        ASSERT_EQ(mode, drawn.size);
        ScreenImage shown;
        ASSERT_TRUE(ReadPng(InFolder(capture.png), shown));
        ASSERT_EQ(report.output, shown.size);
        const ScreenImage plain = ExpectedScreen(drawn, report.output, std::nullopt);
        if (!withOverlay) {
            EXPECT_TRUE(SameImage(plain, shown));
            return;
        }
        const ScreenImage overlaid = ExpectedScreen(drawn, report.output, capture.cap);
        EXPECT_NE(plain.colours, overlaid.colours) << "drawing the overlay text changed no pixel";
        EXPECT_TRUE(SameImage(overlaid, shown));
    }

    SceneReport report;
};

TEST_P(Scene, EveryCaptureShowsTheDrawnFrameFittedToTheWindow)
{
    uint32_t withOverlay = 0, without = 0;
    for (const Capture& capture : report.captures) {
        SCOPED_TRACE(capture.png);
        if (capture.overlayAge >= overlaySureUntil && capture.overlayAge <= overlaySurelyGoneAfter) {
            std::printf("skipped %s: at %u ms the overlay may or may not have gone\n", capture.png.c_str(),
                        unsigned(capture.overlayAge));
            continue;
        }
        const bool overlay = capture.overlayAge < overlaySureUntil;
        CheckCapture(capture, overlay);
        ++(overlay ? withOverlay : without);
    }
    EXPECT_GE(withOverlay, 1u) << "no capture was checked with the overlay";
    EXPECT_GE(without, 1u) << "no capture was checked without the overlay";
}

TEST_P(Scene, TheWindowIsTheLargestOfTheGamesAspectOnTheScreen)
{
    const Size screen = {uint32_t(GetSystemMetrics(SM_CXSCREEN)), uint32_t(GetSystemMetrics(SM_CYSCREEN))};
    EXPECT_EQ(screen, report.screen);
    EXPECT_EQ(FitOfTheMode(screen), report.output);
}

TEST_P(Scene, FramesComeAtTheCapAndFollowItsChanges)
{
    std::set<double> caps;
    for (const Phase& phase : report.phases) {
        SCOPED_TRACE(testing::Message() << "frames " << phase.firstFrame << "-" << phase.lastFrame);
        EXPECT_NEAR(phase.cap, phase.achieved, 0.02 * phase.cap);
        EXPECT_NEAR(phase.cap, 1000 / phase.median, 0.02 * phase.cap);
        caps.insert(phase.cap);
    }
    EXPECT_GE(caps.size(), 2u) << "the cap never changed";
}

// While an 8-bit mode is set the window's paints are answered for the game;
// in other modes they are passed on to its window procedure.
TEST_P(Scene, PaintsReachTheGameOnlyInThe16BitScene)
{
    if (Bits() == 8)
        EXPECT_EQ(0u, report.gamePaints);
    else
        EXPECT_GT(report.gamePaints, 0u);
}

// A run long enough to be sampled twice, after start-up and at its end, must
// end holding what it held then: a few pages of the heap's own slack at most.
TEST_P(Scene, ALongRunHoldsNoMoreMemoryOrObjectsAtItsEnd)
{
    if (report.resources.size() < 2)
        GTEST_SKIP() << "the run was too short to be sampled after start-up";
    const ResourceSample& first = report.resources.front();
    const ResourceSample& last = report.resources.back();
    SCOPED_TRACE(testing::Message() << "frames " << first.frame << " to " << last.frame);
    constexpr uint64_t slackBytes = 64 * 1024;
    EXPECT_LE(last.privateBytes, first.privateBytes + slackBytes);
    EXPECT_LE(last.gdiObjects, first.gdiObjects);
    EXPECT_LE(last.userObjects, first.userObjects);
}

TEST_P(Scene, EveryObjectIsReleasedToZero)
{
    EXPECT_EQ("yes", report.released);
}

INSTANTIATE_TEST_SUITE_P(Scenes, Scene, testing::Values(8u, 16u),
                         [](const testing::TestParamInfo<uint32_t>& info) {
                             return std::to_string(info.param) + "Bit";
                         });

}

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    if (argc != 3 || std::string(argv[1]) != "--dir") {
        std::fprintf(stderr, "usage: endtoend_tests [GoogleTest options] --dir FOLDER\n");
        return 2;
    }
    outputFolder = argv[2];
    return RUN_ALL_TESTS();
}
