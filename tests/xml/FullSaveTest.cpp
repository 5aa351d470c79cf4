#include "common/Failure.h"
#include "support/Seams.h"
#include "xml/DOMWrapper.h"

#include <QDateTime>
#include <QFile>

#include <gtest/gtest.h>

#include <string>

namespace {

// Saves that cannot splice the loaded file: the document's structure changed, or the file.
class FullSaveTest : public ::testing::Test {
protected:
    std::string Path(const char* name) const { return files.Path(name); }
    std::string Read(const char* name) const { return ReadFileBytes(Path(name)); }

    // Loads text, appends an element to the root (so the save serializes the whole
    // document), saves and loads the result again.
    void SaveWithNewElement(const std::string& text, DOMWrapper& reloaded) {
        files.Write("in.xml", text);
        DOMWrapper doc;
        doc.Load(Path("in.xml"));
        doc.AppendNode("/*", "added");
        doc.Save(Path("out.xml"));
        reloaded.Load(Path("out.xml"));
    }

    TempFiles files;
};

TEST_F(FullSaveTest, AddsNoWhiteSpaceWhereTheLoadKeepsIt) {
    DOMWrapper any;
    SaveWithNewElement("<!DOCTYPE r [<!ELEMENT r ANY>]><r><a>1</a><b>2</b></r>", any);
    EXPECT_EQ(any.GetElementValue("/r", false), "12");
    DOMWrapper preserved;
    SaveWithNewElement("<r><s xml:space='preserve'><a>1</a><b>2</b></s></r>", preserved);
    EXPECT_EQ(preserved.GetElementValue("/r/s", false), "12");
}

TEST_F(FullSaveTest, ReadsBackWhatItWroteInTheFilesEncoding) {
    const std::u16string text =
        u"\uFEFF<?xml version='1.0' encoding='UTF-16'?><r><a>\u20AC</a></r>";
    DOMWrapper reloaded;
    SaveWithNewElement(std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2),
                       reloaded);
    EXPECT_EQ(reloaded.GetElementValue("/r/a", false), "\u20AC");
    EXPECT_EQ(Read("out.xml").substr(0, 2), "\xFF\xFE");
}

TEST_F(FullSaveTest, KeepsTheDocumentTypeAsTheFileWroteIt) {
    const std::string doctype = "<!DOCTYPE a [\n<!ATTLIST a b IDREF \"42\" c CDATA \"p&lt;q\" "
                                "d CDATA \"t&#9;u\">\n]>";
    DOMWrapper defaults;
    SaveWithNewElement(doctype + "<a/>", defaults);
    EXPECT_NE(Read("out.xml").find(doctype), std::string::npos) << Read("out.xml");

    DOMWrapper entities;
    SaveWithNewElement("<!DOCTYPE r [<!ENTITY % pe \"<!ENTITY ent1 'text'>\"> %pe;]><r>&ent1;</r>",
                       entities);
    EXPECT_EQ(entities.GetElementValue("/r", false), "text");
}

TEST_F(FullSaveTest, RefusesToWriteWhatReadsBackOtherwise) {
    files.Write("in.xml", "<r><a>1</a></r>");
    files.Write("out.xml", "old");
    DOMWrapper doc;
    doc.Load(Path("in.xml"));
    // White space before an element is dropped by the load.
    doc.SetElementValue("/r", "  ");
    doc.AppendNode("/r", "b");
    EXPECT_THROW(doc.Save(Path("out.xml")), Failure);
    EXPECT_EQ(Read("out.xml"), "old");
}

TEST_F(FullSaveTest, FileChangedSinceTheLoadIsNotSpliced) {
    files.Write("in.xml", "<r>\n  <a>1</a>\n</r>\n");
    DOMWrapper doc;
    doc.Load(Path("in.xml"));
    doc.SetElementValue("/r/a", "2");
    // Same size and time, other content: only the checksum tells.
    QFile file(QString::fromStdString(Path("in.xml")));
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    const QDateTime modified = file.fileTime(QFileDevice::FileModificationTime);
    file.write("<q>\n  <a>1</a>\n</q>\n");
    file.setFileTime(modified, QFileDevice::FileModificationTime);
    file.close();
    doc.Save(Path("out.xml"));
    DOMWrapper saved;
    saved.Load(Path("out.xml"));
    EXPECT_EQ(saved.GetElementValue("/r/a", false), "2");
}

} // namespace
