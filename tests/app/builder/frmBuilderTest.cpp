#include "app/builder/frmBuilder.h"
#include "app/main/frmMainFixture.h"
#include "app/table/frmTable.h"

#include <QPointer>

#include <QLabel>
#include <QTableWidget>
#include <QTreeWidget>

namespace {

const std::string kOrderNo = "/FD:R/FD:Datas[@Table='Order']/FD:Field[@Name='No']";
const std::string kCustomer = "/FD:R/FD:Datas[@Table='Order']/FD:Field[@Name='Customer']";

// The builder, driven through the main window's keys and its own controls.
class BuilderTest : public WindowTest {
protected:
    void TearDown() override {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (widget->objectName() == QLatin1String("frmBuilder"))
                delete widget;
        WindowTest::TearDown();
    }

    // Starts with a data file loaded under configuration 002.
    void StartLoaded() {
        StartShown();
        data = files.Write("order.xml", DataFile("", "4711", "Miller"));
        Open(1, data);
        ASSERT_EQ(Shown().size(), 2u);
    }

    void Keys(Qt::Key key) {
        QTest::keyClick(window.get(), key, Qt::ControlModifier | Qt::ShiftModifier);
    }

    frmBuilder* Builder() const {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* builder = qobject_cast<frmBuilder*>(widget))
                return builder;
        return nullptr;
    }
    template <class T = QWidget> T* In(const char* name) const {
        T* control = Builder()->findChild<T*>(QString::fromUtf8(name));
        EXPECT_NE(control, nullptr) << name;
        return control;
    }
    QTreeWidget* Tree() const { return In<QTreeWidget>("tvwFile"); }
    QTableWidget* Fields() const { return In<QTableWidget>("tblFields"); }
    std::string Text(const char* name) const { return In<QLineEdit>(name)->text().toStdString(); }

