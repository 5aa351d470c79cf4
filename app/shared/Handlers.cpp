#include "app/shared/Handlers.h"
#include "app/shared/WaitCursor.h"

#include "common/Failure.h"
#include "common/FileDialog.h"
#include "common/Log.h"
#include "common/MessageBox.h"
#include "export/ShellExecute.h"
#include "export/WorkbookWriter.h"
#include "xml/DOMWrapper.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QString>

std::string FailureDetails(const std::exception& e) {
    std::string details = FailureText(e);
    if (const auto* failure = dynamic_cast<const Failure*>(&e); failure && !failure->detail.empty())
        details += "\n" + failure->detail;
    // Descriptions break lines with CR LF; the details box wants plain line feeds.
    return QString::fromStdString(details)
        .replace(QLatin1String("\r\n"), QLatin1String("\n"))
        .toStdString();
}

std::string LoadFailureDetails(const std::string& sPath, const std::exception& e) {
    const auto* failure = dynamic_cast<const Failure*>(&e);
    const std::string reason = failure && !failure->reason.empty() ? failure->reason : e.what();
    const QFileInfo file(QString::fromStdString(sPath));
    if (!file.isFile() || !file.isReadable())
        return sPath + " cannot be read: " + reason;
    const std::string where = failure && !failure->detail.empty() ? failure->detail + ": " : "";
    return sPath + " does not parse: " + where + reason;
}

std::string NamespaceNote(const DOMWrapper& doc) {
    const auto root = doc.RootElement();
    if (!root || root->second == kRidoRuduNamespace)
        return {};
    const std::string in =
        root->second.empty() ? "in no namespace" : "in the namespace " + root->second;
    return "The root element " + root->first + " is " + in + ", not in RidoRudu's " +
           kRidoRuduNamespace + ".";
}

void ShowFailure(const std::exception& e, const std::string& title) {
    const auto* failure = dynamic_cast<const Failure*>(&e);
    if (failure && failure->number == kDialogCancelledNumber)
        return;
    ShowMessageBox(FailureText(e), title, MsgButtons::OK,
                   failure && !failure->detail.empty() ? FailureDetails(e) : "");
}

void ExportToWorkbook(const std::string& sPath, const std::vector<std::string>& header,
                      const std::function<void(WorkbookWriter&)>& addRows) {
    WaitCursor waitCursor;
    try {
        WorkbookWriter workbook(sPath, header);
        addRows(workbook);
        waitCursor.Restore();
        workbook.Save();
    } catch (const std::exception& e) {
        waitCursor.Restore();
        LogFailure("cannot write the workbook " + sPath, e);
        ShowMessageBox("Excel-Workbook is not saved!", "Error while saving excel-sheet",
                       MsgButtons::OK, FailureDetails(e));
        return;
    }

    std::string sError;
    if (!OpenFileWithShell(sPath, sError))
        ShowMessageBox(sError, "Error", MsgButtons::OK,
                       "The workbook was written to " + sPath + "; no application opened it.");
}

void ExportWithDialog(CommonDialog& CD, bool hasRows,
                      const std::function<void(const std::string&)>& exportTo) {
    try {
        if (!hasRows) {
            ShowMessageBox("No data found", "Error");
            return;
        }
        CD.FileName = "";
        CD.Filter = "Excel (*.xlsx)|*.xlsx";
        CD.DefaultExt = "xlsx";
        CD.ShowSave();
        if (!CD.FileName.empty())
            exportTo(CD.FileName);
    } catch (const std::exception& e) {
        ShowFailure(e, "Error while export to excel");
    }
}

void CloseAfterGuard(QCloseEvent* event, const std::function<bool()>& askSaveChanges) {
    try {
        if (askSaveChanges())
            event->accept();
        else
            event->ignore();
    } catch (const std::exception& e) {
        event->ignore();
        ShowMessageBox(FailureText(e), "Error while saving xml-data", MsgButtons::OK,
                       FailureDetails(e));
    }
}
