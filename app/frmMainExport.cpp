#include "app/Handlers.h"
#include "app/frmMain.h"

#include "common/MessageBox.h"
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
        ShowFailure(e, "Error while export to excel");
    }
}

void frmMain::ExportToWorkbook(const std::string& sPath) {
    ::ExportToWorkbook(sPath, {"Field", "Value"}, [this](WorkbookWriter& workbook) {
        for (int32_t row = 1; row <= Grid->MaxRows(); ++row)
            workbook.AddRow(Grid->GetText(row, kColAlias), Grid->GetText(row, kColValue));
    });
}
