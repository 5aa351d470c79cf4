#pragma once

// A document and random value edits: the saved file must load, hold exactly the values the
// document holds and, where the save spliced, keep every byte outside the edited values.
#include "FuzzSupport.h"

#include "common/Failure.h"
#include "xml/DOMWrapper.h"
#include "xml/SourcePositions.h"
#include "xml/SpliceSave.h"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace fuzz::splice {

namespace {

const char* const kValues[] = {"", "x", "a&b<c>d]]>", "\"'", " \t\n\r ", "é€𐍈", "  lead"};

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
    const std::string input(reinterpret_cast<const char*>(data) + 4, size - 4);
    const std::string path = fuzz::WriteFile("splice-input.xml", input);
    const std::string spliced = fuzz::WorkDir() + "/splice-output.xml";
    const std::string whole = fuzz::WorkDir() + "/splice-whole.xml";
    DOMWrapper doc;
    try {
        doc.Load(path);
    } catch (const Failure&) {
        return;
    }
    // Byte offsets are decoded offsets in a UTF-8 file. Without a declared encoding the
    // parser still takes "<" followed by NUL for UTF-16 or UCS-4.
    const bool utf8 = input.find("encoding") == std::string::npos && input.size() >= 2 &&
                      static_cast<unsigned char>(input[0]) < 0x80 && input[0] != '\0' &&
                      input[1] != '\0';
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
}

} // namespace fuzz::splice
