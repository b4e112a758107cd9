#include <windows.h>

#include "module/Module.h"

// The C++ runtime linked into the module takes a pool at load for exceptions
// thrown when memory runs out; this gives it back.
namespace __gnu_cxx {
void __freeres() noexcept;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        OnProcessAttach(module);
    } else if (reason == DLL_PROCESS_DETACH) {
        OnProcessDetach();
        // Without this every load and unload of the module would leave the
        // pool behind in the game's heap.
        __gnu_cxx::__freeres();
    }
    return TRUE;
}
