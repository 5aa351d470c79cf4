#include "app/table/TableDocument.h"
#include "app/shared/FileRules.h"
#include "app/shared/Handlers.h"
#include "app/table/TableImport.h"

#include "common/Failure.h"
#include "common/FileReplace.h"
#include "common/Strings.h"
#include "export/WorkbookWriter.h"
#include "xml/DOMWrapper.h"
#include "xml/StreamedValues.h"

#include <QBrush>
#include <QColor>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QSet>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <mutex>

namespace {

const QColor kAbsentBackground(232, 232, 232);
const QColor kAbsentText(128, 128, 128);
const QColor kChangedBackground(255, 236, 150);
const QColor kOriginBackground(205, 225, 250);
const QColor kErrorText(160, 0, 0);

constexpr qint64 kLargeFile = 16 * 1024 * 1024;

const QString kChangedOnDisk =
    QStringLiteral("The file changed on disk since the table read it; F5 reads it again.");
const QString kOriginRefused =
    QStringLiteral("It is an origin file: Save As writes it into another folder.");

// The part of a failure a person can act on: the parser's or the system's reason, otherwise
// the whole description on one line.
QString ReasonOf(const std::exception& e) {
    const auto* failure = dynamic_cast<const Failure*>(&e);
    QString reason = QString::fromStdString(failure && !failure->reason.empty() ? failure->reason
                                                                                : FailureText(e));
    reason.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    return reason.trimmed();
}

const QString kCancelled = QStringLiteral("The save was cancelled before this file.");

// A document for a worker: it raises what it would otherwise show in a box.
void PrepareForWorker(DOMWrapper& doc, const std::atomic<bool>* stop) {
    doc.RaiseInsteadOfBoxes();
    doc.SetStop(stop);
}

bool NameLess(const QString& a, const QString& b) {
    const int byName =
        QFileInfo(a).fileName().compare(QFileInfo(b).fileName(), Qt::CaseInsensitive);
    return byName != 0 ? byName < 0 : a < b;
}

} // namespace

QStringList ExpandTablePaths(const QStringList& paths) {
    QStringList files;
    for (const QString& path : paths) {
        const QFileInfo info(path);
        if (!info.isDir()) {
            files << info.absoluteFilePath();
            continue;
        }
        const QDir folder(info.absoluteFilePath());
        const QFileInfoList entries = folder.entryInfoList(
            {QStringLiteral("*.xml")}, QDir::Files | QDir::Hidden, QDir::NoSort);
        for (const QFileInfo& entry : entries)
            files << entry.absoluteFilePath();
    }
    std::sort(files.begin(), files.end(), NameLess);
    files.erase(std::unique(files.begin(), files.end()), files.end());
    return files;
}

TableDocument::TableDocument(ConfigurationInfo config, QObject* parent)
    : QAbstractTableModel(parent), config_(std::move(config)) {}

namespace {

// Takes each field's value from value(i), nothing where the file lacks the field.
void TakeValues(const ConfigurationInfo& config, TableDocument::FileRow& row,
                const std::function<std::optional<std::string>(size_t)>& value) {
    row.values.resize(config.Fields.size());
    row.state.assign(config.Fields.size(), 0);
    bool any = false;
    for (size_t i = 0; i < config.Fields.size(); ++i) {
        if (const std::optional<std::string> text = value(i)) {
            row.values[i] = QString::fromStdString(*text);
            row.state[i] = TableDocument::kPresent;
            any = true;
        }
    }
    row.saved = row.values;
    if (!any && !config.Fields.empty()) {
        row.sError = QStringLiteral("None of the configured fields is in this file.");
        row.values.clear();
        row.state.clear();
    }
}

// The row of a file whose values one pass of the parser read; nothing when the check finds
// nothing, whose reason tells more about the file than the pass knows.
std::optional<TableDocument::FileRow> RowOf(const ConfigurationInfo& config, const QString& sPath,
                                            StreamedValues::Values read) {
    TableDocument::FileRow row;
    row.sPath = sPath;
    row.stamp = read.stamp;
    const size_t first = IsBlank(config.sCheckPath) ? 0 : 1;
    if (first == 1) {
        if (!read.values.front())
            return std::nullopt;
        row.bOrigin = !IsBlank(*read.values.front());
    }
    TakeValues(config, row, [&](size_t i) { return std::move(read.values[first + i]); });
    return row;
}

} // namespace

