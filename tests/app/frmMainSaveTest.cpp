#include "app/frmMainFixture.h"

#include "app/QtPlatform.h"

#include <QComboBox>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <deque>

#include <filesystem>

namespace {

namespace fs = std::filesystem;

constexpr const char* kNoPath = "FD:R/FD:Datas[@Table='Order']/FD:Field[@Name='No']";
constexpr const char* kCustomerPath = "FD:R/FD:Datas[@Table='Order']/FD:Field[@Name='Customer']";
constexpr const char* kNotePath = "FD:R/FD:Datas[@Table='Head']/FD:Field[@Name='Note']";

std::string ValueIn(const std::string& file, const std::string& path) {
    DOMWrapper doc;
    doc.Load(file, kRidoRuduDeclaration);
    return doc.GetElementValue(path, false);
}

class SaveTest : public WindowTest {
protected:
    // Starts the window, opens a file under configuration 001 and edits its customer.
    void OpenAndEdit(const std::string& path, const std::string& customer = "Edited") {
        Start();
        Show();
        Open(0, path);
        TypeValue(2, QString::fromStdString(customer));
    }

    void ExpectSavedState() {
        EXPECT_FALSE(AsksToSave());
        EXPECT_FALSE(Button("pbSave")->isEnabled());
        EXPECT_FALSE(Button("pbSaveAs")->isEnabled());
        for (int row = 1; row <= Grid()->MaxRows(); ++row)
            EXPECT_EQ(Cell(row, 2), "0") << row;
    }
};

// --- Save and Save As ---

TEST_F(SaveTest, SaveWritesInPlaceAndSaveAsMakesTheNewFileCurrent) {
    const std::string path = files.Write("order.xml", DataFile("", "4711", "Miller"));
    OpenAndEdit(path, "Baker & <Co>");
    Click("pbSave");
    EXPECT_TRUE(boxes.shown().empty());
    EXPECT_EQ(ValueIn(path, kCustomerPath), "Baker & <Co>");
    EXPECT_EQ(ValueIn(path, kNoPath), "4711");
    EXPECT_EQ(ValueIn(path, kNotePath), "keep?");
    ExpectSavedState();
    EXPECT_EQ(Path(), path);

    TypeValue(2, "Edited");
    const std::string copy = files.Path("copy.xml");
    dialogs.Answer(""); // an empty name shows the dialog again
    dialogs.Answer(copy);
    Click("pbSaveAs");
    ASSERT_EQ(dialogs.shown().size(), 2u);
    for (const auto& shown : dialogs.shown()) {
        EXPECT_EQ(shown.mode, CommonDialog::Mode::Save);
        EXPECT_EQ(shown.fileName, "");
        EXPECT_EQ(shown.initDir, files.dir());
        EXPECT_EQ(shown.filter, "XML-Files(*.xml) |*.xml");
        EXPECT_EQ(shown.defaultExt, "xml");
    }
    EXPECT_EQ(ValueIn(copy, kCustomerPath), "Edited");
    EXPECT_EQ(ValueIn(path, kCustomerPath), "Baker & <Co>");
    EXPECT_EQ(Path(), copy);
    ExpectSavedState();

    TypeValue(1, "1");
    Click("pbSave");
    EXPECT_EQ(ValueIn(copy, kNoPath), "1");
}

TEST_F(SaveTest, OriginFileIsRefusedUnderAnyNameForItself) {
    const std::string origin = files.Write("orig.xml", DataFile("TEMPLATE", "1", "Blank"));
    const std::string before = ReadFileBytes(origin);
    fs::create_symlink(origin, files.Path("link.xml"));
    OpenAndEdit(origin);
    ASSERT_FALSE(Button("pbSave")->isEnabled());
    const std::vector<std::string> aliases = {files.Path("ORIG.XML"), files.Path("link.xml")};
    for (const std::string& alias : aliases)
        dialogs.Answer(alias);
    const std::string target = files.Path("new.xml");
    dialogs.Answer(target);
    Click("pbSaveAs");

    ASSERT_EQ(boxes.shown().size(), aliases.size());
    for (const auto& shown : boxes.shown()) {
        EXPECT_EQ(shown.text, "You can't overwrite the origin XML-File");
        EXPECT_EQ(shown.title, "Error");
        EXPECT_EQ(shown.buttons, MsgButtons::OK);
    }
    EXPECT_EQ(dialogs.shown().size(), aliases.size() + 1);
    EXPECT_EQ(ReadFileBytes(origin), before);
    EXPECT_FALSE(fs::exists(files.Path("ORIG.XML")));

    // The new file carries the configured fields; every other value is emptied.
    EXPECT_EQ(ValueIn(target, kCustomerPath), "Edited");
    EXPECT_EQ(ValueIn(target, kNoPath), "1");
    EXPECT_EQ(ValueIn(target, kNotePath), "");
    EXPECT_EQ(ValueIn(target, "FD:R/FD:Datas[@Table='Head']/FD:Field[@Name='Original']"), "");
    EXPECT_EQ(ValueIn(target, "FD:R/FD:Datas[@Table='Order']/FD:Field[@Name='No']/@FlowType"), "2");
    EXPECT_EQ(Path(), target);
    ExpectSavedState();
    TypeValue(1, "2"); // the new file is no origin
    EXPECT_TRUE(Button("pbSave")->isEnabled());
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
    EXPECT_EQ(ValueIn(other, kCustomerPath), "Edited");
}

TEST_F(SaveTest, ReplacedFileKeepsItsPermissionsAndAReadOnlyOneFailsTheSave) {
    const std::string path = files.Write("order.xml", DataFile("", "4711", "Miller"));
    const auto shared = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                        fs::perms::group_write;
    fs::permissions(path, shared);
    OpenAndEdit(path);
    Click("pbSave");
    EXPECT_EQ(ValueIn(path, kCustomerPath), "Edited");
    EXPECT_EQ(fs::status(path).permissions(), shared);

    TypeValue(2, "Again");
    fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    Click("pbSave");
    fs::permissions(path, fs::perms::owner_write, fs::perm_options::add);
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].title, "Error while saving xml-data");
    EXPECT_EQ(boxes.shown()[0].text.rfind("60000 ", 0), 0u);
    EXPECT_NE(boxes.shown()[0].details.find("denied"), std::string::npos)
        << boxes.shown()[0].details;
    EXPECT_FALSE(boxes.shown()[0].waitCursor);
    EXPECT_TRUE(AsksToSave());
    EXPECT_TRUE(Button("pbSave")->isEnabled());
}

