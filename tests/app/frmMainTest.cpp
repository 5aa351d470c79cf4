#include "app/frmMainFixture.h"

#include <QDir>
#include <QLabel>

namespace {

std::string Config(const std::string& body) {
    return "<?xml version=\"1.0\"?><XML>" + body + "</XML>";
}

// --- Start-up ---

TEST_F(WindowTest, StartUpListsConfigurationsAndLeavesSavingDisabled) {
    Start();
    QComboBox* list = ConfigList();
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->itemText(0), "001 Orders");
    EXPECT_EQ(list->itemText(1), "002 "); // empty description keeps the blank
    EXPECT_EQ(list->itemData(1).toInt(), 2);
    EXPECT_EQ(list->currentIndex(), -1);
    EXPECT_EQ(window->windowTitle(), "Ravlen");
    EXPECT_EQ(Control<QLabel>("lblVersion")->text(), "Version : 1.3.2 26.10.2004");
    EXPECT_EQ(Enabled(), "");
    EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(WindowTest, MissingOrBrokenConfigurationStopsStartUp) {
    EXPECT_FALSE(frmMain().InitApplication());
    EXPECT_EQ(Box(0), "Error: File not found: " + files.Path("ravlen.lib"));

    const std::pair<std::string, std::string> cases[] = {
        {"this is not xml", "60000 "},
        {Config("<Config><Number>one</Number><Description>x</Description></Config>"), "13 "},
    };
    for (const auto& [content, textStart] : cases) {
        files.Write("ravlen.lib", content);
        boxes.Clear();
        EXPECT_FALSE(frmMain().InitApplication()) << content;
        EXPECT_EQ(Box(0).rfind("Error while initializing application: " + textStart, 0), 0u)
            << Box(0);
        EXPECT_EQ(boxes.shown().size(), 1u);
    }
}

// --- Loading ---

TEST_F(WindowTest, LoadingAnOrdinaryFileShowsOneRowPerFoundField) {
    Start();
    Show();
    const std::string path = files.Write("order.xml", DataFile("", "4711", "Miller &amp; Sons"));
    Open(0, path);
    EXPECT_TRUE(boxes.shown().empty());
    EXPECT_EQ(Path(), path);
    // The field "Gone" is not in the file.
    EXPECT_EQ(Shown(), (Rows{{"Number", "4711"}, {"Customer", "Miller & Sons"}}));
    EXPECT_EQ(Cell(1, 10), "FD:R/FD:Datas[@Table='Order']/FD:Field[@Name='No']");
    EXPECT_EQ(Cell(1, 2) + Cell(2, 2), "00");
    for (int col = 1; col <= 12; ++col)
        EXPECT_EQ(Grid()->IsColHidden(col), col <= 10) << col;
    EXPECT_EQ(Grid()->ActiveRow(), 1);
    EXPECT_EQ(Grid()->ActiveCol(), 12);
    EXPECT_TRUE(Grid()->hasFocus());
    EXPECT_EQ(Enabled(), "pbExporttoExcel");
    EXPECT_FALSE(AsksToSave());
}

TEST_F(WindowTest, BundledSamplesLoadWithTheirRowsUnderEveryConfiguration) {
    const std::string samples = RAVLEN_SAMPLES_DIR "/";
    Start(ReadFileBytes(samples + "ravlen.lib"));
    ASSERT_EQ(ConfigList()->count(), 3);
    const std::tuple<int, const char*, int, const char*> cases[] = {
        {0, "orders-origin.xml", 5, "Template customer"},
        {0, "orders-2004-11.xml", 5, "Miller & Sons"},
        {1, "orders-origin.xml", 4, "Springfield"}, // no phone number
        {1, "orders-2004-11.xml", 5, "Kingsport"},
        {2, "orders-origin.xml", 4, "2"}, // nor a discount
        {2, "orders-2004-11.xml", 4, "2"},
    };
    for (const auto& [config, file, rows, third] : cases) {
        Open(config, samples + file);
        EXPECT_EQ(Grid()->MaxRows(), rows) << config << " " << file;
        EXPECT_EQ(Cell(3, 12), third) << config << " " << file;
    }
    EXPECT_EQ(Shown(), (Rows{{"Article", "A-2045"},
                             {"Quantity", "12"},
                             {"Quantity flow type", "2"},
                             {"Item table", "Item"}}));
    EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(WindowTest, OriginCheckLooksAtTheMarkedElementsText) {
    Start();
    Show();
    // An edit of an origin file enables Save As only.
    auto enabledAfterEdit = [&](int config, const std::string& file, const std::string& original) {
        if (AsksToSave())
            boxes.Answer(MsgAnswer::No);
        Open(config, files.Write(file, DataFile(original, "1", "x")));
        TypeValue(1, "2");
        return Enabled();
    };
    EXPECT_EQ(enabledAfterEdit(0, "origin.xml", "TEMPLATE"), "pbSaveAs pbExporttoExcel");
    EXPECT_EQ(enabledAfterEdit(0, "blank.xml", "   "), "pbSave pbSaveAs pbExporttoExcel");
    // An empty check path never looks into the file.
    EXPECT_EQ(enabledAfterEdit(1, "origin2.xml", "TEMPLATE"), "pbSave pbSaveAs pbExporttoExcel");
}

TEST_F(WindowTest, FailedLoadShowsItsMessageWithoutWaitCursorLogsWhyAndLeavesNoRows) {
    Start();
    const std::string good = files.Write("good.xml", DataFile("", "1", "A"));
    for (const std::string& bad : {files.Write("bad.xml", "<FD:R"), files.Path("missing.xml")}) {
        Open(0, good);
        ASSERT_EQ(Grid()->MaxRows(), 2);
        boxes.Clear();
        LogCapture log;
        Open(0, bad);
        EXPECT_EQ(Box(0),
                  "Error while loading xml-file: XML-File can not handled by these configuration!");
        EXPECT_FALSE(boxes.shown()[0].waitCursor);
        ASSERT_EQ(log.Lines().size(), 1u);
        EXPECT_EQ(log.Lines()[0].rfind("ravlen: ", 0), 0u) << log.Lines()[0];
        EXPECT_NE(log.Lines()[0].find(bad), std::string::npos) << log.Lines()[0];
        EXPECT_NE(log.Lines()[0].find(": 60000 "), std::string::npos) << log.Lines()[0];
        EXPECT_EQ(Grid()->MaxRows(), 0) << bad;
        EXPECT_EQ(Enabled(), "");
    }
}

// --- Editing ---

TEST_F(WindowTest, TypingMarksTheRowEnablesSavingAndStopsAt255) {
    Start();
    Show();
    Open(0, files.Write("order.xml", DataFile("", "4711", "Miller")));
    TypeValue(2, "Baker");
    EXPECT_EQ(Shown(), (Rows{{"Number", "4711"}, {"Customer", "Baker"}}));
    EXPECT_EQ(Cell(1, 2) + Cell(2, 2), "01");
    EXPECT_TRUE(AsksToSave());
    EXPECT_EQ(Enabled(), "pbSave pbSaveAs pbExporttoExcel");
    TypeValue(1, QString(300, 'x'));
    EXPECT_EQ(Cell(1, 12), std::string(255, 'x'));
}

TEST_F(WindowTest, TabFromTheLastCellReachesSaveOnlyWhenItIsEnabled) {
    Start();
    Show();
    Open(0, files.Write("order.xml", DataFile("", "1", "A")));
    auto focusAfter = [&](int col, int row, Qt::Key key) {
        Grid()->SetActiveCell(col, row);
        Grid()->setFocus();
        QTest::keyClick(Grid(), key);
        return QApplication::focusWidget()->objectName();
    };
    EXPECT_NE(focusAfter(12, 2, Qt::Key_Tab), "pbSave"); // nothing edited yet
    TypeValue(1, "2");
    EXPECT_EQ(focusAfter(12, 2, Qt::Key_Tab), "pbSave");
    EXPECT_NE(focusAfter(11, 1, Qt::Key_Backtab), "pbSave");
}

// --- Choosing the source file ---

TEST_F(WindowTest, DropAcceptsExactlyOneFileEndingInXmlAnyCase) {
    Start();
    ConfigList()->setCurrentIndex(0);
    auto url = [&](const std::string& name) {
        return QUrl::fromLocalFile(
            QString::fromStdString(files.Write(name, DataFile("", "5", "A"))));
    };
    const std::vector<QList<QUrl>> ignored = {
        {url("a.xml.bak")},
        {url("b.xml"), url("c.xml")},
        {QUrl("https://example.org/remote.xml")},
    };
    for (const QList<QUrl>& urls : ignored) {
        Drop(urls);
        EXPECT_EQ(Path(), "");
        EXPECT_EQ(Grid()->MaxRows(), 0);
    }
    Drop({url("UPPER.XML")});
    EXPECT_EQ(Path(), files.Path("UPPER.XML"));
    EXPECT_EQ(Grid()->MaxRows(), 2);
    EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(WindowTest, SelectFileOpensXmlFilesInTheFolderOfTheLastSaveAsAndCancelsQuietly) {
    Start();
    Show();
    ConfigList()->setCurrentIndex(0);
    dialogs.Answer(files.Write("first.xml", DataFile("", "1", "A")));
    Click("pbSelectFile");
    EXPECT_EQ(Cell(2, 12), "A");

    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(files.Path("sub"))));
    TypeValue(2, "B");
    dialogs.Answer(files.Path("sub/copy.xml"));
    Click("pbSaveAs");
    TypeValue(2, "C");
    boxes.Answer(MsgAnswer::No);
    dialogs.Cancel();
    Click("pbSelectFile");
    ASSERT_EQ(dialogs.shown().size(), 3u);
    for (size_t i : {0u, 2u}) {
        const auto& shown = dialogs.shown()[i];
        EXPECT_EQ(shown.mode, CommonDialog::Mode::Open);
        EXPECT_EQ(shown.fileName, "");
        EXPECT_EQ(shown.filter, "XML-Files (*.xml)|*.xml");
    }
    EXPECT_EQ(dialogs.shown()[2].initDir, files.dir()); // where Save As started
    // The cancel keeps the edit, says nothing more and leaves both saves disabled.
    EXPECT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(Path(), files.Path("sub/copy.xml"));
    EXPECT_EQ(Cell(2, 12), "C");
    EXPECT_EQ(Enabled(), "pbExporttoExcel");
    EXPECT_TRUE(AsksToSave());
}

// --- Layout ---

class LayoutTest : public WindowTest {
protected:
    int Px(int twips) const { return qRound(twips * window->logicalDpiY() / 1440.0); }
    void ResizeTwips(int width, int height) {
        ASSERT_EQ(window->logicalDpiX(), window->logicalDpiY());
        const QSize wanted(Px(width), Px(height));
        window->resize(wanted);
        EXPECT_TRUE(QTest::qWaitFor([&] { return window->size() == wanted; }));
    }
    // Where the controls are, in pixels of their containers.
    std::map<std::string, QRect> Geometry() const {
        std::map<std::string, QRect> result;
        for (const char* name :
             {"Frame1", "txtXMLFile", "Frame2", "Grid", "pbSave", "pbExporttoExcel", "lblVersion"})
            result[name] = Control(name)->geometry();
        return result;
    }
};

TEST_F(LayoutTest, FramesAndGridFollowTheWindowAndButtonsItsLowerEdge) {
    Start();
    Show();
    ResizeTwips(12300, 8670);
    auto before = Geometry();
    ResizeTwips(12300 + 1500, 8670 + 1005);
    const int dW = Px(1500), dH = Px(1005);
    auto after = Geometry();
    EXPECT_EQ(after["Frame1"], before["Frame1"].adjusted(0, 0, dW, 0));
    EXPECT_EQ(after["txtXMLFile"], before["txtXMLFile"]);
    EXPECT_EQ(after["Frame2"], before["Frame2"].adjusted(0, 0, dW, dH));
    EXPECT_EQ(after["Grid"], before["Grid"].adjusted(0, 0, dW, dH));
    for (const char* moved : {"pbSave", "pbExporttoExcel", "lblVersion"})
        EXPECT_EQ(after[moved], before[moved].translated(0, dH)) << moved;

    // Below 4000 nothing moves, and coming back applies the whole difference at once.
    ResizeTwips(12300, 3990);
    EXPECT_EQ(Geometry(), after);
    ResizeTwips(12300 + 1500, 8670);
    before["Frame1"] = after["Frame1"];
    before["Frame2"].adjust(0, 0, dW, 0);
    before["Grid"].adjust(0, 0, dW, 0);
    EXPECT_EQ(Geometry(), before);
}

TEST_F(LayoutTest, HeightsAndTopsHaveFloors) {
    // A window made very high before start-up and then low takes the whole difference from
    // the first arrangement.
    files.Write("ravlen.lib", kTestConfig);
    window = std::make_unique<frmMain>();
    window->resize(Px(12300), Px(30000));
    ASSERT_TRUE(window->InitApplication());
    Show();
    ResizeTwips(12300, 4500);
    auto now = Geometry();
    EXPECT_EQ(now["Frame2"].height(), Px(100));
    EXPECT_EQ(now["Grid"].height(), Px(100));
    EXPECT_EQ(now["pbSave"].top(), 0);
    EXPECT_EQ(now["lblVersion"].top(), 0);
    EXPECT_EQ(now["Frame1"].height(), Px(1125));
}

} // namespace
