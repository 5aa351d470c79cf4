#pragma once

#include "app/table/FindReplace.h"

#include <QDialog>

#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

// Find and replace in the table: what to look for, in which cells, and what to put instead.
// It stays open beside the table; the table does the finding.
class dlgFindReplace : public QDialog {
public:
    enum class Scope { AllColumns, SelectedColumns, Selection };

    explicit dlgFindReplace(QWidget* parent);

    FindOptions Options() const;
    QString ReplaceWith() const;
    Scope CellScope() const;
    // Shows the dialog with the focus in the box to find, or to replace with when replacing
    // something already given.
    void ShowFor(bool replace);
    void SetStatus(const QString& text);

    std::function<void(bool forward)> onFind;
    std::function<void()> onReplace;
    std::function<void()> onReplaceAll;

private:
    QLineEdit* txtFind = nullptr;
    QLineEdit* txtReplace = nullptr;
    QCheckBox* chkRegex = nullptr;
    QCheckBox* chkMatchCase = nullptr;
    QCheckBox* chkWholeCell = nullptr;
    QComboBox* cmbScope = nullptr;
    QLabel* lblStatus = nullptr;
};
