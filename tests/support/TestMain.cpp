#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// Widgets need a QApplication before any test creates one. The tests drive real widgets
// headless, also when started by hand without the platform set.
int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // A configuration missing beside the executable is looked up in the user's and the
    // system's folders; the machine's own must not stand in for it.
    const QTemporaryDir noConfiguration;
    qputenv("XDG_CONFIG_HOME", noConfiguration.path().toUtf8());
    qputenv("XDG_CONFIG_DIRS", noConfiguration.path().toUtf8());
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
