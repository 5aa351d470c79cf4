#include "app/table/FindReplace.h"

QRegularExpression SearchFor(const FindOptions& options) {
    if (options.text.isEmpty())
        return QRegularExpression(QStringLiteral("("));
    QString pattern = options.bRegex ? options.text : QRegularExpression::escape(options.text);
    if (options.bWholeCell)
        pattern = QStringLiteral("\\A(?:%1)\\z").arg(pattern);
    return QRegularExpression(pattern, options.bMatchCase
                                           ? QRegularExpression::NoPatternOption
                                           : QRegularExpression::CaseInsensitiveOption);
}

QString Replaced(const QRegularExpression& search, const FindOptions& options, const QString& value,
                 const QString& with) {
    if (!search.isValid() || !search.match(value).hasMatch())
        return value;
    if (options.bRegex)
        return QString(value).replace(search, with);
    // Plain text is put in as it stands, backslashes and all.
    QString result;
    qsizetype last = 0;
    for (auto matches = search.globalMatch(value); matches.hasNext();) {
        const QRegularExpressionMatch match = matches.next();
        result += value.mid(last, match.capturedStart() - last) + with;
        last = match.capturedEnd();
    }
    return result + value.mid(last);
}
