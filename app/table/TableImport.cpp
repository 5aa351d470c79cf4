#include "app/table/TableImport.h"
#include "app/shared/FileRules.h"
#include "app/table/TableDocument.h"

#include "common/Strings.h"
#include "export/WorkbookReader.h"
#include "export/WorkbookWriter.h"

#include <QFileInfo>
#include <QHash>

#include <charconv>
#include <cmath>
#include <optional>

namespace {

// The hidden sheet's rows, by the label in their first cell.
const std::string kConfigurationLabel = "Configuration";
const std::string kFieldLabel = "Field";
const std::string kFileLabel = "File";

const QString kNotHeld = QStringLiteral("The table does not hold this file.");
const QString kTwoRows = QStringLiteral("Two rows of the sheet are this file: neither is applied.");
const QString kNoField = QStringLiteral("The column names no field of the configuration.");
const QString kTwoColumns = QStringLiteral("Another column names the same field.");
const QString kAbsent = QStringLiteral("The file does not hold this field.");
const QString kChangedOnDisk = QStringLiteral("The file changed on disk since the export.");
const QString kTurnedNumber = QStringLiteral("The spreadsheet turned the text into a number.");
const QString kTurnedDate = QStringLiteral("The spreadsheet turned the text into a date.");

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

std::optional<double> Number(const std::string& text) {
    double value = 0;
    const std::string trimmed = Trim(text);
    const char* end = trimmed.data() + trimmed.size();
    const auto result = std::from_chars(trimmed.data(), end, value);
    if (trimmed.empty() || result.ec != std::errc() || result.ptr != end)
        return std::nullopt;
    return value;
}

int SignificantDigits(const std::string& text) {
    int digits = 0;
    bool leading = true;
    for (char c : text) {
        if (c == 'e' || c == 'E')
            break;
        if (c < '0' || c > '9')
            continue;
        leading = leading && c == '0';
        digits += leading ? 0 : 1;
    }
    return digits;
}

// Whether the spreadsheet, not the person, made the new value out of the table's text:
// "0012" back as 12, a long number rounded, "1/2" as a date.
QString Conversion(const WorkbookCell& cell, const QString& old) {
    const std::string before = Trim(old.toStdString());
    if (before.empty())
        return {};
    switch (cell.kind) {
    case WorkbookCell::Kind::Number:
        return Number(before) && NumberText(*Number(before)) == before ? QString() : kTurnedNumber;
    case WorkbookCell::Kind::Date:
        return kTurnedDate;
    case WorkbookCell::Kind::Text: {
        // A text file keeps what the spreadsheet showed.
        const std::optional<double> a = Number(before), b = Number(cell.text);
        if (!a || !b)
            return {};
        const bool rounded =
            SignificantDigits(before) > 15 && std::fabs(*a - *b) <= std::fabs(*a) * 1e-13;
        return *a == *b || rounded ? kTurnedNumber : QString();
    }
    default:
        return {};
    }
}

struct SourceFile {
    QString sPath;
    std::optional<FileStamp> stamp;
};

// What the hidden sheet tells.
struct Source {
    bool bFound = false;
    QString sConfiguration;
    std::vector<std::pair<QString, QString>> fields; // alias and path, column by column
    std::vector<SourceFile> files;
};

Source ReadSource(const WorkbookSheet* sheet) {
    Source source;
    if (!sheet)
        return source;
    source.bFound = true;
    for (size_t r = 0; r < sheet->rows.size(); ++r) {
        const std::string& label = sheet->At(r, 0).text;
        if (label == kConfigurationLabel) {
            source.sConfiguration = Text(sheet->At(r, 1).text);
        } else if (label == kFieldLabel) {
            source.fields.emplace_back(Text(sheet->At(r, 1).text), Text(sheet->At(r, 2).text));
        } else if (label == kFileLabel) {
            SourceFile file{Text(sheet->At(r, 2).text), std::nullopt};
            const auto size = Number(sheet->At(r, 3).text);
            bool ok = false, okCrc = false;
            const qint64 modified = Text(sheet->At(r, 4).text).toLongLong(&ok);
            const uint crc = Text(sheet->At(r, 5).text).toUInt(&okCrc);
            if (size && ok && okCrc)
                file.stamp = FileStamp{static_cast<int64_t>(*size), modified, crc};
            source.files.push_back(std::move(file));
        }
    }
    return source;
}

const WorkbookSheet* FindSheet(const std::vector<WorkbookSheet>& sheets, const std::string& name) {
    for (const WorkbookSheet& sheet : sheets)
        if (sheet.name == name)
            return &sheet;
    return nullptr;
}

} // namespace

