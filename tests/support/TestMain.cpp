#include <QApplication>
#include <gtest/gtest.h>

// Widgets need a QApplication before any test creates one. The tests drive real widgets
// headless, also when started by hand without the platform set.
int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
