#include "app/TableOpening.h"
#include "app/frmMain.h"
#include "app/frmTable.h"

#include "common/Failure.h"
#include "common/MessageBox.h"

#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>

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
        showFailure(e, "Error while selecting xml-file");
    }
}

void frmMain::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls() && IsTableDrop(event->mimeData()->urls()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void frmMain::dropEvent(QDropEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (!IsTableDrop(urls))
        return event->ignore();
    event->acceptProposedAction();
    OpenTable(LocalPaths(urls));
}
