#include "xml/DOMWrapper.h"

#include "common/Failure.h"
#include "common/MessageBox.h"
#include "common/Strings.h"
#include "xml/SourcePositions.h"
#include "xml/XmlDocHolder.h"
#include "xml/XmlText.h"

#include <libxml/tree.h>

#include <limits>
#include <utility>

namespace {

// Why a path read failed when the expression is sound.
constexpr const char* kSelectsNothing = "The path selects nothing.";

Failure NotSet() {
    return Failure(kErrObjectNotSet, kObjectNotSetText);
}

void LinkAsLastChild(xmlNodePtr parent, xmlNodePtr child) {
    // Linked by hand: xmlAddChild merges adjacent text nodes and frees the one appended,
    // which a reference may still hold.
    child->parent = parent;
    child->next = nullptr;
    child->prev = parent->last;
    if (parent->last)
        parent->last->next = child;
    else
        parent->children = child;
    parent->last = child;
}

// A save splices the values noted here into the loaded file; one that has no place in it
// leaves the save nothing to splice.
void NoteValueWritten(xmlNodePtr node) {
    const bool fresh = MarkValueWritten(node);
    XmlDocHolder* holder = XmlDocHolder::Of(node);
    if (!fresh || !holder || !holder->source)
        return;
    ElementSpan span;
    if (!SourceSpan(node->type == XML_ATTRIBUTE_NODE ? node->parent : node, span))
        holder->MarkStructureChanged();
    else
        holder->source->NoteWritten(node);
}

// A text written in place changes its parent's value, as long as that value is made of text
// alone; a comment or instruction is not a value at all.
void NoteTextNodeWritten(xmlNodePtr node) {
    XmlDocHolder* holder = XmlDocHolder::Of(node);
    if (!holder)
        return;
    xmlNodePtr parent = node->parent;
    bool textOnly = parent && (node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE);
    for (xmlNodePtr child = parent ? parent->children : nullptr; child && textOnly;
         child = child->next)
        textOnly = child->type == XML_TEXT_NODE || child->type == XML_CDATA_SECTION_NODE;
    if (textOnly && (parent->type == XML_ELEMENT_NODE || parent->type == XML_ATTRIBUTE_NODE))
        NoteValueWritten(parent);
    else
        holder->MarkStructureChanged();
}

bool IsAncestorOrSelf(xmlNodePtr candidate, xmlNodePtr node) {
    for (xmlNodePtr n = node; n; n = n->parent) {
        if (n == candidate)
            return true;
    }
    return false;
}

} // namespace

DOMNode::DOMNode(std::shared_ptr<XmlDocHolder> doc, xmlNodePtr node)
    : doc_(node ? std::move(doc) : nullptr), node_(node) {}

DOMWrapper::DOMWrapper() = default;
DOMWrapper::~DOMWrapper() = default;

// ---------------------------------------------------------------------------------------
// Shared internals

namespace {

// What a partial document refuses: nothing may read or write what it left out.
Failure PartOnly() {
    return Failure(kErrXmlLibrary, "Only the elements of the configured fields were read.");
}

} // namespace

xmlDocPtr DOMWrapper::RequireDoc() const {
    if (!XmlDoc)
        throw NotSet();
    if (XmlDoc->part)
        throw PartOnly();
    return XmlDoc->doc;
}

xmlDocPtr DOMWrapper::RequireDoc() {
    RequireWhole();
    return std::as_const(*this).RequireDoc();
}

xmlDocPtr DOMWrapper::RequireDocFor(const std::string& path) {
    if (!XmlDoc)
        throw NotSet();
    if (XmlDoc->part && !XmlDoc->part->paths.contains(path))
        RequireWhole();
    return XmlDoc->doc;
}

bool DOMWrapper::Partial() const {
    return XmlDoc && XmlDoc->part;
}

void DOMWrapper::RequireWhole() {
    if (!Partial())
        return;
    const XmlDocHolder::Part part = *XmlDoc->part;
    Load(part.path, part.namespaces);
    for (const auto& [path, value] : part.writes)
        SetElementValue(path, value);
}

xmlDocPtr DOMWrapper::Document() const {
    return XmlDoc ? XmlDoc->doc : nullptr;
}

DOMNode DOMWrapper::Ref(xmlNodePtr node) const {
    if (!node)
        return {};
    // Nodes of a previous document keep that document alive, not the current one.
    if (XmlDocHolder* holder = XmlDocHolder::Of(node))
        return DOMNode(holder->shared_from_this(), node);
    return DOMNode(XmlDoc, node);
}

