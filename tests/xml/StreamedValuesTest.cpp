#include "xml/StreamedValues.h"

#include "support/Seams.h"
#include "xml/DOMWrapper.h"

#include <gtest/gtest.h>

namespace {

const std::string kNs = "xmlns:FD='http://www.ridorudu.org/namespace/RidoRudu' xmlns:x='urn:x'";
const std::string kRoot =
    "<FD:RidoRudu xmlns:FD='http://www.ridorudu.org/namespace/RidoRudu' xmlns:x='urn:x'>";

// What a full load gives for each path: the value, or nothing when it selects nothing.
std::vector<std::optional<std::string>> LoadedValues(const std::string& file,
                                                     const std::vector<std::string>& paths) {
    DOMWrapper doc;
    doc.Load(file, kNs);
    std::vector<std::optional<std::string>> values;
    for (const std::string& path : paths) {
        std::string value;
        bool found = false;
        doc.GetElementValue2(value, found, path, true);
        values.push_back(found ? std::optional(value) : std::nullopt);
    }
    return values;
}

const std::vector<std::string> kPaths = {
    "/FD:RidoRudu/FD:Datas[@Table='Header']/FD:Field[@Name='OriginalFile']",
    "/FD:RidoRudu/FD:Datas[@Table='Order']/FD:Field[@Name='OrderNo']",
    "/FD:RidoRudu/FD:Datas[@Table='Order']/FD:Field[@Name='Customer']",
    "/FD:RidoRudu/FD:Datas[@Table='Order']/FD:Field[@Name='Note']",
    "/FD:RidoRudu/FD:Datas[@Table='Order']/FD:Field[@Name='Empty']",
    "/FD:RidoRudu/FD:Datas[@Table='Order']/FD:Field[@Name='Blank']",
    "/FD:RidoRudu/FD:Datas[@Table='Order']/FD:Field[@Name='Missing']",
    "/FD:RidoRudu/FD:Datas[@Table='Order']/FD:Field[@Name='OrderNo']/@FlowType",
    "/FD:RidoRudu/FD:Datas[@Table='Order']/FD:Field[@x:Name='Other']",
    "/FD:RidoRudu/FD:Datas[@Table='Order'][@Kind='b']/FD:Field",
    "/FD:RidoRudu/*[@Table='Lines']/FD:Field[@Name='Qty']",
    "/FD:RidoRudu/FD:Datas/@Table",
    "/FD:RidoRudu/Datas[@Table='Order']/FD:Field[@Name='OrderNo']",
    "FD:RidoRudu/FD:Datas[@Table='Lines']/FD:Field[@Name='Qty']",
};

TEST(StreamedValues, GivesWhatTheFullLoadGives) {
    TempFiles files;
    // Another prefix for the same namespace, line ends of both kinds, references, a value
    // selected twice (the first counts), CDATA and comments outside selected elements.
    const std::string file = files.Write(
        "data.xml",
        "<?xml version='1.0' encoding='ISO-8859-1'?>\r\n"
        "<!-- before -->\r\n"
        "<rr:RidoRudu xmlns:rr='http://www.ridorudu.org/namespace/RidoRudu' "
        "xmlns:y='urn:x'>\r\n"
        " <rr:Datas Table='Header'><rr:Field Name='OriginalFile'/></rr:Datas>\r\n"
        " <rr:Datas Table='Order' Kind='a'>\n"
        "  <rr:Field Name='OrderNo' FlowType='N'>4711</rr:Field>\n"
        "  <rr:Field Name='Customer'>M\xFCller &amp; S&#246;hne\r\n  &lt;GmbH&gt;</rr:Field>\n"
        "  <rr:Field Name='Note'>first</rr:Field><rr:Field Name='Note'>second</rr:Field>\n"
        "  <rr:Field Name='Empty'></rr:Field><rr:Field Name='Blank'>  \t </rr:Field>\n"
        "  <rr:Field y:Name='Other'>namespaced</rr:Field><![CDATA[<x>]]><?pi x?>\n"
        " </rr:Datas>\n"
        " <rr:Datas Table='Order' Kind='b'><rr:Field Name='OrderNo'>2</rr:Field></rr:Datas>\n"
        " <rr:Datas Table='Lines'><rr:Field Name='Qty'>3</rr:Field></rr:Datas>\n"
        " <Datas Table='Order'><rr:Field Name='OrderNo'>no namespace</rr:Field></Datas>\n"
        "</rr:RidoRudu>\n");
    const std::optional<StreamedValues> streamed = StreamedValues::Compile(kPaths, kNs);
    ASSERT_TRUE(streamed);
    const std::optional<StreamedValues::Values> read = streamed->Read(file);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->values, LoadedValues(file, kPaths));
    EXPECT_EQ(read->values[2], "M\xC3\xBCller & S\xC3\xB6hne\n  <GmbH>");
    EXPECT_EQ(read->values[3], "first");

    DOMWrapper doc;
    doc.Load(file, kNs);
    EXPECT_EQ(read->stamp, doc.LoadedStamp());
}

TEST(StreamedValues, LeavesToTheFullLoadWhatOnePassCannotAnswer) {
    TempFiles files;
    const std::string field = "<FD:Datas Table='Order'><FD:Field Name='OrderNo'>";
    const std::string end = "</FD:Field></FD:Datas></FD:RidoRudu>";
    const std::vector<std::pair<std::string, std::string>> cases = {
        // Blank text beside these is kept or dropped by the tree's own rules.
        {"CDATA", kRoot + field + "  <![CDATA[1]]>  " + end},
        {"comment", kRoot + field + "<!-- c -->  1" + end},
        {"instruction", kRoot + field + "1<?pi?>" + end},
        {"element", kRoot + field + "1<b/>" + end},
        {"document type",
         "<!DOCTYPE FD:RidoRudu [<!ENTITY e 'entity'>]>" + kRoot + field + "&e;" + end},
        {"reference in a tested attribute",
         kRoot + "<FD:Datas Table='Or&amp;der'/>" + field + "1" + end},
        {"unbound prefix", kRoot + "<q:Datas/>" + field + "1" + end},
        {"malformed", kRoot + field + "1</FD:Field>"},
    };
    const std::vector<std::string> paths = {
        "/FD:RidoRudu/FD:Datas[@Table='Order']/FD:Field[@Name='OrderNo']"};
    const std::optional<StreamedValues> streamed = StreamedValues::Compile(paths, kNs);
    ASSERT_TRUE(streamed);
    for (const auto& [name, content] : cases)
        EXPECT_FALSE(streamed->Read(files.Write("case.xml", content))) << name;
    EXPECT_FALSE(streamed->Read(files.Path("missing.xml")));
    EXPECT_FALSE(streamed->Read(files.dir()));

    for (const char* path :
         {"//FD:Field", "/FD:RidoRudu/FD:Datas[2]", "/FD:RidoRudu/FD:Datas/text()", "/",
          "/FD:RidoRudu/FD:Datas/..", "/FD:RidoRudu/q:Datas", "/FD:RidoRudu["})
        EXPECT_FALSE(StreamedValues::Compile({path}, kNs)) << path;
}

} // namespace
