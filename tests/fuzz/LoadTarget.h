#pragma once

// Arbitrary bytes as a data file: load, read a few fixed paths, clear, save. The one-pass
// reading of plain paths must give what the load gives, or leave the file to it; a load that
// keeps only those paths' elements must read the same values and save the same bytes after
// the same writes.
#include "FuzzSupport.h"

#include "common/Failure.h"
#include "xml/DOMWrapper.h"
#include "xml/StreamedValues.h"

#include <cstdint>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace fuzz::load {

namespace {

const char* const kPaths[] = {
    "/*",
    "//*",
    "//@*",
    "//text()",
    "FD:RidoRudu/FD:Datas[@Table='Order']/FD:Field[@Name='OrderNo']",
    "//FD:Field[@Name='Customer']",
    "XML/Config",
    "/*/*[1]/@*[1]",
    "//comment()",
    "//processing-instruction()",
};

// Plain paths, which one pass reads.
const char* const kStreamedPaths[] = {
    "/FD:RidoRudu/FD:Datas[@Table='Order']/FD:Field[@Name='OrderNo']",
    "/FD:RidoRudu/FD:Datas[@Table='Header']/FD:Field[@Name='OriginalFile']",
    "/FD:RidoRudu/FD:Datas/FD:Field",
    "/FD:RidoRudu/*[@Table='Order']/FD:Field/@FlowType",
    "/*/*/@Name",
    "/*/*/*",
    "/XML/Config/Number",
};

// Each path alone, since any one of them may send the file to the load, and then all.
void CompareStreamed(const std::string& input, DOMWrapper* loaded) {
    std::vector<std::vector<std::string>> sets;
    std::vector<std::string> all;
    for (const char* path : kStreamedPaths) {
        sets.push_back({path});
        all.push_back(path);
    }
    sets.push_back(all);
    for (const std::vector<std::string>& paths : sets) {
        const std::optional<StreamedValues> streamed =
            StreamedValues::Compile(paths, kRidoRuduDeclaration);
        if (!streamed)
            fuzz::Fail("a plain path is not read in one pass", paths.front());
        const std::optional<StreamedValues::Values> read = streamed->Read(input);
        if (!read)
            continue;
        if (!loaded)
            fuzz::Fail("one pass read a file that does not load", paths.front());
        for (size_t i = 0; i < paths.size(); ++i) {
            std::string value;
            bool found = false;
            loaded->GetElementValue2(value, found, paths[i], true);
            if (read->values[i] != (found ? std::optional(value) : std::nullopt))
                fuzz::Fail("one pass read another value than the load", paths[i]);
        }
        if (read->stamp != loaded->LoadedStamp())
            fuzz::Fail("one pass stamped the file otherwise", paths.front());
    }
}

// Writes a value through each path that selects something; false when none does.
bool WriteEach(DOMWrapper& doc, const std::vector<std::string>& paths) {
    bool any = false;
    for (size_t i = 0; i < paths.size(); ++i) {
        std::string value;
        bool found = false;
        doc.GetElementValue2(value, found, paths[i], true);
        if (found) {
            doc.SetElementValue(paths[i], value + " & <" + std::to_string(i) + ">");
            any = true;
        }
    }
    return any;
}

// The bytes a save writes, or nothing when it fails.
std::optional<std::string> Saved(DOMWrapper& doc, const std::string& name) {
    const std::string path = fuzz::WorkDir() + "/" + name;
    try {
        doc.Save(path);
    } catch (const Failure&) {
        return std::nullopt;
    }
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Paths that leave most of a data file out.
const char* const kFieldPaths[] = {
    "/FD:RidoRudu/FD:Datas[@Table='Order']/FD:Field[@Name='OrderNo']",
    "FD:RidoRudu/FD:Datas[@Table='Order']/FD:Field[@Name='Customer']",
    "/FD:RidoRudu/FD:Datas[@Table='Header']/FD:Field[@Name='OriginalFile']",
    "/FD:RidoRudu/*[@Table='Order']/FD:Field/@FlowType",
    "/XML/Config/Number",
};

void ComparePartial(const std::string& input) {
    const std::vector<std::string> paths(std::begin(kFieldPaths), std::end(kFieldPaths));
    DOMWrapper whole, part;
    try {
        whole.Load(input, kRidoRuduDeclaration);
        part.LoadFor(input, kRidoRuduDeclaration, paths);
    } catch (const Failure&) {
        return;
    }
    for (const std::string& path : paths) {
        std::string a, b;
        bool foundA = false, foundB = false;
        whole.GetElementValue2(a, foundA, path, true);
        part.GetElementValue2(b, foundB, path, true);
        if (foundA != foundB || a != b)
            fuzz::Fail("a partial load read another value", path);
    }
    try {
        if (!WriteEach(whole, paths) || !WriteEach(part, paths))
            return;
    } catch (const Failure&) {
        return;
    }
    if (Saved(whole, "whole.xml") != Saved(part, "part.xml"))
        fuzz::Fail("a partial load saved other bytes", input);
}

} // namespace

inline void SetUp() {
    fuzz::SilenceMessageBoxes();
}

inline void RunOne(const uint8_t* data, size_t size) {
    const std::string input = fuzz::WriteFile("input.xml", data, size);
    const std::string output = fuzz::WorkDir() + "/output.xml";
    DOMWrapper doc;
    try {
        doc.Load(input, kRidoRuduDeclaration);
    } catch (const Failure&) {
        CompareStreamed(input, nullptr);
        return;
    }
    CompareStreamed(input, &doc);
    ComparePartial(input);
    for (const char* path : kPaths) {
        try {
            doc.GetNodeList(path);
            for (int i = 0; i < 4 && !doc.NodeEOF(); ++i) {
                doc.NodeText();
                try {
                    doc.SubNodeText("./*[1]");
                } catch (const Failure&) {
                }
                doc.NodeMoveNext();
            }
        } catch (const Failure&) {
        }
        try {
            doc.GetElementValue(path, true);
        } catch (const Failure&) {
        }
    }
    try {
        doc.ClearAllNodes();
    } catch (const Failure&) {
    }
    try {
        doc.Save(output);
    } catch (const Failure&) {
        return;
    }
    try {
        DOMWrapper again;
        again.Load(output, kRidoRuduDeclaration);
    } catch (const Failure& failure) {
        fuzz::Fail("a saved document does not load again", failure.description);
    }
}

} // namespace fuzz::load
