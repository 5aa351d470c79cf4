#include "xml/DOMWrapper.h"

#include "common/Failure.h"
#include "common/Strings.h"
#include "xml/XmlDocHolder.h"
#include "xml/XmlPtr.h"
#include "xml/XmlText.h"

#include <libxml/xmlsave.h>

#include <limits>
#include <memory>

namespace {

// Element names: blanks around either side do not count, nor does letter case.
bool NamesMatch(const std::string& a, const std::string& b) {
    return UpperCase(Trim(a)) == UpperCase(Trim(b));
}

// Attribute names and values: letter case does not count, blanks do.
bool ValuesMatch(const std::string& a, const std::string& b) {
    return UpperCase(a) == UpperCase(b);
}

xmlAttrPtr AttributesOf(xmlNodePtr node) {
    return node->type == XML_ELEMENT_NODE ? node->properties : nullptr;
}

xmlAttrPtr RequireFirstAttribute(xmlNodePtr node) {
    xmlAttrPtr first = AttributesOf(node);
    if (!first)
        throw Failure(kErrObjectNotSet, kObjectNotSetText);
    return first;
}

bool IsDocumentNode(xmlNodePtr node) {
    return node && (node->type == XML_DOCUMENT_NODE || node->type == XML_HTML_DOCUMENT_NODE);
}

} // namespace

xmlNodePtr DOMWrapper::RequireCurrent() const {
    if (!CurrentNode.IsSet())
        throw Failure(kErrObjectNotSet, kObjectNotSetText);
    return CurrentNode.get();
}

template <class Test>
bool DOMWrapper::SearchForward(const std::string& sNodename, bool bPreserve, Test accepts) {
    try {
        if (!bPreserve)
            CurrentNode = Ref(xmlDocGetRootElement(RequireDoc()));
        // The starting node itself is never a candidate.
        for (;;) {
            CurrentNode = StepDocumentOrder();
            if (!CurrentNode.IsSet())
                return false;
            const xmlNodePtr candidate = CurrentNode.get();
            if (NamesMatch(LocalName(candidate), sNodename) && accepts(candidate))
                return true;
        }
    } catch (const std::exception& e) {
        ShowFailureBox(e);
        return false;
    }
}

bool DOMWrapper::PosNode(const std::string& sNodename, const bool& bPreserve) {
    return SearchForward(sNodename, bPreserve, [](xmlNodePtr) { return true; });
}

bool DOMWrapper::PosNodeByName(const std::string& sNodename, const std::string& sNameAttr,
                               const bool& bPreserve) {
    return SearchForward(sNodename, bPreserve, [&](xmlNodePtr candidate) {
        return ValuesMatch(TextOf(reinterpret_cast<xmlNodePtr>(RequireFirstAttribute(candidate))),
                           sNameAttr);
    });
}

bool DOMWrapper::PosNodeByAttribut(const std::string& sNodename, const std::string& sNameAttr,
                                   const std::string& sValAttr, const bool& bPreserve) {
    return SearchForward(sNodename, bPreserve, [&](xmlNodePtr candidate) {
        xmlAttrPtr chosen = RequireFirstAttribute(candidate);
        for (xmlAttrPtr a = chosen; a; a = a->next) {
            if (ValuesMatch(LocalName(reinterpret_cast<xmlNodePtr>(a)), sNameAttr)) {
                chosen = a;
                break;
            }
        }
        return ValuesMatch(TextOf(reinterpret_cast<xmlNodePtr>(chosen)), sValAttr);
    });
}

std::string DOMWrapper::GetNextElemName() {
    try {
        WorkNode = StepDocumentOrder();
        if (!WorkNode.IsSet())
            return "EOF";
        return LocalName(WorkNode.get());
    } catch (const std::exception&) {
        return "EOF";
    }
}

bool DOMWrapper::IsFirstNode() const {
    const xmlNodePtr node = RequireCurrent();
    return node->type != XML_ATTRIBUTE_NODE && IsDocumentNode(node->parent);
}

std::string DOMWrapper::GetField() {
    return TextOf(RequireCurrent());
}

