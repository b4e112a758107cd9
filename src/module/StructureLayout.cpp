// A 32-bit game hands the module structures laid out by the published
// headers; their sizes are fixed facts of that ABI.
#include <windows.h>
#include <ddraw.h>

#ifndef _WIN64
static_assert(sizeof(DDSURFACEDESC) == 108);
static_assert(sizeof(DDSURFACEDESC2) == 124);
static_assert(sizeof(DDPIXELFORMAT) == 32);
static_assert(sizeof(PALETTEENTRY) == 4);
static_assert(sizeof(DDCOLORKEY) == 8);
static_assert(sizeof(void*) == 4);
#endif
