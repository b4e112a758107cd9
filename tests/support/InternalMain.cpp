#include <gtest/gtest.h>

#include <windows.h>

#include "module/Module.h"

// The module's code is linked into this program, so the entry point's work is
// done here, as the loader would do it for the DLL.
int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    OnProcessAttach(GetModuleHandleW(nullptr));
    return RUN_ALL_TESTS();
}
