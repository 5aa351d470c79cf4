#include "app/main/frmMainFixture.h"
#include "app/table/frmTable.h"

#include <QCheckBox>
#include <QClipboard>
#include <QDialog>
#include <QLabel>
#include <QSignalSpy>
#include <QTableView>

namespace {

// Four fields of one record, none of them an origin check.
const char* const kFourFields = R"(<?xml version="1.0"?>
<XML>
  <Config>
    <Number>001</Number>
    <Description>Four</Description>
    <Check_OriginalFile/>
    <Fields>
      <Field><XPath>//FD:Field[@Name='Original']</XPath><Alias>Original</Alias></Field>
      <Field><XPath>//FD:Field[@Name='Note']</XPath><Alias>Note</Alias></Field>
      <Field><XPath>//FD:Field[@Name='No']</XPath><Alias>Number</Alias></Field>
      <Field><XPath>//FD:Field[@Name='Customer']</XPath><Alias>Customer</Alias></Field>
    </Fields>
  </Config>
</XML>
)";

class GridTest : public WindowTest {
protected:
    // Keys as a person presses them, to whatever has the focus.
    void Press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QWidget* focus = QApplication::focusWidget();
        QTest::keyClick(focus ? focus : window.get(), key, modifiers);
        QCoreApplication::processEvents();
    }
    void Undo() { Press(Qt::Key_Z, Qt::ControlModifier); }
    std::string Values() const {
        std::string values;
        for (const auto& [alias, value] : Shown())
            values += (values.empty() ? "" : "|") + value;
        return values;
    }
    std::string Markers() const {
        std::string markers;
        for (int row = 1; row <= Grid()->MaxRows(); ++row)
            markers += Cell(row, 2);
        return markers;
    }
    std::string Marked() const {
        std::string marked;
        for (int row = 1; row <= Grid()->MaxRows(); ++row)
            marked += Grid()->IsCellMarked(row, 12) ? "*" : ".";
        return marked;
    }
    void Focus(int row) {
        Grid()->SetActiveCell(12, row);
        Grid()->setFocus();
    }
};

