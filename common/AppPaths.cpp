#include "common/AppPaths.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStandardPaths>

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

std::string ConfigurationFilePath() {
    const std::string beside = ApplicationDir() + "/" + ExecutableBaseName() + ".lib";
    if (QFileInfo(QString::fromStdString(beside)).isFile())
        return beside;
    // GenericConfigLocation is $XDG_CONFIG_HOME, then each of $XDG_CONFIG_DIRS.
    const QString shared = QStandardPaths::locate(QStandardPaths::GenericConfigLocation,
                                                  QStringLiteral("ravlen/ravlen.lib"));
    return shared.isEmpty() ? beside : shared.toStdString();
}
