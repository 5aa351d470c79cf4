#include "app/main/frmMainFixture.h"

#include "app/shared/QtPlatform.h"

#include <QComboBox>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <deque>

#include <filesystem>

namespace {

namespace fs = std::filesystem;

// The values of a saved file, in document order: Original, Note, No, No's FlowType, Customer.
std::string ValuesIn(const std::string& file) {
    DOMWrapper doc;
    doc.Load(file, kRidoRuduDeclaration);
    std::string values;
    for (const char* path :
         {"//FD:Field[@Name='Original']", "//FD:Field[@Name='Note']", "//FD:Field[@Name='No']",
          "//FD:Field[@Name='No']/@FlowType", "//FD:Field[@Name='Customer']"})
        values += "|" + doc.GetElementValue(path, false);
    return values.substr(1);
}

class SaveTest : public WindowTest {
protected:
    // Starts the window, opens a file under configuration 001 and edits its customer.
    void OpenAndEdit(const std::string& path, const std::string& customer = "Edited") {
        StartShown();
        Open(0, path);
        TypeValue(2, QString::fromStdString(customer));
    }

    void ExpectSavedState(const std::string& path) {
        EXPECT_EQ(Path(), path);
        EXPECT_FALSE(AsksToSave());
        EXPECT_EQ(Enabled(), "pbExporttoExcel");
        EXPECT_EQ(Cell(1, 2) + Cell(2, 2), "00");
    }
};

// --- Save and Save As ---

TEST_F(SaveTest, SaveWritesInPlaceSaveAsMakesTheNewFileCurrentAndReadOnlyFails) {
    const std::string path = files.Write("order.xml", DataFile("", "4711", "Miller"));
    const auto shared = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                        fs::perms::group_write;
    fs::permissions(path, shared);
    OpenAndEdit(path, "Baker & <Co>");
    Click("pbSave");
    EXPECT_TRUE(boxes.shown().empty());
    EXPECT_EQ(ValuesIn(path), "|keep?|4711|2|Baker & <Co>");
    EXPECT_EQ(fs::status(path).permissions(), shared); // the replaced file keeps them
    ExpectSavedState(path);

    TypeValue(2, "Edited");
    const std::string copy = files.Path("copy.xml");
    dialogs.Answer(""); // an empty name shows the dialog again
    dialogs.Answer(copy);
    Click("pbSaveAs");
    ASSERT_EQ(dialogs.shown().size(), 2u);
    EXPECT_EQ(ValuesIn(copy), "|keep?|4711|2|Edited");
    EXPECT_EQ(ValuesIn(path), "|keep?|4711|2|Baker & <Co>");
    ExpectSavedState(copy);

    TypeValue(1, "1");
    Click("pbSave");
    EXPECT_EQ(ValuesIn(copy), "|keep?|1|2|Edited");

    TypeValue(2, "Again");
    fs::permissions(copy, fs::perms::owner_read);
    Click("pbSave");
    fs::permissions(copy, fs::perms::owner_write, fs::perm_options::add);
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].title, "Error while saving xml-data");
    EXPECT_EQ(boxes.shown()[0].text.rfind("60000 ", 0), 0u);
    EXPECT_NE(boxes.shown()[0].details.find("denied"), std::string::npos)
        << boxes.shown()[0].details;
    EXPECT_FALSE(boxes.shown()[0].waitCursor);
    EXPECT_TRUE(AsksToSave());
    EXPECT_EQ(Enabled(), "pbSave pbSaveAs pbExporttoExcel");
}

TEST_F(SaveTest, OriginFileIsRefusedUnderAnyNameForItself) {
    const std::string origin = files.Write("orig.xml", DataFile("TEMPLATE", "1", "Blank"));
    const std::string before = ReadFileBytes(origin);
    fs::create_symlink(origin, files.Path("link.xml"));
    OpenAndEdit(origin);
    for (const char* alias : {"ORIG.XML", "link.xml", "new.xml"})
        dialogs.Answer(files.Path(alias));
    Click("pbSaveAs");

    ASSERT_EQ(boxes.shown().size(), 2u);
    for (size_t i : {0u, 1u})
        EXPECT_EQ(Box(i), "Error: You can't overwrite the origin XML-File");
    EXPECT_EQ(ReadFileBytes(origin), before);
    // The new file carries the configured fields; every other value is emptied.
    EXPECT_EQ(ValuesIn(files.Path("new.xml")), "||1|2|Edited");
    ExpectSavedState(files.Path("new.xml"));
    TypeValue(1, "2"); // the new file is no origin
    EXPECT_EQ(Enabled(), "pbSave pbSaveAs pbExporttoExcel");
}

