#include "app/main/SpreadGrid.h"
#include "app/shared/FileRules.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QToolTip>

#include <algorithm>
#include <map>

namespace {

// As the table of many files shows its changed cells.
const QColor kChangedBackground(255, 236, 150);

class CellDelegate : public QStyledItemDelegate {
public:
    explicit CellDelegate(SpreadGrid* grid) : QStyledItemDelegate(grid), grid_(grid) {}

    // A plain line edit: Qt's default one widens with its text past the cell's edge.
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&,
                          const QModelIndex&) const override {
        auto* edit = new QLineEdit(parent);
        edit->setFrame(
            edit->style()->styleHint(QStyle::SH_ItemView_DrawDelegateFrame, nullptr, edit));
        return edit;
    }

    // A value cut at the cell's edge shows whole as the cell's tool tip.
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override {
        if (event->type() != QEvent::ToolTip || !index.isValid())
            return QStyledItemDelegate::helpEvent(event, view, option, index);
        QStyleOptionViewItem item = option;
        initStyleOption(&item, index);
        const QStyle* style = view->style();
        const int margins = 2 * (style->pixelMetric(QStyle::PM_FocusFrameHMargin, &item, view) + 1);
        const int room =
            style->subElementRect(QStyle::SE_ItemViewItemText, &item, view).width() - margins;
        if (item.fontMetrics.horizontalAdvance(item.text) <= room) {
            QToolTip::hideText();
            return false;
        }
        QToolTip::showText(event->globalPos(), item.text, view->viewport(), option.rect);
        return true;
    }

    void setEditorData(QWidget* editor, const QModelIndex& index) const override {
        auto* edit = qobject_cast<QLineEdit*>(editor);
        if (!edit)
            return QStyledItemDelegate::setEditorData(editor, index);
        const QString text = index.data(Qt::EditRole).toString();
        const int limit = grid_->ColumnMaxLength(index.column() + 1);
        if (limit > 0)
            SetLimitedEditorText(edit, text, limit);
        else
            edit->setText(text);
    }

    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override {
        auto* edit = qobject_cast<QLineEdit*>(editor);
        if (!edit)
            return QStyledItemDelegate::setModelData(editor, model, index);
        // Leaving a cell without typing is not an edit; retyping the same text is.
        if (!edit->isModified())
            return;
        grid_->CommitUserEdit(index.row() + 1, index.column() + 1, edit->text());
    }

private:
    SpreadGrid* grid_;
};

} // namespace

SpreadGrid::SpreadGrid(QWidget* parent) : QTableWidget(parent) {
    setItemDelegate(new CellDelegate(this));
    // Ranges can be selected for a copy.
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                    QAbstractItemView::AnyKeyPressed);
    setTabKeyNavigation(true);
    horizontalHeader()->setHighlightSections(false);

    // Keys of the whole window: an open cell editor takes Ctrl+Z, C and V for its own text.
    auto addKeys = [this](const char* name, const QList<QKeySequence>& keys, auto slot) {
        auto* action = new QAction(this);
        action->setObjectName(QString::fromUtf8(name));
        action->setShortcuts(keys);
        action->setShortcutContext(Qt::WindowShortcut);
        connect(action, &QAction::triggered, this, slot);
        addAction(action);
    };
    addKeys("actUndo", {QKeySequence(Qt::CTRL | Qt::Key_Z)}, [this] { Undo(); });
    addKeys("actRedo",
            {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)},
            [this] { Redo(); });
    addKeys("actCopy", {QKeySequence(Qt::CTRL | Qt::Key_C)}, [this] { CopySelection(); });
    addKeys("actPaste", {QKeySequence(Qt::CTRL | Qt::Key_V)}, [this] { PasteValues(); });
}

int32_t SpreadGrid::MaxRows() const {
    return rowCount();
}

void SpreadGrid::SetMaxRows(int32_t rows) {
    const int32_t old = rowCount();
    setRowCount(std::max(rows, 0));
    // New cells get an item so that their column's kind applies from the start; a cell of
    // the default kind behaves alike without one, and large grids hold many of them.
    for (int32_t r = old; r < rowCount(); ++r)
        for (int32_t c = 0; c < columnCount(); ++c)
            if (ColumnKind(c + 1) != CellKind::Default)
                setItem(r, c, MakeItem(c + 1));
}

int32_t SpreadGrid::MaxCols() const {
    return columnCount();
}

void SpreadGrid::SetMaxCols(int32_t cols) {
    const int32_t old = columnCount();
    setColumnCount(std::max(cols, 0));
    if (static_cast<int32_t>(columns_.size()) < columnCount())
        columns_.resize(columnCount());
    for (int32_t c = old; c < columnCount(); ++c)
        for (int32_t r = 0; r < rowCount(); ++r)
            setItem(r, c, MakeItem(c + 1));
}

