#pragma once

#include <string>
#include <utility>
#include <vector>

// Whether value is well-formed UTF-8 of characters XML allows: anything else would be saved
// into a file that no parser loads again.
bool IsXmlText(const std::string& value);

// Failure unless IsXmlText(value).
void RequireXmlText(const std::string& value);

// Parses a selection-namespace list: blank-separated xmlns:prefix='uri' declarations, in
// single or double quotes. False when the list is malformed.
bool ParseNamespaceDeclarations(const std::string& text,
                                std::vector<std::pair<std::string, std::string>>& result);
