#include "xml/FastXPath.h"

#include <libxml/parser.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>

#include <gtest/gtest.h>

#include <memory>

namespace {

const std::vector<std::pair<std::string, std::string>> kNs = {
    {"FD", "http://www.ridorudu.org/namespace/RidoRudu"}, {"x", "urn:x"}};

// Nested data sets with the same names, mixed content, attributes in and out of namespaces,
// and an element whose prefixed name carries no namespace.
const char* kDocument = R"(<FD:Flow xmlns:FD="http://www.ridorudu.org/namespace/RidoRudu"
    xmlns:x="urn:x" Version="1">
  <FD:Datas Table="T1">
    <FD:Field Name="A" FlowType="N">1</FD:Field>
    <FD:Datas Table="T1"><FD:Field Name="A">nested</FD:Field><FD:Field Name="B"/></FD:Datas>
    <FD:Field Name="A" FlowType="X">2</FD:Field>
    <FD:Field x:Name="A">ns attribute</FD:Field>
    <Field Name="A">no namespace</Field>
  </FD:Datas>
  <FD:Datas Table="T2">text<FD:Field Name="A">3</FD:Field>tail<![CDATA[cdata]]></FD:Datas>
  <FD:Datas Table='T"3'><FD:Field Name="B">4</FD:Field></FD:Datas>
</FD:Flow>)";

using DocPtr = std::unique_ptr<xmlDoc, decltype(&xmlFreeDoc)>;

DocPtr Parse(const std::string& text) {
    return DocPtr(xmlReadMemory(text.data(), static_cast<int>(text.size()), nullptr, nullptr,
                                XML_PARSE_NOBLANKS),
                  xmlFreeDoc);
}

std::vector<xmlNodePtr> FullEvaluation(xmlDocPtr doc, const std::string& path, xmlNodePtr context) {
    xmlXPathContextPtr ctxt = xmlXPathNewContext(doc);
    for (const auto& [prefix, uri] : kNs)
        xmlXPathRegisterNs(ctxt, BAD_CAST prefix.c_str(), BAD_CAST uri.c_str());
    ctxt->node = context;
    xmlXPathObjectPtr result = xmlXPathEvalExpression(BAD_CAST path.c_str(), ctxt);
    std::vector<xmlNodePtr> nodes;
    if (result && result->type == XPATH_NODESET && result->nodesetval) {
        xmlXPathNodeSetSort(result->nodesetval);
        for (int i = 0; i < result->nodesetval->nodeNr; ++i)
            nodes.push_back(result->nodesetval->nodeTab[i]);
    }
    xmlXPathFreeObject(result);
    xmlXPathFreeContext(ctxt);
    return nodes;
}

TEST(FastXPath, GivesExactlyTheFullEvaluationsNodeSet) {
    const std::vector<std::string> paths = {
        "/FD:Flow",
        "/FD:Flow/FD:Datas",
        "/FD:Flow/FD:Datas[@Table='T1']/FD:Field[@Name='A']",
        "/FD:Flow/FD:Datas[@Table=\"T2\"]/FD:Field[@Name = 'A']",
        "/FD:Flow/FD:Datas[@Table='T\"3']/FD:Field",
        "//FD:Datas[@Table='T1']/FD:Field[@Name='A']",
        "//FD:Datas[@Table='T1']//FD:Field",
        "//FD:Field[@Name='A']",
        "//FD:Field[@x:Name='A']",
        "//FD:Field",
        "//Field",
        "//*[@Name='B']",
        "/FD:Flow/FD:Datas[1]/FD:Field[2]",
        "/FD:Flow/FD:Datas[@Table='T1']/FD:Field[@Name='A'][2]",
        "/FD:Flow/FD:Datas[@Table='T1']/FD:Field[3][@Name='A']",
        "/FD:Flow/FD:Datas[9]",
        "/FD:Flow/@Version",
        "FD:Flow/FD:Datas/@Table",
        "/FD:Flow/FD:Datas[@Table='T2']/text()",
        "//FD:Field[@Name='A']/..",
        "/FD:Flow/FD:Datas/FD:Field/.",
        "/FD:Flow/FD:Datas[@Table='nothing']/FD:Field",
        "/FD:Flow/*/FD:Field[@FlowType='X']",
        "/FD:Flow/FD:Datas/FD:Datas/FD:Field[@Name='A']",
        "//FD:Datas/FD:Field[@Name='B']",
    };
    DocPtr doc = Parse(kDocument);
    ASSERT_TRUE(doc);
    FastXPath fast(doc.get());
    for (const auto& path : paths) {
        const auto parsed = FastXPath::Parse(path, kNs);
        ASSERT_TRUE(parsed) << path << " should be in the fast subset";
        const auto expected =
            FullEvaluation(doc.get(), path, reinterpret_cast<xmlNodePtr>(doc.get()));
        EXPECT_EQ(fast.Evaluate(*parsed, reinterpret_cast<xmlNodePtr>(doc.get())), expected)
            << path;
    }
}

