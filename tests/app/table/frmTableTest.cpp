#include "app/table/frmTable.h"
#include "app/main/frmMainFixture.h"
#include "support/DesktopSandbox.h"
#include "support/XlsxReader.h"

#include <QAbstractItemModel>
#include <QCheckBox>
#include <QClipboard>
#include <QDialog>
#include <QHeaderView>
#include <QItemSelection>
#include <QLabel>
#include <QPointer>
#include <QTableView>

#include <filesystem>

namespace {

namespace fs = std::filesystem;

const bool kSandboxed = (UseDesktopSandbox({"application/octet-stream", "application/zip"}), true);

constexpr const char* kCustomerPath = "FD:R/FD:Datas[@Table='Order']/FD:Field[@Name='Customer']";
constexpr const char* kNotePath = "FD:R/FD:Datas[@Table='Head']/FD:Field[@Name='Note']";
// Columns of configuration 001: the file, then Number, Gone (in no file) and Customer.
constexpr int kNumber = 1, kGone = 2, kCustomer = 3;

std::string ValueIn(const std::string& file, const std::string& path) {
    DOMWrapper doc;
    doc.Load(file, kRidoRuduDeclaration);
    return doc.GetElementValue(path, false);
}

class TableTest : public testing::Test {
protected:
    void TearDown() override { delete window.data(); }

    // Opens the table under configuration 001 (or 002) on the given paths and shows it.
    void Open(const QStringList& paths, int32_t number = 1) {
        DOMWrapper configDoc;
        configDoc.Load(files.Write("ravlen.lib", kTestConfig), "");
        window = frmTable::OpenTable(ReadConfiguration(configDoc, number), paths);
        ASSERT_NE(window, nullptr);
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    }
    QString Write(const std::string& name, const std::string& original, const std::string& no,
                  const std::string& customer) {
        return QString::fromStdString(files.Write(name, DataFile(original, no, customer)));
    }

    QTableView* Table() const { return window->findChild<QTableView*>("tblFiles"); }
    QAbstractItemModel* Model() const { return Table()->model(); }
    QPushButton* Button(const char* name) const { return window->findChild<QPushButton*>(name); }
    void Click(const char* name) { QTest::mouseClick(Button(name), Qt::LeftButton); }
    QVariant At(int row, int col, int role = Qt::DisplayRole) const {
        return Model()->index(row, col).data(role);
    }
    bool Editable(int row, int col) const {
        return Model()->index(row, col).flags().testFlag(Qt::ItemIsEditable);
    }
    bool Changed(int row, int col) const {
        return At(row, col, TableDocument::ChangedRole).toBool();
    }
    QString RowHeader(int row) const { return Model()->headerData(row, Qt::Vertical).toString(); }

    // Pastes text from the clipboard at a cell, clicked, with the window's paste key.
    void Paste(int row, int col, const QString& text) {
        QApplication::clipboard()->setText(text);
        const QModelIndex index = Model()->index(row, col);
        Table()->scrollTo(index);
        QTest::mouseClick(Table()->viewport(), Qt::LeftButton, {},
                          Table()->visualRect(index).center());
        QTest::keyClick(Table(), Qt::Key_V, Qt::ControlModifier);
    }
    // Whether closing asks to save; the question is answered as given.
    bool CloseAsks(MsgAnswer answer) {
        const size_t before = boxes.shown().size();
        boxes.Answer(answer);
        window->close();
        QCoreApplication::processEvents();
        if (boxes.shown().size() == before)
            return false;
        EXPECT_EQ(boxes.shown().back().text, "Save changed data?");
        EXPECT_EQ(boxes.shown().back().title, "Save data");
        EXPECT_EQ(boxes.shown().back().buttons, MsgButtons::YesNoCancel);
        return true;
    }

