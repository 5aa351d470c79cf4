#include "xml/DOMWrapper.h"

#include "common/Failure.h"
#include "common/Strings.h"
#include "xml/FastXPath.h"
#include "xml/XmlDocHolder.h"
#include "xml/XmlPtr.h"
#include "xml/XmlText.h"

#include <libxml/parser.h>

namespace {

// XML_DOM_RECONNS_REMOVEREDUND: libxml2 takes this option but keeps its name out of its headers.
constexpr int kRemoveRedundantDeclarations = 1 << 0;

xmlNodePtr Required(const DOMNode& node) {
    if (!node.IsSet())
        throw Failure(kErrObjectNotSet, kObjectNotSetText);
    return node.get();
}

// Kinds that can stand as a child in a tree; attributes, documents and DTD parts cannot.
bool CanBeChild(xmlNodePtr node) {
    switch (node->type) {
    case XML_ELEMENT_NODE:
    case XML_TEXT_NODE:
    case XML_CDATA_SECTION_NODE:
    case XML_ENTITY_REF_NODE:
    case XML_PI_NODE:
    case XML_COMMENT_NODE:
        return true;
    default:
        return false;
    }
}

// The parent as the DOM sees it: an attribute has none.
xmlNodePtr ParentOf(xmlNodePtr node) {
    if (!CanBeChild(node))
        return nullptr;
    return node->parent;
}

// Items separated by ";", empty items and blanks kept; an empty text has no items.
std::vector<std::string> SplitItems(const std::string& text) {
    std::vector<std::string> items;
    if (text.empty())
        return items;
    std::string::size_type start = 0;
    for (;;) {
        const auto separator = text.find(';', start);
        items.push_back(text.substr(start, separator - start));
        if (separator == std::string::npos)
            return items;
        start = separator + 1;
    }
}

void RequireName(const std::string& name, const char* what) {
    // xmlValidateName reads malformed UTF-8 leniently and stops at a NUL byte.
    if (name.empty() || !IsXmlText(name) || xmlValidateName(BAD_CAST name.c_str(), 0) != 0)
        throw Failure(kErrXmlLibrary, "'" + name + "' is not a valid " + what + " name.");
}

void SetAttribute(xmlNodePtr element, const std::string& name, const std::string& value) {
    RequireName(name, "attribute");
    RequireXmlText(value);
    // The value is taken literally: no entity references are parsed out of it.
    if (!xmlSetProp(element, BAD_CAST name.c_str(), BAD_CAST value.c_str()))
        throw Failure(kErrXmlLibrary, "The attribute '" + name + "' cannot be set.");
}

} // namespace

xmlNodePtr DOMWrapper::NewElement(xmlDocPtr doc, const std::string& name) {
    RequireName(name, "element");
    xmlNodePtr element = xmlNewDocNode(doc, nullptr, BAD_CAST name.c_str(), nullptr);
    if (!element)
        throw Failure(kErrXmlLibrary, "Out of memory");
    return element;
}

void DOMWrapper::AppendNew(xmlNodePtr parent, xmlNodePtr fresh) {
    try {
        AppendChild(parent, fresh);
    } catch (...) {
        if (fresh->parent == nullptr)
            xmlFreeNode(fresh);
        throw;
    }
}

void DOMWrapper::AppendCopy(xmlNodePtr source, xmlNodePtr parent) {
    // Documents and attributes are refused before a copy of them is made.
    if (!CanBeChild(source))
        throw Failure(kErrXmlLibrary, "This node cannot be inserted at this position.");
    xmlNodePtr copy = xmlDocCopyNode(source, parent->doc, 1);
    if (!copy)
        throw Failure(kErrXmlLibrary, "The node cannot be copied.");
    AppendNew(parent, copy);
    // The copy was made outside any tree and declares the namespaces it uses itself; where
    // the new parent has them in scope already, those declarations are dropped again.
    if (copy->type == XML_ELEMENT_NODE)
        xmlDOMWrapReconcileNamespaces(nullptr, copy, kRemoveRedundantDeclarations);
}

void DOMWrapper::CloneNodes(const std::string& sPathSourceNode,
                            const std::string& sPathTargetNode) {
    try {
        RequireDoc();
        const xmlNodePtr source = Required(SelectFirst(sPathSourceNode));
        const xmlNodePtr target = Required(SelectFirst(sPathTargetNode));
        // Copied before appending, so a node cloned into itself gets its state of before.
        AppendCopy(source, target);
    } catch (const std::exception&) {
        RaiseList("CloneNodes", {sPathSourceNode, sPathTargetNode});
    }
}

void DOMWrapper::RemoveNode(const std::string& sPathParentNode, const std::string& sPathChildNode) {
    try {
        RequireDoc();
        const xmlNodePtr parent = Required(SelectFirst(sPathParentNode));
        const xmlNodePtr child = Required(SelectFirst(sPathChildNode));
        if (ParentOf(child) != parent)
            throw Failure(kErrXmlLibrary, "The node to remove is not a child of this node.");
        Discard(child);
    } catch (const std::exception&) {
        RaiseList("RemoveNode", {sPathParentNode, sPathChildNode});
    }
}

