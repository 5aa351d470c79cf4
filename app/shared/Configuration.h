#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <vector>

class DOMWrapper;

// One configured field: where it is in a data file and what it is called on screen.
struct FieldInfo {
    std::string sPath;
    std::string sAlias;
    // Set when the field has no alias and the reader was told to go on without it: the failure
    // that reading the alias raised.
    std::exception_ptr missingAlias;
};

// What a window needs of one configuration of the configuration file, read once.
struct ConfigurationInfo {
    int32_t nNumber = 0;
    std::string sDescription;
    std::string sCheckPath; // the origin-file check, blank when there is none
    std::vector<FieldInfo> Fields;
};

// One entry of the configuration list: its number and the text the list shows.
struct ConfigurationEntry {
    int32_t nNumber = 0;
    std::string sText; // the Number as written, a blank and the Description
};

// At least three digits, zero-padded: 7 -> 007, -5 -> -005, 1234 -> 1234. Configurations are
// found again by this text.
std::string ConfigNumberText(int32_t nNumber);

// A configuration's Number as a number. Throws Failure (type mismatch, overflow) for a text
// that is not a whole number or does not fit.
int32_t ConfigNumber(const std::string& text);

// Every configuration of the configuration document, in the file's order. Throws Failure for
// a Number that is not a number.
std::vector<ConfigurationEntry> ListConfigurations(DOMWrapper& ConfigDoc);

// Told what is being read before each step, for the details of a failure.
using ReadingStep = std::function<void(const std::string& step)>;

// The paths a file is read through: the check's, when there is one, then the fields'.
std::vector<std::string> ConfiguredPaths(const ConfigurationInfo& config);

enum class Aliases { Required, Optional };

// Reads the configuration numbered nNumber from the configuration document. Throws Failure
// when the configuration lacks its check or a field lacks its path, or its alias when aliases
// are required; an optional alias that is missing is kept in the field's missingAlias.
ConfigurationInfo ReadConfiguration(DOMWrapper& ConfigDoc, int32_t nNumber,
                                    Aliases aliases = Aliases::Required,
                                    const ReadingStep& onStep = {});