TEST_F(GridTest, UndoAndRedoAreEditsThatALoadForgetsAndASaveKeeps) {
    const std::string path = files.Write("order.xml", DataFile("", "1", "A"));
    StartShown();
    Open(0, path);
    TypeValue(1, "2");
    TypeValue(2, "B");
    TypeValue(2, "C");
    Click("pbSave");
    ASSERT_EQ(Enabled(), "pbExporttoExcel");
    ASSERT_EQ(Markers(), "00");

    // Taken back after the save, a value is an edit again, handled as typing is.
    Focus(1);
    Undo();
    EXPECT_EQ(Values(), "2|B");
    EXPECT_EQ(Markers(), "01");
    EXPECT_EQ(Enabled(), "pbSave pbSaveAs pbExporttoExcel");
    EXPECT_EQ(Grid()->ActiveRow(), 2) << "the cell taken back is shown";
    Undo();
    Undo();
    EXPECT_EQ(Values(), "1|A");
    Undo(); // nothing older
    EXPECT_EQ(Values(), "1|A");
    EXPECT_EQ(Markers(), "11");
    EXPECT_TRUE(AsksToSave()) << "back at the loaded values is still an edit";

    Press(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(Values(), "2|A");
    Press(Qt::Key_Y, Qt::ControlModifier);
    Press(Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(Values(), "2|C");

    // Another file starts afresh: nothing of the last one comes back into its rows.
    boxes.Answer(MsgAnswer::No);
    Open(0, files.Write("other.xml", DataFile("", "7", "Z")));
    Focus(1);
    Undo();
    EXPECT_EQ(Values(), "7|Z");
    EXPECT_EQ(Markers(), "00");
    EXPECT_FALSE(AsksToSave());
}

TEST_F(GridTest, EditedValuesAreMarkedUntilSaved) {
    const std::string path = files.Write("order.xml", DataFile("", "1", "A"));
    StartShown();
    Open(0, path);
    EXPECT_EQ(Marked(), "..");
    TypeValue(2, "B");
    EXPECT_EQ(Marked(), ".*");
    const QTableWidgetItem* cell = Grid()->item(1, 11);
    EXPECT_TRUE(cell->font().bold());
    EXPECT_EQ(cell->background().color(), QColor(255, 236, 150));
    EXPECT_FALSE(Grid()->item(0, 11)->font().bold());

    Click("pbSave");
    EXPECT_EQ(Marked(), "..");
    EXPECT_FALSE(Grid()->item(1, 11)->font().bold());
    TypeValue(1, "2");
    EXPECT_EQ(Marked(), "*.");
    boxes.Answer(MsgAnswer::No);
    Open(0, path);
    EXPECT_EQ(Marked(), "..");
}

TEST_F(GridTest, CopyTakesTheSelectionPasteFillsValuesDownAsTypingWouldInOneStep) {
    const std::string longer(300, 'l');
    StartShown(kFourFields);
    Open(0, files.Write("record.xml", DataFile("TEMPLATE", "12", longer)));
    ASSERT_EQ(Values(), "TEMPLATE|keep?|12|" + longer);

    Focus(2);
    Press(Qt::Key_Down, Qt::ShiftModifier);
    Press(Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), "keep?\n12");
    Grid()->selectAll();
    Press(Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), "Original\tTEMPLATE\nNote\tkeep?\nNumber\t12\n"
                                                 "Customer\t" +
                                                     QString::fromStdString(longer));

    // Each pasted cell is one edit as typed; the first part of a line is the value, lines
    // past the last row fall away, and no value grows past the longer of 255 and its own.
    const QString wide(400, 'w');
    QApplication::clipboard()->setText("one\tignored\r\n\n" + wide + "\n" + wide + "\nmore\n");
    QSignalSpy changes(Grid(), &SpreadGrid::Change);
    Focus(1);
    Press(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(changes.count(), 4);
    EXPECT_EQ(Values(), "one||" + std::string(255, 'w') + "|" + std::string(300, 'w'));
    EXPECT_EQ(Markers(), "1111");
    EXPECT_EQ(Marked(), "****");
    EXPECT_EQ(Enabled(), "pbSave pbSaveAs pbExporttoExcel");

    Undo();
    EXPECT_EQ(Values(), "TEMPLATE|keep?|12|" + longer) << "a paste is one step";
    EXPECT_EQ(changes.count(), 8);
    EXPECT_TRUE(AsksToSave());

    // From the current row down, not from the top.
    QApplication::clipboard()->setText("last");
    Focus(4);
    Press(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(Values(), "TEMPLATE|keep?|12|last");
}

TEST_F(GridTest, FindGoesRoundTheValuesAnyCaseByDefaultAndSaysWhenNothingMatches) {
    StartShown(kFourFields);
    Open(0, files.Write("record.xml", DataFile("x-ALPHA", "12", "alpha")));
    ASSERT_EQ(Grid()->ActiveRow(), 1);

    Press(Qt::Key_F, Qt::ControlModifier);
    auto* dialog = Control<QDialog>("dlgFind");
    ASSERT_TRUE(dialog->isVisible());
    ASSERT_TRUE(QTest::qWaitForWindowActive(dialog));
    auto* result = Control<QLabel>("lblFindResult");
    EXPECT_EQ(QApplication::focusWidget(), Control("txtFind"));
    QTest::keyClicks(QApplication::focusWidget(), "Alpha");
    Press(Qt::Key_Return);
    EXPECT_EQ(Grid()->ActiveRow(), 4);
    EXPECT_EQ(Grid()->ActiveCol(), 12);
    EXPECT_EQ(result->text(), "");
    Press(Qt::Key_F3);
    EXPECT_EQ(Grid()->ActiveRow(), 1);
    EXPECT_EQ(result->text(), "Went on from the top.");
    Press(Qt::Key_F3, Qt::ShiftModifier);
    EXPECT_EQ(Grid()->ActiveRow(), 4);
    EXPECT_EQ(result->text(), "Went on from the bottom.");

    Control<QCheckBox>("chkMatchCase")->setChecked(true);
    Control<QLineEdit>("txtFind")->setText("alpha");
    Control<QLineEdit>("txtFind")->setFocus();
    Press(Qt::Key_F3);
    EXPECT_EQ(Grid()->ActiveRow(), 4) << "only the customer is written so";
    EXPECT_EQ(result->text(), "Went on from the top.");
    QTest::keyClicks(QApplication::focusWidget(), "zzz");
    Press(Qt::Key_Return);
    EXPECT_EQ(Grid()->ActiveRow(), 4);
    EXPECT_EQ(result->text(), "No value contains \"alphazzz\".");

    // F3 goes on in the window itself once the dialog is closed.
    Control<QCheckBox>("chkMatchCase")->setChecked(false);
    Control<QLineEdit>("txtFind")->setText("KEEP");
    Press(Qt::Key_Escape);
    EXPECT_FALSE(dialog->isVisible());
    Show();
    Grid()->setFocus();
    Press(Qt::Key_F3);
    EXPECT_EQ(Grid()->ActiveRow(), 2);
}

TEST_F(GridTest, OpenDialogTakesSeveralFilesForTheTableAndOneAsBefore) {
    const std::string a = files.Write("a.xml", DataFile("", "1", "A"));
    const std::string b = files.Write("b.xml", DataFile("", "2", "B"));
    StartShown();
    ConfigList()->setCurrentIndex(0);
    dialogs.AnswerMany({a, b});
    Press(Qt::Key_O, Qt::ControlModifier);
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.shown()[0].mode, CommonDialog::Mode::Open);
    EXPECT_TRUE(dialogs.shown()[0].multiSelect);
    const QList<frmTable*> tables = frmTable::OpenTables();
    ASSERT_EQ(tables.size(), 1);
    EXPECT_EQ(tables[0]->findChild<QTableView*>("tblFiles")->model()->rowCount(), 2);
    EXPECT_EQ(Path(), "");
    EXPECT_EQ(Grid()->MaxRows(), 0);
    delete tables[0];

    dialogs.Answer(b);
    Show();
    Click("pbSelectFile");
    EXPECT_EQ(Path(), b);
    EXPECT_EQ(Values(), "2|B");
    EXPECT_TRUE(frmTable::OpenTables().isEmpty());
    EXPECT_TRUE(boxes.shown().empty());
}

} // namespace
