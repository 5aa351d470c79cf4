#include "app/SpreadGrid.h"

#include <QApplication>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QToolTip>
#include <QVBoxLayout>
#include <gtest/gtest.h>

namespace {

// Columns 2 and 11 are display-only, column 12 takes at most five typed characters.
class SpreadGridTest : public testing::Test {
protected:
    void SetUp() override {
        grid->SetMaxCols(12);
        grid->SetColumnKind(2, SpreadGrid::CellKind::Number);
        grid->SetColumnKind(11, SpreadGrid::CellKind::StaticText, 255);
        grid->SetColumnKind(12, SpreadGrid::CellKind::EditText, 5);
        grid->SetMaxRows(2);
        grid->SetText(1, 11, "a");
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

TEST_F(SpreadGridTest, EditorStaysInItsCellAndACutValueShowsWholeAsToolTip) {
    grid->SetColWidth(12, 10);
    grid->SetColumnKind(12, SpreadGrid::CellKind::EditText, 255);
    QLineEdit* editor = OpenEditor(1);
    ASSERT_NE(editor, nullptr);
    QTest::keyClicks(editor, QString(60, 'w'));
    const QRect cell = grid->visualRect(grid->model()->index(0, 11));
    EXPECT_TRUE(cell.contains(editor->geometry()));
    Commit(editor);

    const std::string longValue = grid->GetText(1, 12);
    grid->SetText(2, 12, "ok");
    auto toolTipAt = [&](int row) {
        const QRect rect = grid->visualRect(grid->model()->index(row - 1, 11));
        QHelpEvent help(QEvent::ToolTip, rect.center(),
                        grid->viewport()->mapToGlobal(rect.center()));
        QApplication::sendEvent(grid->viewport(), &help);
        return QToolTip::isVisible() ? QToolTip::text().toStdString() : std::string();
    };
    EXPECT_EQ(toolTipAt(2), "");
    EXPECT_EQ(toolTipAt(1), longValue);
}

TEST_F(SpreadGridTest, DisplayOnlyCellsCannotBeEdited) {
    QSignalSpy changes(grid, &SpreadGrid::Change);
    grid->SetActiveCell(11, 1);
    QTest::keyClick(grid, Qt::Key_F2);
    QTest::keyClicks(grid, "zz");
    EXPECT_EQ(grid->GetText(1, 11), "a");
    EXPECT_EQ(changes.count(), 0);
}

} // namespace
