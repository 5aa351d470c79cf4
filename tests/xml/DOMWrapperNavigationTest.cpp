#include "common/Failure.h"
#include "support/Seams.h"
#include "xml/DOMWrapper.h"

#include <gtest/gtest.h>

namespace {

const std::string kNs = std::string("xmlns:FD=\"") + kRidoRuduNamespace + "\"";

class DOMWrapperNavigation : public ::testing::Test {
protected:
    void Open(const std::string& xml) {
        dom.Load(files.Write("data.xml", "<?xml version=\"1.0\"?>\n" + xml), kRidoRuduDeclaration);
    }

    TempFiles files;
    DOMWrapper dom;
    ScriptedMessageBox boxes;
};

TEST_F(DOMWrapperNavigation, PosNodeVisitsEveryMatchInDocumentOrderThenUnsets) {
    Open("<FD:Root " + kNs +
         "><FD:Datas Table=\"Orders\"><FD:Field Name=\"Id\">1</FD:Field>"
         "<FD:Field Name=\"Date\">2</FD:Field></FD:Datas><FD:Datas Table=\"Items\"><Group>"
         "<FD:Field Name=\"Sum\">3</FD:Field></Group></FD:Datas></FD:Root>");
    std::vector<std::string> found;
    for (bool more = dom.PosNode("Field"); more; more = dom.PosNode("Field", true))
        found.push_back(dom.GetField());
    EXPECT_EQ(found, (std::vector<std::string>{"1", "2", "3"}));
    EXPECT_FALSE(dom.CurrentNodeRef().IsSet());
    EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(DOMWrapperNavigation, PosNodeByNameStopsWithItsBoxOnAMatchWithoutAttributes) {
    Open("<r><Field Name=\"a\"/><Field>bare</Field><Field Name=\"b\"/></r>");
    EXPECT_FALSE(dom.PosNodeByName("field", "b"));
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].text, "91: Object variable or With block variable not set");
    EXPECT_EQ(boxes.shown()[0].title, "Ravlen");
    EXPECT_EQ(dom.GetField(), "bare");
}

TEST_F(DOMWrapperNavigation, GetChildTakesTheLastMatchAndSetChildWritesEvery) {
    Open("<r><rec><v>1</v><w>x</w><FD:V " + kNs + ">2</FD:V></rec></r>");
    ASSERT_TRUE(dom.PosNode("rec"));
    EXPECT_EQ(dom.GetChild(" V "), "2");
    EXPECT_EQ(dom.GetChild("none"), "");

    dom.GetNodeList("/r/rec/v/text()"); // a text node the write replaces stays readable
    EXPECT_FALSE(dom.SetChild("v", "a & <b>"));
    EXPECT_FALSE(dom.SetChild("none", "ignored"));
    EXPECT_EQ(dom.GetXML(), "<rec><v>a &amp; &lt;b&gt;</v><w>x</w><FD:V " + kNs +
                                ">a &amp; &lt;b&gt;</FD:V></rec>");
    EXPECT_EQ(dom.NodeText(), "1");
}

TEST_F(DOMWrapperNavigation, RecordsAreSavedWithThePrefixAndNoDeclarationOfTheirOwn) {
    Open("<FD:Root " + kNs + "/>");
    dom.GetElementValue("/FD:Root", false);
    EXPECT_FALSE(dom.AddDatas("Orders"));
    EXPECT_FALSE(dom.AddDatas("Orders"));
    ASSERT_TRUE(dom.PosNodeByName("Datas", "orders"));
    EXPECT_FALSE(dom.AddField("A", "B", "C & D"));
    EXPECT_FALSE(dom.AddField("N", 42, 1.5));
    EXPECT_EQ(dom.GetXML(), "<FD:Datas Table=\"Orders\"><FD:Field Name=\"A\" FlowType=\"B\">C "
                            "&amp; D</FD:Field><FD:Field Name=\"N\" FlowType=\"42\">1.5</FD:Field>"
                            "</FD:Datas>");

    const std::string path = files.Path("records.xml");
    dom.Save(path);
    const std::string saved = ReadFileBytes(path);
    EXPECT_EQ(saved.find("xmlns:FD"), saved.rfind("xmlns:FD")) << saved;

    DOMWrapper reloaded;
    reloaded.Load(path, kRidoRuduDeclaration);
    reloaded.GetNodeList("/FD:Root/FD:Datas[@Table='Orders']/FD:Field");
    EXPECT_EQ(reloaded.NodeCount(), 2);
    EXPECT_EQ(reloaded.SubNodeText("@FlowType"), "B");
    EXPECT_EQ(reloaded.NodeText(), "C & D");
    reloaded.GetNodeList("/FD:Root/FD:Datas");
    EXPECT_EQ(reloaded.NodeCount(), 2);
}

} // namespace