TEST(FastXPath, RelativePathsFromAnElement) {
    DocPtr doc = Parse(kDocument);
    FastXPath fast(doc.get());
    const auto datas =
        FullEvaluation(doc.get(), "//FD:Datas", reinterpret_cast<xmlNodePtr>(doc.get()));
    for (const std::string path : {"./FD:Field", "FD:Field[@Name='A']", "..", ".//FD:Field",
                                   "./FD:Datas/FD:Field[1]", "@Table"}) {
        const auto parsed = FastXPath::Parse(path, kNs);
        ASSERT_TRUE(parsed) << path;
        for (xmlNodePtr context : datas)
            EXPECT_EQ(fast.Evaluate(*parsed, context), FullEvaluation(doc.get(), path, context))
                << path;
    }
}

TEST(FastXPath, LeavesEverythingElseToTheFullEvaluation) {
    for (const std::string path :
         {"", "count(//FD:Field)", "//FD:Field | //Field", "//FD:Field[last()]",
          "//FD:Field[position()=2]", "//FD:Datas[2]", "preceding::FD:Field", "//FD:Field[.='1']",
          "//FD:Field[@Name='A' and @FlowType='N']", "//FD:Field[1.5]", "//Q:Field",
          "/FD:Flow/FD:Datas[@Table='T1'", "ancestor-or-self::*", "//FD:Field/@*", "/", "//."})
        EXPECT_FALSE(FastXPath::Parse(path, kNs)) << path;
}

TEST(FastXPath, ParentsWithManyChildrenGiveTheFullEvaluationsNodeSet) {
    // Enough children for the per-parent index: repeated and missing values, other names,
    // attributes in a namespace, and positions counted after the attribute test.
    std::string text = "<r xmlns:x='urn:x'>";
    for (int i = 0; i < 600; ++i) {
        const std::string value = std::to_string(i % 250);
        if (i % 7 == 0)
            text += "<g n='" + value + "'/>";
        else if (i % 11 == 0)
            text += "<f x:n='" + value + "'/>";
        else if (i % 13 == 0)
            text += "<f/>";
        else
            text += "<f n='" + value + "'><v k='" + value + "'/></f>";
    }
    text += "</r>";
    DocPtr doc = Parse(text);
    ASSERT_TRUE(doc);
    FastXPath fast(doc.get());
    for (const std::string path :
         {"/r/f[@n='3']", "/r/f[@n='3'][2]", "/r/f[@n='3'][3]", "/r/f[@n='3'][1]/v[@k='3']",
          "/r/f[@x:n='22']", "/r/*[@n='14']", "/r/g[@n='7']", "/r/f[@n='nothing']", "/r/f[5]",
          "/r/f[@n='']", "//f[@n='3']/v", "/r/f[@n=\"249\"]/@n"}) {
        const auto parsed = FastXPath::Parse(path, kNs);
        ASSERT_TRUE(parsed) << path;
        const auto root = reinterpret_cast<xmlNodePtr>(doc.get());
        EXPECT_EQ(fast.Evaluate(*parsed, root), FullEvaluation(doc.get(), path, root)) << path;
    }
}

TEST(FastXPath, IndexesFollowChangesAfterInvalidate) {
    // Many children, so the per-parent index is used.
    std::string text = "<r>";
    for (int i = 0; i < 300; ++i)
        text += "<f n='" + std::to_string(i) + "'>" + std::to_string(i) + "</f>";
    text += "</r>";
    DocPtr doc = Parse(text);
    FastXPath fast(doc.get());
    const auto path = *FastXPath::Parse("/r/f[@n='42']", kNs);
    const auto byIndex = fast.Evaluate(path, reinterpret_cast<xmlNodePtr>(doc.get()));
    ASSERT_EQ(byIndex.size(), 1u);
    xmlSetProp(byIndex[0], BAD_CAST "n", BAD_CAST "x");
    fast.Invalidate();
    EXPECT_TRUE(fast.Evaluate(path, reinterpret_cast<xmlNodePtr>(doc.get())).empty());
    const auto global = *FastXPath::Parse("//f[@n='x']", kNs);
    EXPECT_EQ(fast.Evaluate(global, reinterpret_cast<xmlNodePtr>(doc.get())), byIndex);
}

} // namespace
