#include "app/WaitCursor.h"
#include "app/frmMain.h"

#include "common/Failure.h"
#include "common/Log.h"
#include "common/MessageBox.h"
#include "export/ShellExecute.h"
#include "export/WorkbookWriter.h"

void frmMain::pbExporttoExcel_Click() {
    try {
        if (Grid->MaxRows() == 0) {
            ShowMessageBox("No data found", "Error");
            return;
        }
        CD.FileName = "";
        CD.Filter = "Excel (*.xlsx)|*.xlsx";
        CD.DefaultExt = "xlsx";
        CD.ShowSave();
        if (!CD.FileName.empty())
            ExportToWorkbook(CD.FileName);
    } catch (const std::exception& e) {
        showFailure(e, "Error while export to excel");
    }
}

void frmMain::ExportToWorkbook(const std::string& sPath) {
    // The wait cursor covers only the rows: saving runs with the normal one, and so do the
    // message and the opener that follow.
    WaitCursor waitCursor;
    try {
        WorkbookWriter workbook(sPath);
        for (int32_t row = 1; row <= Grid->MaxRows(); ++row)
            workbook.AddRow(Grid->GetText(row, kColAlias), Grid->GetText(row, kColValue));
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
        ShowMessageBox(sError, "Error");
}
