#pragma once

#include "module/ObjectRegistry.h"

class DirectDraw;
class DirectDraw2;
class DirectDraw4;
class DirectDrawPalette;
class DirectDrawSurface;
class DirectDrawSurface4;

// How many objects of each class may live at once.
template <class T>
struct RegistryCapacity;
template <> struct RegistryCapacity<DirectDraw> { static constexpr uint32_t value = 16; };
template <> struct RegistryCapacity<DirectDraw2> { static constexpr uint32_t value = 16; };
template <> struct RegistryCapacity<DirectDraw4> { static constexpr uint32_t value = 16; };
template <> struct RegistryCapacity<DirectDrawPalette> { static constexpr uint32_t value = 16; };
template <> struct RegistryCapacity<DirectDrawSurface> { static constexpr uint32_t value = 16; };
template <> struct RegistryCapacity<DirectDrawSurface4> { static constexpr uint32_t value = 10000; };

// The process-wide registry of each class, empty at load.
template <class T>
inline ObjectRegistry<T, RegistryCapacity<T>::value> objectRegistry;
