#include "app/frmMain.h"

void frmMain::pbExporttoExcel_Click() {}

void frmMain::ExportToWorkbook(const std::string& sPath) {
    (void)sPath;
}
