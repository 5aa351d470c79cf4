#pragma once

#include "xml/DOMWrapper.h"

#include <cstdint>
#include <string>

// Paths to one picked element or attribute of a data file, for a configuration's fields.
//
// A path is absolute, one step per element, for a document loaded under the RidoRudu
// declaration (kRidoRuduDeclaration, nothing else declared): RidoRudu names as FD:name, names
// in no namespace as they are, names in any other namespace as
// *[local-name()='n' and namespace-uri()='u']. Where siblings share the step's name, the step
// names the first attribute whose value no such sibling shares ([@Table='T12']), and only when
// none does, the position among them ([3]). An attribute is a last step /@Name.

struct FieldProposal {
    std::string sPath;
    // The value of the attribute that tells the element apart, else its local name; for an
    // attribute, its element's alias and the attribute's local name.
    std::string sAlias;
};

// The path and alias for node, a node of doc. The path has been evaluated through doc and
// selects exactly node; Failure when it would not (doc's node list is replaced).
FieldProposal ProposeField(DOMWrapper& doc, const DOMNode& node);

// How many nodes path selects in doc (its node list is replaced). Failure for an expression
// that is not valid or does not give a node-set.
int32_t CountMatches(DOMWrapper& doc, const std::string& path);

// text as an XPath string literal: in single quotes, in double quotes when it holds a single
// one, and as a concat() of both kinds when it holds both.
std::string XPathLiteral(const std::string& text);
