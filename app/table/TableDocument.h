#pragma once

#include "app/shared/BackgroundWork.h"
#include "app/shared/Configuration.h"
#include "common/FileStamp.h"

#include <QAbstractTableModel>
#include <QString>
#include <QStringList>
#include <QUndoStack>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class StreamedValues;
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

    // A field's state in FileRow::state.
    static constexpr uint8_t kPresent = 1; // the file holds the field
    static constexpr uint8_t kChanged = 2; // edited and not saved

    struct FileRow {
        QString sPath;
        QString sError; // why the file shows no values; empty when it was read
        bool bOrigin = false;
        bool bChanged = false;
        FileStamp stamp;
        std::vector<QString> values;
        std::vector<QString> saved; // the values as the file holds them
        std::vector<uint8_t> state; // per field: kPresent, kChanged
    };
    struct SaveProblem {
        QString sPath;
        QString sReason;
    };
    struct SaveReport {
        int nSaved = 0;
        std::vector<SaveProblem> problems; // every changed file not saved, and why
        bool bCancelled = false;           // nothing was written: the question was cancelled
    };
    // What to do with the files of the target folder that copies would replace.
    enum class ReplaceChoice { Replace, Skip, Cancel };
    using ReplaceQuestion = std::function<ReplaceChoice(const QStringList& shownNames)>;
    // Runs count jobs, on worker threads or not, and tells whether all of them ran.
    using WorkRunner = std::function<bool(size_t count, const WorkJob& job)>;

    explicit TableDocument(ConfigurationInfo config, QObject* parent = nullptr);

    // Reads one file's configured values; on any thread. A file that cannot be read or does
    // not fit the configuration gets a row with the reason. Reading gives up soon after *stop
    // turns true.
    static FileRow ReadFile(const ConfigurationInfo& config, const QString& sPath,
                            const std::atomic<bool>* stop = nullptr);
    // Reads the files through run, one job a file; the rows keep the files' order. Nothing
    // when run did not run every job.
    static std::optional<std::vector<FileRow>>
    ReadFiles(const ConfigurationInfo& config, const QStringList& files, const WorkRunner& run);
    void SetRows(std::vector<FileRow> rows);
    // Puts rows read again in place of those at the given positions; their edits, and the
    // steps that Undo would take back in them, go.
    void ReplaceRows(const std::vector<int>& positions, std::vector<FileRow> rows);

    const ConfigurationInfo& Configuration() const { return config_; }
    // The column of the first field: 1, or 2 when a Folder column follows the file's name
    // because the files lie in more than one folder.
    int FirstFieldColumn() const;
    // The field shown in a column, or -1 for the file's name and folder.
    int FieldOf(int col) const;
    // A file as the table names it: its name, or its path from the folder that holds all the
    // files when they lie in more than one.
    QString ShownName(const QString& sPath) const;
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

    // Sets the editable ones among the cells (indexes of this model) as the user's edits, as
    // one step that Undo takes back whole; the rest are passed over. Returns how many were set.
    int EditCells(const std::vector<std::pair<QModelIndex, QString>>& edits, const QString& what);
    // Every edit since the files were read, to take back and do again.
    QUndoStack& UndoStack() { return undo_; }

    // Writes every changed file through run, one job a file: in place when sFolder is empty,
    // where origin files are refused; otherwise into sFolder under its own name, origin files
    // emptied of other values first. askReplace is asked once about the files of sFolder that
    // copies would replace (none asked: nothing is written); a file another row shows is never
    // replaced. Saved files lose their marks and the rows show the copies; files whose job did
    // not run keep theirs and are reported as not saved.
    SaveReport SaveChanged(const QString& sFolder, const WorkRunner& run,
                           const ReplaceQuestion& askReplace = {});

    // "File" and the aliases, then one row per file; a hidden sheet names the configuration,
    // each column's field and each row's file with its stamp, to match them when read back.
    void ExportTo(WorkbookWriter& writer) const;

private:
    // With streamed, a file that one pass can answer is read without building its tree.
    static FileRow ReadFile(const ConfigurationInfo& config, const QString& sPath,
                            const StreamedValues* streamed, const std::atomic<bool>* stop);

    class EditCommand;
    friend class EditCommand;

    bool Editable(int row, int col) const;
    void EmitRowsChanged(int first, int last);
    // Works out the folders again after the rows' paths changed; shows or hides the Folder
    // column.
    void UpdateFolders();

    ConfigurationInfo config_;
    std::vector<FileRow> rows_;
    QUndoStack undo_;
    bool bSeveralFolders_ = false; // the files lie in more than one folder
    QString commonParent_;         // the folder that holds them all
};
