#include "common/Log.h"
#include "common/Failure.h"
#include "support/Seams.h"
#include "xml/DOMWrapper.h"

#include <QString>

#include <gtest/gtest.h>

namespace {

struct Record {
    QtMsgType type;
    QString category;
    QString text;
};
std::vector<Record> records;

void Capture(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    records.push_back({type, QString::fromLatin1(context.category), text});
}

// A load failure reaches the log with its number, the parser's reason and where it lies.
TEST(LogFailure, KeepsTheParsersReasonWithLineAndColumn) {
    TempFiles files;
    const std::string path = files.Write("broken.xml", "<a>\n  <b x='1' x='2'/>\n</a>\n");
    DOMWrapper doc;
    records.clear();
    const QtMessageHandler previous = qInstallMessageHandler(Capture);
    try {
        doc.Load(path);
        ADD_FAILURE() << "a malformed file loaded";
    } catch (const Failure& failure) {
        LogFailure("Error while loading xml-file", failure);
    }
    qInstallMessageHandler(previous);

    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].type, QtWarningMsg);
    EXPECT_EQ(records[0].category, "ravlen");
    const QString& text = records[0].text;
    EXPECT_TRUE(text.startsWith("Error while loading xml-file: 60000 ")) << text.toStdString();
    EXPECT_TRUE(text.contains(QString::fromStdString(path))) << text.toStdString();
    EXPECT_TRUE(text.contains("redefined")) << text.toStdString();
    EXPECT_TRUE(text.contains("line 2, column")) << text.toStdString();
}

} // namespace
