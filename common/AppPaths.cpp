#include "common/AppPaths.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace {
std::string& Override() {
    static std::string path;
    return path;
}

QFileInfo Executable() {
    if (!Override().empty())
        return QFileInfo(QString::fromStdString(Override()));
    return QFileInfo(QCoreApplication::applicationFilePath());
}
} // namespace

std::string ApplicationDir() {
    return Executable().absolutePath().toStdString();
}

std::string ExecutableBaseName() {
    return Executable().completeBaseName().toStdString();
}

void OverrideExecutablePath(const std::string& executablePath) {
    Override() = executablePath;
}
