#include "common/Failure.h"
#include "support/Seams.h"
#include "xml/DOMWrapper.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

std::string Markup(DOMWrapper& dom) {
    dom.GetElementValue("/r", false);
    return dom.GetXML();
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

TEST_F(DOMWrapperEdit, FailedEditsChangeNothing) {
    Open("<r><a/></r>");
    EXPECT_EQ(ClassError([&] { dom.CloneNodes("/r/missing", "/r/a"); }),
              "Error in Function 'DOMWrapper.CloneNodes' \r\nArgument(s) : \r\n/r/missing\r\n/r/a");
    ClassError([&] { dom.CloneNodes("/r", "/"); });
    ClassError([&] { dom.AppendNode("/r/a", "n", "v", "a;b", "1"); });
    ClassError([&] { dom.AppendChildNodefromText("/r/a", "<x><y></x>"); });
    // A document type declaration is no child for an element, and no entity is fetched.
    ClassError([&] {
        dom.AppendChildNodefromText("/r", "<!DOCTYPE x [<!ENTITY e SYSTEM \"/etc/hostname\">]>"
                                          "<x>&e;</x>");
    });
    EXPECT_EQ(Markup(dom), "<r><a/></r>");
}

TEST_F(DOMWrapperEdit, RemovalsTakeEveryMatchAndKeepListedNodesReadable) {
    Open("<r><a><b>keep</b></a><c/></r>");
    dom.GetNodeList("/r/a/b");
    dom.RemoveNode("/r/a", "/r/a/b");
    EXPECT_EQ(Markup(dom), "<r><a/><c/></r>");
    EXPECT_EQ(dom.NodeText(), "keep");

    Open("<r><a><c/><c/></a><c/><b><c/><c/></b></r>");
    dom.RemoveNodes("/r", ".//c");
    EXPECT_EQ(Markup(dom), "<r><a/><b/></r>");
}

} // namespace
