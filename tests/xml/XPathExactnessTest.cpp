// Cases where the fast evaluation, libxml2 and the document once disagreed; the others are
// replayed from the fuzz regressions.
#include "common/Failure.h"
#include "support/Seams.h"
#include "xml/DOMWrapper.h"

#include <gtest/gtest.h>

namespace {

const std::string kNs = std::string("xmlns:FD=\"") + kRidoRuduNamespace + "\"";

class XPathExactness : public ::testing::Test {
protected:
    void Open(const std::string& xml, const std::string& declarations = kRidoRuduDeclaration) {
        dom.Load(files.Write("data.xml", "<?xml version=\"1.0\"?>\n" + xml), declarations);
    }

    TempFiles files;
    DOMWrapper dom;
    ScriptedMessageBox boxes;
};

TEST_F(XPathExactness, ASelectionListThatMisbindsAPrefixIsRefused) {
    EXPECT_THROW(Open("<r/>", "xmlns:FD='urn:a' xmlns:FD='urn:b'"), Failure);
    EXPECT_THROW(Open("<r/>", "xmlns:FD='urn:a' xmlns:FD='urn:a'"), Failure);
    EXPECT_THROW(Open("<r><e/></r>", "xmlns:e=''"), Failure);
    EXPECT_THROW(Open("<r/>", "xmlns:xml='urn:other'"), Failure);
    EXPECT_THROW(Open("<r/>", "xmlns:x='http://www.w3.org/XML/1998/namespace'"), Failure);
    EXPECT_THROW(Open("<r/>", "xmlns:xmlns='urn:other'"), Failure);
    Open("<r xml:lang='de'/>", "xmlns:xml='http://www.w3.org/XML/1998/namespace'");
    EXPECT_EQ(dom.GetElementValue("/r/@xml:lang", false), "de");
}

TEST_F(XPathExactness, TextWithAnUndeclaredPrefixIsNotAppended) {
    Open("<FD:Flow " + kNs + "><FD:Datas/></FD:Flow>");
    EXPECT_THROW(dom.AppendChildNodefromText("/FD:Flow/FD:Datas", "<FD:Field Name='U'>u</FD:Field>",
                                             kRidoRuduDeclaration),
                 Failure);
    dom.GetElementValue("/FD:Flow/FD:Datas", false);
    EXPECT_FALSE(dom.HasChilds());
    dom.AppendChildNodefromText("/FD:Flow/FD:Datas", "<FD:Field " + kNs + " Name='U'>u</FD:Field>");
    EXPECT_EQ(dom.GetElementValue("/FD:Flow/FD:Datas/FD:Field[@Name='U']", false), "u");
}

TEST_F(XPathExactness, EveryAttributeIsLeftLikeANodeOutsideTheTree) {
    Open("<r><a x='1' y='2' z=''/><n/></r>");
    for (const std::string attribute : {"x", "y", "z"}) {
        SCOPED_TRACE(attribute);
        dom.GetElementValue("/r/a/@" + attribute, false);
        EXPECT_EQ(dom.GetNextElemName(), "EOF");
        dom.GetElementValue("/r/a/@" + attribute, false);
        boxes.Clear();
        EXPECT_FALSE(dom.PosNode("n", true));
        EXPECT_EQ(boxes.shown().size(), 1u);
        EXPECT_TRUE(dom.CurrentNodeRef().IsSet());
    }
}

} // namespace