    TempFiles files;
    ScriptedMessageBox boxes;
    ScriptedFileDialog dialogs;
    QPointer<frmTable> window;
};

TEST_F(TableTest, FolderAndFilesGiveOneRowPerFileInNameOrder) {
    fs::create_directories(files.Path("month"));
    Write("month/b.xml", "", "002", "Bauer");
    Write("month/A.XML", "", "001", "Adler");
    files.Write("month/notes.txt", "not data");
    files.Write("month/broken.xml", "<FD:R xmlns:FD=\"x\"><open></FD:R>");
    const QString origin = Write("origin.xml", "yes", "009", "Origin");
    const QString other = QString::fromStdString(files.Write(
        "other.xml", "<R xmlns=\"http://example.org/other\"><Field Name=\"No\">1</Field></R>"));
    Open({QString::fromStdString(files.Path("month")), origin, other});

    ASSERT_EQ(Model()->rowCount(), 5);
    QStringList names, folders;
    for (int row = 0; row < 5; ++row) {
        names << At(row, 0).toString();
        folders << At(row, 1).toString();
    }
    EXPECT_EQ(names, QStringList({"A.XML", "b.xml", "broken.xml", "origin.xml", "other.xml"}));
    // Files of two folders: the Folder column tells them apart, from the folder above both.
    EXPECT_EQ(Model()->headerData(1, Qt::Horizontal).toString(), "Folder");
    EXPECT_EQ(folders, QStringList({"month", "month", "month", ".", "."}));
    const int shift = 1;
    EXPECT_EQ(At(3, 0, Qt::ToolTipRole).toString(), origin);
    EXPECT_EQ(Model()->headerData(kCustomer + shift, Qt::Horizontal).toString(), "Customer");
    EXPECT_EQ(Model()->headerData(kCustomer + shift, Qt::Horizontal, Qt::ToolTipRole).toString(),
              kCustomerPath);
    EXPECT_FALSE(Editable(1, 0));
    EXPECT_FALSE(Editable(1, 1));

    // A field the file does not hold: empty, greyed and not editable.
    EXPECT_EQ(At(1, kGone + shift).toString(), "");
    EXPECT_FALSE(Editable(1, kGone + shift));
    EXPECT_TRUE(At(1, kGone + shift, Qt::BackgroundRole).isValid());
    EXPECT_FALSE(At(1, kCustomer + shift, Qt::BackgroundRole).isValid());

    // Files that do not fit show why, in place of values.
    EXPECT_FALSE(At(2, kNumber + shift).toString().isEmpty());
    EXPECT_EQ(At(4, kNumber + shift).toString(),
              "XML-File can not handled by these configuration! The root element R is in the "
              "namespace http://example.org/other, not in RidoRudu's "
              "http://www.ridorudu.org/namespace/RidoRudu.");

    EXPECT_TRUE(RowHeader(3).contains("origin"));
    EXPECT_FALSE(RowHeader(1).contains("origin"));
    EXPECT_FALSE(Button("pbSave")->isEnabled());
    EXPECT_TRUE(boxes.shown().empty());
}

// Files are read several at once; each row still shows its own file.
TEST_F(TableTest, FilesReadTogetherKeepTheirOwnRows) {
    fs::create_directories(files.Path("many"));
    const auto name = [](int i) { return QStringLiteral("%1.xml").arg(i, 2, 10, QChar('0')); };
    for (int i = 0; i < 64; ++i)
        files.Write("many/" + name(i).toStdString(),
                    i % 7 == 3 ? "<FD:R"
                               : DataFile("", std::to_string(i), "C" + std::to_string(i)));
    Open({QString::fromStdString(files.Path("many"))});

    ASSERT_EQ(Model()->rowCount(), 64);
    for (int i = 0; i < 64; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(At(i, 0).toString(), name(i));
        EXPECT_EQ(Editable(i, kNumber), i % 7 != 3); // a broken file shows why instead
        EXPECT_EQ(At(i, kCustomer).toString(), i % 7 == 3 ? "" : QStringLiteral("C%1").arg(i));
    }
}

TEST_F(TableTest, PastedColumnIsSavedIntoEditedFilesOnlyAndUnsavableOnesAreSummed) {
    const QString a = Write("a.xml", "", "001", "Adler");
    const QString b = Write("b.xml", "", "002", "Bauer");
    const QString c = Write("c.xml", "", "003", "Clay");
    const QString locked = Write("locked.xml", "", "004", "Dorn");
    const QString moved = Write("moved.xml", "", "005", "Eck");
    const QString origin = Write("origin.xml", "yes", "006", "Fink");
    const std::string untouched = ReadFileBytes(c.toStdString());
    Open({a, b, c, locked, moved, origin});

    // Two lines from a spreadsheet, pasted into the Customer column from the first row.
    Paste(0, kCustomer, "New A\r\nNew B\r\n");
    EXPECT_EQ(At(0, kCustomer).toString(), "New A");
    EXPECT_EQ(At(1, kCustomer).toString(), "New B");
    EXPECT_TRUE(Changed(0, kCustomer));
    EXPECT_FALSE(Changed(0, kNumber));
    EXPECT_FALSE(Changed(2, kCustomer));
    EXPECT_TRUE(RowHeader(1).endsWith("*"));
    EXPECT_TRUE(Button("pbSave")->isEnabled());

    Click("pbSave");
    EXPECT_TRUE(boxes.shown().empty());
    EXPECT_EQ(ValueIn(a.toStdString(), kCustomerPath), "New A");
    EXPECT_EQ(ValueIn(b.toStdString(), kCustomerPath), "New B");
    EXPECT_EQ(ReadFileBytes(c.toStdString()), untouched);
    EXPECT_FALSE(Changed(0, kCustomer));
    EXPECT_FALSE(RowHeader(1).endsWith("*"));
    EXPECT_FALSE(Button("pbSave")->isEnabled());

    fs::permissions(locked.toStdString(), fs::perms::owner_read | fs::perms::group_read);
    const std::string lockedBytes = ReadFileBytes(locked.toStdString());
    // Someone else saves the file after the table read it.
    files.Write("moved.xml", DataFile("", "005", "Someone else"));
    const std::string originBytes = ReadFileBytes(origin.toStdString());
    // b.xml is saved a second time: the table knows the file its first save wrote.
    Paste(1, kCustomer, "1\n2\n3\n4\n5\n");
    Click("pbSave");
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].title, "Error while saving xml-data");
    EXPECT_FALSE(boxes.shown()[0].waitCursor);
    EXPECT_EQ(boxes.shown()[0].text,
              "2 files were saved.\n"
              "These files were not saved:\n"
              "locked.xml: The file is read-only.\n"
              "moved.xml: The file changed on disk since the table read it; F5 reads it again.\n"
              "origin.xml: It is an origin file: Save As writes it into another folder.");
    EXPECT_EQ(ValueIn(b.toStdString(), kCustomerPath), "1");
    EXPECT_EQ(ValueIn(c.toStdString(), kCustomerPath), "2");
    EXPECT_EQ(ReadFileBytes(locked.toStdString()), lockedBytes);
    EXPECT_EQ(ValueIn(moved.toStdString(), kCustomerPath), "Someone else");
    EXPECT_EQ(ReadFileBytes(origin.toStdString()), originBytes);
    EXPECT_FALSE(Changed(1, kCustomer));
    EXPECT_FALSE(Changed(2, kCustomer));
    for (int row = 3; row < 6; ++row)
        EXPECT_TRUE(Changed(row, kCustomer)) << row;
    EXPECT_TRUE(CloseAsks(MsgAnswer::No));
}

