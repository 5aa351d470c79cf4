#pragma once

#include <functional>
#include <string>

// Installs the Qt message box and file dialog behind the program's seams.
void InstallQtPlatform();

// While it lives, the save dialog hands back the names that its owner refuses without asking
// whether to replace them: the owner's refusal must come before any such question. The dialog
// keeps its question for every other existing file.
class RefusedSaveNames {
public:
    explicit RefusedSaveNames(std::function<bool(const std::string& path)> refused);
    ~RefusedSaveNames();
    RefusedSaveNames(const RefusedSaveNames&) = delete;
    RefusedSaveNames& operator=(const RefusedSaveNames&) = delete;
};
