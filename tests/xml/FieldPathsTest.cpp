#include "xml/FieldPaths.h"

#include "common/Failure.h"
#include "support/Seams.h"
#include "xml/DocumentOutline.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::string kNs = "http://www.ridorudu.org/namespace/RidoRudu";

class FieldPathsTest : public testing::Test {
protected:
    void Load(const std::string& content) {
        doc.Load(files.Write("data.xml", content), kRidoRuduDeclaration);
    }
    // The node the XPath selects, found without the rules under test.
    DOMNode Node(const std::string& xpath) {
        doc.GetElementValue(xpath, false);
        return doc.CurrentNodeRef();
    }
    std::string PathOf(const std::string& xpath) { return ProposeField(doc, Node(xpath)).sPath; }
    std::string AliasOf(const std::string& xpath) { return ProposeField(doc, Node(xpath)).sAlias; }

    TempFiles files;
    DOMWrapper doc;
};

const std::string kRidoRudu =
    "<FD:R xmlns:FD='" + kNs +
    "'>"
    "<FD:Datas Table='Head'><FD:Field Name='No' FlowType='1'>1</FD:Field>"
    "</FD:Datas>"
    "<FD:Datas Table='Order'><FD:Field Name='No' FlowType='2'>7</FD:Field>"
    "<FD:Field Name='Customer' FlowType='2'>M</FD:Field></FD:Datas>"
    "</FD:R>";

TEST_F(FieldPathsTest, RidoRuduNamesTakePrefixFDAndTheAttributeThatTellsSiblingsApart) {
    Load(kRidoRudu);
    EXPECT_EQ(PathOf("//FD:Datas[2]/FD:Field[1]"),
              "/FD:R/FD:Datas[@Table='Order']/FD:Field[@Name='No']");
    EXPECT_EQ(AliasOf("//FD:Datas[2]/FD:Field[1]"), "No");
    // The only Field of its Datas needs no predicate, whatever its cousins are called.
    EXPECT_EQ(PathOf("//FD:Datas[1]/FD:Field"), "/FD:R/FD:Datas[@Table='Head']/FD:Field");
    EXPECT_EQ(AliasOf("//FD:Datas[1]/FD:Field"), "Field");
}

TEST_F(FieldPathsTest, AnAttributeIsALastStep) {
    Load(kRidoRudu);
    EXPECT_EQ(PathOf("//FD:Datas[2]/FD:Field[2]/@FlowType"),
              "/FD:R/FD:Datas[@Table='Order']/FD:Field[@Name='Customer']/@FlowType");
    EXPECT_EQ(AliasOf("//FD:Datas[2]/FD:Field[2]/@FlowType"), "Customer FlowType");
    EXPECT_EQ(PathOf("//FD:Datas[2]/@Table"), "/FD:R/FD:Datas[@Table='Order']/@Table");
}

TEST_F(FieldPathsTest, UnnamespacedNamesStayPlainAlsoUnderARidoRuduParent) {
    Load("<R><A>1</A><B x='1'>2</B></R>");
    EXPECT_EQ(PathOf("/R/B"), "/R/B");
    EXPECT_EQ(AliasOf("/R/B"), "B");
    EXPECT_EQ(PathOf("/R/B/@x"), "/R/B/@x");
    Load("<FD:R xmlns:FD='" + kNs + "'><Plain>1</Plain></FD:R>");
    EXPECT_EQ(PathOf("/FD:R/Plain"), "/FD:R/Plain");
}

TEST_F(FieldPathsTest, RepeatedSiblingsWithoutAnAttributeThatDiffersGetTheirPosition) {
    Load("<R><Item k='x'>a</Item><Other/><Item k='x'>b</Item><Item>c</Item></R>");
    EXPECT_EQ(PathOf("/R/Item[2]"), "/R/Item[2]");
    EXPECT_EQ(AliasOf("/R/Item[2]"), "Item");
    // Without the attribute, the third one still differs from the two that have it.
    EXPECT_EQ(PathOf("/R/Item[3]"), "/R/Item[3]");
}

