#pragma once

// An arbitrary sequence of DOMWrapper operations on two small documents, with reloads,
// saves and nodes handed from one wrapper to the other.
#include "FuzzSupport.h"

#include "common/Failure.h"
#include "xml/DOMWrapper.h"

#include <array>
#include <cstdint>
#include <string>

namespace fuzz::operations {

namespace {

const char* const kSeedDocument = R"(<?xml version="1.0" encoding="UTF-8"?>
<FD:RidoRudu xmlns:FD="http://www.ridorudu.org/namespace/RidoRudu" Version="2">
  <FD:Datas Table="Header"><FD:Field Name="OriginalFile" FlowType="A">orig.xml</FD:Field></FD:Datas>
  <FD:Datas Table="Order">
    <FD:Field Name="OrderNo" FlowType="N">4711</FD:Field>
    <FD:Field Name="Customer" FlowType="A">Smith &amp; Sons</FD:Field>
    <FD:Field Name="Remark" FlowType="A">text<b>bold</b>tail</FD:Field>
    <!-- note -->
    <FD:Field Name="Empty" FlowType="A"/>
    <?pi data?>
    <FD:Field Name="Cdata"><![CDATA[a < b]]></FD:Field>
  </FD:Datas>
</FD:RidoRudu>
)";

const char* const kConfigDocument = R"(<XML><Config><Number>001</Number>
<Description>Orders</Description><Check_OriginalFile/><Fields><Field>
<XPath>FD:RidoRudu/FD:Datas/FD:Field</XPath><Alias>A</Alias></Field></Fields></Config></XML>)";

const char* const kPaths[] = {
    "/",
    "/*",
    "//*",
    "//FD:Field",
    "//FD:Datas",
    "//FD:Field[@Name='Customer']",
    "FD:RidoRudu/FD:Datas[@Table='Order']",
    "FD:RidoRudu/FD:Datas[@Table='Order']/FD:Field[@Name='OrderNo']",
    "//@Name",
    "//@*",
    "//text()",
    "//comment()",
    "//processing-instruction()",
    "//b",
    ".",
    "./*",
    "./*[1]",
    "..",
    "./@*",
    "./text()",
    "XML/Config",
    "XML/Config/Fields/Field",
    "./XPath",
    "count(//*)",
    "//*[",
    "//FD:Field[last()]",
    "/*/*[2]/*[3]/node()",
    "//namespace::*",
    "id('x')",
    "",
};

const char* const kNames[] = {
    "Field", "Datas", "FD:Field", "FD:Datas", "b",    "RidoRudu", "XML",   "Config", " field ",
    "",      "x:y:z", "1bad",     "EOF",      "Name", "FlowType", "Table", "xmlns",  "xmlns:FD",
};

const char* const kNodeTexts[] = {
    "<FD:Field xmlns:FD='http://www.ridorudu.org/namespace/RidoRudu' Name='New'>v</FD:Field>",
    "<a><b>1</b><c/></a>",
    "<?xml version='1.0'?><r/>",
    "<!-- c --><r/>",
    "<?p?><r/>",
    "<x:y/>",
    "not xml",
    "",
};

