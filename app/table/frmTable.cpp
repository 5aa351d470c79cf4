#include "app/table/frmTable.h"
#include "app/shared/FileRules.h"
#include "app/shared/Handlers.h"
#include "app/table/CellRanges.h"
#include "app/table/FilesView.h"
#include "app/table/TableImport.h"
#include "app/table/dlgFindReplace.h"
#include "app/table/dlgImportPreview.h"

#include "common/Failure.h"
#include "common/MessageBox.h"
#include "common/Strings.h"
#include "export/WorkbookReader.h"
#include "export/WorkbookWriter.h"

#include <QAbstractProxyModel>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QSet>
#include <QStyle>
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

// "1 file", "2 files"; "1 cell", "2 cells".
std::string CountOf(int count, const std::string& what) {
    return std::to_string(count) + " " + what + (count == 1 ? "" : "s");
}

QString FileCount(int count) {
    return QString::fromStdString(CountOf(count, "file"));
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

    // The filter keeps the rows that hold its text; the count beside the buttons says how many.
    auto* filterRow = new QHBoxLayout;
    auto* filterLabel = new QLabel(tr("F&ilter:"), central);
    txtFilter = new QLineEdit(central);
    txtFilter->setObjectName(QStringLiteral("txtFilter"));
    txtFilter->setClearButtonEnabled(true);
    txtFilter->setPlaceholderText(tr("Show the files whose cells contain this text"));
    filterLabel->setBuddy(txtFilter);
    chkFilterRegex = new QCheckBox(tr("Regular expression"), central);
    chkFilterRegex->setObjectName(QStringLiteral("chkFilterRegex"));
    filterRow->addWidget(filterLabel);
    filterRow->addWidget(txtFilter, 1);
    filterRow->addWidget(chkFilterRegex);
    layout->addLayout(filterRow);
    connect(txtFilter, &QLineEdit::textChanged, this, [this] { ApplyFilter(); });
    connect(chkFilterRegex, &QCheckBox::toggled, this, [this] { ApplyFilter(); });

    View = new TableSortFilter(this);
    View->setSourceModel(Document);
    tblFiles = new FilesView(central);
    tblFiles->setObjectName(QStringLiteral("tblFiles"));
    tblFiles->setModel(View);
    // Unsorted until a header is clicked: the rows stand in the files' name order.
    tblFiles->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    tblFiles->setSortingEnabled(true);
    tblFiles->FreezeFirstColumn();
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
    addShortcut("actFind", QKeySequence(Qt::CTRL | Qt::Key_F), [this] { ShowFind(false); });
    addShortcut("actReplace", QKeySequence(Qt::CTRL | Qt::Key_H), [this] { ShowFind(true); });
    addShortcut("actFindNext", QKeySequence(Qt::Key_F3), [this] { Find(true); });
    addShortcut("actFindPrevious", QKeySequence(Qt::SHIFT | Qt::Key_F3), [this] { Find(false); });
    addShortcut("actReload", QKeySequence(Qt::Key_F5), [this] { ReloadChanged(); });
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
    // Each column as wide as its header and its values; an unreadable file's reason, which
    // reads across its row, does not count. A sample of rows stands for ten thousand.
    constexpr int kSampledRows = 200;
    constexpr int kMaxWidth = 400;
    const QFontMetrics metrics(tblFiles->font());
    const int margin = 2 * tblFiles->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 12;
    for (int col = 0; col < View->columnCount(); ++col) {
        // Room for the header's text and its sort mark.
        int width = metrics.horizontalAdvance(View->headerData(col, Qt::Horizontal).toString()) +
                    margin + 16;
        for (int row = 0; row < View->rowCount() && row < kSampledRows; ++row) {
            const QModelIndex index = View->index(row, col);
            const bool reason = !Document->Row(ToDocument(index).row()).sError.isEmpty();
            if (!reason || col == 0)
                width =
                    std::max(width, metrics.horizontalAdvance(index.data().toString()) + margin);
        }
        tblFiles->setColumnWidth(col, std::min(width, kMaxWidth));
    }
    tblFiles->clearSpans();
    const int first = Document->FirstFieldColumn();
    for (int row = 0; row < View->rowCount(); ++row)
        if (!Document->Row(ToDocument(View->index(row, 0)).row()).sError.isEmpty() &&
            View->columnCount() > first + 1)
            tblFiles->setSpan(row, first, 1, View->columnCount() - first);
}

void frmTable::ApplyFilter() {
    const bool valid = View->SetFilter(txtFilter->text(), chkFilterRegex->isChecked());
    txtFilter->setToolTip(valid ? QString() : tr("This is not a valid regular expression."));
    LayOutColumns();
    UpdateState();
}

void frmTable::ShowFind(bool replace) {
    if (!FindDialog) {
        FindDialog = new dlgFindReplace(this);
        FindDialog->onFind = [this](bool forward) { Find(forward); };
        FindDialog->onReplace = [this] { ReplaceCurrent(); };
        FindDialog->onReplaceAll = [this] { ReplaceAll(); };
    }
    FindDialog->ShowFor(replace);
}

