#include "app/table/frmTable.h"
#include "app/shared/FileRules.h"
#include "app/shared/Handlers.h"
#include "app/table/CellRanges.h"
#include "app/table/TableImport.h"
#include "app/table/dlgImportPreview.h"

#include "common/Failure.h"
#include "common/MessageBox.h"
#include "common/Strings.h"
#include "export/WorkbookReader.h"
#include "export/WorkbookWriter.h"

#include <QAbstractProxyModel>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QVBoxLayout>

namespace {

// Typing stops at the limit, as in the main window's grid.
class LimitedTextDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override {
        if (auto* line = qobject_cast<QLineEdit*>(editor))
            SetLimitedEditorText(line, index.data(Qt::EditRole).toString());
        else
            QStyledItemDelegate::setEditorData(editor, index);
    }
};

// "1 file", "2 files".
QString FileCount(int count) {
    return count == 1 ? QStringLiteral("1 file") : QStringLiteral("%1 files").arg(count);
}

// A summary lists this many files by name; the rest are counted.
constexpr size_t kListedProblems = 25;

} // namespace

frmTable* frmTable::OpenTable(const ConfigurationInfo& config, const QStringList& paths,
                              QWidget* parent) {
    const QStringList files = ExpandTablePaths(paths);
    if (files.isEmpty()) {
        ShowMessageBox("No data found", "Error");
        return nullptr;
    }
    auto* window = new frmTable(config, parent);
    window->setAttribute(Qt::WA_DeleteOnClose);
    if (!window->ReadFiles(files)) {
        delete window;
        return nullptr;
    }
    window->show();
    return window;
}

frmTable::frmTable(const ConfigurationInfo& config, QWidget* parent) : QMainWindow(parent) {
    // A window of its own beside the main window, not a panel inside it.
    setWindowFlag(Qt::Window);
    setObjectName(QStringLiteral("frmTable"));
    Document = new TableDocument(config, this);
    createControls();
    setWindowTitle(QString::fromStdString("Ravlen - " + ConfigNumberText(config.nNumber) + " " +
                                          config.sDescription + "[*]"));
    connect(Document, &TableDocument::dataChanged, this, [this] { UpdateState(); });
    connect(Document, &TableDocument::modelReset, this, [this] {
        LayOutColumns();
        UpdateState();
    });
    connect(pbSave, &QPushButton::clicked, this, [this] { SaveFiles(); });
    connect(pbSaveAs, &QPushButton::clicked, this, [this] { SaveFilesAs(); });
    connect(pbExporttoExcel, &QPushButton::clicked, this, [this] { pbExporttoExcel_Click(); });
    connect(pbExcelImport, &QPushButton::clicked, this, [this] { pbExcelImport_Click(); });
    connect(pbClose, &QPushButton::clicked, this, [this] { close(); });
    UpdateState();
}

frmTable::~frmTable() = default;

void frmTable::createControls() {
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);

    tblFiles = new QTableView(central);
    tblFiles->setObjectName(QStringLiteral("tblFiles"));
    tblFiles->setModel(Document);
    tblFiles->setItemDelegate(new LimitedTextDelegate(tblFiles));
    tblFiles->setSelectionMode(QAbstractItemView::ExtendedSelection);
    tblFiles->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                              QAbstractItemView::AnyKeyPressed);
    tblFiles->setWordWrap(false);
    // Sizing to contents looks at a sample of rows, not at ten thousand.
    tblFiles->horizontalHeader()->setResizeContentsPrecision(100);
    tblFiles->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    layout->addWidget(tblFiles);

    auto* buttons = new QHBoxLayout;
    auto makeButton = [&](const char* name, const char* caption, const char* tip) {
        auto* button = new QPushButton(QString::fromUtf8(caption), central);
        button->setObjectName(QString::fromUtf8(name));
        button->setToolTip(QString::fromUtf8(tip));
        buttons->addWidget(button);
        return button;
    };
    pbSave = makeButton("pbSave", "&Save ", "Save the changed XML-Files");
    pbSaveAs = makeButton("pbSaveAs", "Save &as ...", "Save the changed XML-Files into a folder");
    pbExporttoExcel = makeButton("pbExporttoExcel", "&Excel-Export", "Export the table to excel");
    pbExcelImport = makeButton("pbExcelImport", "Excel-&Import",
                               "Bring the changes of an exported workbook back (Ctrl+I)");
    buttons->addStretch();
    lblFiles = new QLabel(central);
    lblFiles->setObjectName(QStringLiteral("lblFiles"));
    buttons->addWidget(lblFiles);
    pbClose = makeButton("pbClose", "&Close", "Close the table");
    layout->addLayout(buttons);
    setCentralWidget(central);

    auto addShortcut = [&](const char* name, const QKeySequence& keys, auto slot) {
        auto* action = new QAction(this);
        action->setObjectName(QString::fromUtf8(name));
        action->setShortcut(keys);
        action->setShortcutContext(Qt::WindowShortcut);
        connect(action, &QAction::triggered, this, slot);
        addAction(action);
    };
    addShortcut("actCopy", QKeySequence::Copy, [this] { CopyCells(); });
    addShortcut("actPaste", QKeySequence::Paste, [this] { PasteCells(); });
    addShortcut("actDelete", QKeySequence::Delete, [this] { ClearCells(); });
    addShortcut("actFillDown", QKeySequence(Qt::CTRL | Qt::Key_D), [this] { FillDown(); });
    addShortcut("actUndo", QKeySequence(Qt::CTRL | Qt::Key_Z),
                [this] { Document->UndoStack().undo(); });
    for (const QKeySequence& keys :
         {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)})
        addShortcut("actRedo", keys, [this] { Document->UndoStack().redo(); });
    addShortcut("actExcelImport", QKeySequence(Qt::CTRL | Qt::Key_I), [this] {
        if (pbExcelImport->isEnabled())
            pbExcelImport_Click();
    });
    addShortcut("actSave", QKeySequence::Save, [this] {
        if (pbSave->isEnabled())
            SaveFiles();
    });
    resize(900, 600);
}

