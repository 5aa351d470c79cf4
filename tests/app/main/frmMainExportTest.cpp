#include "app/main/frmMainFixture.h"

#include "support/DesktopSandbox.h"
#include "support/XlsxReader.h"

namespace {

// Workbooks have an application on this test desktop (its content types are sniffed, so a
// workbook is plain binary data here); the launcher stands in for it.
const bool kSandboxed = (UseDesktopSandbox({"application/octet-stream", "application/zip"}), true);

class ExportTest : public WindowTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(kSandboxed);
        if (!CanReadXlsx())
            GTEST_SKIP() << "built without libzip: workbooks cannot be read back";
        WindowTest::SetUp();
    }

    void StartWithOrder(const std::string& no = "007") {
        StartShown();
        source = files.Write("order.xml", DataFile("", no, " Miller "));
        Open(0, source);
        ASSERT_EQ(Grid()->MaxRows(), 2);
    }

    RecordingLauncher launcher;
    std::string source;
};

TEST_F(ExportTest, EmptyGridSaysNoDataFoundWithoutAskingForAWorkbook) {
    StartWithOrder();
    // A configuration that finds nothing in the file empties the grid and leaves the button.
    Open(1, files.Write("empty.xml",
                        "<FD:R xmlns:FD=\"http://www.ridorudu.org/namespace/RidoRudu\"/>"));
    ASSERT_EQ(Grid()->MaxRows(), 0);
    Click("pbExporttoExcel");
    EXPECT_EQ(Box(0), "Error: No data found");
    EXPECT_TRUE(dialogs.shown().empty());
    EXPECT_TRUE(launcher.uris.empty());
}

TEST_F(ExportTest, ExportsTheGridAsShownAndOpensTheWorkbook) {
    StartWithOrder();
    const std::string before = ReadFileBytes(source);
    TypeValue(1, " 1/2 ");
    const std::string path = files.Path("order export.xlsx");
    dialogs.Answer(path);
    Click("pbExporttoExcel");

    EXPECT_TRUE(boxes.shown().empty());
    const XlsxContent xlsx = ReadXlsx(path);
    std::vector<std::string> texts;
    for (const XlsxCell& cell : xlsx.cells)
        texts.push_back(cell.text);
    // The unsaved edit is exported as typed, trimmed; the file on disk is not touched.
    EXPECT_EQ(texts,
              (std::vector<std::string>{"Field", "Value", "Number", "1/2", "Customer", "Miller"}));
    EXPECT_EQ(ReadFileBytes(source), before);
    EXPECT_TRUE(AsksToSave());

    ASSERT_EQ(launcher.uris.size(), 1u);
    EXPECT_EQ(launcher.uris[0], FileUri(path));
    // The workbook was saved, and is opened, with the normal cursor.
    EXPECT_FALSE(launcher.waitCursorShown[0]);
}

TEST_F(ExportTest, WorkbookNobodyCouldOpenSaysWhereItWasWritten) {
    StartWithOrder();
    const RecordingLauncher noApplication(ShellLaunchResult::NoApplication);
    const std::string path = files.Path("book.xlsx");
    dialogs.Answer(path);
    Click("pbExporttoExcel");
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(Box(0), "Error: No application is associated with this file type.");
    EXPECT_EQ(boxes.shown()[0].details,
              "The workbook was written to " + path + "; no application opened it.");
    EXPECT_FALSE(ReadXlsx(path).cells.empty());
}

TEST_F(ExportTest, FailedWriteIsReportedLoggedAndKeepsTheOldWorkbook) {
    // More than a worksheet cell holds: the file's value is kept whole, the workbook fails.
    StartWithOrder(std::string(40000, '7'));
    const std::string kept = files.Write("kept.xlsx", "previous workbook");
    dialogs.Answer(kept);
    LogCapture log;
    Click("pbExporttoExcel");

    EXPECT_EQ(Box(0), "Error while saving excel-sheet: Excel-Workbook is not saved!");
    EXPECT_FALSE(boxes.shown()[0].waitCursor);
    // The details say why: the workbook library's reason.
    EXPECT_NE(boxes.shown()[0].details.find("exceeds"), std::string::npos)
        << boxes.shown()[0].details;
    ASSERT_EQ(log.Lines().size(), 1u);
    EXPECT_NE(log.Lines()[0].find(kept), std::string::npos) << log.Lines()[0];
    EXPECT_EQ(ReadFileBytes(kept), "previous workbook");
    EXPECT_TRUE(launcher.uris.empty());
}

} // namespace