TEST_F(TableTest, SaveAsWritesTheOriginFileIntoTheFolderEmptiedOfOtherValues) {
    const QString origin = Write("origin.xml", "yes", "004", "Dorn");
    const std::string originBytes = ReadFileBytes(origin.toStdString());
    Open({origin});
    Paste(0, kCustomer, "Edited");
    EXPECT_FALSE(Button("pbSave")->isEnabled());
    ASSERT_TRUE(Button("pbSaveAs")->isEnabled());

    // Its own folder would overwrite it, also when named through a link.
    fs::create_directory_symlink(files.dir(), files.Path("link"));
    for (const std::string& folder : {files.dir(), files.Path("link")}) {
        dialogs.Answer(folder);
        Click("pbSaveAs");
        ASSERT_EQ(boxes.shown().size(), 1u) << folder;
        EXPECT_EQ(boxes.shown()[0].text, "No file was saved.\nThese files were not saved:\n"
                                         "origin.xml: You can't overwrite the origin XML-File");
        EXPECT_EQ(ReadFileBytes(origin.toStdString()), originBytes);
        boxes.Clear();
    }

    fs::create_directories(files.Path("out"));
    dialogs.Answer(files.Path("out"));
    Click("pbSaveAs");
    EXPECT_TRUE(boxes.shown().empty());
    EXPECT_EQ(dialogs.shown().back().mode, CommonDialog::Mode::Folder);
    const std::string copy = files.Path("out/origin.xml");
    EXPECT_EQ(ValueIn(copy, kCustomerPath), "Edited");
    EXPECT_EQ(ValueIn(copy, "FD:R/FD:Datas[@Table='Order']/FD:Field[@Name='No']"), "004");
    EXPECT_EQ(ValueIn(copy, kNotePath), "");
    EXPECT_EQ(ReadFileBytes(origin.toStdString()), originBytes);
    // The row is the new, ordinary file now.
    EXPECT_EQ(At(0, 0, Qt::ToolTipRole).toString().toStdString(), copy);
    EXPECT_FALSE(RowHeader(0).contains("origin"));
    window->close();
    EXPECT_TRUE(boxes.shown().empty()) << "closing after the save asked a question";
}