QModelIndexList frmTable::CellsInScope() const {
    const auto scope = FindDialog ? FindDialog->CellScope() : dlgFindReplace::Scope::AllColumns;
    const QModelIndexList selected = tblFiles->selectionModel()->selectedIndexes();
    QModelIndexList cells;
    const auto editable = [](const QModelIndex& i) {
        return i.flags().testFlag(Qt::ItemIsEditable);
    };
    if (scope == dlgFindReplace::Scope::Selection) {
        for (const QModelIndex& i : selected)
            if (editable(i))
                cells << i;
        std::sort(cells.begin(), cells.end());
        return cells;
    }
    std::vector<int> columns;
    if (scope == dlgFindReplace::Scope::AllColumns) {
        for (int col = Document->FirstFieldColumn(); col < View->columnCount(); ++col)
            columns.push_back(col);
    } else {
        for (const QModelIndex& i : selected)
            columns.push_back(i.column());
        std::sort(columns.begin(), columns.end());
        columns.erase(std::unique(columns.begin(), columns.end()), columns.end());
    }
    for (int row = 0; row < View->rowCount(); ++row)
        for (int col : columns) {
            const QModelIndex i = View->index(row, col);
            if (editable(i))
                cells << i;
        }
    return cells;
}

bool frmTable::Find(bool forward) {
    if (!FindDialog)
        return false;
    const QRegularExpression search = SearchFor(FindDialog->Options());
    const QModelIndexList cells = CellsInScope();
    if (!search.isValid() || cells.isEmpty()) {
        FindDialog->SetStatus(search.isValid() ? tr("Not found.")
                                               : tr("This is not a valid regular expression."));
        return false;
    }
    // From the cell after (or before) the current one, round to it again.
    const QModelIndex current = tblFiles->currentIndex();
    const auto after = std::upper_bound(cells.begin(), cells.end(), current);
    qsizetype start = after - cells.begin();
    if (!forward)
        start = std::lower_bound(cells.begin(), cells.end(), current) - cells.begin() - 1;
    for (qsizetype n = 0; n < cells.size(); ++n) {
        const qsizetype k =
            ((forward ? start + n : start - n) % cells.size() + cells.size()) % cells.size();
        if (search.match(cells[k].data(Qt::EditRole).toString()).hasMatch()) {
            tblFiles->setCurrentIndex(cells[k]);
            tblFiles->scrollTo(cells[k]);
            FindDialog->SetStatus(QString());
            return true;
        }
    }
    FindDialog->SetStatus(tr("Not found."));
    return false;
}

void frmTable::ReplaceCurrent() {
    const FindOptions options = FindDialog->Options();
    const QRegularExpression search = SearchFor(options);
    const QModelIndex current = tblFiles->currentIndex();
    const QString value = current.data(Qt::EditRole).toString();
    if (current.flags().testFlag(Qt::ItemIsEditable) && CellsInScope().contains(current) &&
        search.isValid() && search.match(value).hasMatch())
        Edit({{current, Replaced(search, options, value, FindDialog->ReplaceWith())}},
             tr("Replace"));
    Find(true);
}

void frmTable::ReplaceAll() {
    const FindOptions options = FindDialog->Options();
    const QRegularExpression search = SearchFor(options);
    if (!search.isValid()) {
        FindDialog->SetStatus(tr("This is not a valid regular expression."));
        return;
    }
    ViewEdits edits;
    QSet<int> files;
    for (const QModelIndex& cell : CellsInScope()) {
        const QString value = cell.data(Qt::EditRole).toString();
        const QString after = Replaced(search, options, value, FindDialog->ReplaceWith());
        if (after != value) {
            edits.emplace_back(cell, after);
            files.insert(ToDocument(cell).row());
        }
    }
    if (edits.empty()) {
        FindDialog->SetStatus(tr("Not found."));
        return;
    }
    const std::string question = "Replace " + CountOf(static_cast<int>(edits.size()), "cell") +
                                 " in " + CountOf(static_cast<int>(files.size()), "file") + "?";
    if (ShowMessageBox(question, "Replace", MsgButtons::OKCancel) != MsgAnswer::OK)
        return;
    Edit(edits, tr("Replace all"));
    FindDialog->SetStatus(
        tr("Replaced %1.")
            .arg(QString::fromStdString(CountOf(static_cast<int>(edits.size()), "cell"))));
}

void frmTable::ReloadChanged() {
    std::vector<int> changed;
    int edited = 0;
    for (int row = 0; row < Document->rowCount(); ++row)
        if (ChangedOnDisk(Document->Row(row).sPath, Document->Row(row).stamp)) {
            changed.push_back(row);
            edited += Document->Row(row).bChanged ? 1 : 0;
        }
    if (changed.empty())
        return;
    if (edited > 0 &&
        ShowMessageBox("Reading " + CountOf(static_cast<int>(changed.size()), "file") +
                           " changed on disk again drops the edits of " + CountOf(edited, "file") +
                           ".",
                       "Reload", MsgButtons::OKCancel) != MsgAnswer::OK)
        return;
    QStringList files;
    for (int row : changed)
        files << Document->Row(row).sPath;
    std::optional<std::vector<TableDocument::FileRow>> rows = TableDocument::ReadFiles(
        Document->Configuration(), files, Runner(QStringLiteral("Reading files ...")));
    if (rows)
        Document->ReplaceRows(changed, std::move(*rows));
}

void frmTable::UpdateState() {
    pbSave->setEnabled(Document->HasChangedOrdinary());
    pbSaveAs->setEnabled(Document->HasChanges());
    pbExporttoExcel->setEnabled(Document->rowCount() > 0);
    pbExcelImport->setEnabled(Document->rowCount() > 0);
    const int shown = View->rowCount();
    lblFiles->setText(shown == Document->rowCount()
                          ? FileCount(shown)
                          : tr("%1 of %2").arg(shown).arg(FileCount(Document->rowCount())));
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
                text.append("\n").append(names[i].toStdString());
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
        text.append("\n")
            .append(Document->ShownName(problems[i].sPath).toStdString())
            .append(": ")
            .append(problems[i].sReason.toStdString());
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

QStringList frmTable::Files() const {
    QStringList files;
    for (int row = 0; row < Document->rowCount(); ++row)
        files << Document->Row(row).sPath;
    return files;
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
