#pragma once

#include <string>

// True when the text without leading and trailing blanks is empty.
bool IsBlank(const std::string& text);

// Text without leading and trailing blanks (spaces only, as the workflow's Trim does).
std::string Trim(const std::string& text);

// Splits at the last path separator: path keeps the part before it, name gets the rest.
// Without a separator path is left as it is and name becomes empty.
void SplitPath(std::string& path, std::string& name);

// Upper-cases ASCII letters and, through Qt, every other letter.
std::string UpperCase(const std::string& text);
