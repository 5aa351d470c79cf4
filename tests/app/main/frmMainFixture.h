#pragma once

#include "app/main/frmMain.h"
#include "common/AppPaths.h"
#include "support/LogCapture.h"
#include "support/Seams.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QUrl>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

// Two configurations over the same data files: 001 checks for an origin file, 002 does not.
// A field of each selects nothing in the data files, so it never gets a row.
inline const char* const kTestConfig = R"(<?xml version="1.0"?>
<XML>
  <Config>
    <Number>001</Number>
    <Description>Orders</Description>
    <Check_OriginalFile>FD:R/FD:Datas[@Table='Head']/FD:Field[@Name='Original']</Check_OriginalFile>
    <Fields>
      <Field><XPath>FD:R/FD:Datas[@Table='Order']/FD:Field[@Name='No']</XPath><Alias>Number</Alias></Field>
      <Field><XPath>FD:R/FD:Datas[@Table='Order']/FD:Field[@Name='Gone']</XPath><Alias>Gone</Alias></Field>
      <Field><XPath>FD:R/FD:Datas[@Table='Order']/FD:Field[@Name='Customer']</XPath><Alias>Customer</Alias></Field>
    </Fields>
  </Config>
  <Config>
    <Number>002</Number>
    <Description></Description>
    <Check_OriginalFile/>
    <Fields>
      <Field><XPath>//FD:Field[@Name='Customer']</XPath><Alias>Who</Alias></Field>
      <Field><XPath>//FD:Field[@Name='No']/@FlowType</XPath><Alias>Kind</Alias></Field>
    </Fields>
  </Config>
</XML>
)";

// A data file; a non-blank original marks an origin file under configuration 001.
inline std::string DataFile(const std::string& original, const std::string& no,
                            const std::string& customer) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<FD:R xmlns:FD=\"http://www.ridorudu.org/namespace/RidoRudu\">"
           "<FD:Datas Table=\"Head\"><FD:Field Name=\"Original\" FlowType=\"1\">" +
           original +
           "</FD:Field><FD:Field Name=\"Note\" FlowType=\"1\">keep?</FD:Field></FD:Datas>"
           "<FD:Datas Table=\"Order\"><FD:Field Name=\"No\" FlowType=\"2\">" +
           no + "</FD:Field><FD:Field Name=\"Customer\" FlowType=\"1\">" + customer +
           "</FD:Field></FD:Datas></FD:R>\n";
}

// The real window, started on a configuration placed beside a pretended executable, driven
// through its controls, the seams and the events a person causes.
class WindowTest : public testing::Test {
protected:
    using Rows = std::vector<std::pair<std::string, std::string>>; // alias, value

    void SetUp() override { OverrideExecutablePath(files.Path("ravlen")); }
    void TearDown() override {
        window.reset();
        OverrideExecutablePath("");
    }

    void Start(const std::string& config = kTestConfig) {
        files.Write("ravlen.lib", config);
        window = std::make_unique<frmMain>();
        EXPECT_TRUE(window->InitApplication());
    }

    void Show() {
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }
    void StartShown(const std::string& config = kTestConfig) {
        Start(config);
        Show();
    }

    template <class T = QWidget> T* Control(const char* name) const {
        T* control = window->findChild<T*>(QString::fromUtf8(name));
        EXPECT_NE(control, nullptr) << name;
        return control;
    }
    QComboBox* ConfigList() const { return Control<QComboBox>("cmbConfig"); }
    QLineEdit* PathBox() const { return Control<QLineEdit>("txtXMLFile"); }
    SpreadGrid* Grid() const { return Control<SpreadGrid>("Grid"); }
    void Click(const char* name) { QTest::mouseClick(Control<QPushButton>(name), Qt::LeftButton); }

    // The enabled ones among the buttons that need data, e.g. "pbSaveAs pbExporttoExcel".
    std::string Enabled() const {
        std::string names;
        for (const char* name : {"pbSave", "pbSaveAs", "pbExporttoExcel"})
            if (Control(name)->isEnabled())
                names += (names.empty() ? "" : " ") + std::string(name);
        return names;
    }

    static QUrl Url(const std::string& path) {
        return QUrl::fromLocalFile(QString::fromStdString(path));
    }
    // Chooses a configuration by list index, then drops a file onto the source box.
    void Open(int configIndex, const std::string& path) {
        ConfigList()->setCurrentIndex(configIndex);
        Drop({Url(path)});
    }

    // Drags files from the desktop onto a control (the source box unless named) and lets
    // them go; false when the control refuses the drag. The drop's work waits for the event
    // loop, as it does once a desktop drag has ended; it is let run unless told not to.
    bool Drop(const QList<QUrl>& urls, QWidget* target = nullptr, bool work = true) {
        target = target ? target : PathBox();
        QMimeData data;
        data.setUrls(urls);
        const QPoint centre = target->rect().center();
        QDragEnterEvent enter(centre, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        if (!enter.isAccepted())
            return false;
        QDropEvent drop(QPointF(centre), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &drop);
        EXPECT_TRUE(drop.isAccepted());
        if (work)
            QCoreApplication::processEvents();
        return true;
    }

    // Types text into row's Value cell through the cell editor and commits it with Enter.
    void TypeValue(int row, const QString& text) {
        SpreadGrid* grid = Grid();
        grid->SetActiveCell(12, row);
        grid->setFocus();
        QTest::keyClick(grid, Qt::Key_F2);
        auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
        ASSERT_NE(editor, nullptr) << "no cell editor opened";
        editor->selectAll();
        QTest::keyClicks(editor, text);
        QTest::keyClick(editor, Qt::Key_Return);
        QCoreApplication::processEvents(); // Enter commits through a queued call
    }

    // Whether closing now would ask to save; the question is answered Cancel and forgotten.
    bool AsksToSave() {
        const size_t before = boxes.shown().size();
        QCloseEvent close;
        QApplication::sendEvent(window.get(), &close);
        if (boxes.shown().size() == before)
            return false;
        EXPECT_EQ(boxes.shown().back().text, "Save changed data?");
        boxes.ForgetLast();
        return true;
    }

    Rows Shown() const {
        Rows rows;
        for (int row = 1; row <= Grid()->MaxRows(); ++row)
            rows.emplace_back(Cell(row, 11), Cell(row, 12));
        return rows;
    }
    // "title: text" of the message box shown i-th.
    std::string Box(size_t i) const {
        return i < boxes.shown().size() ? boxes.shown()[i].title + ": " + boxes.shown()[i].text
                                        : "(none)";
    }
    std::string Cell(int row, int col) const { return Grid()->GetText(row, col); }
    std::string Path() const { return PathBox()->text().toStdString(); }

    TempFiles files;
    ScriptedMessageBox boxes;
    ScriptedFileDialog dialogs;
    std::unique_ptr<frmMain> window;
};
