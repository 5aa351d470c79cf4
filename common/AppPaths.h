#pragma once

#include <string>

// Folder of the running executable and its base name, as the start-up composes the
// configuration path from them. Tests and the benchmark place a configuration elsewhere
// by overriding the executable's path.
std::string ApplicationDir();
std::string ExecutableBaseName();
void OverrideExecutablePath(const std::string& executablePath);