std::string SpreadGrid::GetText(int32_t row, int32_t col) const {
    if (row == 0) {
        const QTableWidgetItem* header = horizontalHeaderItem(col - 1);
        return header ? header->text().toStdString() : std::string();
    }
    const QTableWidgetItem* cell = item(row - 1, col - 1);
    return cell ? cell->text().toStdString() : std::string();
}

void SpreadGrid::SetText(int32_t row, int32_t col, const std::string& text) {
    if (col < 1 || col > columnCount() || row < 0 || row > rowCount())
        return;
    if (row == 0) {
        setHorizontalHeaderItem(col - 1, new QTableWidgetItem(QString::fromStdString(text)));
        return;
    }
    QTableWidgetItem* cell = item(row - 1, col - 1);
    if (!cell) {
        cell = MakeItem(col);
        setItem(row - 1, col - 1, cell);
    }
    // The limit is for typing only: text written by the program is kept whole.
    cell->setText(QString::fromStdString(text));
}

void SpreadGrid::SetColWidth(int32_t col, double chars) {
    const int charWidth = fontMetrics().horizontalAdvance(QLatin1Char('0'));
    setColumnWidth(col - 1, static_cast<int>(chars * charWidth) +
                                2 * style()->pixelMetric(QStyle::PM_FocusFrameHMargin));
}

void SpreadGrid::SetColumnKind(int32_t col, CellKind kind, int32_t maxLength) {
    Column& column = ColumnAt(col);
    column.kind = kind;
    column.maxLength = maxLength;
    ApplyKind(col);
}

SpreadGrid::CellKind SpreadGrid::ColumnKind(int32_t col) const {
    const Column* column = FindColumn(col);
    return column ? column->kind : CellKind::Default;
}

int32_t SpreadGrid::ColumnMaxLength(int32_t col) const {
    const Column* column = FindColumn(col);
    return column ? column->maxLength : 0;
}

void SpreadGrid::SetColHidden(int32_t col, bool hidden) {
    setColumnHidden(col - 1, hidden);
}

bool SpreadGrid::IsColHidden(int32_t col) const {
    return isColumnHidden(col - 1);
}

void SpreadGrid::SetActiveCell(int32_t col, int32_t row) {
    setCurrentCell(row - 1, col - 1);
}

int32_t SpreadGrid::ActiveRow() const {
    return currentRow() + 1;
}

int32_t SpreadGrid::ActiveCol() const {
    return currentColumn() + 1;
}

void SpreadGrid::CommitUserEdit(int32_t row, int32_t col, const QString& text) {
    PushEdits({{row, col, QString::fromStdString(GetText(row, col)), text}}, tr("Typing"));
}

// The cells' texts before and after one step.
class SpreadGrid::EditCommand : public QUndoCommand {
public:
    EditCommand(SpreadGrid& grid, std::vector<CellEdit> cells, const QString& what)
        : QUndoCommand(what), grid_(grid), cells_(std::move(cells)) {}

    void redo() override {
        grid_.ApplyEdits(cells_, false);
        // The first time is the edit itself, made where the user is.
        if (std::exchange(done_, true))
            grid_.ShowEdits(cells_);
    }
    void undo() override {
        grid_.ApplyEdits(cells_, true);
        grid_.ShowEdits(cells_);
    }

private:
    SpreadGrid& grid_;
    std::vector<CellEdit> cells_;
    bool done_ = false;
};

void SpreadGrid::PushEdits(std::vector<CellEdit> cells, const QString& what) {
    if (!cells.empty())
        undo_.push(new EditCommand(*this, std::move(cells), what));
}

void SpreadGrid::ApplyEdits(const std::vector<CellEdit>& cells, bool back) {
    for (const CellEdit& cell : cells) {
        // Rows that are gone take nothing back.
        if (cell.row > rowCount() || cell.col > columnCount())
            continue;
        SetText(cell.row, cell.col, (back ? cell.before : cell.after).toStdString());
        Q_EMIT Change(cell.col, cell.row);
    }
}

void SpreadGrid::ShowEdits(const std::vector<CellEdit>& cells) {
    // An undo far from the view would otherwise change cells nobody sees.
    if (cells.empty())
        return;
    SetActiveCell(cells.front().col, cells.front().row);
    scrollTo(currentIndex());
}

void SpreadGrid::Undo() {
    CommitEdit();
    undo_.undo();
}

void SpreadGrid::Redo() {
    CommitEdit();
    undo_.redo();
}

