#include <QApplication>

#include <gtest/gtest.h>

// GUI tests need one QApplication for the whole run; widgets are created inside the tests.
int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
