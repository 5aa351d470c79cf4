#include "app/TableDocument.h"

#include "common/Failure.h"
#include "common/FileReplace.h"
#include "common/Strings.h"
#include "export/WorkbookWriter.h"
#include "xml/DOMWrapper.h"

#include <QBrush>
#include <QColor>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QFont>
#include <QSet>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <filesystem>
#include <mutex>
#include <thread>

namespace {

const QColor kAbsentBackground(232, 232, 232);
const QColor kAbsentText(128, 128, 128);
const QColor kChangedBackground(255, 236, 150);
const QColor kOriginBackground(205, 225, 250);
const QColor kErrorText(160, 0, 0);

constexpr qint64 kLargeFile = 16 * 1024 * 1024;

const QString kChangedOnDisk = QStringLiteral("The file changed on disk since the table read it.");
const QString kOriginRefused =
    QStringLiteral("It is an origin file: Save As writes it into another folder.");

// The part of a failure a person can act on: the parser's reason for a load, otherwise the
// whole description on one line.
QString ReasonOf(const std::exception& e) {
    std::string text = FailureText(e);
    const std::string marker = "Parse-Error : \r\n";
    const size_t at = text.find(marker);
    if (at != std::string::npos)
        text.erase(0, at + marker.size());
    QString reason = QString::fromStdString(text);
    reason.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    return reason.trimmed();
}

// True when both names lead to one file, also through "..", a symbolic or a hard link.
bool SameFile(const QString& a, const QString& b) {
    if (QDir::cleanPath(QFileInfo(a).absoluteFilePath()) ==
        QDir::cleanPath(QFileInfo(b).absoluteFilePath()))
        return true;
    std::error_code error;
    return std::filesystem::equivalent(a.toStdString(), b.toStdString(), error) && !error;
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

TableDocument::FileRow TableDocument::ReadFile(const ConfigurationInfo& config,
                                               const QString& sPath) {
    FileRow row;
    row.sPath = sPath;
    try {
        DOMWrapper doc;
        doc.Load(sPath.toStdString(), kRidoRuduDeclaration);
        row.stamp = doc.LoadedStamp().value_or(FileStamp{});
        if (!IsBlank(config.sCheckPath)) {
            std::string check;
            bool found = false;
            doc.GetElementValue2(check, found, config.sCheckPath, true);
            if (!found) {
                row.sError = QStringLiteral("XML-File can not handled by these configuration!");
                return row;
            }
            row.bOrigin = !IsBlank(check);
        }
        row.values.resize(config.Fields.size());
        row.state.assign(config.Fields.size(), 0);
        bool any = false;
        for (size_t i = 0; i < config.Fields.size(); ++i) {
            std::string value;
            bool found = false;
            doc.GetElementValue2(value, found, config.Fields[i].sPath, true);
            if (found) {
                row.values[i] = QString::fromStdString(value);
                row.state[i] = kPresent;
                any = true;
            }
        }
        if (!any && !config.Fields.empty()) {
            row.sError = QStringLiteral("None of the configured fields is in this file.");
            row.values.clear();
            row.state.clear();
        }
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
                         const std::function<bool(int)>& progress) {
    const size_t count = static_cast<size_t>(files.size());
    std::vector<FileRow> rows(count);
    std::atomic<size_t> next{0};
    std::atomic<int> done{0};
    std::atomic<bool> stop{false};
    // Large files are read one at a time, so that memory holds at most one large document.
    std::mutex large;
    // Takes the next file that nobody reads yet; false when there is none.
    const auto readOne = [&] {
        const size_t i = next.fetch_add(1);
        if (i >= count)
            return false;
        const QString& file = files[static_cast<qsizetype>(i)];
        if (QFileInfo(file).size() >= kLargeFile) {
            const std::lock_guard lock(large);
            rows[i] = ReadFile(config, file);
        } else {
            rows[i] = ReadFile(config, file);
        }
        done.fetch_add(1);
        return true;
    };
    QElapsedTimer sinceReport;
    sinceReport.start();
    // Told now and then rather than per file: a repaint costs more than a small file.
    const auto report = [&] {
        if (sinceReport.elapsed() < 50)
            return true;
        sinceReport.restart();
        if (!progress(done.load()))
            stop = true;
        return !stop.load();
    };

    // The first file on this thread, so that the library is set up before any helper starts.
    readOne();
    const int readers = std::clamp(QThread::idealThreadCount(), 1, 4);
    std::vector<std::jthread> helpers;
    for (int i = 1; i < readers && static_cast<size_t>(i) < count; ++i)
        helpers.emplace_back([&] {
            while (!stop && readOne()) {
            }
        });
    while (report() && readOne()) {
    }
    while (report() && done.load() < static_cast<int>(count))
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    helpers.clear();
    if (stop)
        return std::nullopt;
    return rows;
}

void TableDocument::SetRows(std::vector<FileRow> rows) {
    beginResetModel();
    rows_ = std::move(rows);
    endResetModel();
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
    return parent.isValid() ? 0 : static_cast<int>(config_.Fields.size()) + 1;
}

bool TableDocument::Editable(int row, int col) const {
    if (row < 0 || row >= rowCount() || col < 1 || col >= columnCount())
        return false;
    const FileRow& r = rows_[static_cast<size_t>(row)];
    return r.sError.isEmpty() && (r.state[static_cast<size_t>(col - 1)] & kPresent);
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
    if (!r.sError.isEmpty()) {
        // The reason stands where the values would.
        switch (role) {
        case Qt::DisplayRole:
        case Qt::ToolTipRole:
            return col == 1 ? QVariant(r.sError) : QVariant();
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
    const size_t field = static_cast<size_t>(col - 1);
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
        if (role == Qt::DisplayRole)
            return section == 0 ? QStringLiteral("File")
                                : QString::fromStdString(
                                      config_.Fields[static_cast<size_t>(section - 1)].sAlias);
        if (role == Qt::ToolTipRole && section > 0)
            return QString::fromStdString(config_.Fields[static_cast<size_t>(section - 1)].sPath);
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

void TableDocument::SetCell(int row, int col, const QString& value) {
    FileRow& r = rows_[static_cast<size_t>(row)];
    const size_t field = static_cast<size_t>(col - 1);
    // A value longer than the limit reaches the file only when nobody changes it.
    r.values[field] = value.left(kTextLimit);
    r.state[field] |= kChanged;
    r.bChanged = true;
}

void TableDocument::EmitRowsChanged(int first, int last) {
    Q_EMIT dataChanged(index(first, 0), index(last, columnCount() - 1));
    Q_EMIT headerDataChanged(Qt::Vertical, first, last);
}

bool TableDocument::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole || !Editable(index.row(), index.column()))
        return false;
    SetCell(index.row(), index.column(), value.toString());
    EmitRowsChanged(index.row(), index.row());
    return true;
}

QString TableDocument::CopyText(const QModelIndexList& selection) const {
    if (selection.isEmpty())
        return {};
    int top = INT_MAX, left = INT_MAX, bottom = -1, right = -1;
    for (const QModelIndex& i : selection) {
        top = std::min(top, i.row());
        bottom = std::max(bottom, i.row());
        left = std::min(left, i.column());
        right = std::max(right, i.column());
    }
    const int width = right - left + 1;
    std::vector<QStringList> lines(static_cast<size_t>(bottom - top + 1),
                                   QStringList(width, QString()));
    for (const QModelIndex& i : selection)
        lines[static_cast<size_t>(i.row() - top)][i.column() - left] = data(i).toString();
    QString text;
    for (const QStringList& line : lines)
        text += line.join('\t') + '\n';
    return text;
}

int TableDocument::PasteText(const QModelIndex& current, const QModelIndexList& selection,
                             const QString& text) {
    QStringList lines = text.split('\n');
    if (!lines.isEmpty() && lines.back().isEmpty())
        lines.removeLast();
    if (lines.isEmpty())
        return 0;
    std::vector<QStringList> cells;
    for (QString& line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
        cells.push_back(line.split('\t'));
    }

    std::vector<CellEdit> edits;
    if (cells.size() == 1 && cells.front().size() == 1 && selection.size() > 1) {
        for (const QModelIndex& i : selection)
            edits.push_back({i.row(), i.column(), cells.front().front()});
    } else if (current.isValid()) {
        for (size_t r = 0; r < cells.size(); ++r)
            for (qsizetype c = 0; c < cells[r].size(); ++c)
                edits.push_back({current.row() + static_cast<int>(r),
                                 current.column() + static_cast<int>(c), cells[r][c]});
    }
    return EditCells(edits);
}

int TableDocument::ClearCells(const QModelIndexList& selection) {
    std::vector<CellEdit> edits;
    for (const QModelIndex& i : selection)
        edits.push_back({i.row(), i.column(), QString()});
    return EditCells(edits);
}

int TableDocument::EditCells(const std::vector<CellEdit>& edits) {
    int changed = 0, first = INT_MAX, last = -1;
    for (const CellEdit& edit : edits) {
        if (!Editable(edit.row, edit.col))
            continue;
        SetCell(edit.row, edit.col, edit.value);
        ++changed;
        first = std::min(first, edit.row);
        last = std::max(last, edit.row);
    }
    if (changed > 0)
        EmitRowsChanged(first, last);
    return changed;
}

std::vector<TableDocument::SaveProblem> TableDocument::SaveChanged(const QString& sFolder) {
    std::vector<SaveProblem> problems;
    int first = INT_MAX, last = -1;
    // Files of the same name from different folders would replace each other in one folder.
    QSet<QString> written;
    for (size_t i = 0; i < rows_.size(); ++i) {
        FileRow& r = rows_[i];
        if (!r.bChanged)
            continue;
        const QString before = r.sPath;
        if (!sFolder.isEmpty()) {
            const QString name = QFileInfo(r.sPath).fileName();
            if (written.contains(name)) {
                problems.push_back(
                    {before,
                     QStringLiteral("Another file of this name was saved into the folder.")});
                continue;
            }
            written.insert(name);
        }
        if (const std::optional<QString> reason = SaveRow(r, sFolder)) {
            problems.push_back({before, *reason});
            continue;
        }
        first = std::min(first, static_cast<int>(i));
        last = std::max(last, static_cast<int>(i));
    }
    if (last >= 0)
        EmitRowsChanged(first, last);
    return problems;
}

std::optional<QString> TableDocument::SaveRow(FileRow& r, const QString& sFolder) {
    const bool inPlace = sFolder.isEmpty();
    if (r.bOrigin && inPlace)
        return kOriginRefused;
    const QString target =
        inPlace ? r.sPath : QDir(sFolder).absoluteFilePath(QFileInfo(r.sPath).fileName());
    if (r.bOrigin && SameFile(target, r.sPath))
        return QStringLiteral("You can't overwrite the origin XML-File");

    if (!MayReplaceFile(target.toStdString()))
        return QStringLiteral("The file is read-only.");
    DOMWrapper doc;
    try {
        doc.Load(r.sPath.toStdString(), kRidoRuduDeclaration);
    } catch (const std::exception& e) {
        // A file rewritten since the table read it says so, whatever its content is now.
        const std::optional<FileStamp> now = StampOf(r.sPath);
        return now && *now != r.stamp ? kChangedOnDisk : ReasonOf(e);
    }
    if (doc.LoadedStamp() != r.stamp)
        return kChangedOnDisk;
    try {
        // An origin file carries only the configured values afterwards, as the table shows them.
        if (r.bOrigin)
            doc.ClearAllNodes();
        for (size_t f = 0; f < config_.Fields.size(); ++f) {
            const bool present = r.state[f] & kPresent;
            const bool changed = r.state[f] & kChanged;
            if (present && (changed || r.bOrigin))
                doc.SetElementValue(config_.Fields[f].sPath, r.values[f].toStdString());
        }
        doc.Save(target.toStdString());
    } catch (const std::exception& e) {
        return ReasonOf(e);
    }
    for (uint8_t& state : r.state)
        state &= static_cast<uint8_t>(~kChanged);
    r.bChanged = false;
    if (!SameFile(target, r.sPath))
        r.bOrigin = false;
    r.sPath = target;
    // A splice in place leaves the document knowing the new file; elsewhere it is read.
    const std::optional<FileStamp> saved = inPlace ? doc.LoadedStamp() : std::nullopt;
    r.stamp = saved ? *saved : StampOf(target).value_or(FileStamp{});
    return std::nullopt;
}

void TableDocument::ExportTo(WorkbookWriter& writer) const {
    std::vector<std::string> cells(config_.Fields.size() + 1);
    for (const FileRow& r : rows_) {
        cells[0] = QFileInfo(r.sPath).fileName().toStdString();
        for (size_t f = 0; f < config_.Fields.size(); ++f)
            cells[f + 1] = r.sError.isEmpty() ? r.values[f].toStdString() : std::string();
        writer.AddRow(cells);
    }
}
