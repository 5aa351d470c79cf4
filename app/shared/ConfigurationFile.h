#pragma once

#include "app/shared/Configuration.h"

#include <cstdint>
#include <optional>
#include <string>

class DOMWrapper;

// Changes to the configuration file made in place: every byte outside the changed Config
// element stays as it was, and the file is replaced atomically.

// A configuration as it is to be written.
struct ConfigurationDraft {
    int32_t nNumber = 0;
    std::string sDescription;
    std::string sCheckPath; // empty for no origin-file check
    std::vector<FieldInfo> Fields;
};

// One more than the highest Number of the configuration document (1 when there is none).
int32_t NextConfigurationNumber(DOMWrapper& ConfigDoc);

// The file that a change of the configurations goes to: sInUse when it may be written, else
// the user's own (ravlen/ravlen.lib in the user's configuration folder), which is first made
// a copy of sInUse so that no configuration leaves the list. Throws Failure when neither can
// be written, or when the user's file would not be the one read next.
std::string ConfigurationSaveTarget(const std::string& sInUse);

// Writes draft into the configuration file at sPath: in place of the Config whose Number reads
// as replacing's number text, or else as the root's last child, indented like its siblings.
// Throws Failure when that Config is not found or the file cannot be edited in place.
void WriteConfiguration(const std::string& sPath, const ConfigurationDraft& draft,
                        std::optional<int32_t> replacing = std::nullopt);

// Removes the Config numbered nNumber (the first of them) and its line from the file at sPath.
void DeleteConfiguration(const std::string& sPath, int32_t nNumber);

// The Config element's markup, its first line unindented, the others at indent and step.
std::string ConfigurationMarkup(const ConfigurationDraft& draft, const std::string& indent,
                                const std::string& step, const std::string& eol);
