#pragma once

#include <windows.h>

#include "pixels/common/PixelRect.h"

// Brings the image the window shows up to date with the primary of one
// surface class, for a rectangle of it or (null) the whole frame, and has
// the window painted before returning. A whole frame waits for the frame
// period there; a rectangle is painted at once.
void PresentPrimary(const RECT* rect);
void PresentPrimary4(const RECT* rect);

// The window area a present invalidates for a rectangle of the frame.
RECT PresentedWindowRect(const PixelRect& area, double scaleX, double scaleY);