void SpreadGrid::CopySelection() {
    CommitEdit();
    QModelIndexList cells = selectedIndexes();
    if (cells.isEmpty() && currentIndex().isValid())
        cells << currentIndex();
    std::map<int, std::map<int, QString>> rows; // in reading order
    for (const QModelIndex& cell : cells)
        if (!isColumnHidden(cell.column()))
            rows[cell.row()][cell.column()] = cell.data(Qt::DisplayRole).toString();
    if (rows.empty())
        return;
    QStringList lines;
    for (const auto& [row, columns] : rows) {
        QStringList texts;
        for (const auto& [col, text] : columns)
            texts << text;
        lines << texts.join(QLatin1Char('\t'));
    }
    QApplication::clipboard()->setText(lines.join(QLatin1Char('\n')));
}

void SpreadGrid::PasteValues() {
    CommitEdit();
    const int32_t col = valueColumn_;
    if (col < 1 || col > columnCount() || rowCount() == 0 ||
        !(ColumnKind(col) == CellKind::EditText || ColumnKind(col) == CellKind::Default))
        return;
    QString text = QApplication::clipboard()->text();
    if (text.isEmpty())
        return;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
        .replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QStringList lines = text.split(QLatin1Char('\n'));
    // Copied lines end with a line break that starts no further line.
    if (lines.size() > 1 && lines.back().isEmpty())
        lines.removeLast();
    const int32_t first = std::max(ActiveRow(), 1);
    const int32_t limit = ColumnMaxLength(col);
    std::vector<CellEdit> cells;
    for (int32_t row = first; row <= rowCount() && row - first < lines.size(); ++row) {
        const QString before = QString::fromStdString(GetText(row, col));
        const QString value = lines[row - first].section(QLatin1Char('\t'), 0, 0);
        cells.push_back({row, col, before, limit > 0 ? LimitedEdit(before, value, limit) : value});
    }
    if (cells.empty())
        return;
    const int32_t last = cells.back().row;
    PushEdits(std::move(cells), tr("Paste"));
    SetActiveCell(col, first);
    selectionModel()->select(
        QItemSelection(model()->index(first - 1, col - 1), model()->index(last - 1, col - 1)),
        QItemSelectionModel::ClearAndSelect);
}

int32_t SpreadGrid::FindValue(const QString& text, bool forward, Qt::CaseSensitivity cs,
                              bool* wrapped) const {
    const int32_t rows = rowCount();
    if (wrapped)
        *wrapped = false;
    if (text.isEmpty() || valueColumn_ < 1 || rows == 0)
        return 0;
    const int32_t step = forward ? 1 : -1;
    // Without a current row the search starts just outside the first (or last) one.
    const int32_t start = currentRow() >= 0 ? currentRow() : (forward ? -1 : rows);
    for (int32_t i = 1; i <= rows; ++i) {
        const int32_t at = start + i * step;
        const int32_t row = ((at % rows) + rows) % rows;
        if (QString::fromStdString(GetText(row + 1, valueColumn_)).contains(text, cs)) {
            if (wrapped)
                *wrapped = at < 0 || at >= rows;
            return row + 1;
        }
    }
    return 0;
}

void SpreadGrid::SetValueColumn(int32_t col) {
    valueColumn_ = col;
}

void SpreadGrid::SetCellMarked(int32_t row, int32_t col, bool marked) {
    QTableWidgetItem* cell = item(row - 1, col - 1);
    if (!cell)
        return;
    if (marked) {
        QFont bold = font();
        bold.setBold(true);
        cell->setFont(bold);
        cell->setBackground(kChangedBackground);
        // Light text of a dark theme would not read on the light mark.
        cell->setForeground(QColor(Qt::black));
    } else {
        cell->setData(Qt::FontRole, QVariant());
        cell->setData(Qt::BackgroundRole, QVariant());
        cell->setData(Qt::ForegroundRole, QVariant());
    }
}

bool SpreadGrid::IsCellMarked(int32_t row, int32_t col) const {
    const QTableWidgetItem* cell = item(row - 1, col - 1);
    return cell && cell->data(Qt::BackgroundRole).isValid();
}

void SpreadGrid::ClearMarks() {
    for (int32_t r = 1; r <= rowCount(); ++r)
        for (int32_t c = 1; c <= columnCount(); ++c)
            if (IsCellMarked(r, c))
                SetCellMarked(r, c, false);
}

void SpreadGrid::CommitEdit() {
    if (state() != EditingState)
        return;
    if (QWidget* editor = indexWidget(currentIndex())) {
        commitData(editor);
        QTableWidget::closeEditor(editor, QAbstractItemDelegate::NoHint);
    }
}

void SpreadGrid::SetEmptyNote(const QString& note) {
    emptyNote_ = note;
    viewport()->update();
}

void SpreadGrid::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) {
    QTableWidget::closeEditor(editor, hint);
    // Enter in the editor: committed, on to the row below.
    if (hint == QAbstractItemDelegate::SubmitModelCache)
        MoveDown();
}

