#include "app/main/frmMain.h"
#include "app/main/frmMainProgress.h"
#include "app/shared/FileRules.h"
#include "app/shared/Handlers.h"
#include "app/shared/QtPlatform.h"
#include "app/shared/WaitCursor.h"
#include "app/table/frmTable.h"

#include "common/Failure.h"
#include "common/MessageBox.h"
#include "common/Strings.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QScopedValueRollback>

#include <algorithm>

bool frmMain::AskSaveChanges() {
    return ::AskSaveChanges(bDataChanged,
                            [this] { return bOriginFile ? SaveSourceFileAs() : SaveSourceFile(); });
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
    return bOriginFile &&
           ::IsOriginFileName(QString::fromStdString(sName), QString::fromStdString(sCurrent));
}

bool frmMain::MayOverwriteSource(const std::string& sPath) {
    const QString path = QString::fromStdString(sPath);
    if (!SourceStamp || !SameFile(path, txtXMLFile->text()) || !ChangedOnDisk(path, *SourceStamp))
        return true;
    return ShowMessageBox("The file " + sPath +
                              " changed on disk since it was loaded.\nOverwrite it with the "
                              "values shown here?",
                          "Save data", MsgButtons::OverwriteCancel) == MsgAnswer::Yes;
}

bool frmMain::SaveXmlData(const std::string& sPath) {
    try {
        if (!MayOverwriteSource(sPath))
            return false;
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
        SourceStamp = SourceDoc.SavedStamp();
        if (!SourceStamp)
            SourceStamp = StampOf(QString::fromStdString(sPath));
        // The history stays: a value saved by mistake can still be taken back, and taking it
        // back is an edit to be saved again.
        Grid->ClearMarks();
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
    if (Busy()) {
        event->ignore();
        return;
    }
    // The tables' edits are asked about first; they close only once every guard agreed.
    const QList<frmTable*> tables = frmTable::OpenTables();
    CloseAfterGuard(event, [&] {
        return std::all_of(tables.begin(), tables.end(),
                           [](frmTable* table) { return table->AskSaveChanges(); }) &&
               AskSaveChanges();
    });
    if (event->isAccepted())
        for (frmTable* table : tables)
            table->CloseWithoutAsking();
}
