#include "pixels/support/NoMemory.h"

#include <cstddef>
#include <new>

namespace {

bool nothrowAllocationsFail = false;

}

NoMemory::NoMemory(bool active) : previous_(nothrowAllocationsFail)
{
    nothrowAllocationsFail = active || previous_;
}

NoMemory::~NoMemory()
{
    nothrowAllocationsFail = previous_;
}

void* operator new[](std::size_t bytes, const std::nothrow_t&) noexcept
{
    if (nothrowAllocationsFail)
        return nullptr;
    try {
        return ::operator new[](bytes);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
