#pragma once

#include <QList>
#include <QStringList>
#include <QUrl>

// Whether a drop opens the table of many files: several local files, or one folder (a folder
// named like an XML file stays a drop of one file, which the load then refuses).
bool IsTableDrop(const QList<QUrl>& urls);

// The local paths among the URLs.
QStringList LocalPaths(const QList<QUrl>& urls);
