#pragma once

#include <QModelIndex>
#include <QString>

#include <utility>
#include <vector>

class QAbstractItemModel;

// What the range keys of a table ask for, worked out on the model a view shows (sorted or
// filtered as it may be), so that each edit lands on the cell the user sees.
using ViewEdits = std::vector<std::pair<QModelIndex, QString>>;

// The selected cells' bounding rectangle as tab-separated lines of their values; cells not
// selected, and what an unreadable file shows instead of values, stay empty.
QString CopyText(const QModelIndexList& selection);

// Tab-separated lines pasted from the current cell on, as far as the view reaches; one value
// pasted over several selected cells fills each of them.
ViewEdits PasteEdits(const QAbstractItemModel& view, const QModelIndex& current,
                     const QModelIndexList& selection, const QString& text);

// The top selected cell of each column, copied into the column's other selected cells.
ViewEdits FillDownEdits(const QModelIndexList& selection);

// Empty values for the selected cells.
ViewEdits ClearEdits(const QModelIndexList& selection);
