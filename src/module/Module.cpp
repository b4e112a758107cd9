#include "module/Module.h"

#include "ddraw/DirectDraw.h"
#include "module/DisplayState.h"
#include "surface/DirectDrawPalette.h"

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
    displayState.moduleHandle = module;
    ChooseFrameClock();
}

// Objects the game never released get one Release each, palettes first and
// DirectDraw objects last. An object that only another object still holds is
// left to its holder, which lets go of it when it dies itself.
void OnProcessDetach()
{
    ReleaseGameReferences<DirectDrawPalette>();
    ReleaseGameReferences<DirectDraw2>();
    ReleaseGameReferences<DirectDraw>();
}
