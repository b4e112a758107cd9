#pragma once

#include <windows.h>
#include <ddraw.h>

// Blt and BltFast of both surface generations, once the source is known to be
// a live surface of the destination's class. Every rectangle, flag and depth
// is checked before the first pixel is written, so a refused call changes
// nothing; a call that succeeds on the primary presents what it changed.
template <class Surface>
HRESULT BltSurface(Surface& destination, const RECT* destinationRect, Surface* source, const RECT* sourceRect,
                   DWORD flags, const DDBLTFX* effects);

template <class Surface>
HRESULT BltFastSurface(Surface& destination, DWORD x, DWORD y, Surface& source, const RECT* sourceRect);