TEST_F(TableTest, CloseGuardKeepsSavesOrDropsTheEdits) {
    const QString a = Write("a.xml", "", "001", "Adler");
    const QString origin = Write("origin.xml", "yes", "004", "Dorn");
    const std::string bytes = ReadFileBytes(a.toStdString());
    Open({a, origin});
    Paste(0, kCustomer, "Edited");

    EXPECT_TRUE(CloseAsks(MsgAnswer::Cancel));
    ASSERT_TRUE(window);
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(Changed(0, kCustomer));

    // Yes with an edited origin file asks for a folder; cancelling it keeps the window.
    Paste(1, kCustomer, "Origin edit");
    dialogs.Cancel();
    EXPECT_TRUE(CloseAsks(MsgAnswer::Yes));
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(ReadFileBytes(a.toStdString()), bytes);

    EXPECT_TRUE(CloseAsks(MsgAnswer::No));
    EXPECT_TRUE(window.isNull() || !window->isVisible());
    EXPECT_EQ(ReadFileBytes(a.toStdString()), bytes);
}

class MainWindowTableTest : public WindowTest {
protected:
    void TearDown() override {
        delete OpenedTable();
        WindowTest::TearDown();
    }
    frmTable* OpenedTable() const {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* table = qobject_cast<frmTable*>(widget); table && table->isVisible())
                return table;
        return nullptr;
    }
    int TableRows() const { return OpenedTable()->findChild<QTableView*>()->model()->rowCount(); }
};

TEST_F(TableTest, ExportWritesFileAndAliasesThenOneTextRowPerFile) {
    ASSERT_TRUE(kSandboxed);
    if (!CanReadXlsx())
        GTEST_SKIP() << "built without libzip: workbooks cannot be read back";
    RecordingLauncher launcher;
    Open({Write("a.xml", "", "007", " Adler "), Write("b.xml", "", "1/2", "Bauer")});
    const std::string book = files.Path("table.xlsx");
    dialogs.Answer(book);
    Click("pbExporttoExcel");

    EXPECT_TRUE(boxes.shown().empty());
    ASSERT_EQ(launcher.uris.size(), 1u);
    std::string cells;
    for (const XlsxCell& cell : ReadXlsx(book).cells)
        cells += cell.ref + "=" + cell.text + " ";
    EXPECT_EQ(cells, "A1=File B1=Number C1=Gone D1=Customer A2=a.xml B2=007 C2= D2=Adler "
                     "A3=b.xml B3=1/2 C3= D3=Bauer ");
}

TEST_F(MainWindowTableTest, ClosingTheMainWindowClosesTheTablesThroughTheirGuardsFirst) {
    StartShown();
    ConfigList()->setCurrentIndex(0);
    const std::string a = files.Write("a.xml", DataFile("", "001", "Adler"));
    const std::string b = files.Write("b.xml", DataFile("", "002", "Bauer"));
    window->OpenTable({QString::fromStdString(a), QString::fromStdString(b)});
    QPointer<frmTable> table = OpenedTable();
    ASSERT_NE(table, nullptr);
    auto* model = table->findChild<QTableView*>("tblFiles")->model();
    ASSERT_TRUE(model->setData(model->index(0, kCustomer), "Edited"));

    // Cancel in the table's guard keeps every window open.
    boxes.Answer(MsgAnswer::Cancel);
    EXPECT_FALSE(window->close());
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(Box(0), "Save data: Save changed data?");
    EXPECT_TRUE(table->isVisible());
    EXPECT_TRUE(window->isVisible());

    boxes.Answer(MsgAnswer::No);
    EXPECT_TRUE(window->close());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(table.isNull() || !table->isVisible());
    EXPECT_EQ(boxes.shown().size(), 2u) << "the table was asked twice";
    EXPECT_EQ(ValueIn(a, kCustomerPath), "Adler");
}

