#include "export/WorkbookReader.h"
#include "support/Seams.h"

#include "common/Failure.h"

#include <gtest/gtest.h>
#include <xlsxwriter.h>

#include <cstdlib>

namespace {

using Kind = WorkbookCell::Kind;

std::string DataFile(const std::string& name) {
    const char* source = std::getenv("RAVLEN_SOURCE_DIR");
    return std::string(source ? source : ".") + "/tests/export/data/" + name;
}

const WorkbookSheet& Sheet(const std::vector<WorkbookSheet>& sheets, const std::string& name) {
    for (const WorkbookSheet& sheet : sheets)
        if (sheet.name == name)
            return sheet;
    throw std::runtime_error("no sheet " + name);
}

// A workbook as a streaming writer saves it (inline strings), or as a spreadsheet program
// does (shared strings), with a number, a date and a hidden sheet.
std::string WriteBook(const TempFiles& files, const std::string& name, bool inlineStrings) {
    const std::string path = files.Path(name);
    lxw_workbook_options options{};
    options.constant_memory = inlineStrings ? LXW_TRUE : LXW_FALSE;
    lxw_workbook* book = workbook_new_opt(path.c_str(), &options);
    lxw_worksheet* sheet = workbook_add_worksheet(book, "XML-Data");
    lxw_format* date = workbook_add_format(book);
    format_set_num_format(date, "dd/mm/yyyy");
    worksheet_write_string(sheet, 0, 0, "File", nullptr);
    worksheet_write_string(sheet, 0, 1, "Zähler\nzwei", nullptr);
    worksheet_write_string(sheet, 1, 0, "a.xml", nullptr);
    worksheet_write_number(sheet, 1, 1, 12, nullptr);
    lxw_datetime when = {2024, 1, 2, 0, 0, 0};
    worksheet_write_datetime(sheet, 1, 2, &when, date);
    worksheet_write_number(sheet, 1, 3, 1234567890123456789.0, nullptr);
    lxw_worksheet* hidden = workbook_add_worksheet(book, "Hidden");
    worksheet_hide(hidden);
    worksheet_write_string(hidden, 0, 0, "kept", nullptr);
    EXPECT_EQ(workbook_close(book), LXW_NO_ERROR);
    return path;
}

void ExpectBook(const std::vector<WorkbookSheet>& sheets) {
    const WorkbookSheet& data = Sheet(sheets, "XML-Data");
    EXPECT_EQ(data.At(0, 0).text, "File");
    EXPECT_EQ(data.At(0, 1).text, "Zähler\nzwei");
    EXPECT_EQ(data.At(0, 1).kind, Kind::Text);
    EXPECT_EQ(data.At(1, 0).text, "a.xml");
    EXPECT_EQ(data.At(1, 1).kind, Kind::Number);
    EXPECT_EQ(data.At(1, 1).text, "12");
    EXPECT_EQ(data.At(1, 2).kind, Kind::Date);
    EXPECT_EQ(data.At(1, 2).text, "2024-01-02");
    EXPECT_EQ(data.At(1, 3).kind, Kind::Number);
    EXPECT_EQ(data.At(5, 5).kind, Kind::Empty);
    EXPECT_EQ(Sheet(sheets, "Hidden").At(0, 0).text, "kept");
}

TEST(WorkbookReaderTest, XlsxWithSharedStringsGivesTextNumbersAndDates) {
    TempFiles files;
    ExpectBook(ReadWorkbook(WriteBook(files, "shared.xlsx", false)));
}

TEST(WorkbookReaderTest, XlsxWithInlineStringsGivesItsTextToo) {
    TempFiles files;
    ExpectBook(ReadWorkbook(WriteBook(files, "inline.xlsx", true)));
}

TEST(WorkbookReaderTest, XlsxFromAScriptGivesNumbersBesideItsInlineStrings) {
    // As openpyxl saves a sheet: inline strings and numbers typed "n".
    const WorkbookSheet data = ReadWorkbook(DataFile("openpyxl-number.xlsx")).front();
    EXPECT_EQ(data.At(1, 0).text, "a.xml");
    EXPECT_EQ(data.At(1, 1).kind, Kind::Number);
    EXPECT_EQ(data.At(1, 1).text, "4744");
    EXPECT_EQ(data.At(1, 2).text, "Adler");
}

TEST(WorkbookReaderTest, OdsKeepsEveryParagraphAndRunOfSpacesAndTypedValues) {
    const auto sheets = ReadWorkbook(DataFile("table.ods"));
    const WorkbookSheet& data = Sheet(sheets, "XML-Data");
    EXPECT_EQ(data.At(0, 3).text, "Customer");
    EXPECT_EQ(data.At(1, 0).text, "b.xml");
    EXPECT_EQ(data.At(1, 1).kind, Kind::Number);
    EXPECT_EQ(data.At(1, 1).text, "12");
    EXPECT_EQ(data.At(1, 2).kind, Kind::Empty);
    EXPECT_EQ(data.At(1, 3).text, "Bäcker  & Söhne\nZweite Zeile");
    EXPECT_EQ(data.At(2, 1).kind, Kind::Date);
    EXPECT_EQ(data.At(2, 1).text, "2024-01-02");
    // The repeated empty rows to the sheet's end take no room.
    EXPECT_EQ(data.rows.size(), 3u);
    EXPECT_EQ(Sheet(sheets, "Hidden").At(0, 0).text, "x");
}

TEST(WorkbookReaderTest, CsvWithBomSemicolonsAndQuotedLineBreaksKeepsTextAsItIs) {
    const auto sheets = ReadWorkbook(DataFile("table-semicolon-bom.csv"));
    ASSERT_EQ(sheets.size(), 1u);
    const WorkbookSheet& data = sheets[0];
    ASSERT_EQ(data.rows.size(), 3u);
    EXPECT_EQ(data.At(0, 0).text, "File");
    EXPECT_EQ(data.At(1, 1).text, "0012");
    EXPECT_EQ(data.At(1, 1).kind, Kind::Text);
    EXPECT_EQ(data.At(1, 2).text, "Bäcker; Söhne\nzweite Zeile");
    EXPECT_EQ(data.At(2, 2).text, "Adler");
}

TEST(WorkbookReaderTest, CsvWithCommasAndDoubledQuotes) {
    const auto sheets = ReadWorkbook(DataFile("table-comma.csv"));
    ASSERT_EQ(sheets.size(), 1u);
    EXPECT_EQ(sheets[0].At(1, 2).text, "Adler, \"A\"");
    EXPECT_EQ(sheets[0].At(1, 1).text, "8");
}

TEST(WorkbookReaderTest, UnknownTypeAndBrokenArchiveFail) {
    TempFiles files;
    EXPECT_THROW(ReadWorkbook(files.Write("a.txt", "x")), Failure);
    EXPECT_THROW(ReadWorkbook(files.Write("a.ods", "not a zip")), Failure);
    EXPECT_THROW(ReadWorkbook(files.Write("a.xlsx", "not a zip")), Failure);
}

} // namespace
