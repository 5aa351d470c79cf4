#pragma once

#include "export/ShellExecute.h"

#include <string>
#include <vector>

// Points GIO at a desktop of its own with one application, registered for the given content
// types. Without a MIME database GIO sniffs: text is "text/plain", other data
// "application/octet-stream". Call before anything uses GIO, e.g. from a static initializer.
void UseDesktopSandbox(const std::vector<std::string>& associatedTypes);

// Stands in for the desktop's opener while it lives: records each URI and answers with result.
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
