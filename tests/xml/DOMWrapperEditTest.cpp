#include "common/Failure.h"
#include "support/Seams.h"
#include "xml/DOMWrapper.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

const std::string kNs = std::string("xmlns:FD=\"") + kRidoRuduNamespace + "\"";

std::string Markup(const DOMWrapper& dom) {
    xmlBufferPtr buffer = xmlBufferCreate();
    xmlNodeDump(buffer, dom.Document(), xmlDocGetRootElement(dom.Document()), 0, 0);
    std::string text(reinterpret_cast<const char*>(xmlBufferContent(buffer)),
                     xmlBufferLength(buffer));
    xmlBufferFree(buffer);
    return text;
}

// The description of the class error that action raises.
std::string ClassError(const std::function<void()>& action) {
    try {
        action();
    } catch (const Failure& f) {
        EXPECT_EQ(f.number, kClassErrorNumber) << f.description;
        return f.description;
    }
    ADD_FAILURE() << "no failure raised";
    return {};
}

class DOMWrapperEdit : public ::testing::Test {
protected:
    void Open(const std::string& xml) {
        dom.Load(files.Write("data.xml", "<?xml version=\"1.0\"?>\n" + xml), kRidoRuduDeclaration);
    }

    TempFiles files;
    DOMWrapper dom;
};

TEST_F(DOMWrapperEdit, CloneNodesAppendsADeepCopyAndReportsBothPaths) {
    Open("<r><a x=\"1\"><b>t</b></a><c/></r>");
    dom.CloneNodes("/r/a", "/r/c");
    EXPECT_EQ(Markup(dom), "<r><a x=\"1\"><b>t</b></a><c><a x=\"1\"><b>t</b></a></c></r>");

    // Into itself: the copy is the node as it was before the call.
    dom.CloneNodes("/r/c", "/r/c");
    EXPECT_EQ(Markup(dom), "<r><a x=\"1\"><b>t</b></a><c><a x=\"1\"><b>t</b></a><c><a "
                           "x=\"1\"><b>t</b></a></c></c></r>");

    Open("<r><a/></r>");
    EXPECT_EQ(ClassError([&] { dom.CloneNodes("/r/missing", "/r/a"); }),
              "Error in Function 'DOMWrapper.CloneNodes' \r\nArgument(s) : \r\n/r/missing\r\n/r/a");
    // The root element cannot be copied beside itself.
    ClassError([&] { dom.CloneNodes("/r", "/"); });
    EXPECT_EQ(Markup(dom), "<r><a/></r>");
}

TEST_F(DOMWrapperEdit, CloneNodesAddsNoNamespaceDeclarationInScopeAlready) {
    Open("<FD:Root " + kNs +
         "><FD:Datas Table=\"T\"><FD:Field Name=\"A\">1</FD:Field>"
         "</FD:Datas></FD:Root>");
    dom.CloneNodes("//FD:Field", "/FD:Root");
    const std::string path = files.Path("out.xml");
    dom.Save(path);
    const std::string saved = ReadFileBytes(path);
    EXPECT_NE(saved.find("<FD:Field Name=\"A\">1</FD:Field>\n</FD:Root>"), std::string::npos)
        << saved;
    EXPECT_EQ(saved.find("xmlns:FD"), saved.rfind("xmlns:FD")) << saved;
}

TEST_F(DOMWrapperEdit, RemoveNodeRemovesOnlyAChildOfTheParent) {
    Open("<r><a><b>keep</b></a><c/></r>");
    EXPECT_EQ(ClassError([&] { dom.RemoveNode("/r", "/r/a/b"); }),
              "Error in Function 'DOMWrapper.RemoveNode' \r\nArgument(s) : \r\n/r\r\n/r/a/b");
    EXPECT_EQ(Markup(dom), "<r><a><b>keep</b></a><c/></r>");

    // A removed node that the node list still holds stays readable.
    dom.GetNodeList("/r/a/b");
    dom.RemoveNode("/r/a", "/r/a/b");
    EXPECT_EQ(Markup(dom), "<r><a/><c/></r>");
    EXPECT_EQ(dom.NodeText(), "keep");

    EXPECT_EQ(ClassError([&] { dom.RemoveNode("/r", "/r/a/b"); }),
              "Error in Function 'DOMWrapper.RemoveNode' \r\nArgument(s) : \r\n/r\r\n/r/a/b");
}

