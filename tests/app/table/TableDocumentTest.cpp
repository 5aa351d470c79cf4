#include "app/table/TableDocument.h"
#include "app/main/frmMainFixture.h"

#include <QDir>

#include <filesystem>

namespace {

namespace fs = std::filesystem;

constexpr const char* kCustomerPath = "FD:R/FD:Datas[@Table='Order']/FD:Field[@Name='Customer']";
constexpr int kCustomer = 3;

// Runs every job on the worker threads, as the table window does, without a dialog.
bool RunAll(size_t count, const WorkJob& job) {
    std::atomic<bool> stop{false};
    return RunInBackground(
        count, job, [](size_t) { return true; }, stop);
}

// Runs the first n jobs here and none after them, as a Cancel after n files would leave it.
TableDocument::WorkRunner RunFirst(size_t n) {
    return [n](size_t count, const WorkJob& job) {
        const std::atomic<bool> stop{false};
        for (size_t i = 0; i < count && i < n; ++i)
            job(i, stop);
        return n >= count;
    };
}

class TableDocumentTest : public testing::Test {
protected:
    ConfigurationInfo Config(int32_t number = 1) {
        DOMWrapper configDoc;
        configDoc.Load(files.Write("ravlen.lib", kTestConfig), "");
        return ReadConfiguration(configDoc, number);
    }
    QString Write(const std::string& name, const std::string& content) {
        return QString::fromStdString(files.Write(name, content));
    }
    std::string Customer(const QString& file) {
        DOMWrapper doc;
        doc.Load(file.toStdString(), kRidoRuduDeclaration);
        return doc.GetElementValue(kCustomerPath, false);
    }
    // Sets a cell as a paste would.
    void Edit(TableDocument& table, int row, int col, const QString& text) {
        const QModelIndex index = table.index(row, col);
        ASSERT_EQ(table.EditCells({{index, text}}, "Typing"), 1);
    }

    TempFiles files;
    ScriptedMessageBox boxes;
};

TEST_F(TableDocumentTest, ManyFilesReadOnWorkerThreadsKeepTheirOrderAndReasons) {
    QStringList paths;
    for (int i = 0; i < 200; ++i)
        paths << Write(QStringLiteral("f%1.xml").arg(i, 3, 10, QChar('0')).toStdString(),
                       DataFile("", std::to_string(i), "C" + std::to_string(i)));
    paths << Write("zz-broken.xml", "<FD:R xmlns:FD='x'><open></FD:R>");
    const auto rows = TableDocument::ReadFiles(Config(), paths, RunAll);
    ASSERT_TRUE(rows);
    ASSERT_EQ(rows->size(), 201u);
    for (int i = 0; i < 200; ++i) {
        EXPECT_EQ((*rows)[static_cast<size_t>(i)].sPath, paths[i]);
        EXPECT_EQ((*rows)[static_cast<size_t>(i)].values[2], QStringLiteral("C%1").arg(i));
    }
    // The parser's own words, without the operation and its arguments around them.
    EXPECT_TRUE(rows->back().sError.startsWith("Premature end of data"))
        << rows->back().sError.toStdString();

    EXPECT_FALSE(TableDocument::ReadFiles(Config(), paths, RunFirst(100)));
    EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(TableDocumentTest, CancelledSaveLeavesTheRestMarkedAndUntouched) {
    const QString a = Write("a.xml", DataFile("", "1", "Adler"));
    const QString b = Write("b.xml", DataFile("", "2", "Bauer"));
    const std::string bBytes = ReadFileBytes(b.toStdString());
    TableDocument table(Config());
    table.SetRows(*TableDocument::ReadFiles(Config(), {a, b}, RunAll));
    Edit(table, 0, kCustomer, "New A");
    Edit(table, 1, kCustomer, "New B");

    const TableDocument::SaveReport report = table.SaveChanged(QString(), RunFirst(1));
    EXPECT_EQ(report.nSaved, 1);
    ASSERT_EQ(report.problems.size(), 1u);
    EXPECT_EQ(report.problems[0].sPath, b);
    EXPECT_EQ(report.problems[0].sReason, "The save was cancelled before this file.");
    EXPECT_EQ(Customer(a), "New A");
    EXPECT_EQ(ReadFileBytes(b.toStdString()), bBytes);
    EXPECT_FALSE(table.Row(0).bChanged);
    EXPECT_TRUE(table.Row(1).bChanged);

    // The rest goes with the next save, which knows the file the first one wrote.
    EXPECT_TRUE(table.SaveChanged(QString(), RunAll).problems.empty());
    EXPECT_EQ(Customer(b), "New B");
    EXPECT_FALSE(table.HasChanges());
}

TEST_F(TableDocumentTest, OriginCopyThatCannotBeEmptiedIsReportedNotShownFromAWorker) {
    // A comment stops the emptying walk, which the single-file window reports in a box.
    std::string content = DataFile("yes", "4", "Dorn");
    content.insert(content.find("<FD:Datas Table=\"Order\">"), "<!-- kept -->");
    const QString origin = Write("origin.xml", content);
    fs::create_directories(files.Path("out"));
    TableDocument table(Config());
    table.SetRows(*TableDocument::ReadFiles(Config(), {origin}, RunAll));
    Edit(table, 0, kCustomer, "Edited");

    const auto report = table.SaveChanged(QString::fromStdString(files.Path("out")), RunAll);
    EXPECT_TRUE(boxes.shown().empty());
    ASSERT_EQ(report.problems.size(), 1u);
    EXPECT_FALSE(fs::exists(files.Path("out/origin.xml")));
    EXPECT_TRUE(table.Row(0).bChanged);
}

TEST_F(TableDocumentTest, LongValueFromTheFileStaysUntilEditedAndNoEditMakesOneLonger) {
    const std::string longValue(300, 'x');
    const QString file = Write("long.xml", DataFile("", "1", longValue));
    TableDocument table(Config());
    table.SetRows(*TableDocument::ReadFiles(Config(), {file}, RunAll));
    EXPECT_EQ(table.Row(0).values[2].size(), 300);

    // Shortened by one: the rest of the loaded value stays.
    Edit(table, 0, kCustomer, QString(299, 'y'));
    EXPECT_EQ(table.Row(0).values[2].size(), 299);
    // A paste longer than both is cut to the longer of the old value and the limit.
    Edit(table, 0, kCustomer, QString(400, 'z'));
    EXPECT_EQ(table.Row(0).values[2].size(), 299);
    Edit(table, 0, kCustomer, "short");
    Edit(table, 0, kCustomer, QString(400, 'z'));
    EXPECT_EQ(table.Row(0).values[2].size(), 255);
}

} // namespace
