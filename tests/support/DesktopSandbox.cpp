#include "support/DesktopSandbox.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QUrl>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace fs = std::filesystem;

void UseDesktopSandbox(const std::vector<std::string>& associatedTypes) {
    static QTemporaryDir folder(QDir::tempPath() + "/ravlen-desktop-XXXXXX");
    if (!folder.isValid())
        throw std::runtime_error("cannot create the desktop sandbox");
    const fs::path root = folder.path().toStdString();
    const fs::path applications = root / "data" / "applications";
    fs::create_directories(applications);
    fs::create_directories(root / "config");
    fs::create_directories(root / "system");

    std::string mimeTypes;
    std::string cache = "[MIME Cache]\n";
    for (const std::string& type : associatedTypes) {
        mimeTypes += type + ";";
        cache += type + "=ravlen-test-viewer.desktop;\n";
    }
    std::ofstream(applications / "ravlen-test-viewer.desktop")
        << "[Desktop Entry]\nType=Application\nName=Test viewer\nExec=true %u\nMimeType="
        << mimeTypes << "\n";
    std::ofstream(applications / "mimeinfo.cache") << cache;

    ::setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);
    ::setenv("XDG_DATA_DIRS", (root / "system").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
    ::setenv("XDG_CONFIG_DIRS", (root / "config").c_str(), 1);
    ::setenv("GIO_USE_VFS", "local", 1);
    ::unsetenv("XDG_CURRENT_DESKTOP");
}

RecordingLauncher::RecordingLauncher(ShellLaunchResult result) {
    previous_ = SetShellLauncher([this, result](const std::string& uri) {
        uris.push_back(uri);
        waitCursorShown.push_back(QApplication::overrideCursor() != nullptr);
        return result;
    });
}

RecordingLauncher::~RecordingLauncher() {
    SetShellLauncher(previous_);
}

std::string FileUri(const std::string& path) {
    return QUrl::fromLocalFile(QString::fromStdString(path))
        .toString(QUrl::FullyEncoded)
        .toStdString();
}