TEST_F(DOMWrapperEdit, RemoveNodesRemovesEveryMatchIncludingDescendants) {
    Open("<r><a><c/><c/></a><c/><b><c/><c/></b></r>");
    dom.RemoveNodes("/r", ".//c");
    EXPECT_EQ(Markup(dom), "<r><a/><b/></r>");

    dom.RemoveNodes("/r", "c"); // nothing matches: no change, no failure
    EXPECT_EQ(Markup(dom), "<r><a/><b/></r>");

    EXPECT_EQ(ClassError([&] { dom.RemoveNodes("/x", "c"); }),
              "Error in Function 'DOMWrapper.RemoveNodes' \r\nArgument(s) : \r\n/x\r\nc");
}

TEST_F(DOMWrapperEdit, RemoveNodesKeepsRemovalsBeforeAFailure) {
    // The text node goes first; the attribute that follows cannot be removed as a child.
    Open("<r><a>t</a><b x=\"1\"/></r>");
    ClassError([&] { dom.RemoveNodes("/r", "a/text() | b/@x"); });
    EXPECT_EQ(Markup(dom), "<r><a/><b x=\"1\"/></r>");
}

TEST_F(DOMWrapperEdit, SetAttributesByIndexKeepsEarlierNodesOnFailure) {
    Open("<r><e a=\"1\" b=\"2\"/><e a=\"3\" b=\"4\"/></r>");
    dom.SetAttributes("//e", 1, "x&y");
    EXPECT_EQ(Markup(dom), "<r><e a=\"1\" b=\"x&amp;y\"/><e a=\"3\" b=\"x&amp;y\"/></r>");

    dom.SetAttributes("//none", 5, "v"); // empty selection: nothing to do

    Open("<r><e a=\"1\" b=\"2\"/><e a=\"3\"/><e a=\"5\" b=\"6\"/></r>");
    EXPECT_EQ(ClassError([&] { dom.SetAttributes("//e", 1, "v"); }),
              "Error in Function 'DOMWrapper.SetAttributes' \r\nArgument(s) : \r\n//e\r\n1\r\nv");
    EXPECT_EQ(Markup(dom), "<r><e a=\"1\" b=\"v\"/><e a=\"3\"/><e a=\"5\" b=\"6\"/></r>");

    EXPECT_EQ(ClassError([&] { dom.SetAttributes("//e", -1, "v"); }),
              "Error in Function 'DOMWrapper.SetAttributes' \r\nArgument(s) : \r\n//e\r\n-1\r\nv");
}

TEST_F(DOMWrapperEdit, AppendNodePairsNamesWithValues) {
    Open("<r><a/><b/></r>");
    dom.AppendNode("/r/a", "n", "1 < 2 & 3", "a;b", "1;2");
    dom.AppendNode("/r/a", "FD:n", "", "a", "1;2");
    dom.AppendNode("/r/a", "m", "v", "   ", "ignored");
    EXPECT_EQ(Markup(dom), "<r><a><n a=\"1\" b=\"2\">1 &lt; 2 &amp; 3</n><FD:n a=\"1\"/>"
                           "<m>v</m></a><b/></r>");

    const std::string before = Markup(dom);
    EXPECT_EQ(ClassError([&] { dom.AppendNode("/r/b", "n", "v", "a;b", "1"); }),
              "Error in Function 'DOMWrapper.AppendNode' \r\nArgument(s) : \r\n/r/b\r\nn\r\nv\r\n"
              "a;b\r\n1\r\nFalse");
    ClassError([&] { dom.AppendNode("/r/b", "n", "", "a", ""); });
    ClassError([&] { dom.AppendNode("/r/b", "bad name", "", "", ""); });
    ClassError([&] { dom.AppendNode("/r/b", "n", "", "a;;b", "1;2;3"); });
    EXPECT_EQ(Markup(dom), before);
}

