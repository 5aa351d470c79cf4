#include "support/Seams.h"
#include "xml/DOMWrapper.h"

#include <QStringEncoder>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

struct Encoding {
    const char* name;
    const char* qt; // the name Qt knows it by
    bool bom;
};

const Encoding kEncodings[] = {
    {"UTF-8", "UTF-8", false},
    {"UTF-8", "UTF-8", true},
    {"UTF-16", "UTF-16LE", true},
    {"ISO-8859-1", "ISO-8859-1", false},
};

// The text in the encoding, with ENC standing for the encoding's name; a character that
// ISO-8859-1 lacks as the reference a save writes for it.
QByteArray Encode(std::string text, const Encoding& encoding) {
    for (auto at = text.find("ENC"); at != std::string::npos; at = text.find("ENC"))
        text.replace(at, 3, encoding.name);
    if (std::string(encoding.name) == "ISO-8859-1")
        for (auto at = text.find("€"); at != std::string::npos; at = text.find("€"))
            text.replace(at, std::string("€").size(), "&#8364;");
    QString unicode = QString::fromStdString(text);
    if (encoding.bom)
        unicode.prepend(QChar(0xFEFF));
    QStringEncoder encoder(encoding.qt);
    EXPECT_TRUE(encoder.isValid()) << encoding.qt;
    return encoder(unicode);
}

class SpliceSaveTest : public ::testing::TestWithParam<Encoding> {
protected:
    std::string Path(const char* name) const { return files.Path(name); }
    void Write(const char* name, const QByteArray& bytes) const {
        files.Write(name, bytes.toStdString());
    }
    QByteArray Read(const char* name) const {
        return QByteArray::fromStdString(ReadFileBytes(Path(name)));
    }

    // Loads text as the source file, applies the writes and saves under another name.
    QByteArray SaveAfter(const std::string& text, const Pairs& writes) {
        Write("in.xml", Encode(text, GetParam()));
        DOMWrapper doc;
        doc.Load(Path("in.xml"));
        for (const auto& [path, value] : writes)
            doc.SetElementValue(path, value);
        doc.Save(Path("out.xml"));
        return Read("out.xml");
    }

    TempFiles files;
};

const std::string kDocument = "<?xml version='1.0' encoding='ENC'?>\r\n"
                              "<!DOCTYPE r [\r\n<!ENTITY e 'ent'>\r\n]>\r\n"
                              "<!-- kept -->\r\n"
                              "<?pi kept?>\r\n"
                              "<r>\r\n"
                              "  <a x='1' y=\"2\">&#233;t&amp;&#x3C;</a>\r\n"
                              "  <b><![CDATA[c<d]]></b>\r\n"
                              "  <c></c>\r\n"
                              "  <d x='1' />\r\n"
                              "  <e/>\r\n"
                              "  <f>keep &#65; é</f>\r\n"
                              "  <g>mixed <i>in</i> text</g>\r\n"
                              "</r>\r\n";

