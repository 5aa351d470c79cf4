#pragma once

#include <string>
#include <vector>

// Points GIO at a desktop of its own: no MIME database and no applications except one that
// is registered for the given content types and starts nothing of note. Without the MIME
// database GIO tells content types by sniffing: text is "text/plain", other data
// "application/octet-stream". Call before anything in the process uses GIO, e.g. from a
// static initializer of the test file; the folder is removed when the process ends.
void UseDesktopSandbox(const std::vector<std::string>& associatedTypes);