std::vector<xmlNodePtr> DOMWrapper::SelectAll(const std::string& path, xmlNodePtr context) const {
    XmlDocHolder* holder = context ? XmlDocHolder::Of(context) : XmlDoc.get();
    if (!holder)
        throw NotSet();
    if (holder->part && (context || !holder->part->paths.contains(path)))
        throw PartOnly();
    return holder->Select(path, context ? context : reinterpret_cast<xmlNodePtr>(holder->doc));
}

DOMNode DOMWrapper::SelectFirst(const std::string& path, xmlNodePtr context) const {
    const auto nodes = SelectAll(path, context);
    return nodes.empty() ? DOMNode() : Ref(nodes.front());
}

void DOMWrapper::Discard(xmlNodePtr node, bool structural) {
    XmlDocHolder* holder = XmlDocHolder::Of(node);
    if (holder && structural)
        holder->MarkStructureChanged();
    // Only an element's own text leaves elements and attribute values as they were.
    const bool textOfElement = node->type != XML_ELEMENT_NODE && node->type != XML_ATTRIBUTE_NODE &&
                               node->parent && node->parent->type == XML_ELEMENT_NODE;
    if (holder && !textOfElement)
        holder->Invalidate();
    xmlUnlinkNode(node);
    if (holder)
        holder->discarded.insert(node);
    else
        xmlFreeNode(node);
}

void DOMWrapper::WriteText(xmlNodePtr node, const std::string& value) {
    if (!node)
        throw NotSet();
    RequireXmlText(value);
    switch (node->type) {
    case XML_ELEMENT_NODE:
    case XML_ATTRIBUTE_NODE:
    case XML_DOCUMENT_FRAG_NODE: {
        for (xmlNodePtr child = node->children; child;) {
            xmlNodePtr next = child->next;
            Discard(child, false);
            child = next;
        }
        NoteValueWritten(node);
        if (node->type == XML_ATTRIBUTE_NODE)
            if (XmlDocHolder* holder = XmlDocHolder::Of(node))
                holder->Invalidate();
        if (!value.empty()) {
            xmlNodePtr text =
                xmlNewDocTextLen(node->doc, BAD_CAST value.data(), static_cast<int>(value.size()));
            if (!text)
                throw Failure(kErrXmlLibrary, "Out of memory");
            LinkAsLastChild(node, text);
        }
        return;
    }
    case XML_TEXT_NODE:
    case XML_CDATA_SECTION_NODE:
    case XML_COMMENT_NODE:
    case XML_PI_NODE:
        // Comments and instructions are saved as they are, so these would end them early.
        if (node->type == XML_COMMENT_NODE &&
            (value.find("--") != std::string::npos || (!value.empty() && value.back() == '-')))
            throw Failure(kErrXmlLibrary, "A comment cannot hold '--' or end with '-'.");
        if (node->type == XML_PI_NODE && value.find("?>") != std::string::npos)
            throw Failure(kErrXmlLibrary, "A processing instruction cannot hold '?>'.");
        if (node->parent && node->parent->type == XML_ATTRIBUTE_NODE)
            if (XmlDocHolder* holder = XmlDocHolder::Of(node))
                holder->Invalidate();
        NoteTextNodeWritten(node);
        xmlNodeSetContentLen(node, BAD_CAST value.data(), static_cast<int>(value.size()));
        return;
    default:
        throw Failure(kErrXmlLibrary,
                      "This operation can not be performed with a node of this type.");
    }
}

std::string DOMWrapper::TextOf(xmlNodePtr node) {
    if (!node)
        throw NotSet();
    return ContentOf(node);
}

std::string DOMWrapper::LocalName(xmlNodePtr node) {
    if (!node || (node->type != XML_ELEMENT_NODE && node->type != XML_ATTRIBUTE_NODE) ||
        !node->name)
        return {};
    // Elements made with a prefixed name and no namespace keep the prefix in their name.
    const std::string name = reinterpret_cast<const char*>(node->name);
    const auto colon = name.find(':');
    return colon == std::string::npos ? name : name.substr(colon + 1);
}

