#include "export/WorkbookWriter.h"

#include "common/Failure.h"
#include "support/Seams.h"
#include "support/XlsxReader.h"

#include <QDir>

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

using Rows = std::vector<std::pair<std::string, std::string>>;

void Write(const std::string& path, const Rows& rows) {
    WorkbookWriter writer(path);
    for (const auto& [alias, value] : rows)
        writer.AddRow(alias, value);
    writer.Save();
}

class WorkbookWriterTest : public testing::Test {
protected:
    void SetUp() override {
        if (!CanReadXlsx())
            GTEST_SKIP() << "built without libzip: workbooks cannot be read back";
    }
    QStringList Files() const {
        return QDir(QString::fromStdString(files.dir()))
            .entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    }
    TempFiles files;
};

} // namespace

TEST_F(WorkbookWriterTest, WritesEveryRowTrimmedAsTextUnderTheHeader) {
    const std::string umlaut = "Gr\u00f6\u00dfe <&> \"x\"";
    const std::string path = files.Path("export.xlsx");
    Write(path,
          {{"  Name ", "  Alice  Smith "}, {"Zip", "007"}, {"Sum", "=1+2"}, {"Umlaut", umlaut}});

    const XlsxContent xlsx = ReadXlsx(path);
    EXPECT_EQ(xlsx.sheetNames, std::vector<std::string>{"XML-Data"});
    std::vector<std::string> cells;
    for (const XlsxCell& cell : xlsx.cells) {
        cells.push_back(cell.ref + " " + cell.text);
        if (cells.size() <= 2) // the header row
            continue;
        EXPECT_EQ(xlsx.NumFmtIdOf(cell), 49) << cell.ref; // the built-in "@"
        EXPECT_TRUE(cell.IsText()) << cell.ref << " " << cell.type;
        EXPECT_FALSE(cell.hasFormula) << cell.ref;
    }
    EXPECT_EQ(cells, (std::vector<std::string>{"A1 Field", "B1 Value", "A2 Name", "B2 Alice  Smith",
                                               "A3 Zip", "B3 007", "A4 Sum", "B4 =1+2", "A5 Umlaut",
                                               "B5 " + umlaut}));
    EXPECT_EQ(Files(), QStringList{"export.xlsx"});
}

TEST_F(WorkbookWriterTest, FailedWriteLeavesNoFileAndTheOldOneUntouched) {
    const std::string path = files.Write("book.xlsx", "previous content");
    EXPECT_THROW(Write(files.Path("no-such-folder/book.xlsx"), {{"A", "1"}}), Failure);
    // Without its owner's write permission the file counts as read-only, also for root.
    fs::permissions(path, fs::perms::owner_read | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::replace);
    EXPECT_THROW(Write(path, {{"A", "1"}}), Failure);
    EXPECT_EQ(ReadFileBytes(path), "previous content");
    EXPECT_EQ(Files(), QStringList{"book.xlsx"});

    const auto mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    fs::permissions(path, mode, fs::perm_options::replace);
    Write(path, {{"Short", "ok"}});
    EXPECT_EQ(ReadXlsx(path).Find("B2")->text, "ok");
    EXPECT_EQ(fs::status(path).permissions(), mode) << "the replaced file's permissions";
}