TEST_F(MainWindowTableTest, SeveralDroppedOrChosenFilesOpenTheTable) {
    StartShown();
    const std::string a = files.Write("a.xml", DataFile("", "001", "Adler"));
    const std::string b = files.Write("b.xml", DataFile("", "002", "Bauer"));

    // Without a configuration the table waits until one is chosen.
    Drop({Url(a), Url(b)});
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].text, "Choose the configuration for these files.");
    EXPECT_EQ(OpenedTable(), nullptr);
    ConfigList()->setCurrentIndex(0);
    ASSERT_NE(OpenedTable(), nullptr);
    EXPECT_EQ(TableRows(), 2);
    EXPECT_EQ(Path(), "") << "the single-file window took a file of the table";
    delete OpenedTable();

    // A line break is a letter like any other in a file's name.
    const std::string odd = files.Write("line\nbreak.xml", DataFile("", "003", "Odd"));
    dialogs.AnswerMany({a, odd});
    Show();
    QTest::keyClick(window.get(), Qt::Key_O, Qt::ControlModifier | Qt::ShiftModifier);
    ASSERT_NE(OpenedTable(), nullptr);
    EXPECT_EQ(TableRows(), 2);
    EXPECT_EQ(boxes.shown().size(), 1u) << boxes.shown().back().text;
    EXPECT_EQ(dialogs.shown().back().mode, CommonDialog::Mode::OpenMany);
    EXPECT_EQ(boxes.shown().size(), 1u);
}

TEST_F(TableTest, SaveAsNeverReplacesAFileUnaskedNorOneAnotherRowShows) {
    for (const char* dir : {"x", "y", "out"})
        fs::create_directories(files.Path(dir));
    const std::string unrelated = files.Write("out/b.xml", DataFile("", "099", "Unrelated"));
    Open({Write("x/a.xml", "", "001", "X"), Write("y/a.xml", "", "002", "Y"),
          Write("x/b.xml", "", "003", "B")});
    const int customer = kCustomer + 1; // after the Folder column
    Paste(0, customer, "From x\nFrom y\nFrom b\n");
    const auto saveAs = [&](MsgAnswer replace) {
        boxes.Clear();
        boxes.Answer(replace);
        dialogs.Answer(files.Path("out"));
        Click("pbSaveAs");
    };

    saveAs(MsgAnswer::Cancel);
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].title, "Save data");
    EXPECT_EQ(boxes.shown()[0].buttons, MsgButtons::ReplaceSkipCancel);
    EXPECT_EQ(boxes.shown()[0].text, "These files exist in the target folder:\nx/b.xml\n"
                                     "Replace them with the table's files, or skip them?");
    EXPECT_FALSE(fs::exists(files.Path("out/a.xml")));
    EXPECT_EQ(ValueIn(unrelated, kCustomerPath), "Unrelated");

    saveAs(MsgAnswer::No);
    ASSERT_EQ(boxes.shown().size(), 2u);
    EXPECT_EQ(boxes.shown()[1].text, "1 file was saved.\nThese files were not saved:\n"
                                     "y/a.xml: Another file of this name was saved into the "
                                     "folder.\nx/b.xml: exists in the target folder");
    EXPECT_EQ(ValueIn(files.Path("out/a.xml"), kCustomerPath), "From x");
    EXPECT_EQ(ValueIn(unrelated, kCustomerPath), "Unrelated");
    EXPECT_EQ(At(0, 0, Qt::ToolTipRole).toString().toStdString(), files.Path("out/a.xml"));
    EXPECT_EQ(At(0, 1).toString(), "out");

    // y/a.xml would replace the file row 1 shows now: never, and nobody is asked about it.
    saveAs(MsgAnswer::Yes);
    ASSERT_EQ(boxes.shown().size(), 2u);
    EXPECT_EQ(boxes.shown()[1].text, "1 file was saved.\nThese files were not saved:\n"
                                     "y/a.xml: Another row of the table is the file of this "
                                     "name in the target folder.");
    EXPECT_EQ(ValueIn(files.Path("out/a.xml"), kCustomerPath), "From x");
    EXPECT_EQ(ValueIn(unrelated, kCustomerPath), "From b");
    EXPECT_TRUE(Changed(1, customer));
    EXPECT_TRUE(CloseAsks(MsgAnswer::No));
}

} // namespace