bool frmTable::ReadFiles(const QStringList& files) {
    std::optional<std::vector<TableDocument::FileRow>> rows = TableDocument::ReadFiles(
        Document->Configuration(), files, Runner(QStringLiteral("Reading files ...")));
    if (!rows)
        return false;
    Document->SetRows(std::move(*rows));
    return true;
}

void frmTable::LayOutColumns() {
    tblFiles->resizeColumnsToContents();
    // A file's reason for showing no values reads across its row.
    tblFiles->clearSpans();
    const int first = Document->FirstFieldColumn();
    for (int row = 0; row < Document->rowCount(); ++row)
        if (!Document->Row(row).sError.isEmpty() && Document->columnCount() > first + 1)
            tblFiles->setSpan(row, first, 1, Document->columnCount() - first);
}

void frmTable::UpdateState() {
    pbSave->setEnabled(Document->HasChangedOrdinary());
    pbSaveAs->setEnabled(Document->HasChanges());
    pbExporttoExcel->setEnabled(Document->rowCount() > 0);
    pbExcelImport->setEnabled(Document->rowCount() > 0);
    lblFiles->setText(FileCount(Document->rowCount()));
    setWindowModified(Document->HasChanges());
}

void frmTable::CopyCells() {
    const QModelIndexList selection = tblFiles->selectionModel()->selectedIndexes();
    if (!selection.isEmpty())
        QApplication::clipboard()->setText(CopyText(selection));
}

void frmTable::Edit(const ViewEdits& edits, const QString& what) {
    ViewEdits cells;
    cells.reserve(edits.size());
    for (const auto& [index, value] : edits)
        cells.emplace_back(ToDocument(index), value);
    Document->EditCells(cells, what);
}

QModelIndex frmTable::ToDocument(const QModelIndex& index) const {
    const auto* proxy = qobject_cast<const QAbstractProxyModel*>(index.model());
    return proxy ? proxy->mapToSource(index) : index;
}

void frmTable::PasteCells() {
    Edit(PasteEdits(*tblFiles->model(), tblFiles->currentIndex(),
                    tblFiles->selectionModel()->selectedIndexes(),
                    QApplication::clipboard()->text()),
         tr("Paste"));
}

void frmTable::ClearCells() {
    Edit(ClearEdits(tblFiles->selectionModel()->selectedIndexes()), tr("Delete"));
}

void frmTable::FillDown() {
    Edit(FillDownEdits(tblFiles->selectionModel()->selectedIndexes()), tr("Fill down"));
}

TableDocument::WorkRunner frmTable::Runner(const QString& label) {
    return [this, label](size_t count, const WorkJob& job) {
        QProgressDialog progress(label, QStringLiteral("Cancel"), 0, static_cast<int>(count),
                                 isVisible() ? this : parentWidget());
        progress.setObjectName(QStringLiteral("dlgProgress"));
        progress.setWindowTitle(QString::fromUtf8(kAppTitle));
        progress.setWindowModality(Qt::ApplicationModal);
        progress.setMinimumDuration(500);
        return RunWithProgress(progress, count, job);
    };
}

bool frmTable::AskSaveChanges() {
    // Origin files are never written in place, so their edits need a folder.
    return ::AskSaveChanges(Document->HasChanges(), [this] {
        return Document->HasChangedOrigin() ? SaveFilesAs() : SaveFiles();
    });
}

bool frmTable::SaveFiles() {
    return ReportSave(Document->SaveChanged(QString(), Runner(QStringLiteral("Saving files ..."))));
}

