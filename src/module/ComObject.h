#pragma once

#include <windows.h>

#include <cstdint>
#include <new>
#include <utility>

#include "module/Registries.h"

// What every COM object of the module shares: its registry slot and its
// reference count, right behind the interface table.
//
// References that one of our objects holds on another (a surface on its
// palette or its back buffer) are counted apart as well, so that the unload
// walk can tell whether the game still holds the object: the walk releases only
// the game's references and leaves held objects to their holders.
template <class Self, class Interface>
class ComObject : public Interface {
public:
    using Published = Interface;

    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++referenceCount); }

    ULONG STDMETHODCALLTYPE Release() override
    {
        if (referenceCount == 1) {
            delete this;
            return 0;
        }
        return static_cast<ULONG>(--referenceCount);
    }

    // The object behind an interface pointer the game passed, when it is a
    // live one of this class; anything else is never dereferenced.
    static Self* FromInterface(Interface* pointer)
    {
        if (pointer == nullptr)
            return nullptr;
        return objectRegistry<Self>.Find(
            [pointer](Self* candidate) { return static_cast<Interface*>(candidate) == pointer; });
    }

    uint32_t RegistryPosition() const { return registryPosition; }
    LONG ReferenceCount() const { return referenceCount; }
    bool IsHeldByGame() const { return referenceCount > heldReferences; }

    // The reference an object was created with becomes its maker's.
    void MarkReferenceHeld() { ++heldReferences; }

    void TakeHeldReference()
    {
        AddRef();
        ++heldReferences;
    }

    void DropHeldReference()
    {
        --heldReferences;
        Release();
    }

    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

protected:
    ComObject() = default;

    virtual ~ComObject() { objectRegistry<Self>.Leave(registryPosition); }

private:
    template <class T, class... Args>
    friend T* CreateRegistered(Args&&... args);

    uint32_t registryPosition = 0;
    LONG referenceCount = 1;
    LONG heldReferences = 0;
};

// Makes an object of class T, enters it in its class's registry and gives it
// reference count 1. Returns null, leaving nothing behind, when memory or the
// registry is full.
template <class T, class... Args>
T* CreateRegistered(Args&&... args)
{
    T* object = new (std::nothrow) T(std::forward<Args>(args)...);
    if (object == nullptr)
        return nullptr;
    object->registryPosition = objectRegistry<T>.Enter(object);
    if (object->registryPosition == 0) {
        object->Release();
        return nullptr;
    }
    return object;
}

// Gives one reference to every object still registered whose game reference
// is outstanding; used by the unload walk.
template <class T>
void ReleaseGameReferences()
{
    objectRegistry<T>.ForEachLive([](T* object) {
        if (object->IsHeldByGame())
            object->Release();
    });
}
