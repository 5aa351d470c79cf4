#include "xml/DOMWrapper.h"
#include "common/Failure.h"
#include "support/Seams.h"

#include <QFile>

#include <gtest/gtest.h>

#include <filesystem>

namespace {

const std::string kFlow = R"(<?xml version="1.0" encoding="UTF-8"?>
<FD:Flow xmlns:FD="http://www.ridorudu.org/namespace/RidoRudu" Version="2">
  <FD:Datas Table="Orders">
    <FD:Field Name="Id" FlowType="N">007</FD:Field>
    <FD:Field Name="Customer" FlowType="A">Smith &amp; Sons</FD:Field>
  </FD:Datas>
  <FD:Datas Table="Lines">
    <FD:Field Name="Id" FlowType="N">1</FD:Field>
  </FD:Datas>
</FD:Flow>
)";

// Runs f and returns the Failure it raised; fails the test when it raised none.
template <typename F> Failure FailureOf(F&& f) {
    try {
        f();
    } catch (const Failure& failure) {
        return failure;
    }
    ADD_FAILURE() << "no failure raised";
    return Failure(0, "");
}

class DOMWrapperTest : public testing::Test {
protected:
    void LoadFlow() { doc.Load(files.Write("flow.xml", kFlow), kRidoRuduDeclaration); }

    TempFiles files;
    ScriptedMessageBox boxes;
    DOMWrapper doc;
};

TEST_F(DOMWrapperTest, LoadFailuresNameTheFileAndTheParserReason) {
    const std::string missing = files.Path("missing.xml");
    Failure f = FailureOf([&] { doc.Load(missing); });
    EXPECT_EQ(f.number, 60000);
    const std::string head = "Error in Function 'DOMWrapper.Load' \r\nArgument(s) : " + missing +
                             "\r\nParse-Error : \r\n";
    ASSERT_EQ(f.description.substr(0, head.size()), head);
    EXPECT_GT(f.description.size(), head.size()) << "the reader's reason is missing";
    // The failed load leaves an empty document behind.
    ASSERT_NE(doc.Document(), nullptr);
    EXPECT_EQ(xmlDocGetRootElement(doc.Document()), nullptr);

    const std::string broken = files.Write("broken.xml", "<a><b></a>");
    f = FailureOf([&] { doc.Load(broken); });
    EXPECT_EQ(f.description.rfind("Error in Function 'DOMWrapper.Load' \r\nArgument(s) : " +
                                      broken + "\r\nParse-Error : \r\n",
                                  0),
              0u);

    f = FailureOf([&] { doc.Load(files.dir()); });
    EXPECT_EQ(f.number, 60000) << "a folder is not a file";
}

TEST_F(DOMWrapperTest, MalformedNamespaceListFailsLoad) {
    const std::string path = files.Write("flow.xml", kFlow);
    EXPECT_EQ(FailureOf([&] { doc.Load(path, "xmlns:FD=http://no-quotes"); }).number, 60000);
    EXPECT_EQ(FailureOf([&] { doc.Load(path, "FD='x'"); }).number, 60000);
    EXPECT_NO_THROW(doc.Load(path, "   "));
    EXPECT_NO_THROW(doc.Load(path, "xmlns:FD=\"http://www.ridorudu.org/namespace/RidoRudu\" "
                                   "xmlns:x='urn:x'"));
    EXPECT_EQ(doc.GetElementValue("//FD:Field[@Name='Id']", false), "007");
}

