#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

// What the game's own window procedure has been sent.
struct GameWindowLog {
    int paints = 0;
    int keys = 0;
    int userMessages = 0;
    WPARAM lastKey = 0;
};

// A popup window standing in for a game's, made once per process and shown;
// its procedure only records what reaches it.
HWND GameWindow();
GameWindowLog& WindowLog();
WNDPROC GameWindowOwnProc();

// Dispatches whatever is queued for this thread.
void PumpMessages();

// The window's client pixels as the screen shows them, 0x00RRGGBB, row by row.
std::vector<uint32_t> ReadWindow(uint32_t width, uint32_t height);

// Presses or lets go of Control as GetKeyState sees it on this thread.
void SetControlKey(bool down);
