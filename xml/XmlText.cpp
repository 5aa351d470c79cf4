#include "xml/XmlText.h"

#include "common/Failure.h"

#include <libxml/chvalid.h>
#include <libxml/tree.h>
#include <libxml/xmlstring.h>

#include <algorithm>

bool IsXmlText(const std::string& value) {
    const auto* p = reinterpret_cast<const unsigned char*>(value.data());
    size_t remaining = value.size();
    while (remaining > 0) {
        int length = static_cast<int>(std::min<size_t>(remaining, 4));
        const int c = xmlGetUTF8Char(p, &length);
        const int shortest = c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
        // xmlGetUTF8Char takes a continuation byte (0x80-0xBF) for the lead of a pair.
        static constexpr unsigned char kLeadMask[] = {0, 0x80, 0xE0, 0xF0, 0xF8};
        static constexpr unsigned char kLeadBits[] = {0, 0x00, 0xC0, 0xE0, 0xF0};
        if (c < 0 || length != shortest || (p[0] & kLeadMask[length]) != kLeadBits[length] ||
            !xmlIsCharQ(c))
            return false;
        p += length;
        remaining -= static_cast<size_t>(length);
    }
    return true;
}

void RequireXmlText(const std::string& value) {
    if (!IsXmlText(value))
        throw Failure(kErrXmlLibrary, "The value contains a character that XML does not allow.");
}

std::string ContentOf(xmlNodePtr node) {
    xmlChar* content = xmlNodeGetContent(node);
    std::string text = content ? reinterpret_cast<const char*>(content) : "";
    xmlFree(content);
    return text;
}

std::string QualifiedName(xmlNodePtr node) {
    std::string name = reinterpret_cast<const char*>(node->name);
    if (node->ns && node->ns->prefix)
        name = reinterpret_cast<const char*>(node->ns->prefix) + (":" + name);
    return name;
}

namespace {

// The bindings XML namespaces allow: a prefix never stands for no namespace, xml stands only
// for its fixed namespace and no other prefix does, xmlns is never declared.
bool MayBind(const std::string& prefix, const std::string& uri) {
    const std::string xmlNamespace = reinterpret_cast<const char*>(XML_XML_NAMESPACE);
    if (uri.empty() || prefix == "xmlns" || uri == "http://www.w3.org/2000/xmlns/")
        return false;
    return (prefix == "xml") == (uri == xmlNamespace);
}

} // namespace

bool ParseNamespaceDeclarations(const std::string& text,
                                std::vector<std::pair<std::string, std::string>>& result) {
    size_t pos = 0;
    const auto skipBlanks = [&] {
        while (pos < text.size() &&
               (text[pos] == ' ' || text[pos] == '\t' || text[pos] == '\r' || text[pos] == '\n'))
            ++pos;
    };
    skipBlanks();
    while (pos < text.size()) {
        if (text.compare(pos, 6, "xmlns:") != 0)
            return false;
        pos += 6;
        const size_t nameStart = pos;
        while (pos < text.size() && text[pos] != '=' && text[pos] != ' ')
            ++pos;
        const std::string prefix = text.substr(nameStart, pos - nameStart);
        if (prefix.empty() || !IsXmlText(prefix) ||
            xmlValidateNCName(BAD_CAST prefix.c_str(), 0) != 0)
            return false;
        skipBlanks();
        if (pos >= text.size() || text[pos] != '=')
            return false;
        ++pos;
        skipBlanks();
        if (pos >= text.size() || (text[pos] != '\'' && text[pos] != '"'))
            return false;
        const char quote = text[pos++];
        const size_t end = text.find(quote, pos);
        if (end == std::string::npos)
            return false;
        std::string uri = text.substr(pos, end - pos);
        if (!MayBind(prefix, uri) || std::any_of(result.begin(), result.end(),
                                                 [&](const auto& b) { return b.first == prefix; }))
            return false;
        result.emplace_back(prefix, std::move(uri));
        pos = end + 1;
        if (pos < text.size() && text[pos] != ' ' && text[pos] != '\t' && text[pos] != '\r' &&
            text[pos] != '\n')
            return false;
        skipBlanks();
    }
    return true;
}
