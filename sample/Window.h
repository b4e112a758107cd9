#pragma once

#include <windows.h>

// The game's own window: a screen-covering popup whose procedure counts the
// paints that reach it and notes when the player closes it.
class GameWindow {
public:
    GameWindow();
    ~GameWindow();
    GameWindow(const GameWindow&) = delete;
    GameWindow& operator=(const GameWindow&) = delete;

    HWND Handle() const { return window; }

    // Handles whatever is queued; false once the window has been closed.
    bool PumpMessages();

    // Counting starts here, so that the paints of the window's own start-up
    // are left out.
    void StartCountingPaints();
    int PaintsReceived() const;

    // The client area's size, as the display set-up left it.
    SIZE ClientSize() const;

private:
    HWND window = nullptr;
};
