#include "module/Module.h"

#include "ddraw/DirectDraw.h"
#include "module/DisplayState.h"
#include "present/WindowSetup.h"
#include "surface/DirectDrawPalette.h"
#include "surface/DirectDrawSurface.h"
#include "surface/DirectDrawSurface4.h"

namespace {

// Frames are paced on the performance counter when it works, else on the tick
// count.
void ChooseFrameClock()
{
    LARGE_INTEGER frequency;
    LARGE_INTEGER now;
    if (QueryPerformanceFrequency(&frequency) && QueryPerformanceCounter(&now)) {
        displayState.timerFrequency = frequency.QuadPart;
        displayState.lastFrameTime = now.QuadPart;
        displayState.useHighResTimer = 1;
    } else {
        displayState.lastFrameTime = GetTickCount();
    }
}

}

void OnProcessAttach(HMODULE module)
{
    objectRegistry<DirectDraw>.Clear();
    objectRegistry<DirectDraw2>.Clear();
    objectRegistry<DirectDrawPalette>.Clear();
    objectRegistry<DirectDrawSurface>.Clear();
    displayState.moduleHandle = module;
    ChooseFrameClock();
}

// Objects the game never released get one Release each, palettes first and
// DirectDraw objects last. An object that only another object still holds (a
// palette attached to a surface, a back buffer) is left to its holder, which
// lets go of it when it dies itself, so no holder ever touches a destroyed
// object. The game window outlives the module when the game unloads it
// itself, so it gets its own procedure back, and the cursor its freedom.
void OnProcessDetach()
{
    ReleaseGameReferences<DirectDrawPalette>();
    ReleaseGameReferences<DirectDrawSurface>();
    ReleaseGameReferences<DirectDraw2>();
    ReleaseGameReferences<DirectDraw4>();
    ReleaseGameReferences<DirectDrawSurface4>();
    ReleaseGameReferences<DirectDraw>();
    RestoreGameWindowProc();
}
