#include "app/SpreadGrid.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>

namespace {

// A grid set up like the window's: columns 1-10 hidden, 11 display-only, 12 editable.
class SpreadGridTest : public testing::Test {
protected:
    void SetUp() override {
        grid->SetMaxCols(12);
        grid->SetColumnKind(2, SpreadGrid::CellKind::Number);
        grid->SetColumnKind(11, SpreadGrid::CellKind::StaticText, 255);
        grid->SetColumnKind(12, SpreadGrid::CellKind::EditText, 5);
        for (int col = 1; col <= 10; ++col)
            grid->SetColHidden(col, true);
        grid->SetMaxRows(2);
        grid->SetText(1, 11, "a");
        grid->SetText(2, 11, "b");
        auto* layout = new QVBoxLayout(&window);
        layout->addWidget(grid);
        layout->addWidget(after);
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    }

    QLineEdit* OpenEditor(int row) {
        grid->SetActiveCell(12, row);
        grid->setFocus();
        QTest::keyClick(grid, Qt::Key_F2);
        return qobject_cast<QLineEdit*>(QApplication::focusWidget());
    }

    void Commit(QLineEdit* editor) {
        QTest::keyClick(editor, Qt::Key_Return);
        QCoreApplication::processEvents();
    }

    QWidget window;
    SpreadGrid* grid = new SpreadGrid(&window);
    QPushButton* after = new QPushButton("after", &window);
};

TEST_F(SpreadGridTest, RowsAndColumnsCountFromOne) {
    EXPECT_EQ(grid->MaxRows(), 2);
    grid->SetText(2, 12, "value");
    EXPECT_EQ(grid->GetText(2, 12), "value");
    EXPECT_EQ(grid->item(1, 11)->text(), "value");
    grid->SetText(0, 12, "Value");
    EXPECT_EQ(grid->GetText(0, 12), "Value");
    grid->SetMaxRows(0);
    EXPECT_EQ(grid->MaxRows(), 0);
    EXPECT_EQ(grid->GetText(1, 12), "");
}

TEST_F(SpreadGridTest, ProgramWritesAreQuietAndKeptWhole) {
    QSignalSpy changes(grid, &SpreadGrid::Change);
    grid->SetText(1, 12, "longer than five");
    EXPECT_EQ(grid->GetText(1, 12), "longer than five");
    EXPECT_EQ(changes.count(), 0);
}

TEST_F(SpreadGridTest, UserEditRaisesOneChangeWithColumnAndRow) {
    QSignalSpy changes(grid, &SpreadGrid::Change);
    QLineEdit* editor = OpenEditor(2);
    ASSERT_NE(editor, nullptr);
    QTest::keyClicks(editor, "xy");
    Commit(editor);
    ASSERT_EQ(changes.count(), 1);
    EXPECT_EQ(changes[0][0].toInt(), 12);
    EXPECT_EQ(changes[0][1].toInt(), 2);
    EXPECT_EQ(grid->GetText(2, 12), "xy");
}

TEST_F(SpreadGridTest, TypingLimitNeverCutsALongerLoadedValue) {
    grid->SetText(1, 12, "abcdefgh");
    QLineEdit* editor = OpenEditor(1);
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->text(), "abcdefgh");
    editor->end(false);
    QTest::keyClicks(editor, "ij"); // cannot grow past the limit
    EXPECT_EQ(editor->text(), "abcdefgh");
    QTest::keyClick(editor, Qt::Key_Backspace); // but may shrink
    Commit(editor);
    EXPECT_EQ(grid->GetText(1, 12), "abcdefg");

    editor = OpenEditor(2);
    ASSERT_NE(editor, nullptr);
    QTest::keyClicks(editor, "1234567");
    Commit(editor);
    EXPECT_EQ(grid->GetText(2, 12), "12345");
}

TEST_F(SpreadGridTest, DisplayOnlyCellsCannotBeEdited) {
    QSignalSpy changes(grid, &SpreadGrid::Change);
    grid->SetActiveCell(11, 1);
    QTest::keyClick(grid, Qt::Key_F2);
    QTest::keyClicks(grid, "zz");
    EXPECT_EQ(grid->GetText(1, 11), "a");
    EXPECT_EQ(changes.count(), 0);
    EXPECT_FALSE(grid->item(0, 1)->flags() & Qt::ItemIsEditable);
}

TEST_F(SpreadGridTest, AdvanceOnlyPastTheEnds) {
    QSignalSpy advances(grid, &SpreadGrid::Advance);
    grid->SetActiveCell(11, 1);
    grid->setFocus();
    QTest::keyClick(grid, Qt::Key_Tab);
    EXPECT_EQ(grid->ActiveCol(), 12);
    QTest::keyClick(grid, Qt::Key_Tab);
    EXPECT_EQ(grid->ActiveRow(), 2); // hidden columns are passed over
    EXPECT_EQ(grid->ActiveCol(), 11);
    EXPECT_EQ(advances.count(), 0);

    grid->SetActiveCell(12, 2);
    grid->setFocus();
    QTest::keyClick(grid, Qt::Key_Tab);
    ASSERT_EQ(advances.count(), 1);
    EXPECT_TRUE(advances[0][0].toBool());
    // Nobody took the focus, so it leaves the grid along the keyboard order.
    EXPECT_EQ(QApplication::focusWidget(), after);

    grid->SetActiveCell(11, 1);
    grid->setFocus();
    QTest::keyClick(grid, Qt::Key_Backtab);
    ASSERT_EQ(advances.count(), 2);
    EXPECT_FALSE(advances[1][0].toBool());
}

} // namespace
