#include "app/CommandLine.h"
#include "app/frmMain.h"
#include "common/AppPaths.h"
#include "support/Seams.h"

#include <QDir>
#include <QLineEdit>
#include <QRegularExpression>
#include <gtest/gtest.h>

namespace {

CommandLineRequest Parse(QStringList arguments) {
    arguments.prepend(QStringLiteral("ravlen"));
    return ParseCommandLine(arguments);
}

TEST(CommandLine, ConfigurationAndFileAreHandedToTheWindow) {
    const CommandLineRequest request = Parse({"--config", "001", "orders.xml"});
    EXPECT_FALSE(request.bExit);
    EXPECT_EQ(request.sConfigNumber, "001");
    EXPECT_EQ(request.sFile, QDir::current().absoluteFilePath("orders.xml"));
    EXPECT_TRUE(request.TableFiles.isEmpty());

    const CommandLineRequest several = Parse({"a.xml", "b.xml"});
    EXPECT_FALSE(several.bExit);
    EXPECT_TRUE(several.sFile.isEmpty());
    EXPECT_EQ(several.TableFiles, QStringList({QDir::current().absoluteFilePath("a.xml"),
                                               QDir::current().absoluteFilePath("b.xml")}));
}

TEST(CommandLine, VersionAnswersAndEndsWithZero) {
    const CommandLineRequest version = Parse({"--version"});
    EXPECT_TRUE(version.bExit);
    EXPECT_EQ(version.nExitCode, 0);
    EXPECT_TRUE(
        QRegularExpression("^ravlen \\d+\\.\\d+\\.\\d+\n$").match(version.sOutput).hasMatch())
        << version.sOutput.toStdString();
}

TEST(CommandLine, WhatCannotBeFollowedEndsWithTwoAndSaysWhy) {
    const std::pair<QStringList, QString> cases[] = {
        {{"--bogus"}, "Unknown option 'bogus'"},
        {{"--config"}, "Missing value after '--config'"},
    };
    for (const auto& [arguments, reason] : cases) {
        const CommandLineRequest request = Parse(arguments);
        EXPECT_TRUE(request.bExit) << reason.toStdString();
        EXPECT_EQ(request.nExitCode, kCommandLineRefused) << reason.toStdString();
        EXPECT_TRUE(request.sOutput.isEmpty());
        EXPECT_TRUE(request.sError.startsWith("ravlen: " + reason)) << request.sError.toStdString();
    }
}

// The window on the bundled sample configuration, started the way main starts it.
class CommandLineWindow : public testing::Test {
protected:
    void SetUp() override {
        OverrideExecutablePath(samples + "/ravlen");
        ASSERT_TRUE(window.InitApplication());
    }
    void TearDown() override { OverrideExecutablePath(""); }

    const std::string samples = RAVLEN_SAMPLES_DIR;
    ScriptedMessageBox boxes;
    frmMain window;
};

TEST_F(CommandLineWindow, ConfigurationAndSampleFileShowTheOrdersRows) {
    const QString file = QString::fromStdString(samples + "/orders-2004-11.xml");
    CommandLineRequest request = Parse({"--config", "001", file});
    CheckConfigurationNumber(request, window);
    ASSERT_FALSE(request.bExit) << request.sError.toStdString();
    window.OpenFromCommandLine(request.sConfigNumber, request.sFile);

    EXPECT_TRUE(boxes.shown().empty());
    EXPECT_EQ(window.findChild<QLineEdit*>("txtXMLFile")->text(), file);
    const auto* grid = window.findChild<SpreadGrid*>("Grid");
    ASSERT_EQ(grid->MaxRows(), 5);
    EXPECT_EQ(grid->GetText(3, 11) + "=" + grid->GetText(3, 12), "Customer=Miller & Sons");
}

TEST_F(CommandLineWindow, UnknownConfigurationNumberIsRefused) {
    for (const QString number : {"007", "1"}) { // 1 is listed as 001
        CommandLineRequest request = Parse({"--config", number});
        CheckConfigurationNumber(request, window);
        EXPECT_TRUE(request.bExit);
        EXPECT_EQ(request.nExitCode, kCommandLineRefused);
        EXPECT_TRUE(request.sError.contains("'" + number + "'")) << request.sError.toStdString();
    }
}

} // namespace