void DOMWrapper::AppendChild(xmlNodePtr parent, xmlNodePtr child) {
    if (!parent || !child)
        throw NotSet();
    for (xmlNodePtr n : {parent, child})
        if (XmlDocHolder* holder = XmlDocHolder::Of(n)) {
            holder->Invalidate();
            holder->MarkStructureChanged();
        }
    if (parent->type == XML_DOCUMENT_NODE || parent->type == XML_HTML_DOCUMENT_NODE)
        throw Failure(kErrXmlLibrary, "Only one top level element is allowed in an XML document.");
    if (parent->type != XML_ELEMENT_NODE)
        throw Failure(kErrXmlLibrary,
                      "This operation can not be performed with a node of this type.");
    switch (child->type) {
    case XML_ELEMENT_NODE:
    case XML_TEXT_NODE:
    case XML_CDATA_SECTION_NODE:
    case XML_COMMENT_NODE:
    case XML_PI_NODE:
    case XML_ENTITY_REF_NODE:
        break;
    default:
        throw Failure(kErrXmlLibrary, "This node cannot be inserted at this position.");
    }
    if (child->doc != parent->doc) {
        xmlNodePtr copy = xmlDocCopyNode(child, parent->doc, 1);
        if (!copy)
            throw Failure(kErrXmlLibrary, "Out of memory");
        LinkAsLastChild(parent, copy);
        if (copy->type == XML_ELEMENT_NODE)
            xmlReconciliateNs(parent->doc, copy);
        return;
    }
    if (IsAncestorOrSelf(child, parent))
        throw Failure(kErrXmlLibrary, "The new child node is an ancestor of the parent node.");
    if (XmlDocHolder* holder = XmlDocHolder::Of(child))
        holder->discarded.erase(child);
    xmlUnlinkNode(child);
    LinkAsLastChild(parent, child);
    if (child->type == XML_ELEMENT_NODE)
        xmlReconciliateNs(parent->doc, child);
}

DOMNode DOMWrapper::StepDocumentOrder() {
    if (!CurrentNode.IsSet())
        throw NotSet();
    bool secondPass = false;
    xmlNodePtr node = CurrentNode.get();
    // Entity references point into the declaration, not into the document's own tree.
    if (node->children && node->type != XML_ENTITY_REF_NODE) {
        CurrentNode = Ref(node->children);
        if (node->children->type == XML_ELEMENT_NODE)
            return CurrentNode;
        secondPass = true;
    }
    try {
        node = CurrentNode.get();
        // As the DOM has it, an attribute has neither siblings nor a parent: libxml2's chain
        // of an element's attributes is no part of the walk.
        const auto isAttribute = [](xmlNodePtr n) { return n->type == XML_ATTRIBUTE_NODE; };
        const auto nextOf = [&](xmlNodePtr n) { return isAttribute(n) ? nullptr : n->next; };
        const auto parentOf = [&](xmlNodePtr n) { return isAttribute(n) ? nullptr : n->parent; };
        const auto isTop = [](xmlNodePtr n) {
            return !n->parent || n->parent->type == XML_DOCUMENT_NODE;
        };
        if (isTop(node) && node->type == XML_ELEMENT_NODE) {
            // The walk stays inside the root element.
            CurrentNode.Reset();
            return {};
        }
        if (nextOf(node)) {
            CurrentNode = Ref(node->next);
        } else {
            while (parentOf(node) && !nextOf(node->parent) && !isTop(node->parent)) {
                node = node->parent;
                CurrentNode = Ref(node);
            }
            if (!parentOf(node))
                throw NotSet();
            CurrentNode = isTop(node->parent) ? DOMNode() : Ref(node->parent->next);
        }
        if (!CurrentNode.IsSet())
            return {};
        if (CurrentNode.get()->type == XML_ELEMENT_NODE)
            return CurrentNode;
        throw Failure(kErrTypeMismatch, "Type mismatch");
    } catch (const Failure& failure) {
        if (secondPass)
            throw;
        ShowFailureBox(failure);
        return {};
    }
}

void DOMWrapper::RaiseInline(const char* operation, const std::string& argument,
                             const std::string& detail, const std::string& reason) {
    Failure failure(kClassErrorNumber, std::string("Error in Function 'DOMWrapper.") + operation +
                                           "' \r\nArgument(s) : " + argument);
    failure.detail = detail;
    failure.reason = reason;
    throw failure;
}

void DOMWrapper::RaiseList(const char* operation, const std::vector<std::string>& arguments) {
    std::string description =
        std::string("Error in Function 'DOMWrapper.") + operation + "' \r\nArgument(s) : ";
    for (const auto& argument : arguments)
        description += "\r\n" + argument;
    throw Failure(kClassErrorNumber, description);
}

