#include "app/frmMainFixture.h"

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
    StartShown();
    const std::string path = files.Write("order.xml", DataFile("", "4711", "Miller &amp; Sons"));
    Open(0, path);
    EXPECT_TRUE(boxes.shown().empty());
    EXPECT_EQ(Path(), path);
    // The field "Gone" is not in the file.
    EXPECT_EQ(Shown(), (Rows{{"Number", "4711"}, {"Customer", "Miller & Sons"}}));
    EXPECT_EQ(Cell(1, 2) + Cell(2, 2), "00");
    for (int col = 1; col <= 12; ++col)
        EXPECT_EQ(Grid()->IsColHidden(col), col <= 10) << col;
    EXPECT_EQ(Grid()->ActiveRow(), 1);
    EXPECT_EQ(Grid()->ActiveCol(), 12);
    EXPECT_TRUE(Grid()->hasFocus());
    EXPECT_EQ(Enabled(), "pbExporttoExcel");
}

TEST_F(WindowTest, OriginCheckLooksAtTheMarkedElementsText) {
    StartShown();
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
    const std::string bad = files.Write("bad.xml", "<FD:R");
    Open(0, files.Write("good.xml", DataFile("", "1", "A")));
    ASSERT_EQ(Grid()->MaxRows(), 2);
    LogCapture log;
    Open(0, bad);
    EXPECT_EQ(Box(0),
              "Error while loading xml-file: XML-File can not handled by these configuration!");
    EXPECT_FALSE(boxes.shown()[0].waitCursor);
    ASSERT_EQ(log.Lines().size(), 1u); // what the line holds is the log's own test
    EXPECT_NE(log.Lines()[0].find(bad), std::string::npos) << log.Lines()[0];
    EXPECT_EQ(Grid()->MaxRows(), 0) << bad;
    EXPECT_EQ(Enabled(), "");
}

TEST_F(WindowTest, FailedLoadKeepsItsTextAndTellsWhyInTheDetails) {
    const std::string config =
        Config("<Config><Number>001</Number><Description>a</Description>"
               "<Check_OriginalFile>FD:R/FD:Nowhere</Check_OriginalFile><Fields/></Config>"
               "<Config><Number>002</Number><Description>b</Description>"
               "<Check_OriginalFile/><Fields><Field><XPath>FD:R/[</XPath><Alias>x</Alias>"
               "</Field></Fields></Config>");
    Start(config);
    const std::string good = DataFile("", "1", "A");
    const struct {
        int config;
        std::string path;
        std::vector<std::string> reasons;
    } cases[] = {
        {1, files.Write("bad.xml", "<FD:R unclosed"), {"line 1, column "}},
        {1, files.Path("missing.xml"), {"missing.xml", "No such file"}},
        {0, files.Write("a.xml", good), {"FD:R/FD:Nowhere", "selects nothing"}},
        {1, files.Write("b.xml", good), {"FD:R/[", "Invalid"}},
    };
    for (const auto& c : cases) {
        ConfigList()->setCurrentIndex(c.config); // may reload the previous file
        boxes.Clear();
        Drop({Url(c.path)});
        ASSERT_EQ(boxes.shown().size(), 1u) << c.path;
        EXPECT_EQ(boxes.shown()[0].text, "XML-File can not handled by these configuration!");
        for (const std::string& reason : c.reasons)
            EXPECT_NE(boxes.shown()[0].details.find(reason), std::string::npos)
                << reason << " in: " << boxes.shown()[0].details;
    }
}

TEST_F(WindowTest, LongLoadRepaintsFirstAndShowsItsProgress) {
    StartShown();
    // Many chunks of reading; every load counts as long here.
    std::string content = DataFile("", "1", "A");
    content.insert(content.find('\n') + 1, "<!--" + std::string(4 << 20, '.') + "-->");
    const std::string big = files.Write("big.xml", content);
    auto* progress = window->findChild<QProgressDialog*>("dlgProgress");
    ASSERT_NE(progress, nullptr);
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

TEST_F(WindowTest, TypingMarksTheRowEnablesSavingAndStopsAt255) {
    StartShown();
    Open(0, files.Write("order.xml", DataFile("", "4711", "Miller")));
    TypeValue(2, "Baker");
    EXPECT_EQ(Shown(), (Rows{{"Number", "4711"}, {"Customer", "Baker"}}));
    EXPECT_EQ(Cell(1, 2) + Cell(2, 2), "01");
    EXPECT_EQ(Enabled(), "pbSave pbSaveAs pbExporttoExcel");
    TypeValue(1, QString(300, 'x'));
    EXPECT_EQ(Cell(1, 12), std::string(255, 'x'));
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

TEST_F(WindowTest, DropAcceptsExactlyOneFileEndingInXmlAnyCase) {
    Start();
    ConfigList()->setCurrentIndex(0);
    auto url = [&](const std::string& name) {
        return Url(files.Write(name, DataFile("", "5", "A")));
    };
    const std::vector<QList<QUrl>> ignored = {
        {url("a.xml.bak")},
        {QUrl("https://example.org/remote.xml")},
    };
    for (const QList<QUrl>& urls : ignored) {
        EXPECT_FALSE(Drop(urls)); // refused while dragging, everywhere on the window
        EXPECT_FALSE(Drop(urls, Grid()->viewport()));
        EXPECT_TRUE(PathBox()->text().isEmpty());
        EXPECT_EQ(Grid()->MaxRows(), 0);
    }
    Drop({url("UPPER.XML")});
    EXPECT_EQ(Path(), files.Path("UPPER.XML"));
    EXPECT_EQ(Grid()->MaxRows(), 2);
    EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(WindowTest, DropEndsAtOnceAndAsksAfterwards) {
    StartShown();
    const std::string first = files.Write("first.xml", DataFile("", "1", "A"));
    const std::string second = files.Write("second.xml", DataFile("", "2", "B"));
    Open(0, first);
    TypeValue(2, "edited");
    // The drag source is free before any question is asked.
    ASSERT_TRUE(DropOnly({Url(second)}));
    EXPECT_TRUE(boxes.shown().empty());
    EXPECT_EQ(Path(), first);
    boxes.Answer(MsgAnswer::No);
    QCoreApplication::processEvents();
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].text, "Save changed data?");
    EXPECT_EQ(Path(), second);
    EXPECT_EQ(Cell(2, 12), "B");
}

// --- Layout ---

TEST_F(WindowTest, VersionLabelShowsItsWholeTextAtItsPlaceWithAnyFont) {
    StartShown();
    ASSERT_EQ(window->logicalDpiX(), window->logicalDpiY());
    const auto Px = [&](int twips) { return qRound(twips * window->logicalDpiY() / 1440.0); };
    const QSize wanted(Px(12300 + 600), Px(8670 + 300));
    window->resize(wanted);
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->size() == wanted; }));
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

} // namespace
