#include "app/frmMainFixture.h"

#include <QComboBox>
#include <QPushButton>

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
        ASSERT_TRUE(window->bDataChanged);
    }

    void ExpectSavedState() {
        EXPECT_FALSE(window->bDataChanged);
        EXPECT_FALSE(window->bOriginFile);
        EXPECT_FALSE(window->pbSave->isEnabled());
        EXPECT_FALSE(window->pbSaveAs->isEnabled());
        for (int row = 1; row <= window->Grid->MaxRows(); ++row)
            EXPECT_EQ(Cell(row, 2), "0") << row;
    }

    std::vector<std::string> Titles() const {
        std::vector<std::string> titles;
        for (const auto& s : boxes.shown())
            titles.push_back(s.title);
        return titles;
    }
};

// --- Save and Save As ---

TEST_F(SaveTest, SaveWritesEveryRowInPlace) {
    const std::string path = files.Write("order.xml", DataFile("", "4711", "Miller"));
    OpenAndEdit(path, "Baker & <Co>");
    QTest::mouseClick(window->pbSave, Qt::LeftButton);
    EXPECT_TRUE(boxes.shown().empty());
    EXPECT_EQ(ValueIn(path, kCustomerPath), "Baker & <Co>");
    EXPECT_EQ(ValueIn(path, kNoPath), "4711");
    EXPECT_EQ(ValueIn(path, kNotePath), "keep?");
    ExpectSavedState();
    EXPECT_EQ(window->txtXMLFile->text().toStdString(), path);
}

TEST_F(SaveTest, EmptyValueEmptiesTheElement) {
    const std::string path = files.Write("order.xml", DataFile("", "4711", "Miller"));
    Start();
    Show();
    Open(0, path);
    window->Grid->SetText(2, 12, "");
    window->Grid_Change(12, 2);
    ASSERT_TRUE(window->SaveSourceFile());
    EXPECT_EQ(ValueIn(path, kCustomerPath), "");
}

TEST_F(SaveTest, SaveAsWritesTheNewFileAndMakesItCurrent) {
    const std::string path = files.Write("order.xml", DataFile("", "4711", "Miller"));
    OpenAndEdit(path);
    const std::string copy = files.Path("copy.xml");
    dialogs.Answer(""); // an empty name shows the dialog again
    dialogs.Answer(copy);
    QTest::mouseClick(window->pbSaveAs, Qt::LeftButton);
    ASSERT_EQ(dialogs.shown().size(), 2u);
    for (const auto& shown : dialogs.shown()) {
        EXPECT_EQ(shown.mode, CommonDialog::Mode::Save);
        EXPECT_EQ(shown.fileName, "");
        EXPECT_EQ(shown.initDir, files.dir());
        EXPECT_EQ(shown.filter, "XML-Files(*.xml) |*.xml");
        EXPECT_EQ(shown.defaultExt, "xml");
    }
    EXPECT_EQ(ValueIn(copy, kCustomerPath), "Edited");
    EXPECT_EQ(ValueIn(path, kCustomerPath), "Miller");
    EXPECT_EQ(window->txtXMLFile->text().toStdString(), copy);
    ExpectSavedState();

    TypeValue(1, "1");
    EXPECT_TRUE(window->pbSave->isEnabled());
    window->pbSave_Click();
    EXPECT_EQ(ValueIn(copy, kNoPath), "1");
}