std::string DOMWrapper::GetXML() const {
    const xmlNodePtr node = RequireCurrent();
    OwnedBuffer buffer(xmlBufferCreate());
    if (!buffer)
        throw Failure(kErrXmlLibrary, "Out of memory");
    // The document's markup without the XML declaration, as for any other node.
    xmlSaveCtxtPtr save = xmlSaveToBuffer(buffer.get(), "UTF-8", XML_SAVE_NO_DECL);
    if (!save)
        throw Failure(kErrXmlLibrary, "Out of memory");
    const long written = xmlSaveTree(save, node);
    xmlSaveClose(save);
    if (written < 0)
        throw Failure(kErrXmlLibrary, "The node cannot be serialized.");
    std::string markup(reinterpret_cast<const char*>(xmlBufferContent(buffer.get())),
                       xmlBufferLength(buffer.get()));
    if (IsDocumentNode(node) && !markup.empty() && markup.back() == '\n')
        markup.pop_back();
    // An attribute is written as it stands in a start tag, after its separating blank.
    if (node->type == XML_ATTRIBUTE_NODE && !markup.empty() && markup.front() == ' ')
        markup.erase(0, 1);
    return markup;
}

bool DOMWrapper::HasChilds() const {
    return RequireCurrent()->children != nullptr;
}

int16_t DOMWrapper::GetAnzChilds() {
    try {
        int32_t count = 0;
        for (xmlNodePtr child = RequireCurrent()->children; child; child = child->next) {
            if (++count > std::numeric_limits<int16_t>::max())
                throw Failure(kErrOverflow, "Overflow");
        }
        return static_cast<int16_t>(count);
    } catch (const std::exception& e) {
        ShowFailureBox(e);
        return 0;
    }
}

std::string DOMWrapper::GetChild(const std::string& sFieldName) {
    const xmlNodePtr node = RequireCurrent();
    std::string text;
    for (xmlNodePtr child = node->children; child; child = child->next) {
        WorkNode = Ref(child);
        if (NamesMatch(LocalName(child), sFieldName))
            text = TextOf(child);
    }
    return text;
}

bool DOMWrapper::SetChild(const std::string& sFieldName, const std::string& sValue) {
    const xmlNodePtr node = RequireCurrent();
    for (xmlNodePtr child = node->children; child; child = child->next) {
        WorkNode = Ref(child);
        if (NamesMatch(LocalName(child), sFieldName))
            WriteText(child, sValue);
    }
    return false;
}

bool DOMWrapper::GetAttribut(const std::string& sAttributName, std::string& sType) {
    try {
        const xmlNodePtr node = RequireCurrent();
        if (node->type != XML_ELEMENT_NODE)
            return false;
        for (xmlAttrPtr a = node->properties; a; a = a->next) {
            const auto attribute = reinterpret_cast<xmlNodePtr>(a);
            if (NamesMatch(LocalName(attribute), sAttributName)) {
                sType = TextOf(attribute);
                return true;
            }
        }
        return false;
    } catch (const std::exception&) {
        return false;
    }
}

bool DOMWrapper::AddNode(const std::string& sNodename) {
    const xmlNodePtr node = RequireCurrent();
    const xmlNodePtr element = NewElement(node->doc, sNodename);
    AppendNew(node, element);
    WorkNode = Ref(element);
    return false;
}

bool DOMWrapper::CloneNode() {
    const xmlNodePtr node = RequireCurrent();
    if (node->type != XML_ELEMENT_NODE)
        throw Failure(kErrXmlLibrary, "Only an element can be copied here.");
    if (!node->parent || IsDocumentNode(node->parent))
        throw Failure(kErrXmlLibrary, "The document cannot take a second root element.");
    AppendCopy(node, node->parent);
    return false;
}

void DOMWrapper::Flow_Property() {
    RequireDoc();
    XmlDoc->SetNamespaces({{"FD", kRidoRuduNamespace}});
}

bool DOMWrapper::AddDatas(const std::string& sName) {
    RequireDoc();
    const xmlNodePtr node = RequireCurrent();
    RequireXmlText(sName);
    const xmlNodePtr datas = NewElement(node->doc, "FD:Datas");
    xmlNewProp(datas, BAD_CAST "Table", BAD_CAST sName.c_str());
    AppendNew(node, datas);
    return false;
}

bool DOMWrapper::AddField(const std::string& sName, const AnyValue& sFlowType,
                          const AnyValue& sValue) {
    RequireDoc();
    const xmlNodePtr node = RequireCurrent();
    RequireXmlText(sName);
    RequireXmlText(sFlowType.Text());
    const xmlNodePtr field = NewElement(node->doc, "FD:Field");
    xmlNewProp(field, BAD_CAST "Name", BAD_CAST sName.c_str());
    xmlNewProp(field, BAD_CAST "FlowType", BAD_CAST sFlowType.Text().c_str());
    try {
        WriteText(field, sValue.Text());
    } catch (...) {
        xmlFreeNode(field);
        throw;
    }
    AppendNew(node, field);
    return false;
}