TEST_F(DOMWrapperTest, ValueOperationFailuresUseTheInlineForm) {
    LoadFlow();
    const std::string path = "/FD:Flow/FD:Nothing";
    EXPECT_EQ(FailureOf([&] { doc.GetElementValue(path, false); }).description,
              "Error in Function 'DOMWrapper.GetElementValue' \r\nArgument(s) : " + path);
    EXPECT_EQ(FailureOf([&] { doc.SetElementValue(path, "x"); }).description,
              "Error in Function 'DOMWrapper.SetElementValue' \r\nArgument(s) : " + path);
    std::string value;
    bool found = true;
    EXPECT_EQ(FailureOf([&] { doc.GetElementValue2(value, found, path, false); }).description,
              "Error in Function 'DOMWrapper.GetElementValue2' \r\nArgument(s) : " + path);
    EXPECT_FALSE(found);
    EXPECT_EQ(FailureOf([&] { doc.GetNodeList("//[broken"); }).description,
              "Error in Function 'DOMWrapper.GetNodeList' \r\nArgument(s) : //[broken");
    EXPECT_TRUE(doc.NodeEOF());
    // Invalid expressions and non-node-set results fail even when the node is optional.
    EXPECT_EQ(FailureOf([&] { doc.GetElementValue("count(//FD:Field)", true); }).number, 60000);
    EXPECT_EQ(FailureOf([&] { doc.GetElementValue("//[", true); }).number, 60000);
}

