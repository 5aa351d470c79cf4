#include "app/table/TableOpening.h"

#include <QFileInfo>

bool OpensTable(const QStringList& paths) {
    if (paths.size() > 1)
        return true;
    return paths.size() == 1 && QFileInfo(paths.front()).isDir() &&
           !paths.front().endsWith(QStringLiteral(".xml"), Qt::CaseInsensitive);
}

QStringList LocalPaths(const QList<QUrl>& urls) {
    QStringList paths;
    for (const QUrl& url : urls)
        if (url.isLocalFile())
            paths << url.toLocalFile();
    return paths;
}