TEST_F(SaveTest, SaveAsOfAnOrdinaryFileMayReplaceItself) {
    const std::string path = files.Write("order.xml", DataFile("", "4711", "Miller"));
    OpenAndEdit(path);
    dialogs.Answer(path);
    EXPECT_TRUE(window->SaveSourceFileAs());
    EXPECT_EQ(ValueIn(path, kCustomerPath), "Edited");
    EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(SaveTest, CancelledSaveAsChangesNothing) {
    const std::string path = files.Write("order.xml", DataFile("", "4711", "Miller"));
    OpenAndEdit(path);
    const std::string before = ReadFileBytes(path);
    dialogs.Cancel();
    EXPECT_FALSE(window->SaveSourceFileAs());
    EXPECT_TRUE(boxes.shown().empty());
    EXPECT_TRUE(window->bDataChanged);
    EXPECT_TRUE(window->pbSave->isEnabled());
    EXPECT_TRUE(window->pbSaveAs->isEnabled());
    EXPECT_EQ(Cell(2, 2), "1");
    EXPECT_EQ(ReadFileBytes(path), before);
}

TEST_F(SaveTest, OriginFileIsRefusedUnderAnyNameForItself) {
    const std::string origin = files.Write("orig.xml", DataFile("TEMPLATE", "1", "Blank"));
    const std::string before = ReadFileBytes(origin);
    fs::create_symlink(origin, files.Path("link.xml"));
    fs::create_hard_link(origin, files.Path("hard.xml"));
    fs::create_directory(files.Path("sub"));
    OpenAndEdit(origin);
    ASSERT_TRUE(window->bOriginFile);
    const std::vector<std::string> aliases = {files.Path("ORIG.XML"), files.dir() + "/./orig.xml",
                                              files.dir() + "/sub/../orig.xml",
                                              files.Path("link.xml"), files.Path("hard.xml")};
    for (const std::string& alias : aliases)
        dialogs.Answer(alias);
    const std::string target = files.Path("new.xml");
    dialogs.Answer(target);
    window->pbSaveAs_Click();

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
    EXPECT_EQ(window->txtXMLFile->text().toStdString(), target);
    ExpectSavedState();
    TypeValue(1, "2");
    EXPECT_TRUE(window->pbSave->isEnabled());
}

TEST_F(SaveTest, FailedSaveReportsAndKeepsFlagsButtonsAndPath) {
    const std::string path = files.Write("order.xml", DataFile("", "4711", "Miller"));
    OpenAndEdit(path);
    const std::string before = ReadFileBytes(path);
    // A folder in the target's place cannot be replaced by a file, for any user.
    const std::string blocked = files.Path("blocked.xml");
    fs::create_directory(blocked);
    dialogs.Answer(blocked);
    EXPECT_FALSE(window->SaveSourceFileAs());
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].title, "Error while saving xml-data");
    EXPECT_EQ(boxes.shown()[0].text.rfind("60000 ", 0), 0u) << boxes.shown()[0].text;
    EXPECT_TRUE(window->bDataChanged);
    EXPECT_TRUE(window->pbSave->isEnabled());
    EXPECT_TRUE(window->pbSaveAs->isEnabled());
    EXPECT_EQ(window->txtXMLFile->text().toStdString(), path);
    EXPECT_EQ(Cell(2, 2), "0"); // written into the document before the failure
    EXPECT_EQ(ReadFileBytes(path), before);
}

TEST_F(SaveTest, ReadOnlyTargetFailsTheSave) {
    const std::string path = files.Write("order.xml", DataFile("", "4711", "Miller"));
    OpenAndEdit(path);
    const std::string before = ReadFileBytes(path);
    fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    window->pbSave_Click();
    fs::permissions(path, fs::perms::owner_write, fs::perm_options::add);
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].title, "Error while saving xml-data");
    EXPECT_EQ(boxes.shown()[0].text.rfind("60000 ", 0), 0u);
    EXPECT_TRUE(window->bDataChanged);
    EXPECT_TRUE(window->pbSave->isEnabled());
    EXPECT_EQ(ReadFileBytes(path), before);
}

// --- The unsaved-changes guard ---

