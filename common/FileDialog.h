#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

// The window's one common file dialog. Settings that a caller does not set keep the value
// the previous caller gave them. A cancel raises Failure(kDialogCancelledNumber).
class CommonDialog {
public:
    enum class Mode { Open, Save, Folder, OpenMany };

    std::string FileName;
    // Every file chosen in ShowOpenMany, or in ShowOpen with MultiSelect; FileName is the
    // first of them.
    std::vector<std::string> FileNames;
    std::string InitDir;
    std::string Filter; // "Text|pattern" pairs separated by "|"
    // Appended to a name chosen in the save dialog without an extension, e.g. "xml".
    std::string DefaultExt;
    // ShowOpen lets several files be chosen at once.
    bool MultiSelect = false;

    void ShowOpen();
    void ShowSave();
    // Picks a folder; FileName receives its path. Filter and DefaultExt are not used.
    void ShowFolder();
    // Picks one or more existing files, or one folder.
    void ShowOpenMany();

    // Shows the dialog and returns the chosen paths (one, but in ShowOpenMany and a ShowOpen
    // with MultiSelect), or nothing on cancel.
    using Backend =
        std::function<std::optional<std::vector<std::string>>(Mode, const CommonDialog&)>;
    // Installs a backend for every dialog and returns the one it replaces; the application
    // installs the Qt backend, tests a scripted one.
    static Backend SetBackend(Backend backend);

private:
    void Show(Mode mode);
};

// Converts a "Text|pattern|Text|pattern" filter into the form QFileDialog takes.
std::string QtFilterFromCommonFilter(const std::string& filter);
