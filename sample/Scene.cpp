#include "Scene.h"

#include <cstdio>

void Check(HRESULT result, const char* call)
{
    if (FAILED(result)) {
        char message[128];
        std::snprintf(message, sizeof message, "%s failed with 0x%08lX", call, static_cast<unsigned long>(result));
        throw GameError(message);
    }
}

void NoteLeftover(ULONG left, ULONG expected, const char* name, std::string& leftovers)
{
    if (left == expected)
        return;
    if (!leftovers.empty())
        leftovers += ", ";
    leftovers += std::string(name) + " kept " + std::to_string(left) + " references";
}
