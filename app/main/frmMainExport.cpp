#include "app/main/frmMain.h"
#include "app/shared/Handlers.h"

#include "export/WorkbookWriter.h"

void frmMain::pbExporttoExcel_Click() {
    ExportWithDialog(CD, Grid->MaxRows() > 0,
                     [this](const std::string& sPath) { ExportToWorkbook(sPath); });
}

void frmMain::ExportToWorkbook(const std::string& sPath) {
    ::ExportToWorkbook(sPath, {"Field", "Value"}, [this](WorkbookWriter& workbook) {
        for (int32_t row = 1; row <= Grid->MaxRows(); ++row)
            workbook.AddRow(Grid->GetText(row, kColAlias), Grid->GetText(row, kColValue));
    });
}
