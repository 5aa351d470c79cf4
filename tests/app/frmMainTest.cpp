#include "app/frmMainFixture.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include <filesystem>

namespace {

std::string Config(const std::string& body) {
    return "<?xml version=\"1.0\"?><XML>" + body + "</XML>";
}

// --- Start-up ---

TEST_F(WindowTest, StartUpListsConfigurationsAndLeavesSavingDisabled) {
    Start();
    ASSERT_EQ(window->cmbConfig->count(), 2);
    EXPECT_EQ(window->cmbConfig->itemText(0), "001 Orders");
    EXPECT_EQ(window->cmbConfig->itemText(1), "002 "); // empty description keeps the blank
    EXPECT_EQ(window->cmbConfig->itemData(0).toInt(), 1);
    EXPECT_EQ(window->cmbConfig->itemData(1).toInt(), 2);
    EXPECT_EQ(window->cmbConfig->currentIndex(), -1);
    EXPECT_EQ(window->sConfigFile, files.Path("ravlen.lib"));
    EXPECT_EQ(window->lblVersion->text(), "Version : 1.3.2 26.10.2004");
    EXPECT_FALSE(window->pbSave->isEnabled());
    EXPECT_FALSE(window->pbSaveAs->isEnabled());
    EXPECT_FALSE(window->pbExporttoExcel->isEnabled());
    EXPECT_TRUE(window->pbSelectFile->isEnabled());
    EXPECT_TRUE(window->pbExit->isEnabled());
    EXPECT_TRUE(window->txtXMLFile->text().isEmpty());
    EXPECT_TRUE(window->txtXMLFile->acceptDrops());
    EXPECT_FALSE(window->bDataChanged);
    EXPECT_FALSE(window->bOriginFile);
    EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(WindowTest, MissingOrBrokenConfigurationStopsStartUp) {
    {
        frmMain w;
        EXPECT_FALSE(w.InitApplication());
    }
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].text, "File not found: " + files.Path("ravlen.lib"));
    EXPECT_EQ(boxes.shown()[0].title, "Error");
    EXPECT_EQ(boxes.shown()[0].buttons, MsgButtons::OK);

    const std::pair<std::string, std::string> cases[] = {
        {"this is not xml", "60000 "},
        {Config("<Config><Number>one</Number><Description>x</Description></Config>"), "13 "},
    };
    for (const auto& [content, textStart] : cases) {
        files.Write("ravlen.lib", content);
        boxes.Clear();
        frmMain w;
        EXPECT_FALSE(w.InitApplication()) << content;
        ASSERT_EQ(boxes.shown().size(), 1u) << content;
        EXPECT_EQ(boxes.shown()[0].title, "Error while initializing application");
        const std::string& text = boxes.shown()[0].text;
        EXPECT_EQ(text.rfind(textStart, 0), 0u) << text;
        EXPECT_NE(text.find(' '), std::string::npos) << text; // number, blank, description
        EXPECT_EQ(ReadFileBytes(files.Path("ravlen.lib")), content);
    }
}

// --- Loading ---

