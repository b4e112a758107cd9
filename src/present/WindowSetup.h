#pragma once

#include <cstdint>

// Prepares the game window for the mode in the display state: asks Windows for
// a screen mode of the game's resolution, takes over the window procedure,
// sizes the window to the largest rectangle of the game's aspect ratio that
// fits the screen and confines the cursor. Always reports success: when the
// screen mode cannot be had, frames are enlarged to the desktop instead.
bool SetupGameWindow();

// Gives the game window its own procedure back, for when the module is
// unloaded while the window lives on: our procedure's code goes with the
// module. The cursor it confined, and hid while the window had the focus, is
// free and shown again.
void RestoreGameWindowProc();

// Switches the screen to the mode's size at this depth; false when no such
// mode exists or Windows refused it.
bool ApplyDisplayMode(uint32_t bitsPerPixel);

// The largest size of the mode's aspect ratio that fits the screen.
struct OutputSize {
    uint32_t width;
    uint32_t height;
};
OutputSize FitAspect(uint32_t modeWidth, uint32_t modeHeight, uint32_t screenWidth, uint32_t screenHeight);
