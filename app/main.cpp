#include "app/QtPlatform.h"
#include "app/frmMain.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    InstallQtPlatform();
    frmMain window;
    if (!window.InitApplication())
        return 1;
    window.show();
    return app.exec();
}