TableDocument::FileRow TableDocument::ReadFile(const ConfigurationInfo& config,
                                               const QString& sPath,
                                               const std::atomic<bool>* stop) {
    return ReadFile(config, sPath, nullptr, stop);
}

TableDocument::FileRow TableDocument::ReadFile(const ConfigurationInfo& config,
                                               const QString& sPath, const StreamedValues* streamed,
                                               const std::atomic<bool>* stop) {
    if (streamed)
        if (std::optional<StreamedValues::Values> read = streamed->Read(sPath.toStdString(), stop))
            if (std::optional<FileRow> row = RowOf(config, sPath, std::move(*read)))
                return std::move(*row);
    FileRow row;
    row.sPath = sPath;
    try {
        DOMWrapper doc;
        PrepareForWorker(doc, stop);
        doc.Load(sPath.toStdString(), kRidoRuduDeclaration);
        row.stamp = doc.LoadedStamp().value_or(FileStamp{});
        if (!IsBlank(config.sCheckPath)) {
            std::string check;
            bool found = false;
            doc.GetElementValue2(check, found, config.sCheckPath, true);
            if (!found) {
                const std::string note = NamespaceNote(doc);
                row.sError =
                    QString::fromStdString("XML-File can not handled by these configuration!" +
                                           (note.empty() ? "" : " " + note));
                return row;
            }
            row.bOrigin = !IsBlank(check);
        }
        TakeValues(config, row, [&](size_t i) -> std::optional<std::string> {
            std::string value;
            bool found = false;
            if (!(stop && stop->load()))
                doc.GetElementValue2(value, found, config.Fields[i].sPath, true);
            return found ? std::optional(std::move(value)) : std::nullopt;
        });
    } catch (const std::exception& e) {
        row.sError = ReasonOf(e);
        row.values.clear();
        row.state.clear();
        row.bOrigin = false;
    }
    return row;
}

std::optional<std::vector<TableDocument::FileRow>>
TableDocument::ReadFiles(const ConfigurationInfo& config, const QStringList& files,
                         const WorkRunner& run) {
    DOMWrapper::SetUpLibrary();
    // Most configurations read plain paths, which one pass of the parser answers without
    // building each file's tree.
    const std::optional<StreamedValues> streamed =
        StreamedValues::Compile(ConfiguredPaths(config), kRidoRuduDeclaration);
    std::vector<FileRow> rows(static_cast<size_t>(files.size()));
    // Large files are read one at a time, so that memory holds at most one large document.
    std::mutex large;
    const bool complete = run(rows.size(), [&](size_t i, const std::atomic<bool>& stop) {
        const QString& file = files[static_cast<qsizetype>(i)];
        std::unique_lock lock(large, std::defer_lock);
        if (QFileInfo(file).size() >= kLargeFile)
            lock.lock();
        rows[i] = ReadFile(config, file, streamed ? &*streamed : nullptr, &stop);
    });
    if (!complete)
        return std::nullopt;
    return rows;
}

void TableDocument::SetRows(std::vector<FileRow> rows) {
    beginResetModel();
    rows_ = std::move(rows);
    undo_.clear();
    endResetModel();
    UpdateFolders();
}

void TableDocument::ReplaceRows(const std::vector<int>& positions, std::vector<FileRow> rows) {
    for (size_t k = 0; k < positions.size() && k < rows.size(); ++k)
        rows_[static_cast<size_t>(positions[k])] = std::move(rows[k]);
    // A step may hold cells of a row read again, whose values it no longer knows.
    undo_.clear();
    if (!positions.empty())
        EmitRowsChanged(*std::min_element(positions.begin(), positions.end()),
                        *std::max_element(positions.begin(), positions.end()));
}

