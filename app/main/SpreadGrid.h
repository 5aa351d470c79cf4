#pragma once

#include <QTableWidget>
#include <QUndoStack>

#include <cstdint>
#include <string>
#include <vector>

// A spreadsheet-style grid over QTableWidget with 1-based rows and columns: row 0 is the
// header row, data rows start at 1. Each column has a cell kind and an optional length limit
// for typing. Only edits made by the user raise Change; writes through SetText stay quiet.
class SpreadGrid : public QTableWidget {
    Q_OBJECT

public:
    enum class CellKind { Default, Number, StaticText, EditText };

    explicit SpreadGrid(QWidget* parent = nullptr);

    int32_t MaxRows() const;
    void SetMaxRows(int32_t rows);
    int32_t MaxCols() const;
    void SetMaxCols(int32_t cols);

    // Row 0 addresses the header.
    std::string GetText(int32_t row, int32_t col) const;
    void SetText(int32_t row, int32_t col, const std::string& text);

    // Width in characters of the grid's font.
    void SetColWidth(int32_t col, double chars);
    void SetColumnKind(int32_t col, CellKind kind, int32_t maxLength = 0);
    CellKind ColumnKind(int32_t col) const;
    // 0 when typing is not limited.
    int32_t ColumnMaxLength(int32_t col) const;
    void SetColHidden(int32_t col, bool hidden);
    bool IsColHidden(int32_t col) const;

    void SetActiveCell(int32_t col, int32_t row);
    int32_t ActiveRow() const;
    int32_t ActiveCol() const;

    // Called by the cell editor when the user has changed a cell's text.
    void CommitUserEdit(int32_t row, int32_t col, const QString& text);
    // Ends an open cell editor as leaving the cell would: its text is committed.
    void CommitEdit();
    // A short grey note painted in the empty grid, saying why it is empty; empty for none.
    void SetEmptyNote(const QString& note);

    // The column that paste and find work on; 0 for none.
    void SetValueColumn(int32_t col);
    int32_t ValueColumn() const { return valueColumn_; }

    // An edited cell stands out until its mark is cleared.
    void SetCellMarked(int32_t row, int32_t col, bool marked);
    bool IsCellMarked(int32_t row, int32_t col) const;
    void ClearMarks();

    // Every user edit is one step, a paste as a whole too. Taking a step back or doing it
    // again changes cells as the user would, so it raises Change for each of them.
    QUndoStack& UndoStack() { return undo_; }
    void Undo();
    void Redo();
    // The selected cells of visible columns: a tab between cells, a line per row.
    void CopySelection();
    // The clipboard's lines go into the value column from the current row down, the first
    // of each line's tab-separated parts, under the column's typing limit.
    void PasteValues();
    // The nearest row after (forward) or before the current one, going round past either
    // end, whose value contains text; 0 when none does. wrapped tells whether it went round.
    int32_t FindValue(const QString& text, bool forward, Qt::CaseSensitivity cs,
                      bool* wrapped = nullptr) const;

Q_SIGNALS:
    // The user changed the content of a cell (1-based).
    void Change(int32_t col, int32_t row);
    // Tab moved forward past the last cell (true) or Shift+Tab backward past the first.
    void Advance(bool advanceNext);

protected:
    bool focusNextPrevChild(bool next) override;
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    class EditCommand;
    struct CellEdit {
        int32_t row;
        int32_t col;
        QString before;
        QString after;
    };
    void PushEdits(std::vector<CellEdit> cells, const QString& what);
    void ApplyEdits(const std::vector<CellEdit>& cells, bool back);
    void ShowEdits(const std::vector<CellEdit>& cells);

    struct Column {
        CellKind kind = CellKind::Default;
        int32_t maxLength = 0;
    };

    Column& ColumnAt(int32_t col);
    const Column* FindColumn(int32_t col) const;
    QTableWidgetItem* MakeItem(int32_t col) const;
    void ApplyKind(int32_t col);
    // The next or previous visible cell in reading order, or invalid past either end.
    QModelIndex NeighbourCell(const QModelIndex& from, bool next) const;
    // Enter moves from a cell to the one below it.
    void MoveDown();

    std::vector<Column> columns_;
    QString emptyNote_;
    int32_t valueColumn_ = 0;
    QUndoStack undo_;
};
