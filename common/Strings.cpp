#include "common/Strings.h"

#include <QDir>
#include <QString>

std::string Trim(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    const auto last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

bool IsBlank(const std::string& text) {
    return Trim(text).empty();
}

void SplitPath(std::string& path, std::string& name) {
    const auto separator = path.rfind(QDir::separator().toLatin1());
    if (separator == std::string::npos) {
        name.clear();
        return;
    }
    name = path.substr(separator + 1);
    path.erase(separator);
}

std::string UpperCase(const std::string& text) {
    return QString::fromStdString(text).toUpper().toStdString();
}
