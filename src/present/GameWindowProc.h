#pragma once

#include <windows.h>

// The procedure that replaces the game window's own: it paints presented
// frames at the frame-rate cap, shows the cap for two seconds after it
// changes, takes the cap hotkeys and confines the cursor while focused.
// Everything else reaches the game's procedure.
LRESULT CALLBACK GameWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
