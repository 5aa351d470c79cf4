#include "app/frmMainFixture.h"

#include "common/Strings.h"

#include <QComboBox>
#include <QDropEvent>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>

#include <cstdlib>
#include <filesystem>

namespace {

using Shown = ScriptedMessageBox::Shown;

constexpr const char* kLoadError = "XML-File can not handled by these configuration!";
constexpr const char* kLoadTitle = "Error while loading xml-file";

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

TEST_F(WindowTest, ControlsCarryTheirNamesCaptionsAndKeyboardOrder) {
    Start();
    EXPECT_EQ(window->windowTitle(), "Ravlen");
    struct Expected {
        const char* name;
        const char* caption;
        const char* tip;
    };
    for (const Expected& e :
         {Expected{"pbSave", "&Save ", "Save XML-File"},
          Expected{"pbSaveAs", "&Save  as ...", "Save XML-File"},
          Expected{"pbExporttoExcel", "&Excel-Export", "Export the data to excel"},
          Expected{"pbExit", "E&xit", "Exit program"},
          Expected{"pbSelectFile", "...", "Select XML-Sourcefile"}}) {
        auto* button = window->findChild<QPushButton*>(e.name);
        ASSERT_NE(button, nullptr) << e.name;
        EXPECT_EQ(button->text(), e.caption);
        EXPECT_EQ(button->toolTip(), e.tip);
    }
    EXPECT_EQ(window->findChild<QLabel*>("Label2")->text(), "Configuration");
    EXPECT_EQ(window->findChild<QLabel*>("Label1")->text(), "XML-Source");
    EXPECT_EQ(window->findChild<QComboBox*>("cmbConfig")->toolTip(), "current configuration");
    EXPECT_EQ(window->findChild<QLineEdit*>("txtXMLFile")->toolTip(), "XML-Sourcefile");
    EXPECT_NE(window->findChild<SpreadGrid*>("Grid"), nullptr);
    EXPECT_EQ(window->findChild<QGroupBox*>("Frame1"), window->cmbConfig->parentWidget());
    EXPECT_EQ(window->findChild<QGroupBox*>("Frame2"), window->Grid->parentWidget());
    // The path box takes drops, never typing.
    EXPECT_TRUE(window->txtXMLFile->isReadOnly());

    Show();
    for (QPushButton* b : {window->pbSave, window->pbSaveAs, window->pbExporttoExcel})
        b->setEnabled(true);
    const std::vector<QWidget*> order = {
        window->cmbConfig, window->txtXMLFile, window->pbSelectFile,    window->Grid,
        window->pbSave,    window->pbSaveAs,   window->pbExporttoExcel, window->pbExit};
    window->cmbConfig->setFocus();
    for (size_t i = 0; i + 1 < order.size(); ++i) {
        EXPECT_EQ(QApplication::focusWidget(), order[i]) << i;
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    EXPECT_EQ(QApplication::focusWidget(), window->pbExit);
}

TEST_F(WindowTest, GridHasTwelveColumnsShowingOnlyFieldAndValue) {
    Start();
    SpreadGrid* grid = window->Grid;
    EXPECT_EQ(grid->MaxCols(), 12);
    EXPECT_EQ(grid->MaxRows(), 0);
    for (int col = 1; col <= 10; ++col)
        EXPECT_TRUE(grid->IsColHidden(col)) << col;
    EXPECT_FALSE(grid->IsColHidden(11));
    EXPECT_FALSE(grid->IsColHidden(12));
    EXPECT_EQ(grid->GetText(0, 11), "Field");
    EXPECT_EQ(grid->GetText(0, 12), "Value");
    EXPECT_EQ(grid->ColumnKind(12), SpreadGrid::CellKind::EditText);
    EXPECT_EQ(grid->ColumnMaxLength(12), 255);
    EXPECT_EQ(grid->ColumnKind(11), SpreadGrid::CellKind::StaticText);
    EXPECT_EQ(grid->ColumnKind(10), SpreadGrid::CellKind::StaticText);
    EXPECT_EQ(grid->ColumnKind(2), SpreadGrid::CellKind::Number);
    EXPECT_LT(grid->columnWidth(10), grid->columnWidth(11)); // 25 against 68 characters
}

TEST_F(WindowTest, SingleConfigurationIsSelectedAtOnceAndNothingLoads) {
    Start(Config("<Config><Number>042</Number><Description>Only</Description></Config>"));
    EXPECT_EQ(window->cmbConfig->currentIndex(), 0);
    EXPECT_EQ(window->cmbConfig->itemData(0).toInt(), 42);
    EXPECT_EQ(window->Grid->MaxRows(), 0);
    EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(WindowTest, EmptyConfigurationStartsWithAnEmptyList) {
    Start(Config(""));
    EXPECT_EQ(window->cmbConfig->count(), 0);
}

TEST_F(WindowTest, MissingConfigurationFileStopsStartUp) {
    frmMain w;
    EXPECT_FALSE(w.InitApplication());
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].text, "File not found: " + files.Path("ravlen.lib"));
    EXPECT_EQ(boxes.shown()[0].title, "Error");
    EXPECT_EQ(boxes.shown()[0].buttons, MsgButtons::OK);
}

TEST_F(WindowTest, BrokenConfigurationsStopStartUpWithTheirFailure) {
    struct Case {
        std::string content;
        std::string textStart;
    };
    const std::vector<Case> cases = {
        {"this is not xml", "60000 "},
        {Config("<Config><Description>No number</Description></Config>"), ""},
        {Config("<Config><Number>001</Number></Config>"), ""},
        {Config("<Config><Number>one</Number><Description>x</Description></Config>"), "13 "},
        {Config("<Config><Number>99999999999</Number><Description>x</Description></Config>"), "6 "},
    };
    for (const Case& c : cases) {
        files.Write("ravlen.lib", c.content);
        boxes.Clear();
        frmMain w;
        EXPECT_FALSE(w.InitApplication()) << c.content;
        ASSERT_EQ(boxes.shown().size(), 1u) << c.content;
        EXPECT_EQ(boxes.shown()[0].title, "Error while initializing application");
        const std::string& text = boxes.shown()[0].text;
        EXPECT_EQ(text.rfind(c.textStart, 0), 0u) << text;
        EXPECT_NE(text.find(' '), std::string::npos) << text; // number, blank, description
        EXPECT_EQ(ReadFileBytes(files.Path("ravlen.lib")), c.content);
    }
}

TEST_F(WindowTest, ConfigurationFolderInsteadOfFileIsNotFound) {
    std::filesystem::create_directory(files.Path("ravlen.lib"));
    frmMain w;
    EXPECT_FALSE(w.InitApplication());
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].title, "Error");
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

