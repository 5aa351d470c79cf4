#pragma once

#include "app/frmMain.h"
#include "common/AppPaths.h"
#include "support/Seams.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMimeData>
#include <QTest>
#include <QUrl>
#include <gtest/gtest.h>

#include <memory>
#include <string>

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

// The real window, started on a configuration placed beside a pretended executable.
class WindowTest : public testing::Test {
protected:
    void SetUp() override { OverrideExecutablePath(files.Path("ravlen")); }
    void TearDown() override {
        window.reset();
        OverrideExecutablePath("");
    }

    frmMain& Start(const std::string& config = kTestConfig) {
        files.Write("ravlen.lib", config);
        window = std::make_unique<frmMain>();
        EXPECT_TRUE(window->InitApplication());
        return *window;
    }

    void Show() {
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }

    // Chooses a configuration by list index, then drops a file onto the source box.
    void Open(int configIndex, const std::string& path) {
        window->cmbConfig->setCurrentIndex(configIndex);
        Drop({QUrl::fromLocalFile(QString::fromStdString(path))});
    }

    void Drop(const QList<QUrl>& urls) {
        QMimeData data;
        data.setUrls(urls);
        window->txtXMLFile_OLEDragDrop(data);
    }

    // Types text into row's Value cell through the cell editor and commits it with Enter.
    void TypeValue(int row, const QString& text, bool replace = true) {
        SpreadGrid* grid = window->Grid;
        grid->SetActiveCell(12, row);
        grid->setFocus();
        QTest::keyClick(grid, Qt::Key_F2);
        auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
        ASSERT_NE(editor, nullptr) << "no cell editor opened";
        if (replace)
            editor->selectAll();
        QTest::keyClicks(editor, text);
        QTest::keyClick(editor, Qt::Key_Return);
        // Enter commits through a queued call.
        QCoreApplication::processEvents();
    }

    std::string Cell(int row, int col) const { return window->Grid->GetText(row, col); }

    TempFiles files;
    ScriptedMessageBox boxes;
    ScriptedFileDialog dialogs;
    std::unique_ptr<frmMain> window;
};
