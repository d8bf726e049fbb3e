#include <QApplication>

#include <gtest/gtest.h>

// GUI tests need one QApplication for the whole run; widgets are created inside the tests.
int main(int argc, char** argv) {
    // CTest's test discovery runs the binary without the tests' environment; without a display
    // it would abort in QApplication before it could list the tests.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", QUILLON_GUI_TEST_PLATFORM);
    }
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
