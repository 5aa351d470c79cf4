#include "app/main/frmMain.h"
#include "app/shared/Handlers.h"
#include "app/table/frmTable.h"

#include "common/Failure.h"
#include "common/MessageBox.h"

#include <QComboBox>

void frmMain::OpenTable(const QStringList& paths) {
    if (paths.isEmpty())
        return;
    if (cmbConfig->currentIndex() < 0) {
        // The table opens as soon as a configuration is chosen.
        pendingTablePaths_ = paths;
        ShowMessageBox("Choose the configuration for these files.", kAppTitle);
        cmbConfig->setFocus();
        return;
    }
    try {
        const ConfigurationInfo config =
            ReadConfiguration(ConfigDoc, cmbConfig->itemData(cmbConfig->currentIndex()).toInt());
        // A window of its own: it keeps its edits when this one closes first.
        frmTable::OpenTable(config, paths);
    } catch (const std::exception& e) {
        ShowMessageBox(FailureText(e), "Error while selecting xml-configuration");
    }
}

void frmMain::OpenTable_Click() {
    try {
        CD.FileName = "";
        CD.Filter = "XML-Files (*.xml)|*.xml";
        CD.ShowOpenMany();
        QStringList paths;
        for (const std::string& name : CD.FileNames)
            paths << QString::fromStdString(name);
        OpenTable(paths);
    } catch (const std::exception& e) {
        ShowFailure(e, "Error while selecting xml-file");
    }
}
