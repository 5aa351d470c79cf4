#pragma once

#include <QList>
#include <QStringList>
#include <QUrl>

// Whether these paths open the table of many files: several paths, or one folder (a folder
// named like an XML file stays a single file, which the load then refuses). The command line
// and drops go by this rule.
bool OpensTable(const QStringList& paths);

// The local paths among the URLs.
QStringList LocalPaths(const QList<QUrl>& urls);