TEST_F(WindowTest, LoadingAnOrdinaryFileShowsOneRowPerFoundField) {
    Start();
    Show();
    const std::string path = files.Write("order.xml", DataFile("", "4711", "Miller &amp; Sons"));
    Open(0, path);
    EXPECT_TRUE(boxes.shown().empty());
    EXPECT_EQ(window->txtXMLFile->text().toStdString(), path);
    ASSERT_EQ(window->Grid->MaxRows(), 2); // the field "Gone" is not in the file
    EXPECT_EQ(Cell(1, 11), "Number");
    EXPECT_EQ(Cell(1, 12), "4711");
    EXPECT_EQ(Cell(1, 10), "FD:R/FD:Datas[@Table='Order']/FD:Field[@Name='No']");
    EXPECT_EQ(Cell(1, 2), "0");
    EXPECT_EQ(Cell(2, 11), "Customer");
    EXPECT_EQ(Cell(2, 12), "Miller & Sons");
    EXPECT_EQ(Cell(2, 2), "0");
    for (int col = 1; col <= 10; ++col)
        EXPECT_TRUE(window->Grid->IsColHidden(col)) << col;
    EXPECT_FALSE(window->Grid->IsColHidden(11));
    EXPECT_FALSE(window->Grid->IsColHidden(12));
    EXPECT_EQ(window->Grid->ActiveRow(), 1);
    EXPECT_EQ(window->Grid->ActiveCol(), 12);
    EXPECT_TRUE(window->Grid->hasFocus());
    EXPECT_FALSE(window->bOriginFile);
    EXPECT_FALSE(window->bDataChanged);
    EXPECT_FALSE(window->pbSave->isEnabled());
    EXPECT_FALSE(window->pbSaveAs->isEnabled());
    EXPECT_TRUE(window->pbExporttoExcel->isEnabled());
}

TEST_F(WindowTest, OriginCheckLooksAtTheMarkedElementsText) {
    Start();
    Open(0, files.Write("origin.xml", DataFile("TEMPLATE", "1", "x")));
    EXPECT_TRUE(window->bOriginFile);
    Open(0, files.Write("blank.xml", DataFile("   ", "1", "x")));
    EXPECT_FALSE(window->bOriginFile);
    // An empty check path never looks into the file.
    Open(0, files.Write("origin2.xml", DataFile("TEMPLATE", "1", "x")));
    EXPECT_TRUE(window->bOriginFile);
    window->cmbConfig->setCurrentIndex(1);
    EXPECT_FALSE(window->bOriginFile);
    EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(WindowTest, FailedLoadShowsItsMessageAndLeavesNoRows) {
    Start();
    const std::string good = files.Write("good.xml", DataFile("", "1", "A"));
    const std::string notXml = files.Write("bad.xml", "<FD:R unclosed");
    for (const std::string& bad : {notXml, files.Path("missing.xml")}) {
        Open(0, good);
        ASSERT_EQ(window->Grid->MaxRows(), 2);
        boxes.Clear();
        Open(0, bad);
        ASSERT_FALSE(boxes.shown().empty());
        EXPECT_EQ(boxes.shown().back().text, "XML-File can not handled by these configuration!")
            << bad;
        EXPECT_EQ(boxes.shown().back().title, "Error while loading xml-file");
        EXPECT_EQ(window->Grid->MaxRows(), 0) << bad;
        EXPECT_FALSE(window->pbSave->isEnabled());
        EXPECT_FALSE(window->pbSaveAs->isEnabled());
        EXPECT_FALSE(window->pbExporttoExcel->isEnabled());
        EXPECT_FALSE(window->bDataChanged);
    }
    EXPECT_EQ(ReadFileBytes(notXml), "<FD:R unclosed");
}

// --- Editing ---

TEST_F(WindowTest, TypingMarksTheRowAndEnablesSavingButOnlySaveAsForAnOrigin) {
    Start();
    Show();
    Open(0, files.Write("order.xml", DataFile("", "4711", "Miller")));
    TypeValue(2, "Baker");
    EXPECT_EQ(Cell(2, 12), "Baker");
    EXPECT_EQ(Cell(2, 2), "1");
    EXPECT_EQ(Cell(1, 2), "0");
    EXPECT_TRUE(window->bDataChanged);
    EXPECT_TRUE(window->pbSave->isEnabled());
    EXPECT_TRUE(window->pbSaveAs->isEnabled());
    EXPECT_EQ(Cell(2, 11), "Customer"); // other columns of the row stay

    boxes.Answer(MsgAnswer::No); // drop the edit
    Open(0, files.Write("origin.xml", DataFile("ORIG", "1", "A")));
    ASSERT_TRUE(window->bOriginFile);
    TypeValue(2, "B");
    EXPECT_FALSE(window->pbSave->isEnabled());
    EXPECT_TRUE(window->pbSaveAs->isEnabled());
    EXPECT_EQ(Cell(2, 2), "1");
}

TEST_F(WindowTest, ValueTypingStopsAt255AndTabFromTheLastCellReachesSave) {
    Start();
    Show();
    Open(0, files.Write("order.xml", DataFile("", "1", "A")));
    window->Grid->SetActiveCell(12, 2);
    QTest::keyClick(window->Grid, Qt::Key_Tab);
    EXPECT_NE(QApplication::focusWidget(), window->pbSave); // nothing edited yet

    TypeValue(1, QString(300, 'x'));
    EXPECT_EQ(Cell(1, 12), std::string(255, 'x'));
    window->Grid->SetActiveCell(12, 2);
    window->Grid->setFocus();
    QTest::keyClick(window->Grid, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), window->pbSave);

    window->Grid->SetActiveCell(11, 1);
    window->Grid->setFocus();
    QTest::keyClick(window->Grid, Qt::Key_Backtab);
    EXPECT_NE(QApplication::focusWidget(), window->pbSave);
}