// Replaces the first occurrence of from in text by to.
std::string With(std::string text, const std::string& from, const std::string& to) {
    const auto at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

// Each case: the values written, and the stretches of the file that must change with them.
TEST_P(SpliceSaveTest, ReplacesOnlyTheEditedValues) {
    const std::pair<Pairs, Pairs> cases[] = {
        {{{"/r/a", "€ & <é>"},
          {"/r/a/@x", "q'\""},
          {"/r/a/@y", "t\tu"},
          {"/r/b", "c<d!"},
          {"/r/c", "v"},
          {"/r/d", "w"},
          {"/r/e", ""},
          {"/r/f", "keep A é"},
          {"/r/g", "z\r"}},
         {{"x='1' y=\"2\">&#233;t&amp;&#x3C;</a>",
           "x='q&apos;\"' y=\"t&#9;u\">€ &amp; &lt;é&gt;</a>"},
          {"<![CDATA[c<d]]>", "c&lt;d!"},
          {"<c></c>", "<c>v</c>"},
          {"<d x='1' />", "<d x='1' >w</d>"},
          {"<g>mixed <i>in</i> text</g>", "<g>z&#13;</g>"}}},
        // Emptied values keep their tags.
        {{{"/r/a", ""}, {"/r/a/@y", ""}, {"/r/b", ""}, {"/r/d", ""}, {"/r/f", ""}, {"/r/g", ""}},
         {{"y=\"2\">&#233;t&amp;&#x3C;</a>", "y=\"\"></a>"},
          {"<![CDATA[c<d]]>", ""},
          {"<f>keep &#65; é</f>", "<f></f>"},
          {"<g>mixed <i>in</i> text</g>", "<g></g>"}}},
    };
    for (const auto& [writes, changes] : cases) {
        std::string expected = kDocument;
        for (const auto& [from, to] : changes)
            expected = With(expected, from, to);
        EXPECT_EQ(SaveAfter(kDocument, writes), Encode(expected, GetParam()));
    }
}

TEST_P(SpliceSaveTest, ValuesWrittenWithTheirOwnTextKeepEveryByte) {
    const QByteArray original = Encode(kDocument, GetParam());
    EXPECT_EQ(
        SaveAfter(kDocument,
                  {{"/r/a", "ét&<"}, {"/r/a/@x", "1"}, {"/r/b", "c<d"}, {"/r/f", "keep A é"}}),
        original);
    // In place, twice: the second save splices the file the first one wrote.
    DOMWrapper doc;
    doc.Load(Path("in.xml"));
    doc.Save(Path("in.xml"));
    EXPECT_EQ(Read("in.xml"), original);
    doc.SetElementValue("/r/e", "1");
    doc.Save(Path("in.xml"));
    doc.SetElementValue("/r/c", "2");
    doc.SetElementValue("/r/e", "3");
    doc.Save(Path("in.xml"));
    EXPECT_EQ(Read("in.xml"),
              Encode(With(With(kDocument, "<c></c>", "<c>2</c>"), "<e/>", "<e>3</e>"), GetParam()));
}

// The origin file's path: every value emptied, then the rows written.
TEST_P(SpliceSaveTest, ClearedAndRewrittenValuesKeepTheFormatting) {
    const std::string text =
        "<?xml version=\"1.0\" encoding=\"ENC\"?>\r\n<r>\r\n"
        "\t<f n='1'>one &amp; <![CDATA[only]]></f>\r\n"
        "\t<f n='2'/>\r\n\t<f n='3'>three</f>\r\n\t<f n='4'>four</f>\r\n</r>\r\n";
    Write("in.xml", Encode(text, GetParam()));
    DOMWrapper doc;
    doc.Load(Path("in.xml"));
    doc.ClearAllNodes();
    doc.SetElementValue("/r/f[1]", "one & only");
    doc.SetElementValue("/r/f[2]", "");
    doc.SetElementValue("/r/f[3]", "drei");
    doc.Save(Path("out.xml"));
    EXPECT_EQ(Read("out.xml"), Encode(With(With(text, "three", "drei"), "four", ""), GetParam()));
}

// More values than a save keeps a list of: it looks through the whole tree for them.
TEST(SpliceSaveMany, EveryValueClearedAndOneWritten) {
    TempFiles files;
    std::string text = "<r>\r\n", expected = "<r>\r\n";
    for (int i = 0; i < 70000; ++i) {
        text += "<f>" + std::to_string(i) + "</f>\r\n";
        expected += i == 69998 ? "<f>69998</f>\r\n" : "<f></f>\r\n";
    }
    const std::string in = files.Write("in.xml", text + "</r>\r\n");
    DOMWrapper doc;
    doc.Load(in);
    doc.ClearAllNodes();
    doc.SetElementValue("/r/f[69999]", "69998");
    doc.Save(in);
    EXPECT_EQ(ReadFileBytes(in), expected + "</r>\r\n");
}

INSTANTIATE_TEST_SUITE_P(Encodings, SpliceSaveTest, ::testing::ValuesIn(kEncodings),
                         [](const auto& info) {
                             std::string name = info.param.name;
                             std::erase(name, '-');
                             return name + (info.param.bom ? "Bom" : "");
                         });

} // namespace
