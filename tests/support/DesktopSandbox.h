#pragma once

#include "export/ShellExecute.h"

#include <string>
#include <vector>

// Points GIO at a desktop of its own: no MIME database and no applications except one that
// is registered for the given content types and starts nothing of note. Without the MIME
// database GIO tells content types by sniffing: text is "text/plain", other data
// "application/octet-stream". Call before anything in the process uses GIO, e.g. from a
// static initializer of the test file; the folder is removed when the process ends.
void UseDesktopSandbox(const std::vector<std::string>& associatedTypes);

// Stands in for the desktop's opener while it lives: records each file URI handed to it and
// answers with the given result, so that no application is started.
class RecordingLauncher {
public:
    explicit RecordingLauncher(ShellLaunchResult result = ShellLaunchResult::Launched);
    ~RecordingLauncher();
    RecordingLauncher(const RecordingLauncher&) = delete;
    RecordingLauncher& operator=(const RecordingLauncher&) = delete;

    std::vector<std::string> uris;
    // Whether the wait cursor was showing when each request came.
    std::vector<bool> waitCursorShown;

private:
    ShellLauncher previous_;
};

// The "file://" URI of a local path, as the opener receives it.
std::string FileUri(const std::string& path);