TEST_F(WindowTest, DescendantPathsAndAttributesGiveRows) {
    Start();
    Open(1, files.Write("order.xml", DataFile("", "7", "Smith")));
    ASSERT_EQ(window->Grid->MaxRows(), 2);
    EXPECT_EQ(Cell(1, 11), "Who");
    EXPECT_EQ(Cell(1, 12), "Smith");
    EXPECT_EQ(Cell(2, 11), "Kind");
    EXPECT_EQ(Cell(2, 12), "2");
}

TEST_F(WindowTest, ChoosingAConfigurationReloadsTheNamedFile) {
    Start();
    window->txtXMLFile->setText(
        QString::fromStdString(files.Write("o.xml", DataFile("", "1", "A"))));
    window->cmbConfig->setCurrentIndex(1);
    ASSERT_EQ(window->Grid->MaxRows(), 2);
    EXPECT_EQ(Cell(1, 11), "Who");
    window->cmbConfig->setCurrentIndex(0);
    EXPECT_EQ(Cell(1, 11), "Number");
}

TEST_F(WindowTest, ChoosingAConfigurationWithoutAFileDoesNothing) {
    Start();
    window->cmbConfig->setCurrentIndex(0);
    EXPECT_EQ(window->Grid->MaxRows(), 0);
    EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(WindowTest, FailedLoadShowsItsMessageAndLeavesNoRows) {
    Start();
    const std::string good = files.Write("good.xml", DataFile("", "1", "A"));
    const std::string notXml = files.Write("bad.xml", "<FD:R unclosed");
    const std::string noCheck =
        files.Write("nocheck.xml", "<FD:R xmlns:FD=\"http://www.ridorudu.org/namespace/"
                                   "RidoRudu\"><FD:Datas Table=\"Order\"/></FD:R>");
    std::filesystem::create_directory(files.Path("folder.xml"));
    for (const std::string& bad :
         {notXml, noCheck, files.Path("folder.xml"), files.Path("missing.xml")}) {
        Open(0, good);
        ASSERT_EQ(window->Grid->MaxRows(), 2);
        boxes.Clear();
        Open(0, bad);
        ASSERT_FALSE(boxes.shown().empty());
        const Shown& last = boxes.shown().back();
        EXPECT_EQ(last.text, kLoadError) << bad;
        EXPECT_EQ(last.title, kLoadTitle);
        EXPECT_EQ(window->Grid->MaxRows(), 0) << bad;
        EXPECT_FALSE(window->pbSave->isEnabled());
        EXPECT_FALSE(window->pbSaveAs->isEnabled());
        EXPECT_FALSE(window->pbExporttoExcel->isEnabled());
        EXPECT_FALSE(window->bDataChanged);
    }
    EXPECT_EQ(ReadFileBytes(notXml), "<FD:R unclosed");
}

TEST_F(WindowTest, WaitCursorIsGoneBeforeTheLoadMessageAndAfterTheLoad) {
    Start();
    bool waitingDuringMessage = true;
    const auto previous =
        SetMessageBoxHandler([&](const std::string&, const std::string&, MsgButtons) {
            waitingDuringMessage = QApplication::overrideCursor() != nullptr;
            return MsgAnswer::OK;
        });
    Open(0, files.Write("bad.xml", "<FD:R unclosed"));
    SetMessageBoxHandler(previous);
    EXPECT_FALSE(waitingDuringMessage);
    Open(0, files.Write("good.xml", DataFile("", "1", "A")));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(WindowTest, BrokenConfigurationEntriesFailTheLoadOnly) {
    const std::string fields =
        "<Fields><Field><XPath>//FD:Field[@Name='No']</XPath><Alias>No</Alias></Field>";
    const std::vector<std::string> configs = {
        // no origin check at all
        Config("<Config><Number>001</Number><Description>a</Description>" + fields +
               "</Fields></Config>"),
        // a field without alias
        Config("<Config><Number>001</Number><Description>a</Description><Check_OriginalFile/>" +
               fields + "<Field><XPath>//FD:Field</XPath></Field></Fields></Config>"),
        // a field without path
        Config("<Config><Number>001</Number><Description>a</Description><Check_OriginalFile/>" +
               fields + "<Field><Alias>x</Alias></Field></Fields></Config>"),
        // an invalid path
        Config("<Config><Number>001</Number><Description>a</Description><Check_OriginalFile/>" +
               fields +
               "<Field><XPath>//FD:Field[</XPath><Alias>x</Alias></Field></Fields></Config>"),
        // a number that is not written with three digits
        Config("<Config><Number>1</Number><Description>a</Description><Check_OriginalFile/>" +
               fields + "</Fields></Config>"),
    };
    const std::string data = files.Write("d.xml", DataFile("", "1", "A"));
    for (const std::string& config : configs) {
        Start(config);
        boxes.Clear();
        Open(0, data);
        ASSERT_EQ(boxes.shown().size(), 1u) << config;
        EXPECT_EQ(boxes.shown()[0].text, kLoadError);
        EXPECT_EQ(window->Grid->MaxRows(), 0);
    }
}

TEST_F(WindowTest, ConfigurationNumberIsPaddedToThreeDigits) {
    Start(Config("<Config><Number>-005</Number><Description>neg</Description>"
                 "<Check_OriginalFile/><Fields><Field><XPath>//FD:Field[@Name='No']</XPath>"
                 "<Alias>No</Alias></Field></Fields></Config>"
                 "<Config><Number>1234</Number><Description>big</Description>"
                 "<Check_OriginalFile/><Fields><Field><XPath>//FD:Field[@Name='Customer']</XPath>"
                 "<Alias>C</Alias></Field></Fields></Config>"));
    const std::string data = files.Write("d.xml", DataFile("", "9", "Z"));
    Open(0, data);
    EXPECT_EQ(Cell(1, 12), "9");
    Open(1, data);
    EXPECT_EQ(Cell(1, 12), "Z");
    EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(WindowTest, DuplicateNumbersUseFirstCheckAndAllFields) {
    Start(Config("<Config><Number>001</Number><Description>a</Description>"
                 "<Check_OriginalFile>//FD:Field[@Name='Original']</Check_OriginalFile><Fields>"
                 "<Field><XPath>//FD:Field[@Name='No']</XPath><Alias>No</Alias></Field>"
                 "</Fields></Config>"
                 "<Config><Number>001</Number><Description>b</Description>"
                 "<Check_OriginalFile/><Fields>"
                 "<Field><XPath>//FD:Field[@Name='Customer']</XPath><Alias>C</Alias></Field>"
                 "</Fields></Config>"));
    Open(1, files.Write("d.xml", DataFile("ORIG", "1", "A")));
    EXPECT_TRUE(window->bOriginFile);
    ASSERT_EQ(window->Grid->MaxRows(), 2);
    EXPECT_EQ(Cell(1, 11), "No");
    EXPECT_EQ(Cell(2, 11), "C");
}

TEST_F(WindowTest, LongValueFromTheFileIsKeptWhole) {
    Start();
    const std::string longValue(300, 'v');
    Open(0, files.Write("long.xml", DataFile("", longValue, "A")));
    EXPECT_EQ(Cell(1, 12), longValue);
}

TEST_F(WindowTest, BundledSamplesLoadUnderEveryConfiguration) {
    const char* source = std::getenv("RAVLEN_SOURCE_DIR");
    if (!source)
        GTEST_SKIP() << "RAVLEN_SOURCE_DIR not set";
    const std::string samples = std::string(source) + "/samples/";
    Start(ReadFileBytes(samples + "ravlen.lib"));
    ASSERT_EQ(window->cmbConfig->count(), 3);
    Open(0, samples + "orders-origin.xml");
    EXPECT_TRUE(window->bOriginFile);
    EXPECT_EQ(window->Grid->MaxRows(), 5);
    Open(0, samples + "orders-2004-11.xml");
    EXPECT_FALSE(window->bOriginFile);
    EXPECT_EQ(Cell(3, 12), "Miller & Sons");
    Open(1, samples + "orders-origin.xml");
    EXPECT_EQ(window->Grid->MaxRows(), 4); // that file has no phone number
    Open(2, samples + "orders-2004-11.xml");
    ASSERT_EQ(window->Grid->MaxRows(), 4); // nor a discount
    EXPECT_EQ(Cell(1, 12), "A-2045");
    EXPECT_EQ(Cell(3, 12), "2");
    EXPECT_EQ(Cell(4, 12), "Item");
    EXPECT_TRUE(boxes.shown().empty());
}

// --- Editing ---

TEST_F(WindowTest, TypingAValueMarksTheRowAndEnablesSaving) {
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
}

TEST_F(WindowTest, EditingAnOriginFileEnablesOnlySaveAs) {
    Start();
    Show();
    Open(0, files.Write("origin.xml", DataFile("ORIG", "1", "A")));
    TypeValue(1, "2");
    TypeValue(2, "B");
    EXPECT_FALSE(window->pbSave->isEnabled());
    EXPECT_TRUE(window->pbSaveAs->isEnabled());
    EXPECT_EQ(Cell(1, 2), "1");
    EXPECT_EQ(Cell(2, 2), "1");
}

TEST_F(WindowTest, RetypingTheSameValueCountsButLookingDoesNot) {
    Start();
    Show();
    Open(0, files.Write("order.xml", DataFile("", "4711", "Miller")));
    QTest::keyClick(window->Grid, Qt::Key_F2);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCoreApplication::processEvents();
    EXPECT_FALSE(window->bDataChanged);
    EXPECT_EQ(Cell(1, 2), "0");
    TypeValue(1, "4711");
    EXPECT_TRUE(window->bDataChanged);
    EXPECT_EQ(Cell(1, 2), "1");
}

TEST_F(WindowTest, ValueTypingStopsAt255AndFieldColumnIsNotEditable) {
    Start();
    Show();
    Open(0, files.Write("order.xml", DataFile("", "1", "A")));
    TypeValue(1, QString(300, 'x'));
    EXPECT_EQ(Cell(1, 12), std::string(255, 'x'));

    window->Grid->SetActiveCell(11, 2);
    QTest::keyClick(window->Grid, Qt::Key_F2);
    QTest::keyClicks(window->Grid, "zz");
    EXPECT_EQ(Cell(2, 11), "Customer");
    EXPECT_EQ(Cell(2, 2), "0");
}

TEST_F(WindowTest, TabPastTheLastCellMovesToSaveOnlyWhenItIsEnabled) {
    Start();
    Show();
    Open(0, files.Write("order.xml", DataFile("", "1", "A")));
    window->Grid->SetActiveCell(12, 2);
    QTest::keyClick(window->Grid, Qt::Key_Tab);
    EXPECT_NE(QApplication::focusWidget(), window->pbSave); // nothing edited yet

    TypeValue(2, "B");
    window->Grid->SetActiveCell(12, 2);
    window->Grid->setFocus();
    QTest::keyClick(window->Grid, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), window->pbSave);

    window->Grid->SetActiveCell(11, 1);
    window->Grid->setFocus();
    QTest::keyClick(window->Grid, Qt::Key_Backtab);
    EXPECT_NE(QApplication::focusWidget(), window->pbSave);
}

TEST_F(WindowTest, TabOutOfTheEditorInTheLastCellMovesToSave) {
    Start();
    Show();
    Open(0, files.Write("order.xml", DataFile("", "1", "A")));
    window->Grid->SetActiveCell(12, 2);
    QTest::keyClick(window->Grid, Qt::Key_F2);
    auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    ASSERT_NE(editor, nullptr);
    editor->end(false);
    QTest::keyClicks(editor, "Z");
    QTest::keyClick(editor, Qt::Key_Tab);
    QCoreApplication::processEvents();
    EXPECT_EQ(Cell(2, 12), "AZ");
    EXPECT_EQ(QApplication::focusWidget(), window->pbSave);
}

// --- Choosing and dropping files ---

TEST_F(WindowTest, SelectFileButtonShowsTheOpenDialogAndLoads) {
    Start();
    window->cmbConfig->setCurrentIndex(0);
    const std::string path = files.Write("order.xml", DataFile("", "5", "A"));
    dialogs.Answer(path);
    QTest::mouseClick(window->pbSelectFile, Qt::LeftButton);
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.shown()[0].mode, CommonDialog::Mode::Open);
    EXPECT_EQ(dialogs.shown()[0].fileName, "");
    EXPECT_EQ(dialogs.shown()[0].filter, "XML-Files (*.xml)|*.xml");
    EXPECT_EQ(window->txtXMLFile->text().toStdString(), path);
    EXPECT_EQ(Cell(1, 12), "5");
}

TEST_F(WindowTest, WithoutAConfigurationAChosenFileOnlyStandsInTheBox) {
    Start();
    const std::string path = files.Write("order.xml", DataFile("", "5", "A"));
    dialogs.Answer(path);
    window->pbSelectFile_Click();
    EXPECT_EQ(window->txtXMLFile->text().toStdString(), path);
    EXPECT_EQ(window->Grid->MaxRows(), 0);
    const std::string dropped = files.Write("other.XML", DataFile("", "5", "A"));
    Drop({QUrl::fromLocalFile(QString::fromStdString(dropped))});
    EXPECT_EQ(window->txtXMLFile->text().toStdString(), dropped);
    EXPECT_EQ(window->Grid->MaxRows(), 0);
}

TEST_F(WindowTest, DropAcceptsExactlyOneFileEndingInXmlAnyCase) {
    Start();
    window->cmbConfig->setCurrentIndex(0);
    const std::string content = DataFile("", "5", "A");
    auto url = [&](const std::string& name) {
        return QUrl::fromLocalFile(QString::fromStdString(files.Write(name, content)));
    };
    const std::vector<QList<QUrl>> ignored = {
        {url("a.xml.bak")},
        {url("a.txt")},
        {url("b.xml"), url("c.xml")},
        {QUrl("https://example.org/remote.xml")},
        {},
    };
    for (const QList<QUrl>& urls : ignored) {
        Drop(urls);
        EXPECT_TRUE(window->txtXMLFile->text().isEmpty());
        EXPECT_EQ(window->Grid->MaxRows(), 0);
    }
    QMimeData text;
    text.setText(QString::fromStdString(files.Path("a.xml")));
    window->txtXMLFile_OLEDragDrop(text);
    EXPECT_TRUE(window->txtXMLFile->text().isEmpty());

    for (const char* name : {"lower.xml", "UPPER.XML", "Mixed.XmL"}) {
        Drop({url(name)});
        EXPECT_EQ(window->txtXMLFile->text().toStdString(), files.Path(name));
        EXPECT_EQ(window->Grid->MaxRows(), 2) << name;
    }
    EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(WindowTest, RealDropEventOnTheSourceBoxLoadsTheFile) {
    Start();
    window->cmbConfig->setCurrentIndex(0);
    const std::string path = files.Write("order.xml", DataFile("", "5", "A"));
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(path))});
    const QPointF at(5, 5);
    QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window->txtXMLFile, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window->txtXMLFile, &drop);
    EXPECT_EQ(window->txtXMLFile->text().toStdString(), path);
    EXPECT_EQ(window->Grid->MaxRows(), 2);
}

