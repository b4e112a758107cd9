#pragma once

#include <windows.h>

#include <cstdint>

// A memory device context compatible with the game window's; null when GDI
// cannot make one.
HDC CreateWindowCompatibleDC();

// Whether the window shows frames at another size than the mode's.
bool OutputIsScaled();

// Makes the memory device context whose bitmap WM_PAINT copies to the window,
// for a new primary of the given depth whose own DIB section is `primaryDib`.
// The window is painted from a present bitmap of the output size (the mode
// size when unscaled) in screen colours for 8-bit frames, and for 16-bit ones
// on a 32-bit screen; on another screen, from one of RGB565 pixels for scaled
// 16-bit frames. A primary of another depth, or a 16-bit one on a 16-bit
// screen, shown unscaled, is painted straight from its own DIB section.
// Returns false when GDI cannot make them; DestroyPresentImage then cleans up
// what was made.
bool CreatePresentImage(uint32_t primaryDepth, HBITMAP primaryDib);

void DestroyPresentImage();

// A primary shown from its own DIB section has that section selected into the
// present device context. A DIB section can be selected into one device
// context at a time, so a device context the game asks for of that surface
// borrows it (repaints meanwhile have no frame to show), and it comes back
// when the game's context is released. After a flip the new front's section
// is shown. Both do nothing when the window shows a present bitmap.
void LendShownDib(HBITMAP dib);
void ShowPrimaryDib(HBITMAP dib);
