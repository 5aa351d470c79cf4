#include "app/table/TableImport.h"
#include "app/main/frmMainFixture.h"
#include "app/table/TableDocument.h"

#include "export/WorkbookReader.h"
#include "export/WorkbookWriter.h"

#include <xlsxwriter.h>

#include <QFile>

namespace {

using Status = ImportLine::Status;

bool RunHere(size_t count, const WorkJob& job) {
    const std::atomic<bool> stop{false};
    for (size_t i = 0; i < count; ++i)
        job(i, stop);
    return true;
}

// "file field: old -> new [status] reason" per line.
std::vector<std::string> Lines(const ImportPlan& plan) {
    std::vector<std::string> lines;
    for (const ImportLine& line : plan.lines) {
        const char* status = line.status == Status::Apply ? "apply"
                             : line.status == Status::Ask ? "ask"
                                                          : "refused";
        const QString where = QStringList({line.sFile, line.sField}).join(' ').trimmed();
        const QString change =
            line.sOld.isEmpty() && line.sNew.isEmpty() ? "" : " " + line.sOld + " -> " + line.sNew;
        lines.push_back(
            (where + ":" + change + " [" + status + "] " + line.sReason).trimmed().toStdString());
    }
    return lines;
}

class TableImportTest : public testing::Test {
protected:
    void SetUp() override {
        DOMWrapper configDoc;
        configDoc.Load(files.Write("ravlen.lib", kTestConfig), "");
        table = std::make_unique<TableDocument>(ReadConfiguration(configDoc, 1));
        QStringList paths;
        for (const auto& [name, no, customer] :
             std::vector<std::array<std::string, 3>>{{"a.xml", "0012", "Adler"},
                                                     {"b.xml", "1234567890123456789", "Bauer"},
                                                     {"c.xml", "1/2", "Carl"}})
            paths << QString::fromStdString(files.Write(name, DataFile("", no, customer)));
        table->SetRows(*TableDocument::ReadFiles(table->Configuration(), paths, RunHere));
    }

    // The table's own export, read back.
    std::vector<WorkbookSheet> Export() {
        const std::string path = files.Path("export.xlsx");
        {
            WorkbookWriter writer(path, {"File", "Number", "Gone", "Customer"});
            table->ExportTo(writer);
            writer.Save();
        }
        return ReadWorkbook(path);
    }

    QString Value(int row, int field) const { return table->Row(row).values[field]; }

