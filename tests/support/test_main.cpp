// The test programs' entry: the internal routines linked into the program share the process
// with the loaded DLL, so the library state of the program's own copy is set up as at load.
#include <windows.h>

#include <gtest/gtest.h>

#include "core/library_state.h"

int main(int argc, char** argv)
{
    on_process_attach(GetModuleHandleW(nullptr));
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
