#include "common/Log.h"

#include "common/Failure.h"

Q_LOGGING_CATEGORY(lcRavlen, "ravlen")

void LogFailure(const std::string& activity, const std::exception& e) {
    const auto* failure = dynamic_cast<const Failure*>(&e);
    // Descriptions break lines with CR LF; one log record reads better with plain blanks.
    QString text = QString::fromStdString(FailureText(e)).replace(QLatin1String("\r\n"), " ");
    if (failure && !failure->detail.empty())
        text += QLatin1String(" (") + QString::fromStdString(failure->detail) + QLatin1Char(')');
    qCWarning(lcRavlen).noquote() << QString::fromStdString(activity) + QLatin1String(": ") + text;
}