void SpreadGrid::keyPressEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        state() != EditingState && event->modifiers() == Qt::NoModifier) {
        MoveDown();
        return;
    }
    QTableWidget::keyPressEvent(event);
}

void SpreadGrid::MoveDown() {
    const QModelIndex current = currentIndex();
    if (current.isValid() && current.row() + 1 < rowCount())
        setCurrentIndex(model()->index(current.row() + 1, current.column()));
}

void SpreadGrid::paintEvent(QPaintEvent* event) {
    QTableWidget::paintEvent(event);
    if (rowCount() > 0 || emptyNote_.isEmpty())
        return;
    QPainter painter(viewport());
    painter.setPen(palette().color(QPalette::Disabled, QPalette::Text));
    const int margin = fontMetrics().height();
    painter.drawText(viewport()->rect().adjusted(margin, margin, -margin, -margin),
                     Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, emptyNote_);
}

bool SpreadGrid::focusNextPrevChild(bool next) {
    if (!tabKeyNavigation() || !isVisible() || !isEnabled())
        return QTableWidget::focusNextPrevChild(next);
    const QModelIndex target = NeighbourCell(currentIndex(), next);
    if (target.isValid()) {
        setCurrentIndex(target);
        return true;
    }
    QWidget* before = QApplication::focusWidget();
    Q_EMIT Advance(next);
    if (QApplication::focusWidget() != before)
        return true;
    // Nobody took the focus: leave the grid along the window's keyboard order.
    return QWidget::focusNextPrevChild(next);
}

QModelIndex SpreadGrid::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) {
    if (cursorAction != MoveNext && cursorAction != MovePrevious)
        return QTableWidget::moveCursor(cursorAction, modifiers);
    // Tab inside an open editor arrives here; so does gaining the focus without a current
    // cell, which is no move past an end.
    const bool next = cursorAction == MoveNext;
    const QModelIndex target = NeighbourCell(currentIndex(), next);
    if (!target.isValid() && currentIndex().isValid())
        Q_EMIT Advance(next);
    return target;
}

SpreadGrid::Column& SpreadGrid::ColumnAt(int32_t col) {
    if (static_cast<int32_t>(columns_.size()) < col)
        columns_.resize(col);
    return columns_[col - 1];
}

const SpreadGrid::Column* SpreadGrid::FindColumn(int32_t col) const {
    if (col < 1 || col > static_cast<int32_t>(columns_.size()))
        return nullptr;
    return &columns_[col - 1];
}

QTableWidgetItem* SpreadGrid::MakeItem(int32_t col) const {
    auto* cell = new QTableWidgetItem;
    Qt::ItemFlags flags = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
    const CellKind kind = ColumnKind(col);
    if (kind == CellKind::EditText || kind == CellKind::Default)
        flags |= Qt::ItemIsEditable;
    cell->setFlags(flags);
    if (kind == CellKind::Number)
        cell->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return cell;
}

void SpreadGrid::ApplyKind(int32_t col) {
    if (col < 1 || col > columnCount())
        return;
    const QTableWidgetItem* model = MakeItem(col);
    for (int32_t r = 0; r < rowCount(); ++r) {
        if (QTableWidgetItem* cell = item(r, col - 1)) {
            cell->setFlags(model->flags());
            cell->setTextAlignment(Qt::Alignment(model->textAlignment()));
        }
    }
    delete model;
}

QModelIndex SpreadGrid::NeighbourCell(const QModelIndex& from, bool next) const {
    // Only cells that can be edited take a stop.
    std::vector<int> visible;
    for (int c = 0; c < columnCount(); ++c)
        if (!isColumnHidden(c) &&
            (ColumnKind(c + 1) == CellKind::EditText || ColumnKind(c + 1) == CellKind::Default))
            visible.push_back(c);
    if (visible.empty() || rowCount() == 0)
        return {};
    if (!from.isValid())
        return next ? model()->index(0, visible.front()) : QModelIndex();
    auto pos = std::find(visible.begin(), visible.end(), from.column());
    int row = from.row();
    if (next) {
        if (pos != visible.end() && std::next(pos) != visible.end())
            return model()->index(row, *std::next(pos));
        if (pos == visible.end()) {
            auto later = std::upper_bound(visible.begin(), visible.end(), from.column());
            if (later != visible.end())
                return model()->index(row, *later);
        }
        return row + 1 < rowCount() ? model()->index(row + 1, visible.front()) : QModelIndex();
    }
    if (pos != visible.end() && pos != visible.begin())
        return model()->index(row, *std::prev(pos));
    if (pos == visible.end()) {
        auto earlier = std::lower_bound(visible.begin(), visible.end(), from.column());
        if (earlier != visible.begin())
            return model()->index(row, *std::prev(earlier));
    }
    return row > 0 ? model()->index(row - 1, visible.back()) : QModelIndex();
}