TEST_F(FieldPathsTest, TheFirstAttributeWhoseValueNoSiblingSharesIsChosen) {
    Load("<R><Row kind='a' id='1'>x</Row><Row kind='a' id='2'>y</Row><Row kind='b' id='2'/></R>");
    // Its kind is shared with the first, its id with the third.
    EXPECT_EQ(PathOf("/R/Row[2]"), "/R/Row[2]");
    EXPECT_EQ(PathOf("/R/Row[1]"), "/R/Row[@id='1']");
    EXPECT_EQ(PathOf("/R/Row[3]"), "/R/Row[@kind='b']");
    EXPECT_EQ(AliasOf("/R/Row[3]"), "b");
}

TEST_F(FieldPathsTest, OtherNamespacesAreNamedByLocalNameAndUri) {
    Load("<o:R xmlns:o='urn:other'><o:A>1</o:A><o:A>2</o:A></o:R>");
    const std::string r = "*[local-name()='R' and namespace-uri()='urn:other']";
    const std::string a = "*[local-name()='A' and namespace-uri()='urn:other']";
    EXPECT_EQ(PathOf("/*/*[2]"), "/" + r + "/" + a + "[2]");
    EXPECT_EQ(AliasOf("/*/*[2]"), "A");
}

TEST_F(FieldPathsTest, ADefaultRidoRuduNamespaceIsStillFD) {
    Load("<R xmlns='" + kNs + "'><F a='1'>x</F></R>");
    EXPECT_EQ(PathOf("/*/*"), "/FD:R/FD:F");
}

TEST_F(FieldPathsTest, ValuesWithQuotesBecomeLiteralsThatStillSelect) {
    Load("<R><F n=\"it's\">1</F><F n='say &quot;hi&quot; it&apos;s'>2</F><F n='x'/></R>");
    EXPECT_EQ(PathOf("/R/F[1]"), "/R/F[@n=\"it's\"]");
    EXPECT_EQ(PathOf("/R/F[2]"), "/R/F[@n=concat('say \"hi\" it',\"'\",'s')]");
}

TEST_F(FieldPathsTest, EveryProposalSelectsExactlyItsNode) {
    Load("<FD:R xmlns:FD='" + kNs +
         "' xmlns:o='urn:o'><FD:D T='1'><FD:F>a</FD:F><FD:F>b</FD:F><o:F o:n='1'/>"
         "<o:F o:n='2'/><F/></FD:D><FD:D T='1'><FD:F N='q'>c</FD:F></FD:D></FD:R>");
    const std::vector<DOMNode> nodes = TextNodesInOrder(doc);
    ASSERT_EQ(nodes.size(), 11u);
    for (const DOMNode& node : nodes) {
        const FieldProposal proposal = ProposeField(doc, node);
        EXPECT_EQ(CountMatches(doc, proposal.sPath), 1) << proposal.sPath;
        doc.GetElementValue(proposal.sPath, false);
        EXPECT_EQ(doc.CurrentNodeRef().get(), node.get()) << proposal.sPath;
    }
}

TEST_F(FieldPathsTest, CountMatchesFailsForAnInvalidExpression) {
    Load(kRidoRudu);
    EXPECT_EQ(CountMatches(doc, "//FD:Field"), 3);
    EXPECT_THROW(CountMatches(doc, "//FD:Field["), Failure);
}

TEST_F(FieldPathsTest, TextNodesComeInDocumentOrderElementBeforeItsAttributes) {
    Load("<R a='1'><B b='2'>x</B><C><D/></C></R>");
    std::vector<std::string> names;
    for (const DOMNode& node : TextNodesInOrder(doc))
        names.push_back(DescribeNode(node).sName);
    EXPECT_EQ(names, (std::vector<std::string>{"a", "B", "b", "D"}));
}

} // namespace