bool TableDocument::HasChanges() const {
    return std::any_of(rows_.begin(), rows_.end(), [](const FileRow& r) { return r.bChanged; });
}

bool TableDocument::HasChangedOrigin() const {
    return std::any_of(rows_.begin(), rows_.end(),
                       [](const FileRow& r) { return r.bChanged && r.bOrigin; });
}

bool TableDocument::HasChangedOrdinary() const {
    return std::any_of(rows_.begin(), rows_.end(),
                       [](const FileRow& r) { return r.bChanged && !r.bOrigin; });
}

int TableDocument::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int TableDocument::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : FirstFieldColumn() + static_cast<int>(config_.Fields.size());
}

int TableDocument::FirstFieldColumn() const {
    return bSeveralFolders_ ? 2 : 1;
}

int TableDocument::FieldOf(int col) const {
    const int field = col - FirstFieldColumn();
    return field >= 0 && field < static_cast<int>(config_.Fields.size()) ? field : -1;
}

QString TableDocument::ShownName(const QString& sPath) const {
    return bSeveralFolders_ ? QDir(commonParent_).relativeFilePath(sPath)
                            : QFileInfo(sPath).fileName();
}

void TableDocument::UpdateFolders() {
    QString first;
    QString parent;
    bool several = false;
    for (const FileRow& r : rows_) {
        const QString folder = QFileInfo(r.sPath).absolutePath();
        if (parent.isNull()) {
            parent = first = folder;
            continue;
        }
        several = several || folder != first;
        // The longest leading run of whole folder names.
        while (parent != QStringLiteral("/") && !folder.startsWith(parent + '/') &&
               folder != parent)
            parent = QFileInfo(parent).absolutePath();
    }
    commonParent_ = parent;
    if (several != bSeveralFolders_) {
        beginResetModel();
        bSeveralFolders_ = several;
        endResetModel();
    }
}

bool TableDocument::Editable(int row, int col) const {
    const int field = FieldOf(col);
    if (row < 0 || row >= rowCount() || field < 0)
        return false;
    const FileRow& r = rows_[static_cast<size_t>(row)];
    return r.sError.isEmpty() && (r.state[static_cast<size_t>(field)] & kPresent);
}

QVariant TableDocument::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount())
        return {};
    const FileRow& r = rows_[static_cast<size_t>(index.row())];
    const int col = index.column();
    if (col == 0) {
        switch (role) {
        case Qt::DisplayRole:
            return QFileInfo(r.sPath).fileName();
        case Qt::ToolTipRole:
            return r.sError.isEmpty() ? r.sPath : r.sPath + "\n" + r.sError;
        case Qt::BackgroundRole:
            return r.bOrigin ? QVariant(QBrush(kOriginBackground)) : QVariant();
        case ChangedRole:
            return r.bChanged;
        default:
            return {};
        }
    }
    if (FieldOf(col) < 0) {
        const QString folder = QFileInfo(ShownName(r.sPath)).path();
        return role == Qt::DisplayRole || role == Qt::ToolTipRole ? QVariant(folder) : QVariant();
    }
    if (!r.sError.isEmpty()) {
        // The reason stands where the values would.
        switch (role) {
        case Qt::DisplayRole:
        case Qt::ToolTipRole:
            return col == FirstFieldColumn() ? QVariant(r.sError) : QVariant();
        case Qt::ForegroundRole:
            return QBrush(kErrorText);
        case Qt::BackgroundRole:
            return QBrush(kAbsentBackground);
        case PresentRole:
        case ChangedRole:
            return false;
        default:
            return {};
        }
    }
    const size_t field = static_cast<size_t>(FieldOf(col));
    const bool present = r.state[field] & kPresent;
    const bool changed = r.state[field] & kChanged;
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return r.values[field];
    case Qt::BackgroundRole:
        if (!present)
            return QBrush(kAbsentBackground);
        return changed ? QVariant(QBrush(kChangedBackground)) : QVariant();
    case Qt::ForegroundRole:
        return present ? QVariant() : QVariant(QBrush(kAbsentText));
    case Qt::FontRole:
        if (changed) {
            QFont font;
            font.setBold(true);
            return font;
        }
        return {};
    case Qt::ToolTipRole:
        return present ? QVariant()
                       : QVariant(QStringLiteral("The file does not hold this field."));
    case ChangedRole:
        return changed;
    case PresentRole:
        return present;
    default:
        return {};
    }
}