TEST_F(DOMWrapperTest, SaveWithoutDocumentFails) {
    const std::string path = files.Path("out.xml");
    EXPECT_EQ(FailureOf([&] { doc.Save(path); }).description,
              "Error in Function 'DOMWrapper.Save' \r\nArgument(s) : " + path);
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(DOMWrapperTest, MissingNodesAndMissingDocument) {
    EXPECT_EQ(doc.GetElementValue("/a", true), "") << "no document, optional";
    std::string value = "old";
    bool found = true;
    EXPECT_EQ(FailureOf([&] { doc.GetElementValue2(value, found, "/a", true); }).number, 60000);

    LoadFlow();
    EXPECT_EQ(doc.GetElementValue("/FD:Flow/FD:Nothing", true), "");
    EXPECT_FALSE(doc.CurrentNodeRef().IsSet());
    const Failure f = FailureOf([&] { doc.GetElementByName("."); });
    EXPECT_EQ(f.number, 60000);
    EXPECT_EQ(f.description,
              "Fehler beim Auslesen des XML-Tags '.'  " + std::string(kObjectNotSetText));

    doc.GetElementValue2(value, found, "/FD:Flow/FD:Nothing", true);
    EXPECT_EQ(value, "");
    EXPECT_FALSE(found);
    doc.GetElementValue2(value, found, "//FD:Field[@Name='Customer']", true);
    EXPECT_EQ(value, "Smith & Sons");
    EXPECT_TRUE(found);
}

TEST_F(DOMWrapperTest, SelectionTakesTheFirstNodeInDocumentOrder) {
    LoadFlow();
    EXPECT_EQ(doc.GetElementValue("//FD:Field[@Name='Id']", false), "007");
    // A union listed out of order and a reverse axis still give the first in document order.
    EXPECT_EQ(doc.GetElementValue("//FD:Datas[@Table='Lines']/FD:Field | //FD:Field[2]", false),
              "Smith & Sons");
    EXPECT_EQ(doc.GetElementValue("//FD:Datas[2]/FD:Field/ancestor::*", false), "007Smith & Sons1");
    EXPECT_EQ(doc.GetElementValue("FD:Flow/@Version", false), "2") << "relative to the document";
    EXPECT_EQ(doc.GetElementValue("//FD:Field[@Name='Id']/text()", false), "007");
}

TEST_F(DOMWrapperTest, CursorWalksEverySelectedNode) {
    LoadFlow();
    EXPECT_EQ(doc.NodeCount(), 0);
    EXPECT_TRUE(doc.NodeEOF());
    EXPECT_EQ(doc.NodeText(), "");
    doc.NodeMoveNext();
    EXPECT_EQ(doc.NodePosition(), 0);

    doc.GetNodeList("//FD:Field");
    std::vector<std::string> names;
    while (!doc.NodeEOF()) {
        names.push_back(doc.SubNodeText("./@Name"));
        doc.NodeMoveNext();
    }
    EXPECT_EQ(names, (std::vector<std::string>{"Id", "Customer", "Id"}));
    EXPECT_EQ(doc.NodePosition(), 3);
    EXPECT_THROW(doc.NodeText(), Failure) << "past the end";
    doc.NodeMoveNext();
    EXPECT_TRUE(doc.NodeEOF());

    doc.GetNodeList("//FD:Datas");
    EXPECT_EQ(doc.NodeText(), "007Smith & Sons");
    const Failure f = FailureOf([&] { doc.SubNodeText("./Alias"); });
    EXPECT_NE(f.number, 60000) << "passed on unchanged, not as the class error";

    doc.GetNodeList("//Nothing");
    EXPECT_EQ(doc.NodeCount(), 0);
    EXPECT_TRUE(doc.NodeEOF());
    EXPECT_THROW(doc.NodeText(), Failure);
}

TEST_F(DOMWrapperTest, SpecialTextsSurviveWriteSaveAndLoad) {
    LoadFlow();
    const std::vector<std::string> values = {"a & b < c > d \" e ' f",
                                             "]]> and <![CDATA[x]]>",
                                             "line1\r\nline2\ttab",
                                             "  leading and trailing  ",
                                             "ä 漢字 😀",
                                             ""};
    const std::string out = files.Path("out.xml");
    for (const auto& value : values) {
        doc.SetElementValue("//FD:Field[@Name='Customer']", value);
        doc.SetElementValue("/FD:Flow/@Version", value);
        doc.Save(out);
        DOMWrapper reloaded;
        reloaded.Load(out, kRidoRuduDeclaration);
        EXPECT_EQ(reloaded.GetElementValue("//FD:Field[@Name='Customer']", false), value);
        EXPECT_EQ(reloaded.GetElementValue("/FD:Flow/@Version", false), value);
    }
    doc.SetElementValue("//FD:Field[@Name='Id']", 42);
    EXPECT_EQ(doc.GetElementValue("//FD:Field[@Name='Id']", false), "42");
}

TEST_F(DOMWrapperTest, WritingAnElementReplacesItsChildren) {
    LoadFlow();
    EXPECT_EQ(doc.GetElementValue("//FD:Datas[1]", false), "007Smith & Sons");
    doc.SetElementValue("//FD:Datas[1]", "flat");
    EXPECT_EQ(doc.GetElementValue("//FD:Datas[1]", false), "flat");
    doc.GetNodeList("//FD:Field");
    EXPECT_EQ(doc.NodeCount(), 1);
    EXPECT_EQ(doc.GetElementValue("//FD:Datas[1]/@Table", false), "Orders");
}

TEST_F(DOMWrapperTest, ReferencesOutliveReloadsAndRemovals) {
    LoadFlow();
    doc.GetNodeList("//FD:Field");
    doc.GetElementValue("//FD:Field[@Name='Customer']/text()", false);
    doc.Load(files.Write("other.xml", "<r><x>1</x></r>"));
    // The list and the cursor still lead into the previous document.
    EXPECT_EQ(doc.NodeCount(), 3);
    EXPECT_EQ(doc.NodeText(), "007");
    EXPECT_EQ(doc.GetElementByName("."), "Smith & Sons");

    doc.GetElementValue("/r/x/text()", false);
    doc.SetElementValue("/r/x", "2"); // takes the text node that CurrentNode holds out of the tree
    EXPECT_EQ(doc.GetElementByName("."), "1");
    EXPECT_EQ(doc.GetElementValue("/r/x", false), "2");

    doc.GetElementValue("/r/x/text()", false);
    doc.ClearAllNodes();
    EXPECT_FALSE(doc.CurrentNodeRef().IsSet());
    EXPECT_EQ(doc.GetElementValue("/r/x", false), "");
}

TEST_F(DOMWrapperTest, ClearAllNodesEmptiesValuesAndKeepsStructure) {
    doc.Load(files.Write("mixed.xml", R"(<root keep="1">
  <a x="1">text<b>child</b></a>
  <c><d y="2">deep</d><e/></c>
  <f><g>nested</g>tail</f>
</root>)"));
    EXPECT_FALSE(doc.ClearAllNodes());
    EXPECT_FALSE(doc.CurrentNodeRef().IsSet());
    EXPECT_EQ(doc.GetElementValue("/root/@keep", false), "1");
    EXPECT_EQ(doc.GetElementValue("/root/a/@x", false), "1");
    EXPECT_EQ(doc.GetElementValue("/root/a", false), "");
    EXPECT_FALSE(doc.GetElementValue("/root/a/b", true).size()) << "text first: child removed";
    EXPECT_EQ(doc.GetElementValue("/root/c/d/@y", false), "2");
    EXPECT_EQ(doc.GetElementValue("/root/c/d", false), "");
    EXPECT_EQ(doc.GetElementValue("/root/f/g", false), "");
    EXPECT_EQ(doc.GetElementValue("/root/f", false), "tail") << "element first: left as it is";
    // Text after a child element is not an element: the walk reports it and ends there.
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].text, "13: Type mismatch");
}

