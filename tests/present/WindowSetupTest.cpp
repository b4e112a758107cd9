#include <gtest/gtest.h>

#include <windows.h>

#include "module/DisplayState.h"
#include "present/GameWindowProc.h"
#include "present/WindowSetup.h"
#include "support/ScreenFixture.h"

TEST_F(ScreenTest, SetDisplayModeFitsTheWindowToTheScreen)
{
    SetMode(8);
    EXPECT_EQ(640u, displayState.modeWidth);
    EXPECT_EQ(480u, displayState.modeHeight);
    EXPECT_EQ(8u, displayState.modeBpp);
    EXPECT_EQ(ExpectedOutputWidth(), displayState.outputWidth);
    EXPECT_EQ(ExpectedOutputHeight(), displayState.outputHeight);
    EXPECT_EQ(uint32_t(GetSystemMetrics(SM_CXSCREEN)), displayState.screenWidth);

    RECT window;
    GetWindowRect(GameWindow(), &window);
    EXPECT_EQ(0, window.left);
    EXPECT_EQ(0, window.top);
    EXPECT_EQ(LONG(ExpectedOutputWidth()), window.right);
    EXPECT_EQ(LONG(ExpectedOutputHeight()), window.bottom);

    RECT clip;
    GetClipCursor(&clip);
    EXPECT_EQ(0, clip.left);
    EXPECT_EQ(0, clip.top);
    EXPECT_EQ(640, clip.right);
    EXPECT_EQ(480, clip.bottom);
}

// Only the desktop that has the game's size offers its mode, at the depth an
// 8-bit game asks for (32) and at 16.
TEST_F(ScreenTest, TheScreenModeIsChangedOnlyWhereTheGamesSizeExists)
{
    SetMode(16);
    const bool offered = DesktopWidth() == 640 && DesktopHeight() == 480;
    EXPECT_EQ(offered, ApplyDisplayMode(32));
    EXPECT_EQ(offered, ApplyDisplayMode(16));
    EXPECT_EQ(DesktopWidth(), uint32_t(GetSystemMetrics(SM_CXSCREEN)));
}

TEST_F(ScreenTest, TheWindowIsSubclassedOnceHoweverOftenTheModeIsSet)
{
    SetMode(8);
    SetMode(16);
    SetMode(8);
    EXPECT_EQ(reinterpret_cast<LONG_PTR>(&GameWindowProc), GetWindowLongPtrW(GameWindow(), GWLP_WNDPROC));
    EXPECT_EQ(GameWindowOwnProc(), displayState.previousWndProc);
    SendMessageW(GameWindow(), WM_USER, 0, 0);
    EXPECT_EQ(1, WindowLog().userMessages);
}

TEST(FitAspect, TheLargestRectangleOfTheGamesAspectThatFits)
{
    struct Case {
        uint32_t screenWidth, screenHeight, width, height;
    };
    for (Case c : {Case{1920, 1080, 1440, 1080}, Case{1680, 1050, 1400, 1050}, Case{1280, 1024, 1280, 960},
                   Case{640, 480, 640, 480}, Case{1024, 768, 1024, 768}, Case{1366, 768, 1024, 768},
                   Case{600, 800, 600, 450}}) {
        const OutputSize output = FitAspect(640, 480, c.screenWidth, c.screenHeight);
        EXPECT_EQ(c.width, output.width) << c.screenWidth << "x" << c.screenHeight;
        EXPECT_EQ(c.height, output.height) << c.screenWidth << "x" << c.screenHeight;
    }
    const OutputSize degenerate = FitAspect(0, 480, 800, 600);
    EXPECT_EQ(800u, degenerate.width);
    EXPECT_EQ(600u, degenerate.height);
}