// --- The unsaved-changes guard ---

TEST_F(SaveTest, ChoosingAConfigurationAsksFirst) {
    const std::string path = files.Write("order.xml", DataFile("", "4711", "Miller"));
    OpenAndEdit(path);
    boxes.Answer(MsgAnswer::Cancel);
    ConfigList()->setCurrentIndex(1);
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].text, "Save changed data?");
    EXPECT_EQ(boxes.shown()[0].title, "Save data");
    EXPECT_EQ(boxes.shown()[0].buttons, MsgButtons::YesNoCancel);
    EXPECT_EQ(ConfigList()->currentIndex(), 1); // the list shows the new choice
    EXPECT_EQ(Cell(2, 12), "Edited");           // with the old rows
    EXPECT_TRUE(AsksToSave());

    boxes.Answer(MsgAnswer::No);
    ConfigList()->setCurrentIndex(0);
    EXPECT_EQ(Cell(2, 12), "Miller"); // edits dropped, nothing written
    EXPECT_FALSE(AsksToSave());
    EXPECT_EQ(ValueIn(path, kCustomerPath), "Miller");

    TypeValue(2, "Saved");
    boxes.Answer(MsgAnswer::Yes);
    ConfigList()->setCurrentIndex(1);
    EXPECT_EQ(ValueIn(path, kCustomerPath), "Saved");
    EXPECT_EQ(Cell(1, 11), "Who");
    // After a save nothing more is asked.
    boxes.Clear();
    ConfigList()->setCurrentIndex(0);
    EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(SaveTest, ClosingAsksOnlyAfterEditsAndOriginYesOpensSaveAs) {
    const std::string path = files.Write("order.xml", DataFile("", "4711", "Miller"));
    Start();
    Show();
    Open(0, path);
    EXPECT_TRUE(window->close());
    EXPECT_TRUE(boxes.shown().empty());

    Show();
    TypeValue(2, "Edited");
    boxes.Answer(MsgAnswer::No);
    EXPECT_TRUE(window->close());
    EXPECT_EQ(ValueIn(path, kCustomerPath), "Miller");

    const std::string origin = files.Write("orig.xml", DataFile("TEMPLATE", "1", "Blank"));
    OpenAndEdit(origin);
    boxes.Answer(MsgAnswer::Yes);
    dialogs.Cancel();
    EXPECT_FALSE(window->close());
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(dialogs.shown().size(), 1u);
    boxes.Answer(MsgAnswer::No);
    EXPECT_TRUE(window->close());
}

} // namespace
