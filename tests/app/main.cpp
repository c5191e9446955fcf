#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char* argv[]) {
    // Also when the test list is read at build time, outside ctest.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
