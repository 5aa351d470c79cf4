#include "app/SpreadGrid.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>

namespace {

// Column 12 takes at most five typed characters.
class SpreadGridTest : public testing::Test {
protected:
    void SetUp() override {
        grid->SetMaxCols(12);
        grid->SetColumnKind(12, SpreadGrid::CellKind::EditText, 5);
        grid->SetMaxRows(2);
        auto* layout = new QVBoxLayout(&window);
        layout->addWidget(grid);
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
};

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
}

} // namespace
