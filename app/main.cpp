#include "app/main/CommandLine.h"
#include "app/main/frmMain.h"
#include "app/shared/QtPlatform.h"
#include "xml/DOMWrapper.h"

#include <QApplication>
#include <QIcon>

namespace {

// The icon theme's, else the one compiled into the program.
QIcon ApplicationIcon() {
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256, 512})
        icon.addFile(QStringLiteral(":/icons/ravlen-%1.png").arg(size), QSize(size, size));
    return QIcon::fromTheme(QStringLiteral("ravlen"), icon);
}

} // namespace

int main(int argc, char** argv) {
    CommandLineRequest request = ReadCommandLine(argc, argv);
    if (request.bExit)
        return PrintAndExit(request);

    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(QStringLiteral("ravlen"));
    QApplication::setWindowIcon(ApplicationIcon());
    InstallQtPlatform();
    frmMain window;
    if (!window.InitApplication())
        return 1;
    window.show();
    window.OpenFromCommandLine(request.sConfigNumber, request.sFile);
    if (!request.sNewConfigFile.isEmpty())
        window.NewConfiguration(request.sNewConfigFile);
    if (!request.TableFiles.isEmpty())
        window.OpenTable(request.TableFiles);
    const int code = app.exec();
    DOMWrapper::LeaveDocumentsToTheSystem();
    return code;
}
