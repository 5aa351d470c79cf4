#include "app/main/CommandLine.h"
#include "app/main/frmMainFixture.h"

#include <QDir>
#include <QRegularExpression>

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
        {{"--config", ""}, "no configuration has the number ''"},
    };
    for (const auto& [arguments, reason] : cases) {
        const CommandLineRequest request = Parse(arguments);
        EXPECT_TRUE(request.bExit) << reason.toStdString();
        EXPECT_EQ(request.nExitCode, kCommandLineRefused) << reason.toStdString();
        EXPECT_TRUE(request.sOutput.isEmpty());
        EXPECT_TRUE(request.sError.startsWith("ravlen: " + reason)) << request.sError.toStdString();
    }
}

// The window started the way main starts it, after the command line was checked.
TEST_F(WindowTest, CommandLineConfigurationMustBeListedAndOpensWithTheFile) {
    Start();
    for (const QString number : {"007", "abc", "1.0"}) {
        CommandLineRequest request = Parse({"--config", number});
        CheckConfigurationNumber(request);
        EXPECT_TRUE(request.bExit);
        EXPECT_EQ(request.nExitCode, kCommandLineRefused);
        EXPECT_TRUE(request.sError.contains("'" + number + "'")) << request.sError.toStdString();
    }
    const std::string file = files.Write("order.xml", DataFile("", "4711", "Miller"));
    CommandLineRequest request = Parse({"--config", "2", QString::fromStdString(file)});
    CheckConfigurationNumber(request);
    ASSERT_FALSE(request.bExit) << request.sError.toStdString();
    window->OpenFromCommandLine(request.sConfigNumber, request.sFile);
    EXPECT_TRUE(boxes.shown().empty());
    EXPECT_EQ(Path(), file);
    EXPECT_EQ(Shown(), (Rows{{"Who", "Miller"}, {"Kind", "2"}}));
}

} // namespace

namespace {

TEST(CommandLine, SuggestFieldsPrintsPathAliasAndMatchesInDocumentOrder) {
    TempFiles files;
    const std::string data = files.Write(
        "d.xml", "<FD:R xmlns:FD='http://www.ridorudu.org/namespace/RidoRudu'>"
                 "<FD:D T='a'><FD:F>1</FD:F><FD:F>2</FD:F></FD:D><FD:D T='b'/><Plain x='y'/>"
                 "</FD:R>");
    const CommandLineRequest request = Parse({"--suggest-fields", QString::fromStdString(data)});
    EXPECT_TRUE(request.bExit);
    EXPECT_EQ(request.nExitCode, 0);
    EXPECT_EQ(request.sOutput.toStdString(), "/FD:R/FD:D[@T='a']/@T\ta T\t1\n"
                                             "/FD:R/FD:D[@T='a']/FD:F[1]\tF\t1\n"
                                             "/FD:R/FD:D[@T='a']/FD:F[2]\tF\t1\n"
                                             "/FD:R/FD:D[@T='b']\tb\t1\n"
                                             "/FD:R/FD:D[@T='b']/@T\tb T\t1\n"
                                             "/FD:R/Plain\tPlain\t1\n"
                                             "/FD:R/Plain/@x\tPlain x\t1\n");
}

TEST(CommandLine, SuggestFieldsRefusesAFileThatDoesNotLoadAndSaysWhy) {
    TempFiles files;
    const std::string broken = files.Write("broken.xml", "<a>");
    const CommandLineRequest request = Parse({"--suggest-fields", QString::fromStdString(broken)});
    EXPECT_TRUE(request.bExit);
    EXPECT_EQ(request.nExitCode, 2);
    EXPECT_TRUE(request.sOutput.isEmpty());
    EXPECT_TRUE(request.sError.contains("broken.xml")) << request.sError.toStdString();
    EXPECT_TRUE(request.sError.contains("Premature end of data")) << request.sError.toStdString();
}

TEST(CommandLine, NewConfigHandsTheDataFileToTheWindow) {
    const CommandLineRequest request = Parse({"--new-config", "orders.xml"});
    EXPECT_FALSE(request.bExit);
    EXPECT_EQ(request.sNewConfigFile, QDir::current().absoluteFilePath("orders.xml"));
    EXPECT_TRUE(request.sFile.isEmpty());
}

} // namespace
