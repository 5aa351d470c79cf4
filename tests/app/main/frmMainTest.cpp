#include "app/main/frmMainFixture.h"

#include <QClipboard>
#include <QDir>
#include <QLabel>
#include <QProgressBar>
#include <QProgressDialog>

namespace {

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
public:
    PaintCounter(QWidget* widget, int& count) : count_(count) { widget->installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            ++count_;
        return false;
    }

private:
    int& count_;
};

// --- Start-up ---

TEST_F(WindowTest, StartUpStopsWithoutAGoodConfigurationOrListsItsEntries) {
    EXPECT_FALSE(frmMain().InitApplication());
    EXPECT_EQ(Box(0), "Error: File not found: " + files.Path("ravlen.lib"));
    const std::pair<std::string, std::string> cases[] = {
        {"this is not xml", "60000 "},
        {"<XML><Config><Number>one</Number><Description>x</Description></Config></XML>", "13 "},
    };
    for (const auto& [content, textStart] : cases) {
        files.Write("ravlen.lib", content);
        boxes.Clear();
        EXPECT_FALSE(frmMain().InitApplication()) << content;
        EXPECT_EQ(Box(0).rfind("Error while initializing application: " + textStart, 0), 0u)
            << Box(0);
        EXPECT_EQ(boxes.shown().size(), 1u);
    }

    boxes.Clear();
    Start();
    QComboBox* list = ConfigList();
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->itemText(0), "001 Orders");
    EXPECT_EQ(list->itemText(1), "002 "); // empty description keeps the blank
    EXPECT_EQ(list->currentIndex(), -1);
    EXPECT_EQ(window->windowTitle(), "Ravlen");
    EXPECT_EQ(Control<QLabel>("lblVersion")->text(), "Version : 1.3.2 26.10.2004");
    EXPECT_EQ(Enabled(), "");
    EXPECT_TRUE(boxes.shown().empty());
}

// --- Loading ---

TEST_F(WindowTest, LoadedFileShowsOneRowPerFoundFieldAndKeysMoveBetweenItsValues) {
    StartShown();
    const std::string path = files.Write("order.xml", DataFile("", "4711", "Miller &amp; Sons"));
    Open(0, path);
    // The field "Gone" is not in the file.
    EXPECT_EQ(Shown(), (Rows{{"Number", "4711"}, {"Customer", "Miller & Sons"}}));
    for (int col = 1; col <= 12; ++col)
        EXPECT_EQ(Grid()->IsColHidden(col), col <= 10) << col;
    EXPECT_TRUE(Grid()->hasFocus());
    EXPECT_EQ(Enabled(), "pbExporttoExcel");

    // Enter and Tab move between the value cells only.
    SpreadGrid* grid = Grid();
    auto at = [&] { return std::pair(grid->ActiveRow(), grid->ActiveCol()); };
    ASSERT_EQ(at(), std::pair(1, 12));
    QTest::keyClick(grid, Qt::Key_Tab);
    EXPECT_EQ(at(), std::pair(2, 12));
    QTest::keyClick(grid, Qt::Key_Backtab);
    EXPECT_EQ(at(), std::pair(1, 12));
    grid->SetActiveCell(11, 1);
    QTest::keyClick(grid, Qt::Key_Tab);
    EXPECT_EQ(at(), std::pair(1, 12));
    TypeValue(1, "7"); // Enter in the editor commits and goes on to the row below
    EXPECT_EQ(at(), std::pair(2, 12));
}

// Each failure also clears the rows of the file loaded before it.
TEST_F(WindowTest, FailedLoadShowsItsMessageTellsWhyLogsAndLeavesNoRows) {
    std::string config = kTestConfig;
    config.insert(config.rfind("</XML>"),
                  "<Config><Number>003</Number><Description>a</Description>"
                  "<Check_OriginalFile>FD:R/FD:Nowhere</Check_OriginalFile><Fields/></Config>"
                  "<Config><Number>004</Number><Description>b</Description>"
                  "<Check_OriginalFile/><Fields><Field><XPath>FD:R/[</XPath><Alias>x</Alias>"
                  "</Field></Fields></Config>");
    Start(config);
    const std::string good = files.Write("good.xml", DataFile("", "1", "A"));
    const std::string bad = files.Write("bad.xml", "<FD:R unclosed");
    const std::string missing = files.Path("missing.xml");
    const std::string other = files.Write("other.xml", "<o:R xmlns:o='urn:other'><x/></o:R>");
    const struct {
        int config;
        std::string path;
        std::vector<std::string> reasons;
    } cases[] = {
        {1, bad, {bad + " does not parse: line 1, column 15: "}},
        {1, missing, {missing + " cannot be read: No such file or directory"}},
        {2, good, {"FD:R/FD:Nowhere", "selects nothing"}},
        {2,
         other,
         {"FD:R/FD:Nowhere", "The root element o:R is in the namespace urn:other, not in "
                             "RidoRudu's http://www.ridorudu.org/namespace/RidoRudu."}},
        {3, good, {"FD:R/[", "Invalid"}},
    };
    for (const auto& c : cases) {
        Open(1, good);
        ASSERT_EQ(Grid()->MaxRows(), 2);
        ConfigList()->setCurrentIndex(c.config);
        boxes.Clear();
        LogCapture log;
        Drop({Url(c.path)});
        ASSERT_EQ(boxes.shown().size(), 1u) << c.path;
        EXPECT_EQ(Box(0),
                  "Error while loading xml-file: XML-File can not handled by these configuration!");
        EXPECT_FALSE(boxes.shown()[0].waitCursor);
        for (const std::string& reason : c.reasons)
            EXPECT_NE(boxes.shown()[0].details.find(reason), std::string::npos)
                << reason << " in: " << boxes.shown()[0].details;
        ASSERT_EQ(log.Lines().size(), 1u); // what the line holds is the log's own test
        EXPECT_NE(log.Lines()[0].find(c.path), std::string::npos) << log.Lines()[0];
        EXPECT_EQ(Grid()->MaxRows(), 0) << c.path;
        EXPECT_EQ(Enabled(), "");
    }
}

