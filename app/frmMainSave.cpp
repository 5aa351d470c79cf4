#include "app/Handlers.h"
#include "app/QtPlatform.h"
#include "app/WaitCursor.h"
#include "app/frmMain.h"
#include "app/frmMainProgress.h"

#include "common/Failure.h"
#include "common/MessageBox.h"
#include "common/Strings.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QScopedValueRollback>

#include <filesystem>

namespace {

// True when both names lead to one file: the same text after resolving "." and "..", or
// the same file on disk through a symbolic or hard link.
bool SameFile(const std::string& a, const std::string& b) {
    const QFileInfo first(QString::fromStdString(a));
    const QFileInfo second(QString::fromStdString(b));
    if (QDir::cleanPath(first.absoluteFilePath()) == QDir::cleanPath(second.absoluteFilePath()))
        return true;
    std::error_code error;
    return std::filesystem::equivalent(std::filesystem::u8path(a), std::filesystem::u8path(b),
                                       error) &&
           !error;
}

} // namespace

bool frmMain::AskSaveChanges() {
    if (!bDataChanged)
        return true;
    switch (ShowMessageBox("Save changed data?", "Save data", MsgButtons::YesNoCancel)) {
    case MsgAnswer::Yes:
        return bOriginFile ? SaveSourceFileAs() : SaveSourceFile();
    case MsgAnswer::No:
        return true;
    default:
        return false;
    }
}

void frmMain::pbSave_Click() {
    SaveSourceFile();
}

void frmMain::pbSaveAs_Click() {
    SaveSourceFileAs();
}

bool frmMain::SaveSourceFile() {
    return SaveXmlData(txtXMLFile->text().toStdString());
}

bool frmMain::SaveSourceFileAs() {
    const std::string sPath = SelectSaveFileName();
    if (IsBlank(sPath))
        return false;
    if (!SaveXmlData(sPath))
        return false;
    txtXMLFile->setText(QString::fromStdString(sPath));
    return true;
}

std::string frmMain::SelectSaveFileName() {
    try {
        const std::string sCurrent = txtXMLFile->text().toStdString();
        std::string sDir = sCurrent;
        std::string sName;
        SplitPath(sDir, sName);
        for (;;) {
            CD.FileName = "";
            CD.InitDir = sDir;
            CD.Filter = "XML-Files(*.xml) |*.xml";
            CD.DefaultExt = "xml";
            {
                const RefusedSaveNames refused(
                    [&](const std::string& sName) { return IsOriginFileName(sName, sCurrent); });
                CD.ShowSave();
            }
            const std::string sChosen = CD.FileName;
            if (sChosen.empty())
                continue;
            if (IsOriginFileName(sChosen, sCurrent)) {
                ShowMessageBox("You can't overwrite the origin XML-File", "Error");
                continue;
            }
            return sChosen;
        }
    } catch (const std::exception& e) {
        ShowFailure(e, "Error while selecting file-name");
    }
    return {};
}

bool frmMain::IsOriginFileName(const std::string& sName, const std::string& sCurrent) const {
    // The text test alone would let "./orig.xml" or a link replace the origin file.
    return bOriginFile && (UpperCase(sName) == UpperCase(sCurrent) || SameFile(sName, sCurrent));
}

bool frmMain::SaveXmlData(const std::string& sPath) {
    try {
        const WaitCursor waitCursor; // large files take a moment
        const QScopedValueRollback<bool> busy(bBusy, true);
        // The file being replaced, or the one loaded, tells about how much will be written.
        const QFileInfo target(QString::fromStdString(sPath));
        const FileProgress progress(this, dlgProgress, SourceDoc, "Saving " + target.fileName(),
                                    target.exists() ? target.size()
                                                    : QFileInfo(txtXMLFile->text()).size());
        if (bOriginFile)
            SourceDoc.ClearAllNodes();
        for (int32_t row = 1; row <= Grid->MaxRows(); ++row) {
            SourceDoc.SetElementValue(Grid->GetText(row, kColPath), Grid->GetText(row, kColValue));
            Grid->SetText(row, kColMarker, "0");
        }
        SourceDoc.Save(sPath);
        pbSave->setEnabled(false);
        pbSaveAs->setEnabled(false);
        bDataChanged = false;
        bOriginFile = false;
        return true;
    } catch (const std::exception& e) {
        ShowMessageBox(FailureText(e), "Error while saving xml-data", MsgButtons::OK,
                       FailureDetails(e));
        return false;
    }
}

void frmMain::closeEvent(QCloseEvent* event) {
    // A close request that arrives while a load or save shows its progress waits for no one:
    // the work would go on in a window being torn down.
    if (bBusy) {
        event->ignore();
        return;
    }
    CloseAfterGuard(event, [this] { return AskSaveChanges(); });
}
