#include <gtest/gtest.h>

#include <QCoreApplication>

#ifdef QUILLON_CLI_HIDRAW_MAIN
#include "hid/linux/tests/HidrawTestBed.h"
#endif

// The tool runs inside a QCoreApplication, as in its own main.
int main(int argc, char** argv) {
#ifdef QUILLON_CLI_HIDRAW_MAIN
    // Before any thread exists: the FUSE mounts then stay private to this process.
    quillon::test::EnterPrivateMountNamespace();
#endif
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationVersion("0.0.0-test");
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
