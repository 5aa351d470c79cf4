#pragma once

#include "app/shared/Configuration.h"
#include "app/table/TableDocument.h"
#include "common/FileDialog.h"

#include <QMainWindow>
#include <QStringList>

#include <exception>
#include <string>
#include <vector>

class FilesView;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class TableSortFilter;
class dlgFindReplace;

// The table of many files under one configuration: one row per file, one column per
// configured field, edited in place and saved together. It stands beside the main window.
class frmTable : public QMainWindow {
    Q_OBJECT

public:
    // Expands the paths (folders to their *.xml files), reads every file under the
    // configuration with a progress dialog and shows the window, which deletes itself when
    // closed. Nothing, and no window, when there is no file or reading was cancelled.
    static frmTable* OpenTable(const ConfigurationInfo& config, const QStringList& paths,
                               QWidget* parent = nullptr);

    explicit frmTable(const ConfigurationInfo& config, QWidget* parent = nullptr);
    ~frmTable() override;

    // Reads the files into the table; false when the user cancelled.
    bool ReadFiles(const QStringList& files);

    // The tables shown now.
    static QList<frmTable*> OpenTables();
    // The files the table shows, in its rows' order.
    QStringList Files() const;
    // The unsaved-changes guard: true when the table may close.
    bool AskSaveChanges();
    // Closes the window once its guard has agreed elsewhere.
    void CloseWithoutAsking();

    // --- Excel-Import ---
    // The cells the last import applied and those it left out.
    struct ImportCount {
        int nImported = 0;
        int nSkipped = 0;
    };
    ImportCount LastImport() const { return lastImport_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    TableDocument* Document = nullptr;
    TableSortFilter* View = nullptr; // the rows as sorted and filtered on screen
    QLineEdit* txtFilter = nullptr;
    QCheckBox* chkFilterRegex = nullptr;
    FilesView* tblFiles = nullptr;
    dlgFindReplace* FindDialog = nullptr;
    QLabel* lblFiles = nullptr;
    QPushButton* pbSave = nullptr;
    QPushButton* pbSaveAs = nullptr;
    QPushButton* pbExporttoExcel = nullptr;
    QPushButton* pbExcelImport = nullptr;
    QPushButton* pbClose = nullptr;
    CommonDialog CD;

    void createControls();
    void UpdateState();

    // --- Editing ---
    void CopyCells();
    void PasteCells();
    void ClearCells();
    void FillDown();
    // Applies edits worked out on the view's model as one step that Undo takes back.
    void Edit(const std::vector<std::pair<QModelIndex, QString>>& edits, const QString& what);
    // The document's cell that a cell of the view shows.
    QModelIndex ToDocument(const QModelIndex& index) const;

    // --- Finding, filtering and reading again ---
    void ApplyFilter();
    void ShowFind(bool replace);
    // The editable cells Find and Replace look at, in reading order on screen.
    QModelIndexList CellsInScope() const;
    // Moves to the next (previous) cell that matches, round the table; false when none does.
    bool Find(bool forward);
    void ReplaceCurrent();
    // Asks how many cells in how many files will change, then changes them as one step.
    void ReplaceAll();
    // Reads again the files that changed on disk; the edits of other files stay.
    void ReloadChanged();

    // --- Saving and the unsaved-changes guard ---
    bool bGuardPassed = false;
    bool SaveFiles();
    bool SaveFilesAs();
    // Shows one summary of the files not saved; true when there were none.
    bool ReportSave(const TableDocument::SaveReport& report) const;
    // Widths after the values, and each unreadable file's reason across its row.
    void LayOutColumns();
    // Runs the table's work on worker threads behind a progress dialog with this label.
    TableDocument::WorkRunner Runner(const QString& label);

    // --- Export ---
    void pbExporttoExcel_Click();
    void ExportToWorkbook(const std::string& sPath);

    // --- Excel-Import ---
    ImportCount lastImport_;
    void pbExcelImport_Click();
    // Reads the workbook, shows what it would change and applies what the user chose.
    void ImportFromWorkbook(const std::string& sPath);
};
