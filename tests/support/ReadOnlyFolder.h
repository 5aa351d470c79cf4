#pragma once

#include <string>

// Makes a folder refuse new files while it lives; chmod does not stop root, so it may also mark
// the folder immutable. locked() is false when neither took effect.
class ReadOnlyFolder {
public:
    explicit ReadOnlyFolder(std::string dir);
    ~ReadOnlyFolder();
    ReadOnlyFolder(const ReadOnlyFolder&) = delete;
    ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;

    bool locked() const { return locked_; }

private:
    std::string dir_;
    bool immutable_ = false;
    bool locked_ = false;
};
