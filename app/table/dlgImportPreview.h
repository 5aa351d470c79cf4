#pragma once

#include "app/table/TableImport.h"

#include <QDialog>

#include <vector>

class QLabel;
class QPushButton;
class QTableWidget;

// What an import would change, before anything does: one line per differing cell and per
// problem. Plain changes are ticked, doubtful ones (a file changed on disk, a spreadsheet's
// conversion) wait for a tick, refused ones cannot be ticked.
class dlgImportPreview : public QDialog {
    Q_OBJECT

public:
    dlgImportPreview(const ImportPlan& plan, const QString& sSource, QWidget* parent = nullptr);

    // Per line of the plan: whether it is ticked now.
    std::vector<bool> Chosen() const;
    // Ticks every line that a tick can apply.
    void TickAll();

private:
    const ImportPlan& plan_;
    QTableWidget* twChanges = nullptr;
    QLabel* lblSummary = nullptr;
    QPushButton* pbApply = nullptr;
    QPushButton* pbCancel = nullptr;
    void UpdateSummary();
};