QVariant TableDocument::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal) {
        if (section < 0 || section >= columnCount())
            return {};
        const int field = FieldOf(section);
        if (field < 0) {
            if (role == Qt::DisplayRole)
                return section == 0 ? QStringLiteral("File") : QStringLiteral("Folder");
            if (role == Qt::ToolTipRole && section > 0)
                return QDir::toNativeSeparators(commonParent_);
            return {};
        }
        if (role == Qt::DisplayRole)
            return QString::fromStdString(config_.Fields[static_cast<size_t>(field)].sAlias);
        if (role == Qt::ToolTipRole)
            return QString::fromStdString(config_.Fields[static_cast<size_t>(field)].sPath);
        return {};
    }
    if (section < 0 || section >= rowCount())
        return {};
    const FileRow& r = rows_[static_cast<size_t>(section)];
    switch (role) {
    case Qt::DisplayRole: {
        // The row's number, "origin" for an origin file and "*" while it has unsaved edits.
        QString text = QString::number(section + 1);
        if (r.bOrigin)
            text += QStringLiteral(" origin");
        if (r.bChanged)
            text += QStringLiteral(" *");
        return text;
    }
    case Qt::ToolTipRole:
        return r.bOrigin
                   ? QVariant(QStringLiteral("Origin file: Save As writes it into another folder"))
                   : QVariant();
    default:
        return {};
    }
}

Qt::ItemFlags TableDocument::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (Editable(index.row(), index.column()))
        flags |= Qt::ItemIsEditable;
    return flags;
}

void TableDocument::EmitRowsChanged(int first, int last) {
    Q_EMIT dataChanged(index(first, 0), index(last, columnCount() - 1));
    Q_EMIT headerDataChanged(Qt::Vertical, first, last);
}

bool TableDocument::setData(const QModelIndex& index, const QVariant& value, int role) {
    return role == Qt::EditRole && EditCells({{index, value.toString()}}, tr("Typing")) == 1;
}

// One step of edits: the cells' values before and after. Done, a cell is the user's edit;
// taken back, it is marked only where it differs from the file.
class TableDocument::EditCommand : public QUndoCommand {
public:
    struct Cell {
        size_t row;
        size_t field;
        QString before;
        QString after;
    };
    EditCommand(TableDocument& table, std::vector<Cell> cells, const QString& text)
        : QUndoCommand(text), table_(table), cells_(std::move(cells)) {}

    void redo() override { Apply(false); }
    void undo() override { Apply(true); }

private:
    void Apply(bool back) {
        size_t first = SIZE_MAX, last = 0;
        for (const Cell& cell : cells_) {
            FileRow& r = table_.rows_[cell.row];
            r.values[cell.field] = back ? cell.before : cell.after;
            const bool changed = !back || r.values[cell.field] != r.saved[cell.field];
            r.state[cell.field] =
                static_cast<uint8_t>((r.state[cell.field] & ~kChanged) | (changed ? kChanged : 0));
            first = std::min(first, cell.row);
            last = std::max(last, cell.row);
        }
        for (size_t row = first; row <= last && row < table_.rows_.size(); ++row) {
            FileRow& r = table_.rows_[row];
            r.bChanged = std::any_of(r.state.begin(), r.state.end(),
                                     [](uint8_t state) { return state & kChanged; });
        }
        if (first <= last)
            table_.EmitRowsChanged(static_cast<int>(first), static_cast<int>(last));
    }

    TableDocument& table_;
    std::vector<Cell> cells_;
};