TEST_F(WindowTest, LongLoadRepaintsFirstAndShowsItsProgress) {
    StartShown();
    // Many chunks of reading; every load counts as long here.
    std::string content = DataFile("", "1", "A");
    content.insert(content.find('\n') + 1, "<!--" + std::string(4 << 20, '.') + "-->");
    const std::string big = files.Write("big.xml", content);
    auto* progress = Control<QProgressDialog>("dlgProgress");
    progress->setMinimumDuration(0);
    int windowPaints = 0;
    struct Seen {
        int value;
        bool visible;
        QString label;
        int windowPaints;
    };
    std::vector<Seen> seen;
    QObject::connect(
        progress->findChild<QProgressBar*>(), &QProgressBar::valueChanged, [&](int value) {
            if (value > 0)
                seen.push_back({value, progress->isVisible(), progress->labelText(), windowPaints});
        });
    PaintCounter counter(window.get(), windowPaints);
    ConfigList()->setCurrentIndex(0);
    QCoreApplication::processEvents();
    windowPaints = 0;

    dialogs.Answer(big);
    Click("pbSelectFile");
    ASSERT_GT(seen.size(), 3u);
    EXPECT_GT(seen.front().windowPaints, 0); // the window was drawn before the load
    EXPECT_TRUE(seen.back().visible);
    EXPECT_EQ(seen.front().label, "Loading big.xml");
    EXPECT_EQ(seen.back().value, 100);
    EXPECT_FALSE(progress->isVisible());
    EXPECT_EQ(Cell(2, 12), "A");
}

// --- Editing ---

// An edit of an origin file enables Save As only.
TEST_F(WindowTest, EditMarksItsRowStopsAt255AndEnablesSavingAsTheOriginCheckAllows) {
    StartShown();
    const std::string longValue(300, 'm');
    auto enabledAfterEdit = [&](int config, const std::string& file, const std::string& original) {
        if (AsksToSave())
            boxes.Answer(MsgAnswer::No);
        Open(config, files.Write(file, DataFile(original, "1", longValue)));
        TypeValue(1, "2");
        return Enabled();
    };
    EXPECT_EQ(enabledAfterEdit(0, "origin.xml", "TEMPLATE"), "pbSaveAs pbExporttoExcel");
    // An empty check path never looks into the file.
    EXPECT_EQ(enabledAfterEdit(1, "origin2.xml", "TEMPLATE"), "pbSave pbSaveAs pbExporttoExcel");
    EXPECT_EQ(enabledAfterEdit(0, "blank.xml", "   "), "pbSave pbSaveAs pbExporttoExcel");
    EXPECT_EQ(Cell(1, 2) + Cell(2, 2), "10");
    TypeValue(1, QString(300, 'x'));
    EXPECT_EQ(Cell(1, 12), std::string(255, 'x'));

    // A longer loaded value stays whole: typing cannot lengthen it, but may shorten it.
    Grid()->SetActiveCell(12, 2);
    QTest::keyClick(Grid(), Qt::Key_F2);
    for (Qt::Key key : {Qt::Key_End, Qt::Key_I, Qt::Key_Backspace, Qt::Key_Return})
        QTest::keyClick(QApplication::focusWidget(), key);
    QCoreApplication::processEvents();
    EXPECT_EQ(Cell(2, 12), std::string(299, 'm'));
}

TEST_F(WindowTest, ShortcutsActAsTheirEnabledButtons) {
    const std::string path = files.Write("order.xml", DataFile("", "1", "A"));
    StartShown();
    auto press = [&](Qt::Key key, Qt::KeyboardModifiers modifiers) {
        QTest::keyClick(QApplication::focusWidget(), key, modifiers);
        QCoreApplication::processEvents();
    };
    dialogs.Answer(path);
    ConfigList()->setCurrentIndex(0);
    press(Qt::Key_O, Qt::ControlModifier);
    ASSERT_EQ(Path(), path);

    // A value still in its editor is committed and saved.
    Grid()->SetActiveCell(12, 2);
    QTest::keyClick(Grid(), Qt::Key_F2);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_End);
    QTest::keyClicks(QApplication::focusWidget(), "B");
    press(Qt::Key_S, Qt::ControlModifier);
    EXPECT_NE(ReadFileBytes(path).find(">AB<"), std::string::npos);
    EXPECT_FALSE(AsksToSave());

    press(Qt::Key_Q, Qt::ControlModifier);
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(boxes.shown().empty());
}

