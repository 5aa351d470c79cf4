#include "common/Failure.h"
#include "support/Seams.h"
#include "xml/DOMWrapper.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

const std::string kNs = std::string("xmlns:FD=\"") + kRidoRuduNamespace + "\"";

const std::string kRecords = "<FD:Root " + kNs +
                             ">"
                             "<FD:Datas Table=\"Orders\">"
                             "<FD:Field Name=\"Id\" FlowType=\"In\">1</FD:Field>"
                             "<FD:Field Name=\"Date\" FlowType=\"Out\">2</FD:Field>"
                             "</FD:Datas>"
                             "<FD:Datas Table=\"Items\">"
                             "<Group><FD:Field FlowType=\"Calc\" Name=\"Sum\">3</FD:Field></Group>"
                             "</FD:Datas>"
                             "</FD:Root>";

int32_t FailureNumber(const std::function<void()>& action) {
    try {
        action();
    } catch (const Failure& f) {
        return f.number;
    }
    ADD_FAILURE() << "no failure raised";
    return 0;
}

class DOMWrapperNavigation : public ::testing::Test {
protected:
    void Open(const std::string& xml) {
        dom.Load(files.Write("data.xml", "<?xml version=\"1.0\"?>\n" + xml), kRidoRuduDeclaration);
    }
    std::string Current() { return dom.GetXML(); }

    TempFiles files;
    DOMWrapper dom;
    ScriptedMessageBox boxes;
};

TEST_F(DOMWrapperNavigation, PosNodeVisitsEveryMatchInDocumentOrder) {
    Open(kRecords);
    std::vector<std::string> found;
    for (bool more = dom.PosNode("Field"); more; more = dom.PosNode("Field", true))
        found.push_back(dom.GetField());
    EXPECT_EQ(found, (std::vector<std::string>{"1", "2", "3"}));
    EXPECT_FALSE(dom.CurrentNodeRef().IsSet());
    EXPECT_TRUE(boxes.shown().empty());

    // Continuing from the unset cursor is a failure with its box.
    EXPECT_FALSE(dom.PosNode("Field", true));
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].text, "91: Object variable or With block variable not set");
    EXPECT_EQ(boxes.shown()[0].title, "Ravlen");
    EXPECT_EQ(boxes.shown()[0].buttons, MsgButtons::OK);
}

TEST_F(DOMWrapperNavigation, PosNodeComparesLocalNamesTrimmedAndInAnyCase) {
    Open(kRecords);
    EXPECT_TRUE(dom.PosNode("  dAtAs "));
    std::string table;
    EXPECT_TRUE(dom.GetAttribut("Table", table));
    EXPECT_EQ(table, "Orders");
    EXPECT_FALSE(dom.PosNode("FD:Field"));
    EXPECT_FALSE(dom.PosNode("Root")); // the start is never a candidate
    EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(DOMWrapperNavigation, PosNodeByNameTestsTheFirstAttributeOnly) {
    Open(kRecords);
    EXPECT_TRUE(dom.PosNodeByName("Field", "DATE"));
    EXPECT_EQ(dom.GetField(), "2");
    EXPECT_FALSE(dom.PosNodeByName("Field", "Out"));   // the second attribute's value
    EXPECT_FALSE(dom.PosNodeByName("Field", " Date")); // blanks count in values
    EXPECT_TRUE(dom.PosNodeByName("Field", "calc"));
    EXPECT_EQ(dom.GetField(), "3");
    EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(DOMWrapperNavigation, SearchStopsWithItsBoxOnAMatchWithoutAttributes) {
    Open("<r><Field Name=\"a\"/><Field>bare</Field><Field Name=\"b\"/></r>");
    EXPECT_FALSE(dom.PosNodeByName("field", "b"));
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].text, "91: Object variable or With block variable not set");
    EXPECT_EQ(boxes.shown()[0].title, "Ravlen");
    EXPECT_EQ(dom.GetField(), "bare");

    boxes.Clear();
    EXPECT_FALSE(dom.PosNodeByAttribut("Field", "Name", "b"));
    EXPECT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(dom.GetField(), "bare");
}

TEST_F(DOMWrapperNavigation, PosNodeByAttributFallsBackToTheFirstAttribute) {
    Open(kRecords);
    EXPECT_TRUE(dom.PosNodeByAttribut("Field", "flowtype", "CALC"));
    EXPECT_EQ(dom.GetField(), "3");
    // Datas has no FlowType: its first attribute, Table, is compared instead.
    EXPECT_TRUE(dom.PosNodeByAttribut("Datas", "FlowType", "items"));
}

TEST_F(DOMWrapperNavigation, SearchEndsWithTheStepBoxAtACommentBetweenElements) {
    Open("<r><a/><!-- c --><b/></r>");
    EXPECT_FALSE(dom.PosNode("b"));
    EXPECT_EQ(boxes.shown().size(), 1u);
    EXPECT_FALSE(dom.CurrentNodeRef().IsSet());
}

