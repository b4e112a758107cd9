#pragma once

#include <windows.h>

// What the entry point does when the module is loaded into a process and when
// it is unloaded from it.
void OnProcessAttach(HMODULE module);
void OnProcessDetach();
