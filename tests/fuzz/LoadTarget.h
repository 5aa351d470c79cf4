#pragma once

// Arbitrary bytes as a data file: load, read a few fixed paths, clear, save.
#include "FuzzSupport.h"

#include "common/Failure.h"
#include "xml/DOMWrapper.h"

#include <cstdint>
#include <string>

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
        return;
    }
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