namespace {

class BulkEditTest : public TableTest {
protected:
    void SetUp() override {
        paths = {Write("file10.xml", "", "10", "Clay"), Write("file2.xml", "", "2", "adler"),
                 Write("file9.xml", "", "9", "Bauer")};
        Open(paths);
    }
    void Key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(Table(), static_cast<Qt::Key>(key), modifiers);
    }
    QString Column(int col) const {
        QStringList values;
        for (int row = 0; row < Model()->rowCount(); ++row)
            values << At(row, col).toString();
        return values.join(',');
    }
    template <class T> T* Find(const char* name) const {
        auto* dialog = window->findChild<QDialog*>("dlgFindReplace");
        return dialog ? dialog->findChild<T*>(name) : nullptr;
    }
    void Select(int top, int col, int bottom, int right) {
        Table()->setCurrentIndex(Model()->index(top, col));
        Table()->selectionModel()->select(
            QItemSelection(Model()->index(top, col), Model()->index(bottom, right)),
            QItemSelectionModel::ClearAndSelect);
    }

    std::string Box(size_t i) const {
        return i < boxes.shown().size() ? boxes.shown()[i].title + ": " + boxes.shown()[i].text
                                        : "(none)";
    }
    // Opens the table again with an unreadable file after the others.
    void OpenWithBrokenFile() {
        delete window.data();
        files.Write("zz-broken.xml", "<FD:R");
        Open(paths + QStringList{QString::fromStdString(files.Path("zz-broken.xml"))});
    }

    QStringList paths;
};