TEST_F(SaveTest, OriginRefusalComesBeforeTheRealDialogsReplaceQuestion) {
    const std::string origin = files.Write("orig.xml", DataFile("TEMPLATE", "1", "Blank"));
    const std::string other = files.Write("other.xml", DataFile("", "9", "Old"));
    OpenAndEdit(origin);
    InstallQtPlatform();
    ScriptedMessageBox refusals; // the window's own boxes, after the Qt ones
    // Answers the real save dialog with the origin, then with another existing file, and
    // says Yes to every question of the dialog's own.
    std::deque<std::string> names = {origin, other};
    std::vector<std::string> questions;
    bool pending = false;
    QTimer driver;
    QObject::connect(&driver, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* question = qobject_cast<QMessageBox*>(modal)) {
            questions.push_back(question->text().toStdString());
            question->button(QMessageBox::Yes)->click();
        } else if (auto* dialog = qobject_cast<QFileDialog*>(modal); dialog && !pending) {
            if (names.empty())
                return dialog->reject();
            auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            ASSERT_NE(name, nullptr);
            name->setText(QString::fromStdString(names.front()));
            names.pop_front();
            // Queued: a question the dialog asks runs outside this tick, so ticks go on.
            pending = true;
            QMetaObject::invokeMethod(
                name,
                [&pending, name] {
                    pending = false;
                    QTest::keyClick(name, Qt::Key_Return);
                },
                Qt::QueuedConnection);
        }
    });
    driver.start(10);
    Click("pbSaveAs");
    driver.stop();

    ASSERT_EQ(refusals.shown().size(), 1u);
    EXPECT_EQ(refusals.shown()[0].text, "You can't overwrite the origin XML-File");
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_NE(questions[0].find("other.xml"), std::string::npos) << questions[0];
    EXPECT_EQ(Path(), other);
    EXPECT_EQ(ValuesIn(other).substr(ValuesIn(other).rfind('|') + 1), "Edited");
}

// --- The unsaved-changes guard ---

TEST_F(SaveTest, FileChangedOnDiskIsOverwrittenOnlyWhenTheUserSaysSo) {
    const std::string path = files.Write("order.xml", DataFile("", "4711", "Miller"));
    OpenAndEdit(path);
    // Another program changes a value after the load.
    files.Write("order.xml", DataFile("", "4712", "Miller"));
    const std::string theirs = ReadFileBytes(path);

    boxes.Answer(MsgAnswer::Cancel);
    QTest::keyClick(window.get(), Qt::Key_S, Qt::ControlModifier);
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].title, "Save data");
    EXPECT_EQ(boxes.shown()[0].text, "The file " + path +
                                         " changed on disk since it was loaded.\nOverwrite it "
                                         "with the values shown here?");
    EXPECT_EQ(boxes.shown()[0].buttons, MsgButtons::OverwriteCancel);
    EXPECT_EQ(ReadFileBytes(path), theirs);
    EXPECT_EQ(Enabled(), "pbSave pbSaveAs pbExporttoExcel");
    EXPECT_EQ(Cell(2, 2), "1");

    // The close guard's save asks the same; Cancel keeps the window and its edits.
    boxes.Answer(MsgAnswer::Yes);
    boxes.Answer(MsgAnswer::Cancel);
    EXPECT_FALSE(window->close());
    EXPECT_EQ(boxes.shown().back().buttons, MsgButtons::OverwriteCancel);
    EXPECT_EQ(ReadFileBytes(path), theirs);
    EXPECT_TRUE(AsksToSave());

    boxes.Answer(MsgAnswer::Yes);
    Click("pbSave");
    EXPECT_EQ(ValuesIn(path), "|keep?|4711|2|Edited");
    // Saved: the file on disk is the one the window knows again.
    boxes.Clear();
    TypeValue(2, "Again");
    Click("pbSave");
    EXPECT_TRUE(boxes.shown().empty());
    EXPECT_EQ(ValuesIn(path), "|keep?|4711|2|Again");
}

TEST_F(SaveTest, ChoosingAConfigurationOrClosingAsksFirst) {
    const std::string path = files.Write("order.xml", DataFile("", "4711", "Miller"));
    OpenAndEdit(path);
    boxes.Answer(MsgAnswer::Cancel);
    ConfigList()->setCurrentIndex(1);
    EXPECT_EQ(Box(0), "Save data: Save changed data?");
    EXPECT_EQ(boxes.shown()[0].buttons, MsgButtons::YesNoCancel);
    EXPECT_EQ(ConfigList()->currentIndex(), 1); // the list shows the new choice
    EXPECT_EQ(Cell(2, 12), "Edited");           // with the old rows
    EXPECT_TRUE(AsksToSave());

    boxes.Answer(MsgAnswer::No);
    ConfigList()->setCurrentIndex(0);
    EXPECT_EQ(Cell(2, 12), "Miller"); // edits dropped, nothing written
    EXPECT_FALSE(AsksToSave());
    EXPECT_EQ(ValuesIn(path), "|keep?|4711|2|Miller");

    TypeValue(2, "Saved");
    boxes.Answer(MsgAnswer::Yes);
    ConfigList()->setCurrentIndex(1);
    EXPECT_EQ(ValuesIn(path), "|keep?|4711|2|Saved");
    EXPECT_EQ(Cell(1, 11), "Who");
    EXPECT_FALSE(AsksToSave());

    // Closing asks too: No closes without writing; Yes on an origin file opens Save As.
    TypeValue(1, "Dropped");
    boxes.Answer(MsgAnswer::No);
    EXPECT_TRUE(window->close());
    EXPECT_EQ(ValuesIn(path), "|keep?|4711|2|Saved");
    OpenAndEdit(files.Write("orig.xml", DataFile("TEMPLATE", "1", "Blank")));
    boxes.Answer(MsgAnswer::Yes);
    dialogs.Cancel();
    EXPECT_FALSE(window->close());
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(dialogs.shown().size(), 1u);
    boxes.Answer(MsgAnswer::No);
    EXPECT_TRUE(window->close());
}

} // namespace