int TableDocument::EditCells(const std::vector<std::pair<QModelIndex, QString>>& edits,
                             const QString& what) {
    std::vector<EditCommand::Cell> cells;
    for (const auto& [index, value] : edits) {
        if (index.model() != this || !Editable(index.row(), index.column()))
            continue;
        const size_t row = static_cast<size_t>(index.row());
        const size_t field = static_cast<size_t>(FieldOf(index.column()));
        const QString& before = rows_[row].values[field];
        cells.push_back({row, field, before, LimitedEdit(before, value)});
    }
    if (!cells.empty()) {
        const int count = static_cast<int>(cells.size());
        undo_.push(new EditCommand(*this, std::move(cells), what));
        return count;
    }
    return 0;
}

namespace {

struct SaveOutcome {
    bool bRan = false;
    std::optional<QString> problem; // why the file was not saved
    QString sPath;                  // the saved file
    FileStamp stamp;                // the saved file's
    bool bOrigin = false;           // what the origin check says of the saved file
};

// Writes one file's changed values into target, from a worker thread.
SaveOutcome SaveFile(const ConfigurationInfo& config, const TableDocument::FileRow& r,
                     const QString& sFolder, const std::atomic<bool>& stop) {
    SaveOutcome outcome;
    outcome.bRan = true;
    const bool inPlace = sFolder.isEmpty();
    const QString target =
        inPlace ? r.sPath : QDir(sFolder).absoluteFilePath(QFileInfo(r.sPath).fileName());
    if (r.bOrigin && inPlace) {
        outcome.problem = kOriginRefused;
        return outcome;
    }
    if (r.bOrigin && IsOriginFileName(target, r.sPath)) {
        outcome.problem = QStringLiteral("You can't overwrite the origin XML-File");
        return outcome;
    }
    if (!MayReplaceFile(target.toStdString())) {
        outcome.problem = QStringLiteral("The file is read-only.");
        return outcome;
    }
    DOMWrapper doc;
    PrepareForWorker(doc, &stop);
    try {
        doc.LoadFor(r.sPath.toStdString(), kRidoRuduDeclaration, ConfiguredPaths(config));
    } catch (const std::exception& e) {
        // A file rewritten since the table read it says so, whatever its content is now.
        outcome.problem = stop.load()                       ? kCancelled
                          : ChangedOnDisk(r.sPath, r.stamp) ? kChangedOnDisk
                                                            : ReasonOf(e);
        return outcome;
    }
    if (doc.LoadedStamp() != r.stamp) {
        outcome.problem = kChangedOnDisk;
        return outcome;
    }
    try {
        // An origin file carries only the configured values afterwards, as the table shows them.
        if (r.bOrigin)
            doc.ClearAllNodes();
        for (size_t f = 0; f < config.Fields.size(); ++f) {
            const bool present = r.state[f] & TableDocument::kPresent;
            const bool changed = r.state[f] & TableDocument::kChanged;
            if (present && (changed || r.bOrigin))
                doc.SetElementValue(config.Fields[f].sPath, r.values[f].toStdString());
        }
        doc.Save(target.toStdString());
        // An origin file's copy is emptied of the other values, the check's among them.
        if (!IsBlank(config.sCheckPath)) {
            std::string check;
            bool found = false;
            doc.GetElementValue2(check, found, config.sCheckPath, true);
            outcome.bOrigin = found && !IsBlank(check);
        }
    } catch (const std::exception& e) {
        outcome.problem = ReasonOf(e);
        return outcome;
    }
    // A splice knows the file it wrote; a whole save's file is read.
    const std::optional<FileStamp> saved = doc.SavedStamp();
    outcome.stamp = saved ? *saved : StampOf(target).value_or(FileStamp{});
    outcome.sPath = target;
    return outcome;
}

} // namespace