// Reads operations and arguments from the input; an exhausted input reads as zeros.
class Decoder {
public:
    Decoder(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool More() const { return pos_ < size_; }
    int Pick(int count) { return static_cast<int>(Byte() % static_cast<unsigned>(count)); }
    bool Flag() { return (Byte() & 1) != 0; }
    int32_t Number() { return Pick(12) - 3; }

    template <size_t N> std::string From(const char* const (&pool)[N]) {
        if (Pick(8) == 0)
            return Bytes(48);
        return pool[Pick(static_cast<int>(N))];
    }
    std::string Path() { return From(kPaths); }
    std::string Name() { return From(kNames); }
    std::string Text() { return Bytes(24); }
    std::string NodeText() { return Flag() ? Bytes(200) : From(kNodeTexts); }

private:
    uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    // Up to limit bytes, ended early by a backslash not followed by another one.
    std::string Bytes(size_t limit) {
        std::string text;
        while (text.size() < limit && More()) {
            const char c = static_cast<char>(Byte());
            if (c == '\\') {
                if (!More() || data_[pos_] != '\\')
                    break;
                ++pos_;
            }
            text += c;
        }
        return text;
    }

    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

std::string g_seedPath;
std::string g_configPath;

// Copies multiply the document; a few are enough to reach every shape.
constexpr int kMaxCopies = 6;

void Apply(Decoder& in, std::array<DOMWrapper, 2>& docs, int& copies) {
    const int which = in.Pick(2);
    DOMWrapper& doc = docs[static_cast<size_t>(which)];
    DOMWrapper& other = docs[static_cast<size_t>(1 - which)];
    switch (in.Pick(46)) {
    case 0:
        doc.Load(g_seedPath, kRidoRuduDeclaration);
        break;
    case 1:
        doc.Load(g_configPath, in.Flag() ? "" : "  ");
        break;
    case 2: {
        const std::string path = fuzz::WriteFile("ops-input.xml", in.NodeText());
        doc.Load(path, in.Flag() ? kRidoRuduDeclaration : in.Text());
        break;
    }
    case 3: {
        const std::string path = fuzz::WorkDir() + "/ops-saved.xml";
        bool saved = false;
        try {
            doc.Save(path);
            saved = true;
        } catch (const Failure&) {
        }
        // Whatever Save writes must load again.
        if (saved) {
            try {
                doc.Load(path, kRidoRuduDeclaration);
            } catch (const Failure& failure) {
                fuzz::Fail("a saved document does not load again", failure.description);
            }
        }
        break;
    }
    case 4:
        doc.NewDoc(in.Name());
        break;
    case 5:
        if (++copies <= kMaxCopies)
            doc.CloneNodes(in.Path(), in.Path());
        break;
    case 6:
        doc.RemoveNode(in.Path(), in.Path());
        break;
    case 7:
        doc.RemoveNodes(in.Path(), in.Path());
        break;
    case 8:
        doc.SetAttributes(in.Path(), in.Number(), in.Text());
        break;
    case 9:
        doc.AppendNode(in.Path(), in.Name(), in.Text(), in.Flag() ? "Name;FlowType" : in.Text(),
                       in.Flag() ? "a;b" : in.Text(), in.Flag());
        break;
    case 10:
        doc.AppendChildNodefromText(in.Path(), in.NodeText(),
                                    in.Flag() ? "" : kRidoRuduDeclaration);
        break;
    case 11:
        if (++copies <= kMaxCopies) {
            const DOMWrapper& source = in.Flag() ? doc : other;
            doc.AppendChildNodefromNode(in.Path(),
                                        in.Flag() ? source.CurrentNodeRef() : source.WorkNodeRef());
        }
        break;
    case 12:
        doc.GetElementValue(in.Path(), in.Flag());
        break;
    case 13:
        if (in.Flag())
            doc.SetElementValue(in.Path(), in.Text());
        else
            doc.SetElementValue(in.Path(), in.Number());
        break;
    case 14:
        doc.GetNodeList(in.Path());
        break;
    case 15:
        (void)doc.NodeCount();
        (void)doc.NodeEOF();
        break;
    case 16:
        doc.NodeMoveNext();
        break;
    case 17:
        (void)doc.NodeText();
        break;
    case 18:
        (void)doc.SubNodeText(in.Path());
        break;
    case 19:
        doc.ClearAllNodes();
        break;
    case 20:
        (void)doc.CountElementsByTagName(in.Name());
        break;
    case 21:
        (void)doc.GetElementByTagName(in.Name(), static_cast<int16_t>(in.Number()));
        break;
    case 22:
        (void)doc.GetChild(in.Name());
        break;
    case 23:
        (void)doc.GetField();
        break;
    case 24:
        doc.PosNode(in.Name(), in.Flag());
        break;
    case 25:
        doc.SetChild(in.Name(), in.Text());
        break;
    case 26:
        doc.AddNode(in.Name());
        break;
    case 27:
        if (++copies <= kMaxCopies)
            doc.CloneNode();
        break;
    case 28:
        (void)doc.GetNextElemName();
        break;
    case 29:
        (void)doc.IsFirstNode();
        break;
    case 30:
        doc.Flow_Property();
        break;
    case 31:
        (void)doc.GetElementByName(in.Path());
        break;
    case 32:
        (void)doc.SetElementByName(in.Path(), in.Text());
        break;
    case 33:
        doc.PosNodeByName(in.Name(), in.Text(), in.Flag());
        break;
    case 34:
        doc.AddField(in.Text(), in.Number(), in.Text());
        break;
    case 35:
        doc.AddDatas(in.Text());
        break;
    case 36:
        (void)doc.HasChilds();
        break;
    case 37:
        (void)doc.CheckElementByName(in.Path());
        break;
    case 38:
        (void)doc.GetXML();
        break;
    case 39: {
        std::string type = "unchanged";
        doc.GetAttribut(in.Name(), type);
        break;
    }
    case 40:
        doc.PosNodeByAttribut(in.Name(), in.Name(), in.Text(), in.Flag());
        break;
    case 41:
        (void)doc.GetAnzChilds();
        break;
    case 42: {
        std::string value;
        bool found = false;
        doc.GetElementValue2(value, found, in.Path(), in.Flag());
        break;
    }
    case 43:
        // A walk to the end, as a caller stepping through a whole document would.
        for (int i = 0; i < 64 && doc.GetNextElemName() != "EOF"; ++i) {
        }
        break;
    case 44:
        for (int i = 0; i < 16 && doc.PosNode(in.Name(), true); ++i) {
        }
        break;
    default:
        doc.NewDoc("root");
        doc.Flow_Property();
        doc.AddDatas(in.Text());
        break;
    }
}

} // namespace

inline void SetUp() {
    fuzz::SilenceMessageBoxes();
    g_seedPath = fuzz::WriteFile("ops-seed.xml", kSeedDocument);
    g_configPath = fuzz::WriteFile("ops-config.xml", kConfigDocument);
}

inline void RunOne(const uint8_t* data, size_t size) {
    Decoder in(data, size);
    std::array<DOMWrapper, 2> docs;
    int copies = 0;
    for (int step = 0; step < 64 && in.More(); ++step) {
        try {
            Apply(in, docs, copies);
        } catch (const Failure&) {
            // Every failure the class reports is a Failure; anything else escapes and is
            // reported by libFuzzer as an uncaught exception.
        }
    }
}

} // namespace fuzz::operations
