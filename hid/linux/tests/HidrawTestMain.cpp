#include <gtest/gtest.h>

#include "hid/linux/tests/HidrawTestBed.h"

// Every test process gets a mount namespace of its own before any thread exists (the kernel
// refuses one to a process with threads); its FUSE mounts then die with it, whatever happens.
int main(int argc, char** argv) {
    quillon::test::EnterPrivateMountNamespace();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