void DOMWrapper::ShowFailureBox(const std::exception& e) const {
    const auto* failure = dynamic_cast<const Failure*>(&e);
    if (bBoxesAsErrors)
        throw failure ? *failure : Failure(kErrInvalidCall, e.what());
    ShowMessageBox(failure ? std::to_string(failure->number) + ": " + failure->description
                           : std::to_string(kErrInvalidCall) + ": " + e.what(),
                   kAppTitle, MsgButtons::OK);
}

void DOMWrapper::ShowBox(const std::string& text) const {
    if (bBoxesAsErrors)
        throw Failure(kErrInvalidCall, text);
    ShowMessageBox(text, kAppTitle, MsgButtons::OK);
}

void DOMWrapper::SetUpLibrary() {
    XmlDocHolder::SetUpLibrary();
}

void DOMWrapper::LeaveDocumentsToTheSystem() {
    XmlDocHolder::LeaveDocumentsToTheSystem();
}

// ---------------------------------------------------------------------------------------
// Document

std::string DOMWrapper::NewDoc(const std::string& elementname) {
    XmlDoc = XmlDocHolder::Create();
    // xmlValidateQName reads malformed UTF-8 leniently and stops at a NUL byte.
    if (!IsXmlText(elementname) || xmlValidateQName(BAD_CAST elementname.c_str(), 0) != 0)
        throw Failure(kErrXmlLibrary,
                      "This name contains an invalid character: '" + elementname + "'");
    xmlNodePtr root = xmlNewDocNode(XmlDoc->doc, nullptr, BAD_CAST elementname.c_str(), nullptr);
    if (!root)
        throw Failure(kErrXmlLibrary, "Out of memory");
    WorkNode = Ref(root);
    xmlDocSetRootElement(XmlDoc->doc, root);
    return {};
}

// ---------------------------------------------------------------------------------------
// Node-list cursor

void DOMWrapper::GetNodeList(const std::string& sXPath) {
    NodeList.reset();
    try {
        RequireWhole();
        auto nodes = SelectAll(sXPath);
        NodeList = std::make_unique<NodeListData>(NodeListData{XmlDoc, std::move(nodes)});
    } catch (const std::exception&) {
        RaiseInline("GetNodeList", sXPath);
    }
    nNodePos = 0;
}

int32_t DOMWrapper::NodeCount() const {
    return NodeList ? static_cast<int32_t>(NodeList->nodes.size()) : 0;
}

bool DOMWrapper::NodeEOF() const {
    return !NodeList || nNodePos > NodeCount() - 1;
}

void DOMWrapper::NodeMoveNext() {
    if (!NodeList)
        return;
    if (nNodePos == std::numeric_limits<int32_t>::max())
        throw Failure(kErrOverflow, "Overflow");
    ++nNodePos;
}

std::string DOMWrapper::NodeText() const {
    if (!NodeList)
        return {};
    if (nNodePos < 0 || nNodePos >= NodeCount())
        throw NotSet();
    return TextOf(NodeList->nodes[static_cast<size_t>(nNodePos)]);
}

std::string DOMWrapper::SubNodeText(const std::string& sSubNode) const {
    if (!NodeList)
        return {};
    if (nNodePos < 0 || nNodePos >= NodeCount())
        throw NotSet();
    const auto nodes = SelectAll(sSubNode, NodeList->nodes[static_cast<size_t>(nNodePos)]);
    if (nodes.empty())
        throw NotSet();
    return TextOf(nodes.front());
}

// ---------------------------------------------------------------------------------------
// Element values

std::string DOMWrapper::GetElementValue(const std::string& sElement, bool bOptional) {
    bool noNode = false;
    try {
        if (!XmlDoc) {
            noNode = true;
            throw NotSet();
        }
        RequireDocFor(sElement);
        CurrentNode = SelectFirst(sElement);
        if (!CurrentNode.IsSet()) {
            noNode = true;
            throw NotSet();
        }
        return TextOf(CurrentNode.get());
    } catch (const std::exception& e) {
        if (noNode && bOptional)
            return {};
        RaiseInline("GetElementValue", sElement, noNode && XmlDoc ? kSelectsNothing : e.what());
    }
}

std::string DOMWrapper::GetElementValue2(std::string& sValue, bool& bFound,
                                         const std::string& sElement, bool bOptional) {
    sValue.clear();
    bFound = false;
    try {
        RequireDocFor(sElement);
        CurrentNode = SelectFirst(sElement);
        if (CurrentNode.IsSet()) {
            std::string text = TextOf(CurrentNode.get());
            sValue = std::move(text);
            bFound = true;
        }
    } catch (const std::exception& e) {
        RaiseInline("GetElementValue2", sElement, e.what());
    }
    if (!bFound && !bOptional)
        RaiseInline("GetElementValue2", sElement, kSelectsNothing);
    return {};
}

