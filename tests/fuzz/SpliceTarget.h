#pragma once

// A document and random value edits: the saved file must load, hold exactly the values the
// document holds and, where the save spliced, keep every byte outside the edited values.
#include "FuzzSupport.h"

#include "common/Failure.h"
#include "xml/DOMWrapper.h"
#include "xml/SourcePositions.h"
#include "xml/SpliceSave.h"
#include "xml/XmlPtr.h"
#include "xml/XmlText.h"

#include <iconv.h>
#include <libxml/parser.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace fuzz::splice {

namespace {

const char* const kValues[] = {"",         "x",    "a&b<c>d]]>", "\"'",
                               " \t\n\r ", "é€𐍈",  "  lead",     "日本ｶﾅ\\~",
                               "בּשָׁ",       "a  b", "tok\tens",   "\n<![CDATA["};

// Encodings of several bytes a character, and one whose converter holds a letter back until
// the next byte, that a document may be turned into.
const char* const kEncodings[] = {"Shift_JIS", "EUC-JP",  "EUC-KR",      "GBK",
                                  "Big5",      "GB18030", "windows-1255"};
const char* const kTypes[] = {"NMTOKEN", "NMTOKENS", "ID", "IDREFS", "CDATA", "(a|b)", "ENTITY"};

// text from one encoding into another through the C library's converter; nothing when it
// holds what the target lacks.
std::optional<std::string> Iconv(const std::string& text, const char* to, const char* from) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return std::nullopt;
    std::string out(text.size() * 4 + 16, '\0');
    char* in = const_cast<char*>(text.data());
    char* at = out.data();
    size_t inLeft = text.size(), outLeft = out.size();
    const bool done = iconv(cd, &in, &inLeft, &at, &outLeft) != static_cast<size_t>(-1) &&
                      iconv(cd, nullptr, nullptr, &at, &outLeft) != static_cast<size_t>(-1);
    iconv_close(cd);
    if (!done)
        return std::nullopt;
    out.resize(out.size() - outLeft);
    return out;
}