TEST_F(DOMWrapperTest, ClearAllNodesStopsAtACommentBetweenElements) {
    doc.Load(files.Write("commented.xml", "<r><a>1</a><b/><!-- note --><c>3</c></r>"));
    EXPECT_FALSE(doc.ClearAllNodes());
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].title, "Ravlen");
    EXPECT_EQ(boxes.shown()[0].text, "13: Type mismatch");
    EXPECT_EQ(doc.GetElementValue("/r/a", false), "");
    EXPECT_EQ(doc.GetElementValue("/r/c", false), "3") << "after the comment: untouched";

    DOMWrapper empty;
    empty.Load(files.Write("empty.xml", "<r/>"));
    EXPECT_FALSE(empty.ClearAllNodes());
    DOMWrapper none;
    EXPECT_EQ(FailureOf([&] { none.ClearAllNodes(); }).description, kObjectNotSetText);
}

TEST_F(DOMWrapperTest, NewDocSavesAnEmptyRoot) {
    EXPECT_EQ(doc.NewDoc("root"), "");
    ASSERT_TRUE(doc.WorkNodeRef().IsSet());
    const std::string out = files.Path("new.xml");
    doc.Save(out);
    DOMWrapper reloaded;
    reloaded.Load(out);
    EXPECT_EQ(reloaded.CountElementsByTagName("*"), 1);
    EXPECT_EQ(reloaded.GetElementValue("/root", false), "");
    EXPECT_THROW(doc.NewDoc("1bad"), Failure);
}

TEST_F(DOMWrapperTest, TagNameOperations) {
    LoadFlow();
    EXPECT_EQ(doc.CountElementsByTagName("FD:Field"), 3);
    EXPECT_EQ(doc.CountElementsByTagName("Field"), 0) << "the prefix is part of the name";
    EXPECT_EQ(doc.CountElementsByTagName("*"), 6);
    EXPECT_EQ(doc.GetElementByTagName("FD:Field", 0), "007");
    EXPECT_TRUE(boxes.shown().empty());
    EXPECT_EQ(doc.GetElementByTagName("FD:Field", 3), "");
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].title, "Ravlen");
}