bool frmTable::SaveFilesAs() {
    std::string sFolder;
    try {
        CD.FileName = "";
        if (Document->rowCount() > 0)
            CD.InitDir = QFileInfo(Document->Row(0).sPath).absolutePath().toStdString();
        CD.ShowFolder();
        sFolder = CD.FileName;
    } catch (const std::exception& e) {
        ShowFailure(e, "Error while selecting file-name");
        return false;
    }
    if (IsBlank(sFolder))
        return false;
    const TableDocument::SaveReport report = Document->SaveChanged(
        QString::fromStdString(sFolder), Runner(QStringLiteral("Saving files ...")),
        [](const QStringList& names) {
            std::string text = "These files exist in the target folder:";
            for (qsizetype i = 0; i < names.size() && i < static_cast<qsizetype>(kListedProblems);
                 ++i)
                text += "\n" + names[i].toStdString();
            if (names.size() > static_cast<qsizetype>(kListedProblems))
                text += "\nand " + std::to_string(names.size() - kListedProblems) + " more.";
            text += "\nReplace them with the table's files, or skip them?";
            switch (ShowMessageBox(text, "Save data", MsgButtons::ReplaceSkipCancel)) {
            case MsgAnswer::Yes:
                return TableDocument::ReplaceChoice::Replace;
            case MsgAnswer::No:
                return TableDocument::ReplaceChoice::Skip;
            default:
                return TableDocument::ReplaceChoice::Cancel;
            }
        });
    return !report.bCancelled && ReportSave(report);
}

bool frmTable::ReportSave(const TableDocument::SaveReport& report) const {
    const auto& problems = report.problems;
    if (problems.empty())
        return true;
    const QString saved = report.nSaved == 0   ? QStringLiteral("No file was saved.")
                          : report.nSaved == 1 ? QStringLiteral("1 file was saved.")
                                               : FileCount(report.nSaved) + " were saved.";
    std::string text = saved.toStdString() + "\nThese files were not saved:";
    for (size_t i = 0; i < problems.size() && i < kListedProblems; ++i)
        text += "\n" + Document->ShownName(problems[i].sPath).toStdString() + ": " +
                problems[i].sReason.toStdString();
    if (problems.size() > kListedProblems)
        text += "\nand " + std::to_string(problems.size() - kListedProblems) + " more.";
    ShowMessageBox(text, "Error while saving xml-data");
    return false;
}

void frmTable::closeEvent(QCloseEvent* event) {
    if (bGuardPassed) {
        event->accept();
        return;
    }
    // Saving runs its own event loop, which must not see the window go.
    if (BackgroundWorkRunning()) {
        event->ignore();
        return;
    }
    CloseAfterGuard(event, [this] { return AskSaveChanges(); });
}

QList<frmTable*> frmTable::OpenTables() {
    QList<frmTable*> tables;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* table = qobject_cast<frmTable*>(widget); table && table->isVisible())
            tables << table;
    return tables;
}

void frmTable::CloseWithoutAsking() {
    bGuardPassed = true;
    close();
}

void frmTable::pbExporttoExcel_Click() {
    ExportWithDialog(CD, Document->rowCount() > 0,
                     [this](const std::string& sPath) { ExportToWorkbook(sPath); });
}

void frmTable::ExportToWorkbook(const std::string& sPath) {
    std::vector<std::string> header{"File"};
    for (const FieldInfo& field : Document->Configuration().Fields)
        header.push_back(field.sAlias);
    ::ExportToWorkbook(sPath, header,
                       [this](WorkbookWriter& workbook) { Document->ExportTo(workbook); });
}

void frmTable::pbExcelImport_Click() {
    try {
        CD.FileName = "";
        CD.Filter = "Workbooks (*.xlsx *.ods *.csv)|*.xlsx;*.ods;*.csv";
        CD.DefaultExt = "";
        CD.ShowOpen();
        if (!CD.FileName.empty())
            ImportFromWorkbook(CD.FileName);
    } catch (const std::exception& e) {
        ShowFailure(e, "Error while import from excel");
    }
}

void frmTable::ImportFromWorkbook(const std::string& sPath) {
    lastImport_ = {};
    ImportPlan plan;
    try {
        plan = PlanImport(*Document, ReadWorkbook(sPath));
    } catch (const std::exception& e) {
        ShowMessageBox("The workbook cannot be read.", "Error while import from excel",
                       MsgButtons::OK, FailureDetails(e));
        return;
    }
    if (plan.lines.empty()) {
        ShowMessageBox("The workbook holds no changes for the table.", "Excel-Import");
        return;
    }
    dlgImportPreview preview(plan, QString::fromStdString(sPath), this);
    if (preview.exec() != QDialog::Accepted)
        return;
    const std::vector<bool> chosen = preview.Chosen();
    lastImport_.nImported = ApplyImport(*Document, plan, chosen);
    lastImport_.nSkipped = static_cast<int>(plan.lines.size()) - lastImport_.nImported;
}
