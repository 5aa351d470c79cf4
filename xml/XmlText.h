#pragma once

#include <libxml/tree.h>

#include <string>
#include <utility>
#include <vector>

// Whether value is well-formed UTF-8 of characters XML allows: anything else would be saved
// into a file that no parser loads again.
bool IsXmlText(const std::string& value);

// Failure unless IsXmlText(value).
void RequireXmlText(const std::string& value);

// The node's text content, as xmlNodeGetContent gives it; "" when it has none.
std::string ContentOf(xmlNodePtr node);

// The name of an element or attribute as written: with the prefix of its namespace, if any.
// An element made with a prefixed name and no namespace keeps that prefix in its name.
std::string QualifiedName(xmlNodePtr node);

// Parses a selection-namespace list: blank-separated xmlns:prefix='uri' declarations, in
// single or double quotes. False when the list is malformed, or binds what XML namespaces
// forbid: a prefix twice, a prefix to the empty name, xml to another namespace or another
// prefix to xml's, or xmlns at all. Refusing a repeated prefix keeps every evaluator on one
// binding.
bool ParseNamespaceDeclarations(const std::string& text,
                                std::vector<std::pair<std::string, std::string>>& result);