TEST_F(DOMWrapperEdit, AppendNodeOnSameLevelGoesAfterAllSiblingsButNeverBesideTheRoot) {
    Open("<r><a/><b/><c/></r>");
    dom.AppendNode("/r/a", "n", "", "", "", true);
    EXPECT_EQ(Markup(dom), "<r><a/><b/><c/><n/></r>");

    EXPECT_EQ(ClassError([&] { dom.AppendNode("/r", "n", "", "", "", true); }),
              "Error in Function 'DOMWrapper.AppendNode' \r\nArgument(s) : \r\n/r\r\nn\r\n\r\n"
              "\r\n\r\nTrue");
    ClassError([&] { dom.AppendNode("/", "n"); });
    EXPECT_EQ(Markup(dom), "<r><a/><b/><c/><n/></r>");
    EXPECT_EQ(xmlChildElementCount(reinterpret_cast<xmlNodePtr>(dom.Document())), 1u);
}

TEST_F(DOMWrapperEdit, AppendChildNodefromTextImportsTheFirstNode) {
    Open("<r><a/></r>");
    dom.AppendChildNodefromText("/r/a", "<x k=\"v\"><y>1</y><z/></x>");
    dom.AppendChildNodefromText("/r", "<!-- note --><ignored/>");
    dom.AppendChildNodefromText("/r", "<FD:f " + kNs + ">v</FD:f>", kRidoRuduDeclaration);
    EXPECT_EQ(Markup(dom),
              "<r><a><x k=\"v\"><y>1</y><z/></x></a><!-- note --><FD:f " + kNs + ">v</FD:f></r>");

    const std::string before = Markup(dom);
    EXPECT_EQ(ClassError([&] { dom.AppendChildNodefromText("/r/a", "<x><y></x>", "ns"); }),
              "Error in Function 'DOMWrapper.AppendChildNodefromText' \r\nArgument(s) : \r\n/r/a"
              "\r\n<x><y></x>");
    ClassError([&] { dom.AppendChildNodefromText("/r/a", ""); });
    ClassError([&] { dom.AppendChildNodefromText("/r/a", "<x/>", "xmlns:p=unquoted"); });
    ClassError([&] { dom.AppendChildNodefromText("/r/missing", "<x/>"); });
    ClassError([&] { dom.AppendChildNodefromText("/", "<x/>"); });
    // A document type declaration is no child for an element, and no entity is fetched.
    ClassError([&] {
        dom.AppendChildNodefromText("/r", "<!DOCTYPE x [<!ENTITY e SYSTEM \"/etc/hostname\">]>"
                                          "<x>&e;</x>");
    });
    EXPECT_EQ(Markup(dom), before);
}

TEST_F(DOMWrapperEdit, AppendChildNodefromNodeMovesTheNode) {
    Open("<r><a><m>text</m></a><b/></r>");
    dom.GetElementValue("/r/a/m", false);
    const DOMNode moved = dom.CurrentNodeRef();
    dom.AppendChildNodefromNode("/r/b", moved);
    EXPECT_EQ(Markup(dom), "<r><a/><b><m>text</m></b></r>");

    // Under itself or its own descendant it cannot go; the description carries its text.
    dom.GetElementValue("/r/b", false);
    const DOMNode b = dom.CurrentNodeRef();
    EXPECT_EQ(ClassError([&] { dom.AppendChildNodefromNode("/r/b/m", b); }),
              "Error in Function 'DOMWrapper.AppendChildNodefromNode' \r\nArgument(s) : \r\n"
              "/r/b/m\r\ntext");
    EXPECT_EQ(Markup(dom), "<r><a/><b><m>text</m></b></r>");

    // An unset node fails while the description is composed: that failure is the caller's.
    try {
        dom.AppendChildNodefromNode("/r/a", DOMNode());
        ADD_FAILURE() << "no failure raised";
    } catch (const Failure& f) {
        EXPECT_EQ(f.number, kErrObjectNotSet);
    }
}

} // namespace
