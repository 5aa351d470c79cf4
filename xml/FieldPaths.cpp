#include "xml/FieldPaths.h"

#include "common/Failure.h"

#include <libxml/tree.h>

#include <cstring>
#include <optional>

namespace {

std::string Text(const xmlChar* text) {
    return text ? reinterpret_cast<const char*>(text) : std::string();
}

std::string NamespaceOf(xmlNodePtr node) {
    return node->ns ? Text(node->ns->href) : std::string();
}

// The name test of an element or attribute (without the '@').
std::string NameTest(xmlNodePtr node) {
    const std::string local = Text(node->name);
    const std::string uri = NamespaceOf(node);
    if (uri.empty())
        return local;
    if (uri == kRidoRuduNamespace)
        return "FD:" + local;
    return "*[local-name()=" + XPathLiteral(local) + " and namespace-uri()=" + XPathLiteral(uri) +
           "]";
}

bool SameName(xmlNodePtr a, xmlNodePtr b) {
    return Text(a->name) == Text(b->name) && NamespaceOf(a) == NamespaceOf(b);
}

std::string AttributeValue(xmlAttrPtr attr) {
    xmlChar* value = xmlNodeGetContent(reinterpret_cast<xmlNodePtr>(attr));
    std::string text = Text(value);
    xmlFree(value);
    return text;
}

// The value of the attribute named like attr on element, or nothing.
std::optional<std::string> ValueOfSameAttribute(xmlNodePtr element, xmlAttrPtr attr) {
    for (xmlAttrPtr other = element->properties; other; other = other->next)
        if (SameName(reinterpret_cast<xmlNodePtr>(other), reinterpret_cast<xmlNodePtr>(attr)))
            return AttributeValue(other);
    return std::nullopt;
}

struct Step {
    std::string text;
    std::string identifyingValue; // empty unless an attribute tells the element apart
    bool byAttribute = false;
};

Step ElementStep(xmlNodePtr element) {
    Step step{NameTest(element), {}, false};
    std::vector<xmlNodePtr> namesakes; // siblings of the same name, without element
    int position = 0;
    for (xmlNodePtr sibling = element->parent ? element->parent->children : element; sibling;
         sibling = sibling->next) {
        if (sibling->type != XML_ELEMENT_NODE || !SameName(sibling, element))
            continue;
        if (sibling == element)
            position = static_cast<int>(namesakes.size()) + 1;
        else
            namesakes.push_back(sibling);
    }
    if (namesakes.empty())
        return step;
    for (xmlAttrPtr attr = element->properties; attr; attr = attr->next) {
        const std::string value = AttributeValue(attr);
        bool shared = false;
        for (xmlNodePtr other : namesakes)
            shared = shared || ValueOfSameAttribute(other, attr) == value;
        if (shared)
            continue;
        step.text +=
            "[@" + NameTest(reinterpret_cast<xmlNodePtr>(attr)) + "=" + XPathLiteral(value) + "]";
        step.identifyingValue = value;
        step.byAttribute = true;
        return step;
    }
    step.text.append("[").append(std::to_string(position)).append("]");
    return step;
}

[[noreturn]] void NoPath(const std::string& detail) {
    throw Failure(kClassErrorNumber, "No path selects exactly this node: " + detail);
}

} // namespace

std::string XPathLiteral(const std::string& text) {
    if (text.find('\'') == std::string::npos)
        return "'" + text + "'";
    if (text.find('"') == std::string::npos)
        return "\"" + text + "\"";
    // Both quote kinds: the pieces between single quotes, joined by "'".
    std::string out = "concat(";
    size_t start = 0;
    for (;;) {
        const size_t quote = text.find('\'', start);
        out.append("'").append(text, start, quote - start).append("'");
        if (quote == std::string::npos)
            break;
        out += ",\"'\",";
        start = quote + 1;
    }
    return out + ")";
}

FieldProposal ProposeField(DOMWrapper& doc, const DOMNode& ref) {
    xmlNodePtr node = ref.get();
    if (!node || (node->type != XML_ELEMENT_NODE && node->type != XML_ATTRIBUTE_NODE))
        NoPath("not an element or attribute");
    xmlNodePtr element = node->type == XML_ATTRIBUTE_NODE ? node->parent : node;

    FieldProposal proposal;
    std::string path;
    Step last;
    for (xmlNodePtr step = element; step && step->type == XML_ELEMENT_NODE; step = step->parent) {
        const Step s = ElementStep(step);
        if (step == element)
            last = s;
        path.insert(0, "/" + s.text);
    }
    proposal.sAlias = last.byAttribute ? last.identifyingValue : Text(element->name);
    if (node->type == XML_ATTRIBUTE_NODE) {
        path.append("/@").append(NameTest(node));
        proposal.sAlias.append(" ").append(Text(node->name));
    }
    proposal.sPath = path;

    // The rules above follow how libxml2 matches names; the document has the last word.
    if (CountMatches(doc, path) != 1)
        NoPath(path);
    doc.GetElementValue(path, true);
    if (doc.CurrentNodeRef().get() != node)
        NoPath(path);
    return proposal;
}

int32_t CountMatches(DOMWrapper& doc, const std::string& path) {
    doc.GetNodeList(path);
    return doc.NodeCount();
}
