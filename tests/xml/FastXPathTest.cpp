#include "xml/FastXPath.h"
#include "xml/XmlPtr.h"

#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>

#include <gtest/gtest.h>

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

OwnedDoc Parse(const std::string& text) {
    return OwnedDoc(xmlReadMemory(text.data(), static_cast<int>(text.size()), nullptr, nullptr,
                                  XML_PARSE_NOBLANKS));
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
        "/FD:Flow/FD:Datas[@Table='T1']/FD:Field[@Name='A'][2]",
        "/FD:Flow/FD:Datas[@Table='T1']/FD:Field[3][@Name='A']",
        "//FD:Field[@x:Name='A']",
        "//Field",
    };
    OwnedDoc doc = Parse(kDocument);
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

TEST(FastXPath, IndexesFollowChangesAfterInvalidate) {
    // Enough children for the per-parent index.
    std::string text = "<r>";
    for (int i = 0; i < 300; ++i)
        text += "<f n='" + std::to_string(i) + "'>" + std::to_string(i) + "</f>";
    text += "</r>";
    OwnedDoc doc = Parse(text);
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

// A parent with few children that many paths go through gets an index of its own; what it
// selects stays what the full evaluation selects, repeated values and positions included.
TEST(FastXPath, AParentManyPathsGoThroughSelectsAsBefore) {
    std::string text = "<FD:Flow xmlns:FD='http://www.ridorudu.org/namespace/RidoRudu'>";
    for (int d = 0; d < 12; ++d) {
        text += "<FD:Datas Table='T" + std::to_string(d % 9) + "'>";
        for (int f = 0; f < 12; ++f)
            text += "<FD:Field Name='F" + std::to_string(f % 10) + "'>" + std::to_string(d) + "." +
                    std::to_string(f) + "</FD:Field>";
        text += "<Other Table='T1'/></FD:Datas>";
    }
    text += "</FD:Flow>";
    OwnedDoc doc = Parse(text);
    ASSERT_TRUE(doc);
    FastXPath fast(doc.get());
    const xmlNodePtr top = reinterpret_cast<xmlNodePtr>(doc.get());
    for (int round = 0; round < 3; ++round) {
        for (int d = 0; d < 10; ++d)
            for (const std::string field : {"[@Name='F1']", "[@Name='F1'][2]", "[@Name='F11']",
                                            "[2][@Name='F1']", "[@Name='F3'][1]", ""}) {
                const std::string path =
                    "/FD:Flow/FD:Datas[@Table='T" + std::to_string(d) + "']/FD:Field" + field;
                const auto parsed = FastXPath::Parse(path, kNs);
                ASSERT_TRUE(parsed) << path;
                EXPECT_EQ(fast.Evaluate(*parsed, top), FullEvaluation(doc.get(), path, top))
                    << path << " round " << round;
            }
        // Values changed under the indexes: the next round must see them.
        xmlNodePtr datas = xmlDocGetRootElement(doc.get())->children;
        xmlSetProp(datas, BAD_CAST "Table", BAD_CAST(round % 2 ? "T0" : "T5"));
        xmlSetProp(datas->children, BAD_CAST "Name", BAD_CAST "F1");
        fast.Invalidate();
    }
}

} // namespace