// --- Layout ---

class LayoutTest : public WindowTest {
protected:
    void ResizeTwips(int32_t widthTwips, int32_t heightTwips) {
        window->resize(window->TwipsToPixels(widthTwips, true),
                       window->TwipsToPixels(heightTwips, false));
        const QSize wanted(window->TwipsToPixels(widthTwips, true),
                           window->TwipsToPixels(heightTwips, false));
        EXPECT_TRUE(QTest::qWaitFor([&] { return window->size() == wanted; }));
    }
    // The size the window reports, in twips, after a resize.
    int32_t W() const { return window->PixelsToTwips(window->width(), true); }
    int32_t H() const { return window->PixelsToTwips(window->height(), false); }
    QRect G(QWidget* w) const { return window->TwipsGeometry(w); }
};

TEST_F(LayoutTest, InitialArrangementInTwips) {
    Start();
    Show();
    EXPECT_EQ(window->nLastWidth, 12300);
    EXPECT_EQ(window->nLastHeight, 8670);
    EXPECT_EQ(G(window->Frame2), QRect(0, 1110, 12225, 6885));
    EXPECT_EQ(G(window->Grid), QRect(150, 240, 11955, 6435));
    EXPECT_EQ(G(window->pbExit), QRect(4440, 8160, 1275, 435));
    EXPECT_EQ(G(window->txtXMLFile), QRect(1650, 630, 9975, 345));
    // Pixels follow from the screen's logical resolution.
    EXPECT_EQ(window->Grid->width(), window->TwipsToPixels(11955, true));
    EXPECT_EQ(window->pbSave->y(), window->TwipsToPixels(8160, false));
}

