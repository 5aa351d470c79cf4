#pragma once

// Arbitrary bytes as a data file: load, read a few fixed paths, clear, save. The one-pass
// reading of plain paths must give what the load gives, or leave the file to it.
#include "FuzzSupport.h"

#include "common/Failure.h"
#include "xml/DOMWrapper.h"
#include "xml/StreamedValues.h"

#include <cstdint>
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