// --- Choosing the source file ---

// A drop ends at once; an edit is asked about afterwards.
TEST_F(WindowTest, DropTakesExactlyOneFileEndingInXmlAnyCaseAndAsksAfterTheDrag) {
    StartShown();
    ConfigList()->setCurrentIndex(0);
    auto url = [&](const std::string& name) {
        return Url(files.Write(name, DataFile("", "5", "A")));
    };
    for (const QList<QUrl>& urls : {QList{url("a.xml.bak")}, QList{QUrl("https://x.org/r.xml")}}) {
        EXPECT_FALSE(Drop(urls)); // refused while dragging, everywhere on the window
        EXPECT_FALSE(Drop(urls, Grid()->viewport()));
    }
    Drop({url("UPPER.XML")});
    EXPECT_EQ(Path(), files.Path("UPPER.XML"));
    EXPECT_EQ(Grid()->MaxRows(), 2);
    EXPECT_TRUE(boxes.shown().empty());

    TypeValue(2, "edited");
    const std::string second = files.Write("second.xml", DataFile("", "2", "B"));
    ASSERT_TRUE(Drop({Url(second)}, nullptr, false));
    EXPECT_TRUE(boxes.shown().empty());
    EXPECT_EQ(Path(), files.Path("UPPER.XML"));
    boxes.Answer(MsgAnswer::No);
    QCoreApplication::processEvents();
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].text, "Save changed data?");
    EXPECT_EQ(Path(), second);
    EXPECT_EQ(Cell(2, 12), "B");
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
    StartShown();
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

TEST_F(LayoutTest, VersionLabelShowsItsWholeTextAtItsPlaceWithAnyFont) {
    StartShown();
    ResizeTwips(12300 + 600, 8670 + 300);
    auto* label = Control<QLabel>("lblVersion");
    for (int points : {28, 9, 14}) {
        QFont font = QApplication::font();
        font.setPointSize(points);
        window->setFont(font);
        const int textWidth = label->fontMetrics().horizontalAdvance(label->text());
        EXPECT_GE(label->contentsRect().width(), textWidth) << points;
        EXPECT_GE(label->height(), label->sizeHint().height()) << points;
        // Its right edge stays where the window's arrangement puts it.
        EXPECT_EQ(label->geometry().right() + 1, Px(10020 + 2010)) << points;
        EXPECT_GE(label->geometry().top(),
                  Control<QPushButton>("pbExit")->geometry().top() - Px(45));
    }
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

TEST_F(WindowTest, FileWithoutAnyConfiguredFieldGetsANoteAndPathBoxTakesNoTyping) {
    StartShown();
    auto gridDrawn = [&] {
        const QImage image = Grid()->viewport()->grab().toImage();
        QImage blank(image.size(), image.format());
        blank.fill(Grid()->viewport()->palette().color(QPalette::Base));
        return image != blank;
    };
    ConfigList()->setCurrentIndex(1); // no origin check
    EXPECT_FALSE(gridDrawn());
    const std::string path =
        files.Write("other.xml", "<FD:R xmlns:FD='urn:other'><FD:Datas Table='Head'/></FD:R>");
    Drop({Url(path)});
    EXPECT_EQ(Grid()->MaxRows(), 0);
    EXPECT_TRUE(gridDrawn());
    EXPECT_TRUE(boxes.shown().empty());
    EXPECT_EQ(Enabled(), "");

    QLineEdit* box = PathBox();
    box->setFocus();
    QApplication::clipboard()->setText("/elsewhere.xml");
    QTest::keyClicks(box, "typed");
    QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(Path(), path);
    // Inside its frame the box is drawn in the window's colour, not a field's.
    const QImage image = box->grab().toImage();
    const QColor inside = image.pixelColor(image.width() - 6, image.height() / 2);
    EXPECT_EQ(inside.name(), window->palette().color(QPalette::Window).name());
}

TEST_F(WindowTest, SelectFileOpensXmlFilesInTheFolderOfTheLastSaveAsAndCancelsQuietly) {
    StartShown();
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
    const auto& reopened = dialogs.shown()[2];
    EXPECT_EQ(reopened.mode, CommonDialog::Mode::Open);
    EXPECT_EQ(reopened.fileName, "");
    EXPECT_EQ(reopened.filter, "XML-Files (*.xml)|*.xml");
    EXPECT_EQ(reopened.initDir, files.dir()); // where Save As started
    // The cancel keeps the edit, says nothing more and leaves both saves disabled.
    EXPECT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(Path(), files.Path("sub/copy.xml"));
    EXPECT_EQ(Cell(2, 12), "C");
    EXPECT_EQ(Enabled(), "pbExporttoExcel");
    EXPECT_TRUE(AsksToSave());
}

} // namespace
