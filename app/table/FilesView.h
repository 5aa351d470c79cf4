#pragma once

#include <QSortFilterProxyModel>
#include <QTableView>

#include <QCollator>
#include <QRegularExpression>

// The table as the view shows it: sorted by a column, and filtered to the rows that hold a
// text or match an expression. Neither changes a file, a save or a row.
class TableSortFilter : public QSortFilterProxyModel {
public:
    explicit TableSortFilter(QObject* parent = nullptr);
    // Keeps the rows of which some cell contains text (or matches it as an expression); all
    // rows when it is empty. False for an expression that is not valid.
    bool SetFilter(const QString& text, bool regex);

protected:
    // Natural order: numbers by value, "file2" before "file10", letters without regard to case.
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;
    bool filterAcceptsRow(int row, const QModelIndex& parent) const override;

private:
    QCollator collator_;
    QRegularExpression filter_;
};

// A grid of cells whose keys go as in the main window's grid: Enter commits and moves down,
// Tab past the last cell and Shift+Tab before the first leave it.
class FilesView : public QTableView {
public:
    using QTableView::QTableView;
    // Keeps the first column in view while the others scroll sideways. Call once the model
    // is set.
    void FreezeFirstColumn();
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool focusNextPrevChild(bool next) override;
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // The next or previous cell in reading order, or invalid past either end.
    QModelIndex NeighbourCell(const QModelIndex& from, bool next) const;
    void MoveDown();
    void PlaceFrozen();

    QTableView* frozen_ = nullptr; // the first column again, above the scrolling one
};
