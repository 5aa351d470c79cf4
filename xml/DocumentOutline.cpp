#include "xml/DocumentOutline.h"

#include "xml/SourcePositions.h"
#include "xml/XmlDocHolder.h"

#include <libxml/tree.h>

#include <algorithm>
#include <cctype>

namespace {

std::string Text(const xmlChar* text) {
    return text ? reinterpret_cast<const char*>(text) : std::string();
}

std::string Content(xmlNodePtr node) {
    xmlChar* content = xmlNodeGetContent(node);
    std::string text = Text(content);
    xmlFree(content);
    return text;
}

bool HasChildElements(xmlNodePtr element) {
    for (xmlNodePtr child = element->children; child; child = child->next)
        if (child->type == XML_ELEMENT_NODE)
            return true;
    return false;
}

DOMNode Wrap(xmlNodePtr node) {
    XmlDocHolder* holder = XmlDocHolder::Of(node);
    return DOMNode(holder ? holder->shared_from_this() : nullptr, node);
}

xmlNodePtr RootOf(const DOMWrapper& doc) {
    xmlDocPtr document = doc.Document();
    return document ? xmlDocGetRootElement(document) : nullptr;
}

// Document order over elements and attributes: an element, its attributes, its children.
xmlNodePtr NextInOrder(xmlNodePtr node) {
    if (node->type == XML_ATTRIBUTE_NODE) {
        if (node->next)
            return node->next;
        node = node->parent;
        for (xmlNodePtr child = node->children; child; child = child->next)
            if (child->type == XML_ELEMENT_NODE)
                return child;
    } else {
        if (node->properties)
            return reinterpret_cast<xmlNodePtr>(node->properties);
        for (xmlNodePtr child = node->children; child; child = child->next)
            if (child->type == XML_ELEMENT_NODE)
                return child;
    }
    for (; node && node->type == XML_ELEMENT_NODE; node = node->parent)
        for (xmlNodePtr sibling = node->next; sibling; sibling = sibling->next)
            if (sibling->type == XML_ELEMENT_NODE)
                return sibling;
    return nullptr;
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

} // namespace

OutlineNode DescribeNode(const DOMNode& ref) {
    OutlineNode out;
    xmlNodePtr node = ref.get();
    out.node = ref;
    if (!node || (node->type != XML_ELEMENT_NODE && node->type != XML_ATTRIBUTE_NODE))
        return out;
    out.bAttribute = node->type == XML_ATTRIBUTE_NODE;
    out.sLocalName = Text(node->name);
    if (node->ns) {
        out.sNamespace = Text(node->ns->href);
        if (node->ns->prefix)
            out.sName = Text(node->ns->prefix) + ":";
    }
    out.sName += out.sLocalName;
    out.bHoldsText = out.bAttribute || !HasChildElements(node);
    if (out.bHoldsText)
        out.sValue = Content(node);
    out.bHasChildren = !out.bAttribute && (node->properties || HasChildElements(node));
    return out;
}

std::vector<OutlineNode> OutlineChildren(const DOMWrapper& doc, const DOMNode& parent) {
    std::vector<OutlineNode> children;
    if (!parent.IsSet()) {
        if (xmlNodePtr root = RootOf(doc))
            children.push_back(DescribeNode(Wrap(root)));
        return children;
    }
    xmlNodePtr node = parent.get();
    if (node->type != XML_ELEMENT_NODE)
        return children;
    for (xmlAttrPtr attr = node->properties; attr; attr = attr->next)
        children.push_back(
            DescribeNode(DOMNode(parent.holder(), reinterpret_cast<xmlNodePtr>(attr))));
    for (xmlNodePtr child = node->children; child; child = child->next)
        if (child->type == XML_ELEMENT_NODE)
            children.push_back(DescribeNode(DOMNode(parent.holder(), child)));
    return children;
}

std::vector<DOMNode> NodeAncestry(const DOMNode& ref) {
    std::vector<DOMNode> chain;
    for (xmlNodePtr node = ref.get(); node && node->type != XML_DOCUMENT_NODE; node = node->parent)
        chain.push_back(DOMNode(ref.holder(), node));
    std::reverse(chain.begin(), chain.end());
    return chain;
}

DOMNode FindNodeAfter(const DOMWrapper& doc, const DOMNode& after, const std::string& text) {
    const std::string wanted = Lower(text);
    xmlNodePtr node = after.IsSet() ? NextInOrder(after.get()) : RootOf(doc);
    for (; node; node = NextInOrder(node)) {
        const OutlineNode seen = DescribeNode(Wrap(node));
        if (Lower(seen.sName).find(wanted) != std::string::npos ||
            (seen.bHoldsText && Lower(seen.sValue).find(wanted) != std::string::npos))
            return seen.node;
    }
    return {};
}

std::vector<DOMNode> TextNodesInOrder(const DOMWrapper& doc) {
    std::vector<DOMNode> nodes;
    for (xmlNodePtr node = RootOf(doc); node; node = NextInOrder(node))
        if (node->type == XML_ATTRIBUTE_NODE || !HasChildElements(node))
            nodes.push_back(Wrap(node));
    return nodes;
}

bool ElementSourcePlaces(const DOMNode& element, uint64_t& open, uint64_t& endOpen,
                         bool& emptyForm) {
    ElementSpan span;
    if (!element.IsSet() || element.get()->type != XML_ELEMENT_NODE ||
        !SourceSpan(element.get(), span))
        return false;
    open = span.open;
    endOpen = span.endOpen;
    emptyForm = span.EmptyForm();
    return true;
}