    // The first item, in the tree's order, with that name and value preview; opens its
    // ancestors on the way, which reads them.
    QTreeWidgetItem* Find(const QString& name, const QString& value,
                          QTreeWidgetItem* under = nullptr) {
        const int count = under ? under->childCount() : Tree()->topLevelItemCount();
        for (int i = 0; i < count; ++i) {
            QTreeWidgetItem* item = under ? under->child(i) : Tree()->topLevelItem(i);
            if (item->text(0) == name && item->text(1) == value)
                return item;
            item->setExpanded(true);
            if (QTreeWidgetItem* found = Find(name, value, item))
                return found;
        }
        return nullptr;
    }
    void DoubleClick(QTreeWidgetItem* item) {
        ASSERT_NE(item, nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(Builder()));
        Tree()->scrollToItem(item);
        const QPoint at = Tree()->visualItemRect(item).center();
        // A double-click arrives as a press and release, then the double-click itself.
        QTest::mouseClick(Tree()->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(Tree()->viewport(), Qt::LeftButton, {}, at);
    }
    void Enter(QTreeWidgetItem* item) {
        ASSERT_NE(item, nullptr);
        Tree()->setCurrentItem(item);
        Tree()->setFocus();
        QTest::keyClick(Tree(), Qt::Key_Return);
    }

    // alias | path | matches, one per row.
    std::vector<std::string> FieldRows() const {
        std::vector<std::string> rows;
        for (int row = 0; row < Fields()->rowCount(); ++row) {
            std::string line;
            for (int col = 0; col < 3; ++col)
                line += (col ? " | " : "") + Fields()->item(row, col)->text().toStdString();
            rows.push_back(line);
        }
        return rows;
    }

    std::string ConfigBytes() const { return ReadFileBytes(files.Path("ravlen.lib")); }

    std::string data;
};

TEST_F(BuilderTest, PicksFieldsFromTheLoadedFileReordersEditsAndSavesANewConfiguration) {
    StartLoaded();
    const std::string before = ConfigBytes();
    Keys(Qt::Key_N);
    ASSERT_NE(Builder(), nullptr);
    EXPECT_EQ(Text("txtNumber"), "003");
    EXPECT_EQ(In<QLabel>("lblFile")->text().toStdString(), data);

    DoubleClick(Find("FD:Field", "4711"));
    Enter(Find("FD:Field", "Miller"));
    Enter(Find("@FlowType", "2"));
    EXPECT_EQ(FieldRows(), (std::vector<std::string>{
                               "No | " + kOrderNo + " | 1", "Customer | " + kCustomer + " | 1",
                               "No FlowType | " + kOrderNo + "/@FlowType | 1"}));

    // Customer first, the attribute gone, the number's alias written by hand.
    Fields()->setCurrentCell(1, 0);
    QTest::mouseClick(In<QPushButton>("pbUp"), Qt::LeftButton);
    Fields()->setCurrentCell(2, 0);
    QTest::mouseClick(In<QPushButton>("pbRemove"), Qt::LeftButton);
    Fields()->item(1, frmBuilder::kColAlias)->setText("Order number");
    In<QLineEdit>("txtDescription")->setText("Picked & saved");
    In<QLineEdit>("txtCheck")->setText("/FD:R/FD:Datas[@Table='Head']/FD:Field[@Name='Original']");
    EXPECT_EQ(In<QLabel>("lblCheckMatches")->text(), "1");

    QTest::mouseClick(In<QPushButton>("pbSave"), Qt::LeftButton);
    EXPECT_EQ(boxes.shown().size(), 0u) << Box(0);
    const std::string added =
        "  <Config>\n"
        "    <Number>003</Number>\n"
        "    <Description>Picked &amp; saved</Description>\n"
        "    <Check_OriginalFile>/FD:R/FD:Datas[@Table='Head']/FD:Field[@Name='Original']"
        "</Check_OriginalFile>\n"
        "    <Fields>\n"
        "      <Field>\n"
        "        <XPath>" +
        kCustomer +
        "</XPath>\n"
        "        <Alias>Customer</Alias>\n"
        "      </Field>\n"
        "      <Field>\n"
        "        <XPath>" +
        kOrderNo +
        "</XPath>\n"
        "        <Alias>Order number</Alias>\n"
        "      </Field>\n"
        "    </Fields>\n"
        "  </Config>\n";
    std::string expected = before;
    expected.insert(expected.rfind("</XML>"), added);
    EXPECT_EQ(ConfigBytes(), expected);

    // The list is read again, the selection kept, the grid not touched.
    ASSERT_EQ(ConfigList()->count(), 3);
    EXPECT_EQ(ConfigList()->itemText(2).toStdString(), "003 Picked & saved");
    EXPECT_EQ(ConfigList()->currentIndex(), 1);
    EXPECT_EQ(Shown(), (Rows{{"Who", "Miller"}, {"Kind", "2"}}));
    // Chosen now, the new configuration loads at once.
    ConfigList()->setCurrentIndex(2);
    EXPECT_EQ(Shown(), (Rows{{"Customer", "Miller"}, {"Order number", "4711"}}));
}

TEST_F(BuilderTest, AnEditedConfigurationReplacesOnlyItsOwnBytes) {
    StartLoaded();
    ConfigList()->setCurrentIndex(0);
    const std::string before = ConfigBytes();
    Keys(Qt::Key_E);
    ASSERT_NE(Builder(), nullptr);
    EXPECT_EQ(Text("txtNumber"), "001");
    EXPECT_EQ(Text("txtDescription"), "Orders");
    ASSERT_EQ(Fields()->rowCount(), 3);
    EXPECT_EQ(Fields()->item(1, frmBuilder::kColMatches)->text(), "0"); // the field Gone

    Fields()->setCurrentCell(1, 0);
    QTest::mouseClick(In<QPushButton>("pbRemove"), Qt::LeftButton);
    QTest::mouseClick(In<QPushButton>("pbSave"), Qt::LeftButton);
    EXPECT_EQ(boxes.shown().size(), 0u) << Box(0);

    const std::string after = ConfigBytes();
    const size_t start = before.find("<Config>");
    const size_t oldEnd = before.find("</Config>") + 9;
    const size_t newEnd = after.find("</Config>") + 9;
    EXPECT_EQ(after.substr(0, start), before.substr(0, start));
    EXPECT_EQ(after.substr(newEnd), before.substr(oldEnd));
    EXPECT_EQ(after.find("Gone"), std::string::npos);
    EXPECT_NE(after.find("<Alias>Customer</Alias>"), std::string::npos);
    EXPECT_EQ(ConfigList()->count(), 2);
    EXPECT_EQ(ConfigList()->currentIndex(), 0);
}

TEST_F(BuilderTest, WithoutALoadedFileTheKeyAsksForOne) {
    StartShown();
    data = files.Write("order.xml", DataFile("", "4711", "Miller"));
    dialogs.Answer(data);
    Keys(Qt::Key_N);
    ASSERT_NE(Builder(), nullptr);
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.shown()[0].mode, CommonDialog::Mode::Open);
    EXPECT_EQ(Tree()->topLevelItem(0)->text(0), "FD:R");
}

