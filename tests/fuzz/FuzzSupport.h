#pragma once

#include "common/MessageBox.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace fuzz {

// A private folder for the whole run, removed at exit; inputs are written into it because
// DOMWrapper reads and writes files, not memory.
inline const std::string& WorkDir() {
    // Never destroyed, so the exit handler that removes the folder can still read its name.
    static const std::string* dir = [] {
        // On a memory file system the saves' fsync costs nothing.
        const std::string base = std::filesystem::is_directory("/dev/shm")
                                     ? "/dev/shm"
                                     : std::filesystem::temp_directory_path().string();
        auto* pattern = new std::string(base + "/ravlen-fuzz-XXXXXX");
        if (!::mkdtemp(pattern->data()))
            std::abort();
        std::atexit([] { std::filesystem::remove_all(WorkDir()); });
        return pattern;
    }();
    return *dir;
}

inline std::string WriteFile(const std::string& name, const uint8_t* data, size_t size) {
    const std::string path = WorkDir() + "/" + name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    return path;
}

inline std::string WriteFile(const std::string& name, const std::string& content) {
    return WriteFile(name, reinterpret_cast<const uint8_t*>(content.data()), content.size());
}

[[noreturn]] inline void Fail(const char* what, const std::string& detail) {
    std::fprintf(stderr, "FUZZ FAILURE: %s\n%s\n", what, detail.c_str());
    std::abort();
}

// Every message box is answered at once: OK, or Cancel where there is a choice, so no guard
// ever saves on its own.
inline void SilenceMessageBoxes() {
    SetMessageBoxHandler([](const std::string&, const std::string&, MsgButtons buttons) {
        return buttons == MsgButtons::OK ? MsgAnswer::OK : MsgAnswer::No;
    });
}

} // namespace fuzz