TEST_F(DOMWrapperNavigation, GetNextElemNameStepsToEOF) {
    Open("<r><a>text</a><b><c/></b><EOF/></r>");
    dom.PosNode("a");
    EXPECT_EQ(dom.GetNextElemName(), "b");
    EXPECT_EQ(dom.WorkNodeRef().get(), dom.CurrentNodeRef().get());
    EXPECT_EQ(dom.GetNextElemName(), "c");
    EXPECT_EQ(dom.GetNextElemName(), "EOF");
    EXPECT_TRUE(dom.CurrentNodeRef().IsSet()); // an element named EOF
    EXPECT_EQ(dom.GetNextElemName(), "EOF");
    EXPECT_FALSE(dom.CurrentNodeRef().IsSet());
    EXPECT_EQ(dom.GetNextElemName(), "EOF"); // unset cursor: no message
    EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(DOMWrapperNavigation, ReadersAtTheCursor) {
    Open("<r a=\"1\"><e Kind=\"k\">only text</e><f/></r>");
    EXPECT_EQ(FailureNumber([&] { dom.IsFirstNode(); }), kErrObjectNotSet);
    EXPECT_EQ(FailureNumber([&] { dom.GetXML(); }), kErrObjectNotSet);
    EXPECT_EQ(dom.GetAnzChilds(), 0);
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].text, "91: Object variable or With block variable not set");

    dom.GetElementValue("/r", false);
    EXPECT_TRUE(dom.IsFirstNode());
    EXPECT_EQ(dom.GetXML(), "<r a=\"1\"><e Kind=\"k\">only text</e><f/></r>");

    dom.GetElementValue("/r/@a", false);
    EXPECT_EQ(dom.GetXML(), "a=\"1\"");

    ASSERT_TRUE(dom.PosNode("e"));
    EXPECT_FALSE(dom.IsFirstNode());
    EXPECT_TRUE(dom.HasChilds());
    EXPECT_EQ(dom.GetAnzChilds(), 1);
    std::string type = "unchanged";
    EXPECT_FALSE(dom.GetAttribut("Missing", type));
    EXPECT_EQ(type, "unchanged");
    EXPECT_TRUE(dom.GetAttribut(" kind ", type));
    EXPECT_EQ(type, "k");

    ASSERT_TRUE(dom.PosNode("f", true));
    EXPECT_FALSE(dom.HasChilds());
    EXPECT_EQ(dom.GetAnzChilds(), 0);

    // A text node has no attribute list: silently not found.
    dom.GetElementValue("/r/e/text()", false);
    type = "unchanged";
    EXPECT_FALSE(dom.GetAttribut("Kind", type));
    EXPECT_EQ(type, "unchanged");
    EXPECT_EQ(boxes.shown().size(), 1u);

    std::string many = "<r>";
    for (int i = 0; i < 32768; ++i)
        many += "<a/>";
    Open(many + "</r>");
    dom.GetElementValue("/r", false);
    EXPECT_TRUE(dom.HasChilds());
    EXPECT_EQ(dom.GetAnzChilds(), 0);
    ASSERT_EQ(boxes.shown().size(), 2u);
    EXPECT_EQ(boxes.shown()[1].text, "6: Overflow");
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

TEST_F(DOMWrapperNavigation, AddNodeAndCloneNodeAppendAtTheCursor) {
    Open(kRecords);
    ASSERT_TRUE(dom.PosNodeByName("Field", "Id"));
    EXPECT_FALSE(dom.CloneNode());
    EXPECT_EQ(dom.GetField(), "1"); // the cursor stays on the original
    dom.GetElementValue("/FD:Root/FD:Datas[1]", false);
    EXPECT_EQ(dom.GetXML(), "<FD:Datas Table=\"Orders\">"
                            "<FD:Field Name=\"Id\" FlowType=\"In\">1</FD:Field>"
                            "<FD:Field Name=\"Date\" FlowType=\"Out\">2</FD:Field>"
                            "<FD:Field Name=\"Id\" FlowType=\"In\">1</FD:Field></FD:Datas>");

    EXPECT_FALSE(dom.AddNode("FD:Note"));
    EXPECT_EQ(dom.WorkNodeRef().get()->parent, dom.CurrentNodeRef().get());
    EXPECT_EQ(dom.WorkNodeRef().get(), xmlGetLastChild(dom.CurrentNodeRef().get()));
    EXPECT_EQ(FailureNumber([&] { dom.AddNode("no good"); }), kErrXmlLibrary);

    dom.GetElementValue("/FD:Root", false);
    const std::string before = dom.GetXML();
    FailureNumber([&] { dom.CloneNode(); }); // no second root element
    dom.GetElementValue("/FD:Root/FD:Datas/@Table", false);
    FailureNumber([&] { dom.CloneNode(); });
    dom.GetElementValue("/FD:Root", false);
    EXPECT_EQ(dom.GetXML(), before);
    EXPECT_TRUE(boxes.shown().empty());
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

TEST_F(DOMWrapperNavigation, RecordBuildersFailWithoutACursorAndChangeNothing) {
    DOMWrapper empty;
    EXPECT_EQ(FailureNumber([&] { empty.Flow_Property(); }), kErrObjectNotSet);

    Open("<FD:Root " + kNs + "><t>text</t></FD:Root>");
    EXPECT_EQ(FailureNumber([&] { dom.AddField("A", "B", "C"); }), kErrObjectNotSet);
    dom.GetElementValue("/FD:Root/t/text()", false);
    FailureNumber([&] { dom.AddDatas("T"); });
    FailureNumber([&] { dom.AddField("A", "B", "C"); });
    dom.GetElementValue("/FD:Root", false);
    EXPECT_EQ(dom.GetXML(), "<FD:Root " + kNs + "><t>text</t></FD:Root>");
}

TEST_F(DOMWrapperNavigation, FlowPropertyDeclaresThePrefixForSelection) {
    dom.NewDoc("Root");
    dom.AppendChildNodefromText("/Root", "<FD:Datas " + kNs + " Table=\"T\"/>");
    EXPECT_THROW(dom.GetNodeList("//FD:Datas"), Failure);
    dom.Flow_Property();
    dom.GetNodeList("//FD:Datas");
    EXPECT_EQ(dom.NodeCount(), 1);
    EXPECT_EQ(dom.SubNodeText("@Table"), "T");
}

} // namespace