TableDocument::SaveReport TableDocument::SaveChanged(const QString& sFolder, const WorkRunner& run,
                                                     const ReplaceQuestion& askReplace) {
    SaveReport report;
    std::vector<size_t> jobs;     // the rows to save
    std::vector<size_t> existing; // rows whose copy would replace a file of the folder
    // Files of the same name from different folders would replace each other in one folder.
    QSet<QString> names;
    for (size_t i = 0; i < rows_.size(); ++i) {
        const FileRow& r = rows_[i];
        if (!r.bChanged)
            continue;
        if (sFolder.isEmpty()) {
            jobs.push_back(i);
            continue;
        }
        const QString name = QFileInfo(r.sPath).fileName();
        if (names.contains(name)) {
            report.problems.push_back(
                {r.sPath, QStringLiteral("Another file of this name was saved into the folder.")});
            continue;
        }
        names.insert(name);
        const QString target = QDir(sFolder).absoluteFilePath(name);
        // Two rows would show one file, and one of them values the file no longer holds.
        const bool anotherRows = std::any_of(rows_.begin(), rows_.end(), [&](const FileRow& o) {
            return &o != &r && SameFile(o.sPath, target);
        });
        if (anotherRows) {
            report.problems.push_back(
                {r.sPath, QStringLiteral("Another row of the table is the file of this name "
                                         "in the target folder.")});
            continue;
        }
        if (QFileInfo::exists(target) && !SameFile(target, r.sPath))
            existing.push_back(i);
        jobs.push_back(i);
    }
    if (!existing.empty()) {
        QStringList shown;
        for (size_t i : existing)
            shown << ShownName(rows_[i].sPath);
        switch (askReplace ? askReplace(shown) : ReplaceChoice::Cancel) {
        case ReplaceChoice::Replace:
            break;
        case ReplaceChoice::Skip:
            for (size_t i : existing)
                report.problems.push_back(
                    {rows_[i].sPath, QStringLiteral("exists in the target folder")});
            std::erase_if(jobs, [&](size_t i) {
                return std::find(existing.begin(), existing.end(), i) != existing.end();
            });
            break;
        case ReplaceChoice::Cancel:
            report.bCancelled = true;
            report.problems.clear();
            return report;
        }
    }

    // The workers only read the rows; this thread changes them once every job has ended.
    std::vector<SaveOutcome> outcomes(jobs.size());
    run(jobs.size(), [&](size_t k, const std::atomic<bool>& stop) {
        outcomes[k] = SaveFile(config_, rows_[jobs[k]], sFolder, stop);
    });

    int first = INT_MAX, last = -1;
    for (size_t k = 0; k < jobs.size(); ++k) {
        FileRow& r = rows_[jobs[k]];
        const SaveOutcome& outcome = outcomes[k];
        if (!outcome.bRan || outcome.problem) {
            report.problems.push_back({r.sPath, outcome.bRan ? *outcome.problem : kCancelled});
            continue;
        }
        for (uint8_t& state : r.state)
            state &= static_cast<uint8_t>(~kChanged);
        r.bChanged = false;
        r.saved = r.values;
        r.bOrigin = outcome.bOrigin;
        r.sPath = outcome.sPath;
        r.stamp = outcome.stamp;
        ++report.nSaved;
        first = std::min(first, static_cast<int>(jobs[k]));
        last = std::max(last, static_cast<int>(jobs[k]));
    }
    if (last >= 0)
        EmitRowsChanged(first, last);
    UpdateFolders();
    // In the files' order, wherever the refusal came from.
    std::stable_sort(
        report.problems.begin(), report.problems.end(),
        [](const SaveProblem& a, const SaveProblem& b) { return NameLess(a.sPath, b.sPath); });
    return report;
}

void TableDocument::ExportTo(WorkbookWriter& writer) const {
    std::vector<std::string> cells(config_.Fields.size() + 1);
    for (const FileRow& r : rows_) {
        cells[0] = QFileInfo(r.sPath).fileName().toStdString();
        for (size_t f = 0; f < config_.Fields.size(); ++f)
            cells[f + 1] = r.sError.isEmpty() ? r.values[f].toStdString() : std::string();
        writer.AddRow(cells);
    }
    WriteSourceSheet(*this, writer);
}
