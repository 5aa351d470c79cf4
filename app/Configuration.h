#pragma once

#include <cstdint>
#include <string>
#include <vector>

class DOMWrapper;

// One configured field: where it is in a data file and what it is called on screen.
struct FieldInfo {
    std::string sPath;
    std::string sAlias;
};

// What a window needs of one configuration of the configuration file, read once.
struct ConfigurationInfo {
    int32_t nNumber = 0;
    std::string sDescription;
    std::string sCheckPath; // the origin-file check, blank when there is none
    std::vector<FieldInfo> Fields;
};

// At least three digits, zero-padded: 7 -> 007, -5 -> -005, 1234 -> 1234. Configurations are
// found again by this text.
std::string ConfigNumberText(int32_t nNumber);

// Reads the configuration numbered nNumber from the configuration document, with the same
// selections the main window's loading uses. Throws Failure when the configuration lacks its
// check or a field lacks its path or alias.
ConfigurationInfo ReadConfiguration(DOMWrapper& ConfigDoc, int32_t nNumber);
