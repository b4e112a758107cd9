#include <windows.h>

#include "module/Module.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        OnProcessAttach(module);
    else if (reason == DLL_PROCESS_DETACH)
        OnProcessDetach();
    return TRUE;
}