// The document with an internal subset that declares a type for each attribute it holds,
// chosen by state; nothing when it cannot have one.
std::optional<std::string> WithAttributeTypes(const std::string& text, uint32_t state) {
    if (text.find("<!DOCTYPE") != std::string::npos)
        return std::nullopt;
    OwnedDoc doc(xmlReadMemory(text.data(), static_cast<int>(text.size()), nullptr, nullptr,
                               XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
    xmlNodePtr root = doc ? xmlDocGetRootElement(doc.get()) : nullptr;
    if (!root)
        return std::nullopt;
    std::set<std::pair<std::string, std::string>> names;
    for (xmlNodePtr node = root; node;) {
        if (node->type == XML_ELEMENT_NODE)
            for (xmlAttrPtr a = node->properties; a; a = a->next)
                names.emplace(QualifiedName(node), QualifiedName(reinterpret_cast<xmlNodePtr>(a)));
        if (node->children && node->type == XML_ELEMENT_NODE) {
            node = node->children;
            continue;
        }
        while (node && !node->next && node != root)
            node = node->parent;
        node = node && node != root ? node->next : nullptr;
    }
    std::string subset = "<!DOCTYPE " + QualifiedName(root) + " [\n";
    for (const auto& [element, attribute] : names) {
        state = state * 1103515245u + 12345u;
        subset += "<!ATTLIST " + element + " " + attribute + " " +
                  kTypes[(state >> 16) % std::size(kTypes)] + " #IMPLIED>\n";
    }
    subset += "]>\n";
    size_t at = 0;
    if (text.rfind("<?xml", 0) == 0) {
        at = text.find("?>");
        if (at == std::string::npos)
            return std::nullopt;
        at += 2;
    }
    return text.substr(0, at) + subset + text.substr(at);
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Every element's and attribute's value, in document order.
std::vector<std::string> Values(DOMWrapper& doc) {
    std::vector<std::string> values;
    for (const char* path : {"//*", "//@*"}) {
        doc.GetNodeList(path);
        for (; !doc.NodeEOF(); doc.NodeMoveNext())
            values.push_back(doc.NodeText());
    }
    return values;
}

// Whether output is input with only the given stretches replaced: the stretches between
// them come back in order, the first at the start and the last at the end.
bool KeepsOtherBytes(const std::string& input, const std::string& output,
                     std::vector<std::pair<size_t, size_t>> edited) {
    std::sort(edited.begin(), edited.end());
    std::vector<std::string> kept;
    size_t at = 0;
    for (const auto& [start, end] : edited) {
        if (start < at) { // inside an earlier stretch
            at = std::max(at, end);
            continue;
        }
        kept.push_back(input.substr(at, start - at));
        at = end;
    }
    kept.push_back(input.substr(std::min(at, input.size())));
    if (kept.size() == 1)
        return output == input;
    if (output.compare(0, kept.front().size(), kept.front()) != 0 ||
        output.size() < kept.back().size() ||
        output.compare(output.size() - kept.back().size(), kept.back().size(), kept.back()) != 0)
        return false;
    size_t from = kept.front().size();
    for (size_t i = 1; i + 1 < kept.size(); ++i) {
        const size_t found = output.find(kept[i], from);
        if (found == std::string::npos)
            return false;
        from = found + kept[i].size();
    }
    return from <= output.size() - kept.back().size();
}

} // namespace

inline void SetUp() {
    fuzz::SilenceMessageBoxes();
}

// The first bytes choose the edits, the rest is the document.
inline void RunOne(const uint8_t* data, size_t size) {
    if (size < 4)
        return;
    std::string input(reinterpret_cast<const char*>(data) + 4, size - 4);
    // Byte offsets are decoded offsets in a UTF-8 file. Without a declared encoding the
    // parser still takes "<" followed by NUL for UTF-16 or UCS-4.
    bool utf8 = input.find("encoding") == std::string::npos && input.size() >= 2 &&
                static_cast<unsigned char>(input[0]) < 0x80 && input[0] != '\0' && input[1] != '\0';
    // The high bits of the fourth byte give such a document attribute types, and turn it into
    // another encoding, with a declaration that ends where the parser's offsets start over.
    const int mode = data[3] >> 3;
    if (utf8 && mode >= 16)
        if (auto typed = WithAttributeTypes(input, data[0] | (data[1] << 8)))
            input = *typed;
    const char* encoding = nullptr;
    std::string declaration;
    if (utf8 && mode % 8 != 0 && input.rfind("<?xml", 0) != 0 &&
        input.find('\0') == std::string::npos) {
        encoding = kEncodings[(mode % 8 - 1) % std::size(kEncodings)];
        declaration = std::string("<?xml version='1.0' encoding='") + encoding + "'?>";
        if (auto encoded = Iconv(input, encoding, "UTF-8")) {
            input = declaration + *encoded;
            utf8 = false;
        } else {
            encoding = nullptr;
        }
    }
    const std::string path = fuzz::WriteFile("splice-input.xml", input);
    const std::string spliced = fuzz::WorkDir() + "/splice-output.xml";
    const std::string whole = fuzz::WorkDir() + "/splice-whole.xml";
    DOMWrapper doc;
    try {
        doc.Load(path);
    } catch (const Failure&) {
        return;
    }
    std::vector<std::pair<size_t, size_t>> edited;
    uint32_t state = static_cast<uint32_t>(data[0] | (data[1] << 8) | (data[2] << 16));
    const int edits = data[3] % 8;
    try {
        for (int i = 0; i < edits; ++i) {
            state = state * 1103515245u + 12345u;
            const bool attribute = (state >> 8) & 1;
            const std::string set = attribute ? "//@*" : "//*";
            doc.GetNodeList(set);
            const int count = doc.NodeCount();
            if (count == 0)
                continue;
            const std::string node =
                "(" + set + ")[" + std::to_string((state >> 9) % count + 1) + "]";
            const size_t choice = (state >> 20) % (std::size(kValues) + 1);
            const std::string value =
                choice == std::size(kValues) ? doc.GetElementValue(node, false) : kValues[choice];
            doc.SetElementValue(node, value);
            xmlNodePtr written = doc.WorkNodeRef().get();
            xmlNodePtr element = attribute ? written->parent : written;
            ElementSpan span;
            if (!SourceSpan(element, span))
                continue;
            if (attribute)
                edited.emplace_back(span.open, span.close);
            else if (span.EmptyForm())
                edited.emplace_back(span.close, span.close + 2);
            else
                edited.emplace_back(span.close + 1, span.endOpen);
        }
    } catch (const Failure&) {
        return;
    }
    try {
        doc.Save(spliced);
        SetSplicingEnabled(false);
        doc.Save(whole);
        SetSplicingEnabled(true);
    } catch (const Failure&) {
        SetSplicingEnabled(true);
        return;
    }
    DOMWrapper again;
    try {
        again.Load(spliced);
    } catch (const Failure& failure) {
        fuzz::Fail("a spliced document does not load again", failure.description);
    }
    if (Values(again) != Values(doc))
        fuzz::Fail("a spliced document reads back other values", ReadAll(spliced));
    const std::string output = ReadAll(spliced);
    if (utf8 && output != ReadAll(whole) && !KeepsOtherBytes(input, output, edited))
        fuzz::Fail("a spliced document changed bytes outside the edited values", output);
    if (!encoding || output == ReadAll(whole))
        return;
    // Compared as text: the parser's offsets count from the end of the encoding's name.
    const auto inputText = Iconv(input, "UTF-8", encoding);
    const auto outputText = Iconv(output, "UTF-8", encoding);
    if (!inputText || !outputText)
        fuzz::Fail("a spliced document is not in its encoding", output);
    const size_t origin = declaration.size() - 2;
    for (auto& [start, end] : edited) {
        start += origin;
        end += origin;
    }
    if (!KeepsOtherBytes(*inputText, *outputText, edited))
        fuzz::Fail("a spliced document changed text outside the edited values", *outputText);
}

} // namespace fuzz::splice
