#include "app/table/FilesView.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QScrollBar>

namespace {

// The user's language; a "C" locale's collator compares code points and knows no numbers.
QLocale CollationLocale() {
    const QLocale locale;
    return locale.language() == QLocale::C ? QLocale(QLocale::English) : locale;
}

} // namespace

TableSortFilter::TableSortFilter(QObject* parent)
    : QSortFilterProxyModel(parent), collator_(CollationLocale()) {
    collator_.setNumericMode(true);
    collator_.setCaseSensitivity(Qt::CaseInsensitive);
}

bool TableSortFilter::SetFilter(const QString& text, bool regex) {
    QRegularExpression filter(regex ? text : QRegularExpression::escape(text),
                              QRegularExpression::CaseInsensitiveOption);
    if (!filter.isValid())
        return false;
    filter_ = text.isEmpty() ? QRegularExpression() : filter;
    invalidateFilter();
    return true;
}

bool TableSortFilter::lessThan(const QModelIndex& left, const QModelIndex& right) const {
    // An unreadable file's reason is no value to sort by.
    const int role = left.column() == 0 ? Qt::DisplayRole : Qt::EditRole;
    const QString a = left.data(role).toString();
    const QString b = right.data(role).toString();
    bool aNumber = false, bNumber = false;
    const double x = a.trimmed().toDouble(&aNumber);
    const double y = b.trimmed().toDouble(&bNumber);
    if (aNumber && bNumber && x != y)
        return x < y;
    return collator_.compare(a, b) < 0;
}

bool TableSortFilter::filterAcceptsRow(int row, const QModelIndex& parent) const {
    if (filter_.pattern().isEmpty())
        return true;
    const QAbstractItemModel* source = sourceModel();
    for (int col = 0; col < source->columnCount(parent); ++col)
        if (filter_.match(source->index(row, col, parent).data().toString()).hasMatch())
            return true;
    return false;
}

void FilesView::FreezeFirstColumn() {
    frozen_ = new QTableView(this);
    frozen_->setObjectName(QStringLiteral("tblFrozen"));
    frozen_->setModel(model());
    frozen_->setSelectionModel(selectionModel());
    frozen_->setFocusPolicy(Qt::NoFocus);
    frozen_->verticalHeader()->hide();
    frozen_->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    frozen_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    frozen_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    frozen_->setHorizontalScrollMode(horizontalScrollMode());
    frozen_->setVerticalScrollMode(verticalScrollMode());
    frozen_->setWordWrap(false);
    frozen_->setStyleSheet(QStringLiteral("QTableView { border: none; }"));
    // A click on its header sorts as a click on the view's own would.
    frozen_->horizontalHeader()->setSortIndicator(horizontalHeader()->sortIndicatorSection(),
                                                  horizontalHeader()->sortIndicatorOrder());
    frozen_->setSortingEnabled(isSortingEnabled());
    connect(frozen_->horizontalHeader(), &QHeaderView::sortIndicatorChanged, horizontalHeader(),
            &QHeaderView::setSortIndicator);
    connect(horizontalHeader(), &QHeaderView::sortIndicatorChanged, frozen_->horizontalHeader(),
            [this](int section, Qt::SortOrder order) {
                const QSignalBlocker quiet(frozen_->horizontalHeader());
                frozen_->horizontalHeader()->setSortIndicator(section, order);
            });
    connect(horizontalHeader(), &QHeaderView::sectionResized, this, [this](int section) {
        if (section == 0)
            PlaceFrozen();
    });
    connect(verticalHeader(), &QHeaderView::sectionResized, frozen_,
            [this](int section, int, int size) { frozen_->setRowHeight(section, size); });
    connect(frozen_->verticalScrollBar(), &QAbstractSlider::valueChanged, verticalScrollBar(),
            &QAbstractSlider::setValue);
    connect(verticalScrollBar(), &QAbstractSlider::valueChanged, frozen_->verticalScrollBar(),
            &QAbstractSlider::setValue);
    const auto showOnlyFirst = [this] {
        for (int col = 1; col < model()->columnCount(); ++col)
            frozen_->setColumnHidden(col, true);
        PlaceFrozen();
    };
    connect(model(), &QAbstractItemModel::modelReset, this, showOnlyFirst);
    connect(model(), &QAbstractItemModel::layoutChanged, this, showOnlyFirst);
    showOnlyFirst();
    viewport()->stackUnder(frozen_);
    frozen_->show();
}

void FilesView::PlaceFrozen() {
    if (!frozen_)
        return;
    frozen_->setColumnWidth(0, columnWidth(0));
    frozen_->setGeometry(verticalHeader()->width() + frameWidth(), frameWidth(), columnWidth(0),
                         viewport()->height() + horizontalHeader()->height());
}

void FilesView::resizeEvent(QResizeEvent* event) {
    QTableView::resizeEvent(event);
    PlaceFrozen();
}

void FilesView::scrollTo(const QModelIndex& index, ScrollHint hint) {
    // A cell under the frozen column is scrolled into sight beside it.
    if (!frozen_ || index.column() > 0)
        QTableView::scrollTo(index, hint);
    if (frozen_ && index.isValid() && index.column() > 0 &&
        visualRect(index).left() < columnWidth(0))
        horizontalScrollBar()->setValue(std::max(
            0, horizontalScrollBar()->value() - (columnWidth(0) - visualRect(index).left())));
}

void FilesView::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) {
    QTableView::closeEditor(editor, hint);
    // Enter in the editor: committed, on to the row below.
    if (hint == QAbstractItemDelegate::SubmitModelCache)
        MoveDown();
}

void FilesView::keyPressEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        state() != EditingState && event->modifiers() == Qt::NoModifier) {
        MoveDown();
        return;
    }
    QTableView::keyPressEvent(event);
}

void FilesView::MoveDown() {
    const QModelIndex current = currentIndex();
    if (current.isValid() && current.row() + 1 < model()->rowCount())
        setCurrentIndex(model()->index(current.row() + 1, current.column()));
}

bool FilesView::focusNextPrevChild(bool next) {
    if (!tabKeyNavigation() || !isVisible() || !isEnabled())
        return QTableView::focusNextPrevChild(next);
    const QModelIndex target = NeighbourCell(currentIndex(), next);
    if (target.isValid()) {
        setCurrentIndex(target);
        return true;
    }
    // Past either end: on along the window's keyboard order, to the buttons.
    return QWidget::focusNextPrevChild(next);
}

QModelIndex FilesView::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) {
    if (cursorAction != MoveNext && cursorAction != MovePrevious)
        return QTableView::moveCursor(cursorAction, modifiers);
    return NeighbourCell(currentIndex(), cursorAction == MoveNext);
}

QModelIndex FilesView::NeighbourCell(const QModelIndex& from, bool next) const {
    const int rows = model()->rowCount();
    const int cols = model()->columnCount();
    if (rows == 0 || cols == 0)
        return {};
    if (!from.isValid())
        return next ? model()->index(0, 0) : QModelIndex();
    int row = from.row();
    int col = from.column() + (next ? 1 : -1);
    if (col >= cols) {
        col = 0;
        ++row;
    } else if (col < 0) {
        col = cols - 1;
        --row;
    }
    return row >= 0 && row < rows ? model()->index(row, col) : QModelIndex();
}
