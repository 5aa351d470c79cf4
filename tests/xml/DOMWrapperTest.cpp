#include "xml/DOMWrapper.h"
#include "common/Failure.h"
#include "common/FileStamp.h"
#include "support/Seams.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <vector>

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

TEST_F(DOMWrapperTest, FailureDescriptions) {
    LoadFlow();
    const std::string path = "/FD:Flow/FD:Nothing";
    EXPECT_EQ(FailureOf([&] { doc.GetElementValue(path, false); }).description,
              "Error in Function 'DOMWrapper.GetElementValue' \r\nArgument(s) : " + path);
    EXPECT_EQ(doc.GetElementValue(path, true), "");
    const Failure f = FailureOf([&] { doc.GetElementByName("."); });
    EXPECT_EQ(f.number, 60000);
    EXPECT_EQ(f.description,
              "Fehler beim Auslesen des XML-Tags '.'  " + std::string(kObjectNotSetText));
}

TEST_F(DOMWrapperTest, LoadFailureCarriesTheParsersOrTheSystemsReasonApart) {
    const std::string broken = files.Write("broken.xml", "<r><a></r>");
    Failure f = FailureOf([&] { doc.Load(broken); });
    EXPECT_EQ(f.number, 60000);
    EXPECT_EQ(f.description, "Error in Function 'DOMWrapper.Load' \r\nArgument(s) : " + broken +
                                 "\r\nParse-Error : \r\n" + f.reason);
    EXPECT_EQ(f.reason.rfind("Premature end of data in tag r", 0), 0u) << f.reason;
    f = FailureOf([&] { doc.Load(files.Path("missing.xml")); });
    EXPECT_EQ(f.reason, "No such file or directory");
}

TEST_F(DOMWrapperTest, BoxesBecomeErrorsWhereNoBoxMayBeShown) {
    doc.Load(files.Write("commented.xml", "<r><a>1</a><!-- note --><c>3</c></r>"));
    doc.RaiseInsteadOfBoxes();
    EXPECT_EQ(FailureOf([&] { doc.ClearAllNodes(); }).description, "Type mismatch");
    DOMWrapper fresh;
    fresh.RaiseInsteadOfBoxes();
    EXPECT_EQ(FailureOf([&] { fresh.GetAnzChilds(); }).number, kErrObjectNotSet);
    EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(DOMWrapperTest, ReferencesOutliveReloadsAndRemovals) {
    LoadFlow();
    doc.GetNodeList("//FD:Field");
    doc.GetElementValue("//FD:Field[@Name='Customer']/text()", false);
    doc.Load(files.Write("other.xml", "<r><x>1</x></r>"));
    EXPECT_EQ(doc.NodeCount(), 3);
    EXPECT_EQ(doc.NodeText(), "007");
    EXPECT_EQ(doc.GetElementByName("."), "Smith & Sons");

    doc.GetElementValue("/r/x/text()", false);
    doc.SetElementValue("/r/x", "2"); // takes the text node that CurrentNode holds out of the tree
    EXPECT_EQ(doc.GetElementByName("."), "1");
    EXPECT_EQ(doc.GetElementValue("/r/x", false), "2");
}

TEST_F(DOMWrapperTest, ClearAllNodesOnNestedMixedAndCommentedContent) {
    doc.Load(files.Write("mixed.xml", R"(<root keep="1">
  <a x="1">text<b>child</b></a>
  <c><d y="2">deep</d><e/></c>
  <f><g>nested</g>tail</f>
</root>)"));
    EXPECT_FALSE(doc.ClearAllNodes());
    EXPECT_FALSE(doc.CurrentNodeRef().IsSet());
    EXPECT_EQ(doc.GetElementValue("/root/a", false), "");
    EXPECT_FALSE(doc.GetElementValue("/root/a/b", true).size()) << "text first: child removed";
    EXPECT_EQ(doc.GetElementValue("/root/c/d/@y", false), "2");
    EXPECT_EQ(doc.GetElementValue("/root/c/d", false), "");
    EXPECT_EQ(doc.GetElementValue("/root/f/g", false), "");
    EXPECT_EQ(doc.GetElementValue("/root/f", false), "tail") << "element first: left as it is";
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].text, "13: Type mismatch");

    doc.Load(files.Write("commented.xml", "<r><a>1</a><b/><!-- note --><c>3</c></r>"));
    EXPECT_FALSE(doc.ClearAllNodes());
    ASSERT_EQ(boxes.shown().size(), 2u);
    EXPECT_EQ(boxes.shown()[1].text, "13: Type mismatch");
    EXPECT_EQ(doc.GetElementValue("/r/a", false), "");
    EXPECT_EQ(doc.GetElementValue("/r/c", false), "3") << "after the comment: untouched";
}

// Paths parsed for one document serve the next one only under the same prefix bindings.
TEST_F(DOMWrapperTest, APathMeansWhatItsDocumentsPrefixesBindThere) {
    const std::string file = files.Write(
        "two.xml", "<r xmlns:a='urn:one' xmlns:b='urn:two'><a:v>one</a:v><b:v>two</b:v></r>");
    DOMWrapper other;
    doc.Load(file, "xmlns:p='urn:one'");
    other.Load(file, "xmlns:p='urn:two'");
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(doc.GetElementValue("/r/p:v", false), "one");
        EXPECT_EQ(other.GetElementValue("/r/p:v", false), "two");
    }
}

// A file read in many pieces: every byte counts towards the stamp, and the progress reaches
// the file's size in steps that never go back.
TEST_F(DOMWrapperTest, AFileReadInPiecesIsStampedAndReportedWhole) {
    std::string text = "<r>";
    for (int i = 0; i < 40000; ++i)
        text += "<f n='" + std::to_string(i) + "'>value " + std::to_string(i * 7) + "</f>\r\n";
    text += "</r>";
    const std::string file = files.Write("large.xml", text);
    std::vector<int64_t> done;
    doc.SetProgress([&](int64_t at, int64_t total) {
        EXPECT_EQ(total, static_cast<int64_t>(text.size()));
        done.push_back(at);
    });
    doc.Load(file, "");
    doc.SetProgress(nullptr);
    ASSERT_GT(done.size(), 2u);
    EXPECT_TRUE(std::is_sorted(done.begin(), done.end()));
    EXPECT_EQ(done.back(), static_cast<int64_t>(text.size()));
    const std::optional<FileStamp> stamp = StampOf(QString::fromStdString(file));
    ASSERT_TRUE(stamp && doc.LoadedStamp());
    EXPECT_EQ(doc.LoadedStamp()->nSize, stamp->nSize);
    EXPECT_EQ(doc.LoadedStamp()->nChecksum, stamp->nChecksum);
    EXPECT_EQ(doc.GetElementValue("/r/f[@n='39999']", false), "value 279993");
}

} // namespace
