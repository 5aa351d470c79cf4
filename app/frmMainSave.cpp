#include "app/frmMain.h"

#include "common/Failure.h"
#include "common/MessageBox.h"
#include "common/Strings.h"

#include <QCloseEvent>
#include <QLineEdit>

bool frmMain::AskSaveChanges() {
    return true;
}

void frmMain::pbSave_Click() {}

void frmMain::pbSaveAs_Click() {}

bool frmMain::SaveSourceFile() {
    return false;
}

bool frmMain::SaveSourceFileAs() {
    return false;
}

std::string frmMain::SelectSaveFileName() {
    return {};
}

bool frmMain::SaveXmlData(const std::string& sPath) {
    (void)sPath;
    return false;
}

void frmMain::closeEvent(QCloseEvent* event) {
    if (AskSaveChanges())
        event->accept();
    else
        event->ignore();
}
