#include "app/table/CellRanges.h"

#include <QAbstractItemModel>
#include <QStringList>

#include <algorithm>
#include <climits>
#include <map>

QString CopyText(const QModelIndexList& selection) {
    if (selection.isEmpty())
        return {};
    int top = INT_MAX, left = INT_MAX, bottom = -1, right = -1;
    for (const QModelIndex& i : selection) {
        top = std::min(top, i.row());
        bottom = std::max(bottom, i.row());
        left = std::min(left, i.column());
        right = std::max(right, i.column());
    }
    std::vector<QStringList> lines(static_cast<size_t>(bottom - top + 1),
                                   QStringList(right - left + 1, QString()));
    // The file's name is shown, a value is edited: an unreadable file's reason is neither.
    for (const QModelIndex& i : selection)
        lines[static_cast<size_t>(i.row() - top)][i.column() - left] =
            i.data(i.column() == 0 ? Qt::DisplayRole : Qt::EditRole).toString();
    QString text;
    for (const QStringList& line : lines)
        text += line.join('\t') + '\n';
    return text;
}

ViewEdits PasteEdits(const QAbstractItemModel& view, const QModelIndex& current,
                     const QModelIndexList& selection, const QString& text) {
    QStringList lines = text.split('\n');
    if (!lines.isEmpty() && lines.back().isEmpty())
        lines.removeLast();
    if (lines.isEmpty())
        return {};
    std::vector<QStringList> cells;
    for (QString& line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
        cells.push_back(line.split('\t'));
    }
    ViewEdits edits;
    if (cells.size() == 1 && cells.front().size() == 1 && selection.size() > 1) {
        for (const QModelIndex& i : selection)
            edits.emplace_back(i, cells.front().front());
    } else if (current.isValid()) {
        for (size_t r = 0; r < cells.size(); ++r)
            for (qsizetype c = 0; c < cells[r].size(); ++c) {
                const QModelIndex at = view.index(current.row() + static_cast<int>(r),
                                                  current.column() + static_cast<int>(c));
                if (at.isValid())
                    edits.emplace_back(at, cells[r][c]);
            }
    }
    return edits;
}

ViewEdits FillDownEdits(const QModelIndexList& selection) {
    std::map<int, QModelIndex> tops;
    for (const QModelIndex& i : selection) {
        auto [at, fresh] = tops.try_emplace(i.column(), i);
        if (!fresh && i.row() < at->second.row())
            at->second = i;
    }
    ViewEdits edits;
    for (const QModelIndex& i : selection) {
        const QModelIndex& top = tops[i.column()];
        if (i != top)
            edits.emplace_back(i, top.data(Qt::EditRole).toString());
    }
    return edits;
}

ViewEdits ClearEdits(const QModelIndexList& selection) {
    ViewEdits edits;
    for (const QModelIndex& i : selection)
        edits.emplace_back(i, QString());
    return edits;
}