void WriteSourceSheet(const TableDocument& table, WorkbookWriter& writer) {
    const ConfigurationInfo& config = table.Configuration();
    writer.AddHiddenRow({kConfigurationLabel, ConfigNumberText(config.nNumber)});
    for (const FieldInfo& field : config.Fields)
        writer.AddHiddenRow({kFieldLabel, field.sAlias, field.sPath});
    for (int row = 0; row < table.rowCount(); ++row) {
        const TableDocument::FileRow& r = table.Row(row);
        writer.AddHiddenRow({kFileLabel, table.ShownName(r.sPath).toStdString(),
                             r.sPath.toStdString(), std::to_string(r.stamp.nSize),
                             std::to_string(r.stamp.nModified), std::to_string(r.stamp.nChecksum)});
    }
}

int ImportPlan::Applicable() const {
    int count = 0;
    for (const ImportLine& line : lines)
        count += line.status == ImportLine::Status::Apply ? 1 : 0;
    return count;
}

ImportPlan PlanImport(const TableDocument& table, const std::vector<WorkbookSheet>& sheets) {
    ImportPlan plan;
    const Source source = ReadSource(FindSheet(sheets, kSourceSheetName));
    const WorkbookSheet* data = FindSheet(sheets, "XML-Data");
    for (size_t i = 0; !data && i < sheets.size(); ++i)
        if (sheets[i].name != kSourceSheetName)
            data = &sheets[i];
    if (!data || data->rows.empty())
        return plan;
    const ConfigurationInfo& config = table.Configuration();
    const auto refuse = [&](const QString& file, const QString& field, const QString& reason,
                            const QString& value = {}) {
        plan.lines.push_back(
            {ImportLine::Status::Refused, file, field, QString(), value, reason, -1, -1});
    };

    // Columns: the File column, and each other one's field.
    const auto& header = data->rows.front();
    int fileColumn = -1;
    std::vector<int> fieldOf(header.size(), -1);
    std::vector<bool> taken(config.Fields.size(), false);
    for (size_t c = 0; c < header.size(); ++c) {
        const QString name = Text(Trim(header[c].text));
        if (fileColumn < 0 && name.compare(QStringLiteral("File"), Qt::CaseInsensitive) == 0) {
            fileColumn = static_cast<int>(c);
            continue;
        }
        if (name.isEmpty() || name.compare(QStringLiteral("Folder"), Qt::CaseInsensitive) == 0)
            continue;
        // The hidden sheet names the field by its path, which outlives a renamed alias; a
        // column the spreadsheet moved is found by its header.
        QString path;
        if (c >= 1 && c - 1 < source.fields.size() && source.fields[c - 1].first == name) {
            path = source.fields[c - 1].second;
        } else {
            for (const auto& [alias, fieldPath] : source.fields)
                if (alias == name) {
                    path = path.isNull() ? fieldPath : QString();
                }
        }
        int field = -1;
        for (size_t f = 0; f < config.Fields.size(); ++f) {
            const bool byPath = !path.isEmpty() && Text(config.Fields[f].sPath) == path;
            const bool byAlias = path.isEmpty() && Text(config.Fields[f].sAlias) == name;
            if (byPath || byAlias) {
                field = static_cast<int>(f);
                break;
            }
        }
        if (field < 0) {
            refuse(QString(), name, kNoField);
        } else if (taken[static_cast<size_t>(field)]) {
            refuse(QString(), name, kTwoColumns);
        } else {
            taken[static_cast<size_t>(field)] = true;
            fieldOf[c] = field;
        }
    }
    if (fileColumn < 0) {
        refuse(QString(), QString(), QStringLiteral("The sheet has no File column."));
        return plan;
    }

    // Rows: each to the table's file, by path when the hidden sheet knows it.
    QHash<QString, int> byPath, byShown, byName;
    for (int row = 0; row < table.rowCount(); ++row) {
        const QString& path = table.Row(row).sPath;
        byPath.insert(path, row);
        byShown.insert(table.ShownName(path), row);
        const QString name = QFileInfo(path).fileName();
        byName.insert(name, byName.contains(name) ? -1 : row);
    }
    QHash<QString, std::vector<const SourceFile*>> sourceByName;
    for (const SourceFile& file : source.files) {
        sourceByName[QFileInfo(file.sPath).fileName()].push_back(&file);
        sourceByName[file.sPath].push_back(&file);
    }
    struct Match {
        size_t sheetRow;
        int row;
        const SourceFile* file;
        QString sFile;
    };
    std::vector<Match> matches;
    QHash<int, int> rowsOf; // sheet rows per table row
    for (size_t r = 1; r < data->rows.size(); ++r) {
        const QString name = Text(Trim(data->At(r, static_cast<size_t>(fileColumn)).text));
        if (name.isEmpty())
            continue;
        const SourceFile* file = nullptr;
        int row = -1;
        if (const auto found = sourceByName.find(name); found != sourceByName.end()) {
            if (found->size() > 1) {
                refuse(name, QString(), QStringLiteral("Several exported files have this name."));
                continue;
            }
            file = found->front();
            row = byPath.value(file->sPath, -1);
        } else if (byPath.contains(name)) {
            row = byPath.value(name);
        } else if (byShown.contains(name)) {
            row = byShown.value(name);
        } else {
            row = byName.value(name, -1);
        }
        if (row < 0) {
            refuse(name, QString(), kNotHeld);
            continue;
        }
        matches.push_back({r, row, file, table.ShownName(table.Row(row).sPath)});
        ++rowsOf[row];
    }

    for (const Match& match : matches) {
        const TableDocument::FileRow& r = table.Row(match.row);
        if (rowsOf.value(match.row) > 1) {
            // Said once for the file, at its first row.
            refuse(match.sFile, QString(), kTwoRows);
            rowsOf[match.row] = 0;
            continue;
        }
        if (rowsOf.value(match.row) == 0)
            continue;
        if (!r.sError.isEmpty()) {
            refuse(match.sFile, QString(),
                   QStringLiteral("The table shows no values of this file: ") + r.sError);
            continue;
        }
        std::optional<FileStamp> now;
        const bool changed = match.file && match.file->stamp &&
                             (now = StampOf(r.sPath), !now || *now != *match.file->stamp);
        for (size_t c = 0; c < fieldOf.size(); ++c) {
            const int field = fieldOf[c];
            if (field < 0)
                continue;
            const WorkbookCell& cell = data->At(match.sheetRow, c);
            const QString value = Text(cell.text);
            const QString& old = r.values[static_cast<size_t>(field)];
            const QString alias = Text(config.Fields[static_cast<size_t>(field)].sAlias);
            const bool present = r.state[static_cast<size_t>(field)] & TableDocument::kPresent;
            // The export writes values without their outer blanks.
            if (value == old || value == Text(Trim(old.toStdString())) ||
                (!present && value.isEmpty()))
                continue;
            ImportLine line{ImportLine::Status::Apply,
                            match.sFile,
                            alias,
                            old,
                            value,
                            QString(),
                            match.row,
                            field};
            QStringList doubts;
            if (!present) {
                line.status = ImportLine::Status::Refused;
                line.sReason = kAbsent;
            } else if (value.size() > kTextLimit) {
                line.status = ImportLine::Status::Refused;
                line.sReason =
                    QStringLiteral("The value is longer than %1 characters.").arg(kTextLimit);
            } else {
                if (changed)
                    doubts << kChangedOnDisk;
                if (const QString conversion = Conversion(cell, old); !conversion.isEmpty())
                    doubts << conversion;
                if (!doubts.isEmpty()) {
                    line.status = ImportLine::Status::Ask;
                    line.sReason = doubts.join(' ');
                }
            }
            plan.lines.push_back(std::move(line));
        }
    }
    if (source.bFound && !source.sConfiguration.isEmpty() &&
        source.sConfiguration != Text(ConfigNumberText(config.nNumber)))
        plan.sNote = QStringLiteral("The workbook was exported under configuration %1; its "
                                    "columns are matched by their fields.")
                         .arg(source.sConfiguration);
    return plan;
}

int ApplyImport(TableDocument& table, const ImportPlan& plan, const std::vector<bool>& chosen) {
    std::vector<std::pair<QModelIndex, QString>> edits;
    for (size_t i = 0; i < plan.lines.size(); ++i) {
        const ImportLine& line = plan.lines[i];
        if (line.status == ImportLine::Status::Refused || i >= chosen.size() || !chosen[i])
            continue;
        edits.emplace_back(table.index(line.row, table.FirstFieldColumn() + line.field), line.sNew);
    }
    return edits.empty() ? 0 : table.EditCells(edits, QObject::tr("Excel-Import"));
}
