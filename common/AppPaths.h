#pragma once

#include <string>

// Folder of the running executable and its base name, as the start-up composes the
// configuration path from them. Tests and the benchmark place a configuration elsewhere
// by overriding the executable's path.
std::string ApplicationDir();
std::string ExecutableBaseName();
void OverrideExecutablePath(const std::string& executablePath);

// The configuration file to read: the one beside the executable (its base name and ".lib"),
// else ravlen/ravlen.lib in the user's configuration folder, else in the system's
// configuration folders (XDG). When none exists, the path beside the executable.
std::string ConfigurationFilePath();