TEST_F(LayoutTest, FramesAndGridFollowTheSizeButtonsTheLowerEdge) {
    Start();
    Show();
    const QRect frame1 = G(window->Frame1), frame2 = G(window->Frame2), grid = G(window->Grid);
    const QRect save = G(window->pbSave), version = G(window->lblVersion);
    const QRect combo = G(window->cmbConfig);
    ResizeTwips(12300 + 1500, 8670 + 1005);
    const int32_t dW = W() - 12300, dH = H() - 8670;
    EXPECT_EQ(window->nLastWidth, W());
    EXPECT_EQ(window->nLastHeight, H());
    EXPECT_EQ(G(window->Frame1), frame1.adjusted(0, 0, dW, 0));
    EXPECT_EQ(G(window->Frame2), frame2.adjusted(0, 0, dW, dH));
    EXPECT_EQ(G(window->Grid), grid.adjusted(0, 0, dW, dH));
    EXPECT_EQ(G(window->pbSave), save.translated(0, dH));
    EXPECT_EQ(G(window->lblVersion), version.translated(0, dH));
    EXPECT_EQ(G(window->cmbConfig), combo);
}

TEST_F(LayoutTest, LowWindowsAreLeftAloneUntilTheyReach4000) {
    Start();
    Show();
    const QRect grid = G(window->Grid);
    ResizeTwips(12300, 3990); // below 4000 at any common resolution
    EXPECT_EQ(window->nLastHeight, 8670);
    EXPECT_EQ(G(window->Grid), grid);
    ResizeTwips(12300, 4500);
    const int32_t dH = H() - 8670;
    EXPECT_EQ(G(window->Grid), grid.adjusted(0, 0, 0, dH));
    EXPECT_EQ(window->nLastHeight, H());
}

TEST_F(LayoutTest, HeightsAndTopsHaveFloors) {
    Start();
    window->nLastHeight += 20000; // as if the window had been far higher
    window->Form_Resize();
    EXPECT_EQ(G(window->Frame2).height(), 100);
    EXPECT_EQ(G(window->Grid).height(), 100);
    EXPECT_EQ(G(window->pbSave).top(), 0);
    EXPECT_EQ(G(window->lblVersion).top(), 0);
    EXPECT_EQ(G(window->Frame1).height(), 1125);
}

} // namespace
