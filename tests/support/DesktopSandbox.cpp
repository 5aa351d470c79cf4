#include "support/DesktopSandbox.h"

#include <QApplication>
#include <QUrl>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace {

class SandboxFolder {
public:
    SandboxFolder() {
        std::string pattern = (fs::temp_directory_path() / "ravlen-desktop-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            throw std::runtime_error("cannot create the desktop sandbox");
        path = pattern;
    }
    ~SandboxFolder() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
    fs::path path;
};

} // namespace

void UseDesktopSandbox(const std::vector<std::string>& associatedTypes) {
    static SandboxFolder folder;
    const fs::path applications = folder.path / "data" / "applications";
    fs::create_directories(applications);
    fs::create_directories(folder.path / "config");
    fs::create_directories(folder.path / "system");

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

    ::setenv("XDG_DATA_HOME", (folder.path / "data").c_str(), 1);
    ::setenv("XDG_DATA_DIRS", (folder.path / "system").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (folder.path / "config").c_str(), 1);
    ::setenv("XDG_CONFIG_DIRS", (folder.path / "config").c_str(), 1);
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
