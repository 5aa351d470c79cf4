#pragma once

#include "xml/DOMWrapper.h"

#include <cstdint>
#include <string>
#include <vector>

// A loaded document as a tree of elements and attributes that a window can read a level at a
// time, so that opening a large file costs no more than loading it.

struct OutlineNode {
    DOMNode node;
    bool bAttribute = false;
    std::string sName;      // qualified, as the file writes it: "FD:Field", "Name"
    std::string sLocalName; // without prefix
    std::string sNamespace; // URI, "" for none
    std::string sValue;     // an attribute's value, or the text of an element that holds text
    // An attribute, or an element without child elements (its content is text, maybe empty).
    bool bHoldsText = false;
    bool bHasChildren = false; // attributes or child elements below it
};

// What the outline shows of an element or attribute node.
OutlineNode DescribeNode(const DOMNode& node);

// The root element when parent is unset; else parent's attributes, then its child elements.
std::vector<OutlineNode> OutlineChildren(const DOMWrapper& doc, const DOMNode& parent);

// The elements from the root down to node's element (an attribute's owner last), root first.
std::vector<DOMNode> NodeAncestry(const DOMNode& node);

// The next element or attribute after `after` (from the start when unset), in document order,
// whose qualified name or value contains text, ignoring the case of ASCII letters; unset when
// there is none.
DOMNode FindNodeAfter(const DOMWrapper& doc, const DOMNode& after, const std::string& text);

// Every element that holds text and every attribute, in document order (an element before its
// attributes).
std::vector<DOMNode> TextNodesInOrder(const DOMWrapper& doc);

// Where an element read from a file stands in it, as offsets into the text the parser decoded
// (the file's own offsets for UTF-8 without a byte-order mark): '<' of the start tag, and '<'
// of the end tag, equal to the start tag's '/' for the form <a/>. False for an element that
// was not read from a file.
bool ElementSourcePlaces(const DOMNode& element, uint64_t& open, uint64_t& endOpen,
                         bool& emptyForm);