TEST_F(BulkEditTest, UndoTakesBackEachStepAndAllOfThemLeaveNothingToSave) {
    // Name order, not natural order, until a header is clicked.
    EXPECT_EQ(Column(0), "file10.xml,file2.xml,file9.xml");
    Paste(0, kCustomer, "P1\nP2\nP3\n");
    Table()->setCurrentIndex(Model()->index(1, kNumber));
    Key(Qt::Key_F2);
    auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    ASSERT_NE(editor, nullptr);
    QTest::keyClicks(editor, "7");
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::processEvents();
    EXPECT_EQ(At(1, kNumber).toString(), "7");
    // Enter committed and moved down.
    EXPECT_EQ(Table()->currentIndex().row(), 2);

    Key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(At(1, kNumber).toString(), "2");
    EXPECT_FALSE(Changed(1, kNumber));
    EXPECT_TRUE(Changed(1, kCustomer));
    Key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(Column(kCustomer), "Clay,adler,Bauer");
    EXPECT_FALSE(Changed(0, kCustomer));
    EXPECT_FALSE(Button("pbSave")->isEnabled());
    EXPECT_FALSE(window->isWindowModified()) << "nothing is left to save";

    Key(Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(Column(kCustomer), "P1,P2,P3");
    Key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(At(1, kNumber).toString(), "7");
    EXPECT_TRUE(Changed(0, kCustomer));
    EXPECT_TRUE(CloseAsks(MsgAnswer::No));
}

TEST_F(BulkEditTest, ReplaceAllSaysHowManyAndIsOneStepOverEditableCellsOnly) {
    OpenWithBrokenFile();
    QTest::keyClick(window, Qt::Key_H, Qt::ControlModifier);
    ASSERT_NE(Find<QLineEdit>("txtFind"), nullptr);
    Find<QLineEdit>("txtFind")->setText("^(\\w)(\\w*)$");
    Find<QLineEdit>("txtReplace")->setText("\\2-\\1");
    Find<QCheckBox>("chkRegex")->setChecked(true);

    boxes.Answer(MsgAnswer::Cancel);
    QTest::mouseClick(Find<QPushButton>("pbReplaceAll"), Qt::LeftButton);
    ASSERT_EQ(boxes.shown().size(), 1u);
    // Number and Customer of three files; the field none holds and the unreadable file's
    // reason are no cells to change.
    EXPECT_EQ(Box(0), "Replace: Replace 6 cells in 3 files?");
    EXPECT_EQ(boxes.shown()[0].buttons, MsgButtons::OKCancel);
    EXPECT_EQ(Column(kCustomer), "Clay,adler,Bauer,");

    boxes.Answer(MsgAnswer::OK);
    QTest::mouseClick(Find<QPushButton>("pbReplaceAll"), Qt::LeftButton);
    EXPECT_EQ(Column(kCustomer), "lay-C,dler-a,auer-B,");
    EXPECT_EQ(Column(kNumber).left(10), "0-1,-2,-9,");
    EXPECT_FALSE(At(3, kNumber).toString().isEmpty()) << "the reason stays";
    Key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(Column(kCustomer), "Clay,adler,Bauer,");
    EXPECT_FALSE(window->isWindowModified());

    // Plain text, whole cell, match case: only the cell that is exactly the text.
    Find<QCheckBox>("chkRegex")->setChecked(false);
    Find<QCheckBox>("chkWholeCell")->setChecked(true);
    Find<QCheckBox>("chkMatchCase")->setChecked(true);
    Find<QLineEdit>("txtFind")->setText("Bauer");
    Find<QLineEdit>("txtReplace")->setText("\\1 & Co");
    boxes.Answer(MsgAnswer::OK);
    QTest::mouseClick(Find<QPushButton>("pbReplaceAll"), Qt::LeftButton);
    EXPECT_EQ(Box(2), "Replace: Replace 1 cell in 1 file?");
    EXPECT_EQ(Column(kCustomer), "Clay,adler,\\1 & Co,");
    Find<QLineEdit>("txtFind")->setText("adler");
    Table()->setCurrentIndex(Model()->index(0, 0));
    Key(Qt::Key_F3);
    EXPECT_EQ(Table()->currentIndex(), Model()->index(1, kCustomer));
    Find<QLineEdit>("txtFind")->setText("ADLER");
    Key(Qt::Key_F3);
    EXPECT_EQ(Find<QLabel>("lblFindStatus")->text(), "Not found.");
    EXPECT_TRUE(CloseAsks(MsgAnswer::No));
}

TEST_F(BulkEditTest, SortAndFilterChangeOnlyTheViewAndEditsReachTheRightFiles) {
    auto* header = Table()->horizontalHeader();
    const auto clickHeader = [&](int col) {
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(col) + 5, 5));
    };
    clickHeader(0);
    EXPECT_EQ(Column(0), "file2.xml,file9.xml,file10.xml");
    clickHeader(kNumber);
    EXPECT_EQ(Column(kNumber), "2,9,10");
    clickHeader(kNumber);
    EXPECT_EQ(Column(kNumber), "10,9,2");
    clickHeader(kCustomer);
    EXPECT_EQ(Column(kCustomer), "adler,Bauer,Clay");

    Paste(0, kCustomer, "A\nB\n");
    Select(0, kCustomer, 2, kCustomer);
    Key(Qt::Key_D, Qt::ControlModifier);
    EXPECT_EQ(Column(kCustomer), "A,A,A");

    auto* filter = window->findChild<QLineEdit*>("txtFilter");
    QTest::keyClicks(filter, "file1");
    EXPECT_EQ(Model()->rowCount(), 1);
    EXPECT_EQ(window->findChild<QLabel*>("lblFiles")->text(), "1 of 3 files");
    filter->clear();
    Click("pbSave");
    EXPECT_TRUE(boxes.shown().empty());
    for (const QString& path : paths)
        EXPECT_EQ(ValueIn(path.toStdString(), kCustomerPath), "A") << path.toStdString();
}

TEST_F(BulkEditTest, TabLeavesAtTheEndsCopyLeavesReasonsOutAndF5ReadsChangedFilesAgain) {
    OpenWithBrokenFile();
    Table()->setFocus();
    Table()->setCurrentIndex(Model()->index(3, Model()->columnCount() - 1));
    Key(Qt::Key_Tab);
    EXPECT_NE(QApplication::focusWidget(), Table());
    // The reason is wide; the column is as wide as its values.
    EXPECT_LT(Table()->columnWidth(kNumber), 150);

    Select(2, 0, 3, kNumber);
    QTest::keyClick(Table(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), "file9.xml\t9\nzz-broken.xml\t\n");

    Paste(0, kCustomer, "Kept\n");
    files.Write("file9.xml", DataFile("", "9", "Changed elsewhere"));
    Key(Qt::Key_F5);
    EXPECT_EQ(At(2, kCustomer).toString(), "Changed elsewhere");
    EXPECT_EQ(At(0, kCustomer).toString(), "Kept");
    EXPECT_TRUE(Changed(0, kCustomer));
    EXPECT_TRUE(boxes.shown().empty());
    EXPECT_TRUE(CloseAsks(MsgAnswer::No));
}

} // namespace