TEST_F(BuilderTest, TheTreeIsReadOnlyWhereItIsOpened) {
    StartLoaded();
    Keys(Qt::Key_N);
    ASSERT_NE(Builder(), nullptr);
    QTreeWidgetItem* root = Tree()->topLevelItem(0);
    ASSERT_EQ(root->childCount(), 2); // the two Datas
    EXPECT_EQ(root->child(1)->childCount(), 0);
    EXPECT_EQ(root->child(1)->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
    root->child(1)->setExpanded(true);
    EXPECT_EQ(root->child(1)->childCount(), 3); // @Table and two Fields
}

TEST_F(BuilderTest, SearchOpensTheTreeDownToTheNextMatch) {
    StartLoaded();
    Keys(Qt::Key_N);
    ASSERT_NE(Builder(), nullptr);
    QTest::keyClicks(In<QLineEdit>("txtSearch"), "miller");
    QTest::keyClick(In<QLineEdit>("txtSearch"), Qt::Key_Return);
    ASSERT_NE(Tree()->currentItem(), nullptr);
    EXPECT_EQ(Tree()->currentItem()->text(1), "Miller");
    QTest::mouseClick(In<QPushButton>("pbAddField"), Qt::LeftButton);
    EXPECT_EQ(FieldRows(), (std::vector<std::string>{"Customer | " + kCustomer + " | 1"}));
}

TEST_F(BuilderTest, ThePathsCountFollowsTheTypingAndMarksAnInvalidExpression) {
    StartLoaded();
    Keys(Qt::Key_N);
    ASSERT_NE(Builder(), nullptr);
    Enter(Find("FD:Field", "4711"));
    QTableWidget* table = Fields();
    table->setFocus();
    table->setCurrentCell(0, frmBuilder::kColPath);
    table->editItem(table->item(0, frmBuilder::kColPath));
    auto* editor = Builder()->findChild<QLineEdit*>(QStringLiteral("txtPathEditor"));
    ASSERT_NE(editor, nullptr);
    editor->selectAll();
    QTest::keyClicks(editor, "//FD:Field[");
    EXPECT_EQ(table->item(0, frmBuilder::kColMatches)->text(), "invalid");
    QTest::keyClick(editor, Qt::Key_Backspace);
    EXPECT_EQ(table->item(0, frmBuilder::kColMatches)->text(), "4");
}

TEST_F(BuilderTest, WithATableOfTheFolderOpenCountsSayInHowManyFiles) {
    StartLoaded();
    files.Write("other.xml", "<FD:R xmlns:FD=\"http://www.ridorudu.org/namespace/RidoRudu\">"
                             "<FD:Datas Table=\"Head\"/></FD:R>");
    window->OpenTable({QString::fromStdString(files.dir())});
    QPointer<frmTable> table;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* t = qobject_cast<frmTable*>(widget))
            table = t;
    ASSERT_NE(table, nullptr);
    Keys(Qt::Key_N);
    ASSERT_NE(Builder(), nullptr);
    Enter(Find("FD:Field", "4711"));
    EXPECT_EQ(Fields()->item(0, frmBuilder::kColMatches)->text(), "1, in 1 of 2 files");
    delete table.data();
}

TEST_F(BuilderTest, DeletingAConfigurationAsksFirst) {
    StartLoaded();
    ConfigList()->setCurrentIndex(0);
    const std::string before = ConfigBytes();
    Keys(Qt::Key_E);
    ASSERT_NE(Builder(), nullptr);
    boxes.Answer(MsgAnswer::No);
    QTest::mouseClick(In<QPushButton>("pbDelete"), Qt::LeftButton);
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(Box(0), "Ravlen: Delete configuration 001?");
    EXPECT_EQ(ConfigBytes(), before);

    boxes.Answer(MsgAnswer::Yes);
    QTest::mouseClick(In<QPushButton>("pbDelete"), Qt::LeftButton);
    const size_t start = before.find("  <Config>");
    const size_t end = before.find("</Config>\n") + 10;
    EXPECT_EQ(ConfigBytes(), before.substr(0, start) + before.substr(end));
    ASSERT_EQ(ConfigList()->count(), 1);
    EXPECT_EQ(ConfigList()->itemText(0).toStdString(), "002 ");
}

TEST_F(BuilderTest, ANumberInUseIsRefused) {
    StartLoaded();
    Keys(Qt::Key_N);
    ASSERT_NE(Builder(), nullptr);
    const std::string before = ConfigBytes();
    In<QLineEdit>("txtNumber")->setText("2");
    QTest::mouseClick(In<QPushButton>("pbSave"), Qt::LeftButton);
    EXPECT_EQ(Box(0), "Error while saving configuration: A configuration with the number 002 "
                      "exists already.");
    EXPECT_EQ(ConfigBytes(), before);
}

} // namespace