    TempFiles files;
    std::unique_ptr<TableDocument> table;
};

// The export's sheets saved again as a spreadsheet program would after editing: shared
// strings, rows sorted by Customer descending, a.xml's row deleted, the columns moved, numbers
// and dates where it recognised them.
std::vector<WorkbookSheet> SaveAsSpreadsheet(const TempFiles& files,
                                             const std::vector<WorkbookSheet>& exported,
                                             bool keepHidden) {
    const std::string path = files.Path("edited.xlsx");
    lxw_workbook* book = workbook_new(path.c_str());
    lxw_worksheet* data = workbook_add_worksheet(book, "XML-Data");
    lxw_format* date = workbook_add_format(book);
    format_set_num_format(date, "d/m/yyyy");
    worksheet_write_string(data, 0, 0, "Customer", nullptr);
    worksheet_write_string(data, 0, 1, "File", nullptr);
    worksheet_write_string(data, 0, 2, "Number", nullptr);
    worksheet_write_string(data, 1, 0, "Carl Grün\nzweite Zeile", nullptr);
    worksheet_write_string(data, 1, 1, "c.xml", nullptr);
    lxw_datetime second = {2024, 2, 1, 0, 0, 0};
    worksheet_write_datetime(data, 1, 2, &second, date);
    worksheet_write_string(data, 2, 0, "Bauer", nullptr);
    worksheet_write_string(data, 2, 1, "b.xml", nullptr);
    worksheet_write_number(data, 2, 2, 1234567890123456789.0, nullptr);
    if (keepHidden) {
        lxw_worksheet* hidden = workbook_add_worksheet(book, kSourceSheetName);
        worksheet_hide(hidden);
        for (const WorkbookSheet& sheet : exported)
            if (sheet.name == kSourceSheetName)
                for (size_t r = 0; r < sheet.rows.size(); ++r)
                    for (size_t c = 0; c < sheet.rows[r].size(); ++c)
                        worksheet_write_string(hidden, static_cast<lxw_row_t>(r),
                                               static_cast<lxw_col_t>(c),
                                               sheet.rows[r][c].text.c_str(), nullptr);
    }
    EXPECT_EQ(workbook_close(book), LXW_NO_ERROR);
    return ReadWorkbook(path);
}

TEST_F(TableImportTest, ExportAddsAHiddenSheetNamingConfigurationFieldsAndFiles) {
    const auto sheets = Export();
    ASSERT_EQ(sheets.size(), 2u);
    EXPECT_EQ(sheets[0].name, "XML-Data");
    EXPECT_EQ(sheets[0].At(1, 1).text, "0012");
    const WorkbookSheet& source = sheets[1];
    EXPECT_EQ(source.name, kSourceSheetName);
    EXPECT_EQ(source.At(0, 1).text, "001");
    EXPECT_EQ(source.At(3, 2).text, "FD:R/FD:Datas[@Table='Order']/FD:Field[@Name='Customer']");
    EXPECT_EQ(source.At(4, 0).text, "File");
    EXPECT_EQ(source.At(4, 2).text, table->Row(0).sPath.toStdString());
    EXPECT_EQ(source.At(4, 5).text, std::to_string(table->Row(0).stamp.nChecksum));
    // Nothing changed: nothing to import.
    EXPECT_TRUE(PlanImport(*table, sheets).lines.empty());
}

TEST_F(TableImportTest, SortedEditedSheetComesBackIntoTheRightFilesAsOneUndoStep) {
    const ImportPlan plan = PlanImport(*table, SaveAsSpreadsheet(files, Export(), true));
    // In the sheet's order, the changed cells of each row by its columns.
    EXPECT_EQ(Lines(plan),
              (std::vector<std::string>{
                  "c.xml Customer: Carl -> Carl Grün\nzweite Zeile [apply]",
                  "c.xml Number: 1/2 -> 2024-02-01 [ask] The spreadsheet turned the text into a "
                  "date.",
                  "b.xml Number: 1234567890123456789 -> 1234567890123457024 [ask] The "
                  "spreadsheet turned the text into a number."}));
    // Unticked doubts stay as they were.
    EXPECT_EQ(ApplyImport(*table, plan, {true, false, false}), 1);
    EXPECT_EQ(Value(2, 2), "Carl Grün\nzweite Zeile");
    EXPECT_EQ(Value(2, 0), "1/2");
    EXPECT_EQ(Value(1, 0), "1234567890123456789");
    EXPECT_EQ(Value(0, 2), "Adler");
    EXPECT_TRUE(table->Row(2).bChanged);
    table->UndoStack().undo();
    EXPECT_EQ(Value(2, 2), "Carl");
    EXPECT_FALSE(table->HasChanges());
    // Ticked, they apply too, in one step.
    EXPECT_EQ(ApplyImport(*table, plan, {true, true, true}), 3);
    EXPECT_EQ(Value(2, 0), "2024-02-01");
    table->UndoStack().undo();
    EXPECT_EQ(Value(2, 0), "1/2");
    EXPECT_EQ(Value(1, 0), "1234567890123456789");
    EXPECT_FALSE(table->HasChanges());
}

TEST_F(TableImportTest, WithoutTheHiddenSheetRowsAndColumnsMatchByNameAndAlias) {
    const ImportPlan plan = PlanImport(*table, SaveAsSpreadsheet(files, Export(), false));
    ASSERT_EQ(plan.lines.size(), 3u);
    EXPECT_EQ(plan.lines[0].row, 2);
    EXPECT_EQ(plan.lines[0].field, 2);
    EXPECT_EQ(plan.lines[1].row, 2);
    EXPECT_EQ(plan.lines[1].field, 0);
    EXPECT_EQ(plan.lines[2].row, 1);
    EXPECT_EQ(plan.lines[2].field, 0);
}

TEST_F(TableImportTest, EveryProblemIsShownWithItsReason) {
    std::vector<WorkbookSheet> sheets = Export();
    // b.xml rewritten since the export.
    files.Write("b.xml", DataFile("", "1234567890123456789", "Bauer & Co"));
    auto text = [](const std::string& s) { return WorkbookCell{WorkbookCell::Kind::Text, s}; };
    auto number = [](const std::string& s) { return WorkbookCell{WorkbookCell::Kind::Number, s}; };
    WorkbookSheet& data = sheets[0];
    data.rows = {{text("File"), text("Number"), text("Gone"), text("Customer"), text("Bogus")},
                 {text("a.xml"), number("12"), text(""), text("Adler"), text("x")},
                 {text("x.xml"), text("1"), text(""), text("X"), text("")},
                 {text("b.xml"), text("1234567890123456789"), text("here"),
                  text(std::string(256, 'B')), text("")},
                 {text("c.xml"), text("1/2"), text(""), text("Carl 1"), text("")},
                 {text("c.xml"), text("1/2"), text(""), text("Carl 2"), text("")},
                 {text("b.xml"), text(""), text(""), text("Bauer 2"), text("")}};
    data.rows.erase(data.rows.end() - 1);
    const ImportPlan plan = PlanImport(*table, sheets);
    EXPECT_EQ(Lines(plan),
              (std::vector<std::string>{
                  "Bogus: [refused] The column names no field of the configuration.",
                  "x.xml: [refused] The table does not hold this file.",
                  "a.xml Number: 0012 -> 12 [ask] The spreadsheet turned the text into a number.",
                  "b.xml Gone:  -> here [refused] The file does not hold this field.",
                  "b.xml Customer: Bauer -> " + std::string(256, 'B') +
                      " [refused] The value is longer than 255 characters.",
                  "c.xml: [refused] Two rows of the sheet are this file: neither is applied."}));

    // A change to the rewritten file is shown, and applied only when ticked.
    data.rows[3][3] = text("Bauer neu");
    const ImportPlan changed = PlanImport(*table, sheets);
    const auto lines = Lines(changed);
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "b.xml Customer: Bauer -> Bauer neu [ask] The file changed on disk since "
                        "the export."),
              lines.end());
}

TEST_F(TableImportTest, CsvWithoutHiddenSheetMatchesByNameAndSeesNumbersTheSpreadsheetMade) {
    const std::string path = files.Write("edited.csv", "\xEF\xBB\xBF"
                                                       "File;Customer;Number\r\n"
                                                       "c.xml;Carl;1/2\r\n"
                                                       "a.xml;\"Adler;\r\nAG\";12\r\n");
    const ImportPlan plan = PlanImport(*table, ReadWorkbook(path));
    EXPECT_EQ(
        Lines(plan),
        (std::vector<std::string>{
            "a.xml Customer: Adler -> Adler;\nAG [apply]",
            "a.xml Number: 0012 -> 12 [ask] The spreadsheet turned the text into a number."}));
}

} // namespace