TEST_F(SaveTest, ChoosingAConfigurationAsksFirst) {
    const std::string path = files.Write("order.xml", DataFile("", "4711", "Miller"));
    OpenAndEdit(path);
    boxes.Answer(MsgAnswer::Cancel);
    window->cmbConfig->setCurrentIndex(1);
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].text, "Save changed data?");
    EXPECT_EQ(boxes.shown()[0].title, "Save data");
    EXPECT_EQ(boxes.shown()[0].buttons, MsgButtons::YesNoCancel);
    EXPECT_EQ(window->cmbConfig->currentIndex(), 1); // the list shows the new choice
    EXPECT_EQ(Cell(2, 12), "Edited");                // with the old rows
    EXPECT_TRUE(window->bDataChanged);

    boxes.Answer(MsgAnswer::No);
    window->cmbConfig->setCurrentIndex(0);
    EXPECT_EQ(Cell(2, 12), "Miller"); // edits dropped, nothing written
    EXPECT_FALSE(window->bDataChanged);
    EXPECT_EQ(ValueIn(path, kCustomerPath), "Miller");

    TypeValue(2, "Saved");
    boxes.Answer(MsgAnswer::Yes);
    window->cmbConfig->setCurrentIndex(1);
    EXPECT_EQ(ValueIn(path, kCustomerPath), "Saved");
    EXPECT_EQ(Cell(1, 11), "Who");
    // After a save nothing more is asked.
    boxes.Clear();
    window->cmbConfig->setCurrentIndex(0);
    EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(SaveTest, FileButtonAsksBeforeItsDialog) {
    const std::string path = files.Write("order.xml", DataFile("", "4711", "Miller"));
    OpenAndEdit(path);
    boxes.Answer(MsgAnswer::Cancel);
    window->pbSelectFile_Click(); // no dialog is scripted: none may appear
    EXPECT_TRUE(window->pbSave->isEnabled());

    boxes.Answer(MsgAnswer::No);
    dialogs.Cancel();
    window->pbSelectFile_Click();
    EXPECT_EQ(window->txtXMLFile->text().toStdString(), path);
    EXPECT_EQ(Cell(2, 12), "Edited");
    EXPECT_TRUE(window->bDataChanged);
    EXPECT_FALSE(window->pbSave->isEnabled());
    EXPECT_FALSE(window->pbSaveAs->isEnabled());
    EXPECT_EQ(Titles(), (std::vector<std::string>{"Save data", "Save data"}));

    const std::string other = files.Write("other.xml", DataFile("", "9", "Other"));
    boxes.Answer(MsgAnswer::Yes);
    dialogs.Answer(other);
    window->pbSelectFile_Click();
    EXPECT_EQ(ValueIn(path, kCustomerPath), "Edited");
    EXPECT_EQ(Cell(2, 12), "Other");
    EXPECT_FALSE(window->bDataChanged);
}

TEST_F(SaveTest, DropAsksAndYesOnAnOriginFileGoesThroughSaveAs) {
    const std::string origin = files.Write("orig.xml", DataFile("TEMPLATE", "1", "Blank"));
    const std::string other = files.Write("other.xml", DataFile("", "9", "Other"));
    OpenAndEdit(origin);
    const QUrl dropped = QUrl::fromLocalFile(QString::fromStdString(other));

    boxes.Answer(MsgAnswer::Cancel);
    Drop({dropped});
    boxes.Answer(MsgAnswer::Yes);
    dialogs.Cancel();
    Drop({dropped});
    EXPECT_EQ(window->txtXMLFile->text().toStdString(), origin);
    EXPECT_EQ(Cell(2, 12), "Edited");
    EXPECT_TRUE(window->bDataChanged);
    EXPECT_EQ(dialogs.shown().at(0).mode, CommonDialog::Mode::Save);

    boxes.Answer(MsgAnswer::No);
    Drop({dropped});
    EXPECT_EQ(window->txtXMLFile->text().toStdString(), other);
    EXPECT_EQ(Cell(2, 12), "Other");
    EXPECT_FALSE(window->bDataChanged);
    EXPECT_EQ(ValueIn(origin, kCustomerPath), "Blank");
}

TEST_F(SaveTest, ClosingWithoutEditsAsksNothing) {
    Start();
    Show();
    Open(0, files.Write("order.xml", DataFile("", "4711", "Miller")));
    EXPECT_TRUE(window->close());
    EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(SaveTest, ClosingWithEditsFollowsTheAnswer) {
    const std::string path = files.Write("order.xml", DataFile("", "4711", "Miller"));
    OpenAndEdit(path);
    boxes.Answer(MsgAnswer::Cancel);
    QTest::mouseClick(window->pbExit, Qt::LeftButton);
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->bDataChanged);
    EXPECT_TRUE(window->pbSave->isEnabled());

    // A failed save keeps the window open after its message.
    fs::permissions(path, fs::perms::owner_read);
    boxes.Answer(MsgAnswer::Yes);
    EXPECT_FALSE(window->close());
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(boxes.shown().back().title, "Error while saving xml-data");

    boxes.Answer(MsgAnswer::Yes);
    EXPECT_TRUE(window->close());
    EXPECT_EQ(ValueIn(path, kCustomerPath), "Edited");
}

TEST_F(SaveTest, ClosingWithNoWritesNothingAndOriginYesOpensSaveAs) {
    const std::string path = files.Write("order.xml", DataFile("", "4711", "Miller"));
    OpenAndEdit(path);
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
