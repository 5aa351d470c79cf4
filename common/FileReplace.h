#pragma once

#include <string>

// Whether a save may put a new file at path: nothing is there yet, or a regular file that this
// process may write. A file without its owner's write permission counts as read-only, also
// for root, who could write it anyway.
bool MayReplaceFile(const std::string& path);
