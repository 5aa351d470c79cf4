#include "export/WorkbookWriter.h"

#include "common/Failure.h"
#include "support/ReadOnlyFolder.h"
#include "support/Seams.h"
#include "support/XlsxReader.h"

#include <QDir>

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

constexpr int kTextNumFmtId = 49; // the built-in "@"

using Rows = std::vector<std::pair<std::string, std::string>>;

void Write(const std::string& path, const Rows& rows) {
    WorkbookWriter writer(path);
    for (const auto& [alias, value] : rows)
        writer.AddRow(alias, value);
    writer.Save();
}

QStringList FilesIn(const std::string& dir) {
    return QDir(QString::fromStdString(dir))
        .entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
}

class WorkbookWriterTest : public testing::Test {
protected:
    void SetUp() override {
        if (!CanReadXlsx())
            GTEST_SKIP() << "built without libzip: workbooks cannot be read back";
    }
    TempFiles files;
};

} // namespace

TEST_F(WorkbookWriterTest, WritesEveryRowTrimmedAsTextUnderTheHeader) {
    struct Case {
        std::string alias, value, shownAlias, shownValue;
    };
    const std::vector<Case> cases = {
        {"  Name ", "  Alice  Smith ", "Name", "Alice  Smith"},
        {"Zip", "007", "Zip", "007"},
        {"Share", "1/2", "Share", "1/2"},
        {"Price", " 3.50", "Price", "3.50"},
        {"Big", "1e5", "Big", "1e5"},
        {"Phone", "+49 30", "Phone", "+49 30"},
        {"Flag", "TRUE", "Flag", "TRUE"},
        {"Sum", "=1+2", "Sum", "=1+2"},
        {"Date", "2024-01-31", "Date", "2024-01-31"},
        {"Empty", "   ", "Empty", ""},
        {"Umlaut", "Gr\u00f6\u00dfe <&> \"x\"", "Umlaut", "Gr\u00f6\u00dfe <&> \"x\""},
    };
    const std::string path = files.Path("export.xlsx");
    {
        WorkbookWriter writer(path);
        for (const Case& c : cases)
            writer.AddRow(c.alias, c.value);
        writer.Save();
    }

    const XlsxContent xlsx = ReadXlsx(path);
    EXPECT_EQ(xlsx.sheetNames, std::vector<std::string>{"XML-Data"});
    ASSERT_NE(xlsx.Find("A1"), nullptr);
    ASSERT_NE(xlsx.Find("B1"), nullptr);
    EXPECT_EQ(xlsx.Find("A1")->text, "Field");
    EXPECT_EQ(xlsx.Find("B1")->text, "Value");

    for (size_t i = 0; i < cases.size(); ++i) {
        const std::string row = std::to_string(i + 2);
        SCOPED_TRACE("row " + row);
        const XlsxCell* alias = xlsx.Find("A" + row);
        const XlsxCell* value = xlsx.Find("B" + row);
        ASSERT_NE(alias, nullptr);
        ASSERT_NE(value, nullptr);
        EXPECT_EQ(alias->text, cases[i].shownAlias);
        EXPECT_EQ(value->text, cases[i].shownValue);
        EXPECT_EQ(xlsx.NumFmtIdOf(*alias), kTextNumFmtId);
        EXPECT_EQ(xlsx.NumFmtIdOf(*value), kTextNumFmtId);
        EXPECT_FALSE(value->hasFormula);
        if (!cases[i].shownValue.empty()) {
            EXPECT_TRUE(value->IsText()) << value->type;
        }
    }
    EXPECT_EQ(xlsx.Find("A" + std::to_string(cases.size() + 2)), nullptr);
    EXPECT_EQ(FilesIn(files.dir()), QStringList{"export.xlsx"});
}

TEST_F(WorkbookWriterTest, HeaderOnlyWhenThereAreNoRows) {
    const std::string path = files.Path("empty.xlsx");
    Write(path, {});
    const XlsxContent xlsx = ReadXlsx(path);
    ASSERT_EQ(xlsx.cells.size(), 2u);
    EXPECT_EQ(xlsx.cells[0].text, "Field");
    EXPECT_EQ(xlsx.cells[1].text, "Value");
}

TEST_F(WorkbookWriterTest, ReplacesAnExistingFileOnlyWhenComplete) {
    const std::string path = files.Write("book.xlsx", "previous content");

    // A value longer than a cell may hold fails the export half-way.
    EXPECT_THROW(Write(path, {{"Short", "ok"}, {"Long", std::string(40000, 'x')}}), Failure);
    EXPECT_EQ(ReadFileBytes(path), "previous content");
    EXPECT_EQ(FilesIn(files.dir()), QStringList{"book.xlsx"});

    const auto permissions = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup;
    QFile::setPermissions(QString::fromStdString(path), permissions);
    Write(path, {{"Short", "ok"}});
    EXPECT_EQ(ReadXlsx(path).Find("B2")->text, "ok");
    EXPECT_EQ(QFile::permissions(QString::fromStdString(path)) & 0xF0FF, permissions);
    EXPECT_EQ(FilesIn(files.dir()), QStringList{"book.xlsx"});
}

TEST_F(WorkbookWriterTest, ReadOnlyFileIsNotReplaced) {
    const std::string path = files.Write("locked.xlsx", "previous content");
    QFile::setPermissions(QString::fromStdString(path), QFile::ReadOwner | QFile::ReadGroup);
    EXPECT_THROW(Write(path, {{"A", "1"}}), Failure);
    EXPECT_EQ(ReadFileBytes(path), "previous content");
    EXPECT_EQ(FilesIn(files.dir()), QStringList{"locked.xlsx"});
}

TEST_F(WorkbookWriterTest, ReadOnlyFolderFailsAndLeavesNothing) {
    const std::string existing = files.Write("kept.xlsx", "previous content");
    ReadOnlyFolder readOnly(files.dir());
    if (!readOnly.locked())
        GTEST_SKIP() << "this system lets every file be written";

    EXPECT_THROW(Write(files.Path("new.xlsx"), {{"A", "1"}}), Failure);
    EXPECT_THROW(Write(existing, {{"A", "1"}}), Failure);
    EXPECT_EQ(ReadFileBytes(existing), "previous content");
    EXPECT_EQ(FilesIn(files.dir()), QStringList{"kept.xlsx"});
}

TEST_F(WorkbookWriterTest, MissingFolderFails) {
    EXPECT_THROW(Write(files.Path("no-such-folder/book.xlsx"), {{"A", "1"}}), Failure);
    EXPECT_FALSE(QDir(QString::fromStdString(files.Path("no-such-folder"))).exists());
}
