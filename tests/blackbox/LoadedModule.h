#pragma once

#include <windows.h>

// The ddraw.dll under test, loaded by path from beside the test program, the
// way a game finds it in its own folder.
HMODULE LoadedModule();

// An export of the loaded module by name, as a function of type F.
template <class F>
F Export(const char* name)
{
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(LoadedModule(), name)));
}

#include <ddraw.h>

#include <memory>

// Owns one reference to a COM object and gives it back when it goes.
struct ComReleaser {
    void operator()(IUnknown* object) const
    {
        if (object != nullptr)
            object->Release();
    }
};
template <class T>
using ComRef = std::unique_ptr<T, ComReleaser>;

// A new DirectDraw object from the module's DirectDrawCreate, or null.
ComRef<IDirectDraw> CreateDirectDraw();

// The same object's newer interfaces, made through QueryInterface.
template <class T>
ComRef<T> QueryDirectDraw(IUnknown* object, REFIID iid)
{
    void* out = nullptr;
    object->QueryInterface(iid, &out);
    return ComRef<T>(static_cast<T*>(out));
}