void DOMWrapper::SetElementValue(const std::string& sElement, const AnyValue& sValue) {
    try {
        RequireDocFor(sElement);
        WorkNode = SelectFirst(sElement);
        WriteText(WorkNode.get(), sValue.Text());
        if (XmlDoc->part)
            XmlDoc->part->writes.emplace_back(sElement, sValue.Text());
    } catch (const std::exception&) {
        RaiseInline("SetElementValue", sElement);
    }
}

namespace {

// The elements whose qualified name equals name ("*" for all), in document order.
std::vector<xmlNodePtr> ElementsByTagName(xmlDocPtr doc, const std::string& name) {
    std::vector<xmlNodePtr> found;
    const bool all = name == "*";
    xmlNodePtr node = xmlDocGetRootElement(doc);
    while (node) {
        if (node->type == XML_ELEMENT_NODE) {
            std::string qualified = reinterpret_cast<const char*>(node->name);
            if (node->ns && node->ns->prefix)
                qualified = reinterpret_cast<const char*>(node->ns->prefix) + (":" + qualified);
            if (all || qualified == name)
                found.push_back(node);
        }
        node = NextInTree(node);
    }
    return found;
}

} // namespace

int16_t DOMWrapper::CountElementsByTagName(const std::string& element) {
    try {
        const auto elements = ElementsByTagName(RequireDoc(), element);
        if (elements.size() > static_cast<size_t>(std::numeric_limits<int16_t>::max()))
            throw Failure(kErrOverflow, "Overflow");
        return static_cast<int16_t>(elements.size());
    } catch (const std::exception& e) {
        ShowBox(e.what());
        return 0;
    }
}

std::string DOMWrapper::GetElementByTagName(const std::string& element, int16_t itemnum) {
    try {
        const auto elements = ElementsByTagName(RequireDoc(), element);
        if (itemnum < 0 || static_cast<size_t>(itemnum) >= elements.size())
            throw NotSet();
        return TextOf(elements[static_cast<size_t>(itemnum)]);
    } catch (const std::exception& e) {
        ShowBox(e.what());
        return {};
    }
}

xmlNodePtr DOMWrapper::SelectFromCurrent(const std::string& path) const {
    if (!CurrentNode.IsSet())
        throw NotSet();
    const DOMNode node = SelectFirst(path, CurrentNode.get());
    if (!node.IsSet())
        throw NotSet();
    return node.get();
}

std::string DOMWrapper::GetElementByName(const std::string& qu_path_name) {
    try {
        return TextOf(SelectFromCurrent(qu_path_name));
    } catch (const std::exception& e) {
        throw Failure(kClassErrorNumber, Trim("Fehler beim Auslesen des XML-Tags '" + qu_path_name +
                                              "'  " + e.what()));
    }
}

std::string DOMWrapper::SetElementByName(const std::string& qu_path_name,
                                         const std::string& newvalue) {
    try {
        const xmlNodePtr node = SelectFromCurrent(qu_path_name);
        WriteText(node, newvalue);
        return TextOf(node);
    } catch (const std::exception& e) {
        ShowBox(e.what());
        return {};
    }
}

bool DOMWrapper::CheckElementByName(const std::string& qu_path_name) {
    try {
        if (!CurrentNode.IsSet())
            return false;
        return SelectFirst(qu_path_name, CurrentNode.get()).IsSet();
    } catch (const std::exception&) {
        return false;
    }
}

// ---------------------------------------------------------------------------------------
// Element clearing

bool DOMWrapper::ClearAllNodes() {
    try {
        RequireWhole();
        xmlNodePtr root = xmlDocGetRootElement(RequireDoc());
        if (!root)
            throw NotSet();
        CurrentNode = Ref(root);
        while (true) {
            CurrentNode = StepDocumentOrder();
            if (!CurrentNode.IsSet())
                break;
            xmlNodePtr node = CurrentNode.get();
            if (!node->children || LocalName(node->children).empty())
                WriteText(node, "");
        }
    } catch (const Failure& failure) {
        throw Failure(kClassErrorNumber, failure.description);
    } catch (const std::exception& e) {
        throw Failure(kClassErrorNumber, e.what());
    }
    return false;
}
