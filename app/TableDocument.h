#pragma once

#include "app/Configuration.h"
#include "common/FileStamp.h"

#include <QAbstractTableModel>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

class WorkbookWriter;

// The files a table opens: each file named, and the *.xml files of each folder named (not of
// its subfolders); each once, in name order.
QStringList ExpandTablePaths(const QStringList& paths);

// The table of many files under one configuration: one row per file, column 0 its name, then
// one column per configured field. It holds only the values; a file's document is loaded to
// read it and again to save it, and released in between.
class TableDocument : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Role {
        ChangedRole = Qt::UserRole + 1, // the cell was edited and is not saved
        PresentRole,                    // the file holds the cell's field
    };
    static constexpr int kTextLimit = 255;

    struct FileRow {
        QString sPath;
        QString sError; // why the file shows no values; empty when it was read
        bool bOrigin = false;
        bool bChanged = false;
        FileStamp stamp;
        std::vector<QString> values;
        std::vector<uint8_t> state; // per field: kPresent, kChanged
    };
    struct SaveProblem {
        QString sPath;
        QString sReason;
    };

    explicit TableDocument(ConfigurationInfo config, QObject* parent = nullptr);

    // Reads one file's configured values. A file that cannot be read or does not fit the
    // configuration gets a row with the reason.
    static FileRow ReadFile(const ConfigurationInfo& config, const QString& sPath);
    // Reads the files, several at once on machines with several cores; the rows keep the
    // files' order. progress runs now and then on the calling thread with the number of files
    // read; reading stops when it returns false, and the result is then nothing.
    static std::optional<std::vector<FileRow>> ReadFiles(const ConfigurationInfo& config,
                                                         const QStringList& files,
                                                         const std::function<bool(int)>& progress);
    void SetRows(std::vector<FileRow> rows);

    const ConfigurationInfo& Configuration() const { return config_; }
    const FileRow& Row(int row) const { return rows_.at(static_cast<size_t>(row)); }
    bool HasChanges() const;
    bool HasChangedOrigin() const;
    bool HasChangedOrdinary() const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

    // The selected cells' bounding rectangle as tab-separated lines; cells not selected stay
    // empty.
    QString CopyText(const QModelIndexList& selection) const;
    // Tab-separated lines pasted from the current cell on, as far as the table reaches; one
    // value pasted over several selected cells fills each of them. Cells that cannot be edited
    // are passed over. Returns the number of cells changed.
    int PasteText(const QModelIndex& current, const QModelIndexList& selection,
                  const QString& text);
    // Empties the editable cells among those selected; returns how many.
    int ClearCells(const QModelIndexList& selection);

    // Writes every changed file: in place when sFolder is empty, where origin files are
    // refused; otherwise into sFolder under its own name, origin files emptied of other values
    // first. Returns the files not saved and why; saved files lose their marks.
    std::vector<SaveProblem> SaveChanged(const QString& sFolder);

    // "File" and the aliases, then one row per file.
    void ExportTo(WorkbookWriter& writer) const;

private:
    static constexpr uint8_t kPresent = 1;
    static constexpr uint8_t kChanged = 2;

    bool Editable(int row, int col) const;
    // Sets an editable cell as the user's edit; no signal.
    void SetCell(int row, int col, const QString& value);
    struct CellEdit {
        int row;
        int col;
        QString value;
    };
    // Sets the editable ones among the cells as the user's edits and tells the views once;
    // returns how many were set.
    int EditCells(const std::vector<CellEdit>& edits);
    // Nothing when saved, otherwise why not.
    std::optional<QString> SaveRow(FileRow& row, const QString& sFolder);
    void EmitRowsChanged(int first, int last);

    ConfigurationInfo config_;
    std::vector<FileRow> rows_;
};
