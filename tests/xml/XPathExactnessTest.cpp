// Cases where the fast evaluation, libxml2 and the document once disagreed.
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
    std::vector<std::string> Texts(const std::string& path) {
        dom.GetNodeList(path);
        std::vector<std::string> texts;
        for (; !dom.NodeEOF(); dom.NodeMoveNext())
            texts.push_back(dom.NodeText());
        return texts;
    }

    TempFiles files;
    DOMWrapper dom;
    ScriptedMessageBox boxes;
};

TEST_F(XPathExactness, NamesOutsideTheXPathNameRulesAreInvalidExpressions) {
    Open("<FD:Flow " + kNs +
         "><FD:Datas><a\xE2\x82\xAC>1</a\xE2\x82\xAC><\xC3\xA9>2</\xC3\xA9>"
         "</FD:Datas></FD:Flow>");
    for (const std::string path :
         {"/FD:Flow/FD:Datas/a\xE2\x82\xAC", "/FD:Flow/FD:Datas/a\xC3\x97"}) {
        try {
            dom.GetElementValue(path, true);
            ADD_FAILURE() << path << " gave a value";
        } catch (const Failure& failure) {
            EXPECT_EQ(failure.number, kClassErrorNumber) << path;
        }
    }
    EXPECT_EQ(dom.GetElementValue("/FD:Flow/FD:Datas/\xC3\xA9", false), "2");
}

TEST_F(XPathExactness, ASelectionListBindingAPrefixTwiceIsRefused) {
    EXPECT_THROW(Open("<r/>", "xmlns:FD='urn:a' xmlns:FD='urn:b'"), Failure);
    EXPECT_THROW(Open("<r/>", "xmlns:FD='urn:a' xmlns:FD='urn:a'"), Failure);
}

TEST_F(XPathExactness, ASelectionListBindingAPrefixToNoNamespaceIsRefused) {
    EXPECT_THROW(Open("<r><e/></r>", "xmlns:e=''"), Failure);
}

TEST_F(XPathExactness, ASelectionListMayNotRebindTheXmlPrefix) {
    EXPECT_THROW(Open("<r/>", "xmlns:xml='urn:other'"), Failure);
    EXPECT_THROW(Open("<r/>", "xmlns:x='http://www.w3.org/XML/1998/namespace'"), Failure);
    EXPECT_THROW(Open("<r/>", "xmlns:xmlns='urn:other'"), Failure);
    Open("<r xml:lang='de'/>", "xmlns:xml='http://www.w3.org/XML/1998/namespace'");
    EXPECT_EQ(dom.GetElementValue("/r/@xml:lang", false), "de");
}

TEST_F(XPathExactness, ARemovedNodeStillFindsItsDescendantsAndHasTheDocumentAbove) {
    Open("<FD:Flow " + kNs + "><FD:Datas><g><FD:Field>1</FD:Field></g></FD:Datas></FD:Flow>");
    dom.GetElementValue("/FD:Flow/FD:Datas", false);
    dom.GetNodeList("/FD:Flow/FD:Datas");
    dom.RemoveNode("/FD:Flow", "/FD:Flow/FD:Datas");
    EXPECT_EQ(dom.SubNodeText(".//FD:Field"), "1");
    EXPECT_EQ(dom.GetElementByName(".//FD:Field"), "1");
    EXPECT_TRUE(dom.CheckElementByName(".."));
    EXPECT_TRUE(dom.CheckElementByName("../FD:Flow"));
    EXPECT_FALSE(dom.CheckElementByName("../FD:Flow/FD:Datas"));
}

TEST_F(XPathExactness, AnElementWithTwoAttributesOfOneExpandedNameIsRefused) {
    try {
        Open("<FD:Flow " + kNs + " xmlns:rr=\"" + kRidoRuduNamespace +
             "\"><FD:Field FD:Name='a' rr:Name='b'/></FD:Flow>");
        FAIL() << "loaded";
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.number, kClassErrorNumber);
        EXPECT_NE(failure.description.find("\r\nParse-Error : \r\n"), std::string::npos);
        EXPECT_NE(failure.description.find("Name"), std::string::npos) << failure.description;
    }
}

TEST_F(XPathExactness, AMovedElementTakesItsNewPlaceInDocumentOrder) {
    Open("<r><b/><a>1</a><a>3</a></r>");
    dom.GetElementValue("/r/a[2]", false);
    dom.AppendChildNodefromNode("/r/b", dom.CurrentNodeRef());
    EXPECT_EQ(dom.GetElementValue("//a", false), "3");
    EXPECT_EQ(Texts("//a | /r/b"), (std::vector<std::string>{"3", "3", "1"}));
    EXPECT_EQ(Texts("/r/*/a | /r/a"), (std::vector<std::string>{"3", "1"}));
}

TEST_F(XPathExactness, ACommentAfterAnElementComesAfterItsDescendants) {
    Open("<r><!--a--><e>t<f>u</f></e><!--b--><g/></r>");
    EXPECT_EQ(Texts("//f | //comment()"), (std::vector<std::string>{"a", "u", "b"}));
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

} // namespace