TEST_F(DOMWrapperTest, CurrentNodeRelativeOperations) {
    LoadFlow();
    doc.GetElementValue("//FD:Datas[@Table='Orders']", false);
    EXPECT_EQ(doc.GetElementByName("./FD:Field[2]"), "Smith & Sons");
    EXPECT_TRUE(doc.CheckElementByName("./FD:Field"));
    EXPECT_FALSE(doc.CheckElementByName("./FD:Nothing"));
    EXPECT_FALSE(doc.CheckElementByName("./[["));
    EXPECT_EQ(doc.SetElementByName("./FD:Field[1]", "8"), "8");
    EXPECT_EQ(doc.GetElementValue("//FD:Field[@Name='Id']", false), "8");
    EXPECT_TRUE(boxes.shown().empty());
    doc.GetElementValue("//FD:Datas[1]", false);
    EXPECT_EQ(doc.SetElementByName("./FD:Nothing", "x"), "");
    EXPECT_EQ(boxes.shown().size(), 1u);
}

TEST_F(DOMWrapperTest, FailedSaveLeavesTheOldFileIntact) {
    LoadFlow();
    const std::string target = files.Write("target.xml", "<old/>");
    std::filesystem::permissions(target, std::filesystem::perms::owner_read,
                                 std::filesystem::perm_options::replace);
    EXPECT_EQ(FailureOf([&] { doc.Save(target); }).description,
              "Error in Function 'DOMWrapper.Save' \r\nArgument(s) : " + target);
    EXPECT_EQ(ReadFileBytes(target), "<old/>");

    const std::string noFolder = files.Path("missing/out.xml");
    EXPECT_EQ(FailureOf([&] { doc.Save(noFolder); }).number, 60000);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(files.dir()),
                            std::filesystem::directory_iterator()),
              2)
        << "no temporary file left behind";
}

TEST_F(DOMWrapperTest, SaveKeepsEncodingAndPermissions) {
    doc.Load(
        files.Write("latin.xml", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r>caf\xE9</r>"));
    EXPECT_EQ(doc.GetElementValue("/r", false), "café");
    const std::string out = files.Write("out.xml", "");
    std::filesystem::permissions(out,
                                 std::filesystem::perms::owner_read |
                                     std::filesystem::perms::owner_write |
                                     std::filesystem::perms::group_read,
                                 std::filesystem::perm_options::replace);
    doc.Save(out);
    const std::string bytes = ReadFileBytes(out);
    EXPECT_NE(bytes.find("encoding=\"ISO-8859-1\""), std::string::npos);
    EXPECT_NE(bytes.find("caf\xE9"), std::string::npos);
    EXPECT_EQ(std::filesystem::status(out).permissions(), std::filesystem::perms::owner_read |
                                                              std::filesystem::perms::owner_write |
                                                              std::filesystem::perms::group_read);
}

TEST_F(DOMWrapperTest, HostileFilesNeverReachOutside) {
    const std::string secret = files.Write("secret.txt", "TOP-SECRET");
    const std::string xxe = files.Write(
        "xxe.xml", "<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY s SYSTEM \"file://" + secret +
                       "\"><!ENTITY % p SYSTEM \"file://" + secret + "\"> %p;]><r><v>&s;</v></r>");
    try {
        doc.Load(xxe);
        EXPECT_EQ(doc.GetElementValue("/r/v", false).find("TOP-SECRET"), std::string::npos);
        const std::string out = files.Path("xxe-out.xml");
        doc.Save(out);
        EXPECT_EQ(ReadFileBytes(out).find("TOP-SECRET"), std::string::npos);
    } catch (const Failure& f) {
        EXPECT_EQ(f.number, 60000);
    }

    std::string bomb = "<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY a0 \"xxxxxxxxxx\">";
    for (int i = 1; i < 12; ++i) {
        const std::string prev = "&a" + std::to_string(i - 1) + ";";
        std::string body;
        for (int k = 0; k < 10; ++k)
            body += prev;
        bomb += "<!ENTITY a" + std::to_string(i) + " \"" + body + "\">";
    }
    bomb += "]><r>&a11;</r>";
    const std::string bombPath = files.Write("bomb.xml", bomb);
    EXPECT_EQ(FailureOf([&] { doc.Load(bombPath); }).number, 60000);
}

} // namespace
