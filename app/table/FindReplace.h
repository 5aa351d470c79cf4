#pragma once

#include <QRegularExpression>
#include <QString>

// What Find and Replace look for in a cell's value.
struct FindOptions {
    QString text;
    bool bRegex = false;
    bool bMatchCase = false;
    bool bWholeCell = false;
};

// The search a set of options stands for; invalid for an expression that is not valid, or
// for empty text.
QRegularExpression SearchFor(const FindOptions& options);

// value with each match replaced: by with as it stands for plain text; for an expression, \1
// and the like in with stand for its captures. value itself when nothing matches.
QString Replaced(const QRegularExpression& search, const FindOptions& options, const QString& value,
                 const QString& with);