// --- Dropping files ---

TEST_F(WindowTest, DropAcceptsExactlyOneFileEndingInXmlAnyCase) {
    Start();
    window->cmbConfig->setCurrentIndex(0);
    const std::string content = DataFile("", "5", "A");
    auto url = [&](const std::string& name) {
        return QUrl::fromLocalFile(QString::fromStdString(files.Write(name, content)));
    };
    const std::vector<QList<QUrl>> ignored = {
        {url("a.xml.bak")},
        {url("b.xml"), url("c.xml")},
        {QUrl("https://example.org/remote.xml")},
    };
    for (const QList<QUrl>& urls : ignored) {
        Drop(urls);
        EXPECT_TRUE(window->txtXMLFile->text().isEmpty());
        EXPECT_EQ(window->Grid->MaxRows(), 0);
    }
    Drop({url("UPPER.XML")});
    EXPECT_EQ(window->txtXMLFile->text().toStdString(), files.Path("UPPER.XML"));
    EXPECT_EQ(window->Grid->MaxRows(), 2);
    EXPECT_TRUE(boxes.shown().empty());
}

// --- Layout ---

class LayoutTest : public WindowTest {
protected:
    void ResizeTwips(int32_t widthTwips, int32_t heightTwips) {
        const QSize wanted(window->TwipsToPixels(widthTwips, true),
                           window->TwipsToPixels(heightTwips, false));
        window->resize(wanted);
        EXPECT_TRUE(QTest::qWaitFor([&] { return window->size() == wanted; }));
    }
    QRect G(QWidget* w) const { return window->TwipsGeometry(w); }
};

TEST_F(LayoutTest, LowWindowsAreLeftAloneUntil4000AndSizesHaveFloors) {
    Start();
    Show();
    const QRect grid = G(window->Grid);
    ResizeTwips(12300, 3990); // below 4000 at any common resolution
    EXPECT_EQ(window->nLastHeight, 8670);
    EXPECT_EQ(G(window->Grid), grid);
    ResizeTwips(12300, 4500);
    const int32_t height = window->PixelsToTwips(window->height(), false);
    EXPECT_EQ(G(window->Grid), grid.adjusted(0, 0, 0, height - 8670));
    EXPECT_EQ(window->nLastHeight, height);

    window->nLastHeight += 20000; // as if the window had been far higher
    window->Form_Resize();
    EXPECT_EQ(G(window->Frame2).height(), 100);
    EXPECT_EQ(G(window->Grid).height(), 100);
    EXPECT_EQ(G(window->pbSave).top(), 0);
    EXPECT_EQ(G(window->lblVersion).top(), 0);
    EXPECT_EQ(G(window->Frame1).height(), 1125);
}

} // namespace
