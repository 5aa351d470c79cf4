#pragma once

// Installs the Qt message box and file dialog behind the program's seams.
void InstallQtPlatform();