void DOMWrapper::RemoveNodes(const std::string& sPathParentNode, const std::string& sPathChildren) {
    try {
        RequireDoc();
        const xmlNodePtr parent = Required(SelectFirst(sPathParentNode));
        // Selected anew after every removal: a removal can change what the path matches.
        for (;;) {
            const std::vector<xmlNodePtr> selected = SelectAll(sPathChildren, parent);
            if (selected.empty())
                break;
            const xmlNodePtr first = selected.front();
            if (ParentOf(first) == nullptr)
                throw Failure(kErrObjectNotSet, kObjectNotSetText);
            Discard(first);
        }
    } catch (const std::exception&) {
        RaiseList("RemoveNodes", {sPathParentNode, sPathChildren});
    }
}

void DOMWrapper::SetAttributes(const std::string& sPath, int32_t nIndex,
                               const std::string& sValue) {
    try {
        RequireDoc();
        for (const xmlNodePtr node : SelectAll(sPath)) {
            xmlAttrPtr attribute = nullptr;
            if (node->type == XML_ELEMENT_NODE && nIndex >= 0) {
                attribute = node->properties;
                for (int32_t i = 0; attribute && i < nIndex; ++i)
                    attribute = attribute->next;
            }
            if (!attribute)
                throw Failure(kErrObjectNotSet, kObjectNotSetText);
            WriteText(reinterpret_cast<xmlNodePtr>(attribute), sValue);
        }
    } catch (const std::exception&) {
        RaiseList("SetAttributes", {sPath, std::to_string(nIndex), sValue});
    }
}

void DOMWrapper::AppendNode(const std::string& sPath, const std::string& sNodename,
                            const std::string& sValue, const std::string& sAttributNamen,
                            const std::string& sAttributWerte, bool bSameLevel) {
    try {
        const xmlDocPtr doc = RequireDoc();
        const xmlNodePtr reference = Required(SelectFirst(sPath));
        const xmlNodePtr parent = ParentOf(reference);
        const xmlNodePtr target = bSameLevel ? parent : reference;
        if (!target)
            throw Failure(kErrObjectNotSet, kObjectNotSetText);

        xmlNodePtr element = NewElement(doc, sNodename);
        try {
            WriteText(element, sValue);
            if (!IsBlank(sAttributNamen)) {
                const std::vector<std::string> names = SplitItems(sAttributNamen);
                const std::vector<std::string> values = SplitItems(sAttributWerte);
                for (std::size_t i = 0; i < names.size(); ++i) {
                    if (i >= values.size())
                        throw Failure(kErrInvalidCall, "Invalid procedure call or argument");
                    SetAttribute(element, names[i], values[i]);
                }
            }
        } catch (...) {
            xmlFreeNode(element);
            throw;
        }
        AppendNew(target, element);
    } catch (const std::exception&) {
        RaiseList("AppendNode", {sPath, sNodename, sValue, sAttributNamen, sAttributWerte,
                                 bSameLevel ? "True" : "False"});
    }
}

// sNameSpace only serves selections in the text's own document, and none is made there; a
// malformed list still fails, as it would fail Load.
void DOMWrapper::AppendChildNodefromText(const std::string& sPath, const std::string& sNodeText,
                                         const std::string& sNameSpace) {
    try {
        std::vector<std::pair<std::string, std::string>> declarations;
        if (!IsBlank(sNameSpace) && !ParseNamespaceDeclarations(sNameSpace, declarations))
            throw Failure(kErrXmlLibrary, "SelectionNamespaces property value is invalid.");
        RequireDoc();
        const xmlNodePtr target = Required(SelectFirst(sPath));
        // The text's own document, parsed as Load parses files: no network, no external
        // DTDs, no entity expansion.
        OwnedParser parser(xmlNewParserCtxt());
        if (!parser)
            throw Failure(kErrXmlLibrary, "Out of memory");
        OwnedDoc parsed(xmlCtxtReadMemory(
            parser.get(), sNodeText.data(), static_cast<int>(sNodeText.size()), nullptr, nullptr,
            XML_PARSE_NOBLANKS | XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
        // Prefixes must be declared within the text: an element whose prefix is not would
        // come in named with it literally, in no namespace, where no path finds it.
        if (!parsed || !parsed->children || !parser->nsWellFormed)
            throw Failure(kErrObjectNotSet, kObjectNotSetText);
        const xmlNodePtr first = parsed->children;
        AppendChild(target, first);
    } catch (const std::exception&) {
        RaiseList("AppendChildNodefromText", {sPath, sNodeText});
    }
}

void DOMWrapper::AppendChildNodefromNode(const std::string& sPath, const DOMNode& ChildNode) {
    try {
        RequireDoc();
        const xmlNodePtr target = Required(SelectFirst(sPath));
        const xmlNodePtr child = Required(ChildNode);
        // A node of this document moves: its order numbers would place it where it was.
        if (child->doc == target->doc)
            ForgetDocumentOrder(child);
        AppendChild(target, child);
    } catch (const std::exception&) {
        // Reading the argument's text may fail itself; that failure goes to the caller.
        const std::string childText = TextOf(Required(ChildNode));
        RaiseList("AppendChildNodefromNode", {sPath, childText});
    }
}
