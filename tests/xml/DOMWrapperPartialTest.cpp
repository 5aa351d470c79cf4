#include "common/Failure.h"
#include "support/Seams.h"
#include "xml/DOMWrapper.h"

#include <gtest/gtest.h>

namespace {

const std::string kNs = "xmlns:FD='http://www.ridorudu.org/namespace/RidoRudu'";

const std::string kData =
    "<?xml version='1.0' encoding='UTF-8'?>\n"
    "<FD:RidoRudu xmlns:FD='http://www.ridorudu.org/namespace/RidoRudu'>\n"
    "  <FD:Datas Table='Header'><FD:Field Name='OriginalFile'/></FD:Datas>\n"
    "  <FD:Datas Table='Order'>\n"
    "    <FD:Field Name='OrderNo' FlowType='2'>4711</FD:Field>\n"
    "    <FD:Field Name='Customer'>Miller &amp; Sons</FD:Field>\n"
    "    <FD:Field Name='Remark'>keep <![CDATA[this]]><!-- and this --></FD:Field>\n"
    "    text between\n"
    "    <FD:Field Name='Empty'/>\n"
    "  </FD:Datas>\n"
    "  <FD:Datas Table='Lines'><FD:Field Name='Qty'>3</FD:Field>tail</FD:Datas>\n"
    "</FD:RidoRudu>\n";

const std::vector<std::string> kPaths = {
    "/FD:RidoRudu/FD:Datas[@Table='Header']/FD:Field[@Name='OriginalFile']",
    "/FD:RidoRudu/FD:Datas[@Table='Order']/FD:Field[@Name='OrderNo']",
    "/FD:RidoRudu/FD:Datas[@Table='Order']/FD:Field[@Name='Empty']",
    "/FD:RidoRudu/FD:Datas[@Table='Order']/FD:Field[@Name='OrderNo']/@FlowType",
};

std::string Value(DOMWrapper& doc, const std::string& path) {
    std::string value;
    bool found = false;
    doc.GetElementValue2(value, found, path, true);
    return found ? value : "(none)";
}

// Writes the same values into a document loaded whole and into one loaded for the paths.
void WriteValues(DOMWrapper& doc) {
    doc.SetElementValue(kPaths[1], "4712 < 4800");
    doc.SetElementValue(kPaths[2], "now filled");
    doc.SetElementValue(kPaths[3], "9");
}

TEST(DOMWrapperPartial, ReadsAndSavesWhatTheWholeDocumentDoes) {
    TempFiles files;
    const std::string source = files.Write("data.xml", kData);
    DOMWrapper whole, part;
    whole.Load(source, kNs);
    part.LoadFor(source, kNs, kPaths);
    EXPECT_TRUE(part.Partial());
    for (const std::string& path : kPaths)
        EXPECT_EQ(Value(part, path), Value(whole, path)) << path;

    WriteValues(whole);
    WriteValues(part);
    whole.Save(files.Path("whole.xml"));
    part.Save(files.Path("part.xml"));
    EXPECT_EQ(ReadFileBytes(files.Path("part.xml")), ReadFileBytes(files.Path("whole.xml")));

    // In place, then once more: the second save starts from the first one's file.
    const std::string copy = files.Write("copy.xml", kData);
    whole.Load(copy, kNs);
    WriteValues(whole);
    for (DOMWrapper* doc : {&part, &whole}) {
        doc->Save(doc == &part ? source : copy);
        doc->SetElementValue(kPaths[1], "4713");
        doc->Save(doc == &part ? source : copy);
    }
    EXPECT_EQ(ReadFileBytes(source), ReadFileBytes(copy));
    EXPECT_NE(ReadFileBytes(source).find(">4713<"), std::string::npos);
}

TEST(DOMWrapperPartial, ReadsTheWholeFileForAnythingElse) {
    TempFiles files;
    const std::string source = files.Write("data.xml", kData);
    DOMWrapper part;
    part.LoadFor(source, kNs, kPaths);
    EXPECT_EQ(part.GetElementValue("/FD:RidoRudu/FD:Datas[@Table='Lines']/FD:Field", false), "3");
    EXPECT_FALSE(part.Partial());
    part.LoadFor(source, kNs, kPaths);
    part.GetNodeList("//FD:Field");
    EXPECT_EQ(part.NodeCount(), 6);
    part.LoadFor(source, kNs, kPaths);

    // Emptying every value reaches the elements that were left out, and keeps what was
    // written before.
    part.SetElementValue(kPaths[1], "4712");
    part.ClearAllNodes();
    EXPECT_FALSE(part.Partial());
    part.SetElementValue(kPaths[2], "filled");
    part.Save(files.Path("cleared.xml"));

    DOMWrapper whole;
    whole.Load(source, kNs);
    whole.SetElementValue(kPaths[1], "4712");
    whole.ClearAllNodes();
    whole.SetElementValue(kPaths[2], "filled");
    whole.Save(files.Path("whole.xml"));
    EXPECT_EQ(ReadFileBytes(files.Path("cleared.xml")), ReadFileBytes(files.Path("whole.xml")));
}

TEST(DOMWrapperPartial, SavingOverAnOutsideChangeKeepsIt) {
    TempFiles files;
    const std::string source = files.Write("data.xml", kData);
    DOMWrapper part;
    part.LoadFor(source, kNs, kPaths);
    std::string changed = kData;
    changed.replace(changed.find(">3<"), 3, ">30<");
    files.Write("data.xml", changed);

    part.SetElementValue(kPaths[1], "4712");
    part.Save(source);
    std::string expected = changed;
    expected.replace(expected.find(">4711<"), 6, ">4712<");
    EXPECT_EQ(ReadFileBytes(source), expected);
}

TEST(DOMWrapperPartial, KeepsEverythingWhenPathsOrTheFileAskForIt) {
    TempFiles files;
    DOMWrapper doc;
    doc.LoadFor(files.Write("typed.xml", "<!DOCTYPE FD:RidoRudu>" + kData.substr(kData.find('\n'))),
                kNs, kPaths);
    EXPECT_FALSE(doc.Partial());
    doc.LoadFor(files.Write("data.xml", kData), kNs, {"//FD:Field[@Name='OrderNo']"});
    EXPECT_FALSE(doc.Partial());
    EXPECT_EQ(Value(doc, "/FD:RidoRudu/FD:Datas[@Table='Lines']/FD:Field"), "3");
}

} // namespace
