#include "app/shared/ConfigurationFile.h"

#include "common/AppPaths.h"
#include "common/Failure.h"
#include "support/Seams.h"
#include "xml/DOMWrapper.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

namespace {

ConfigurationDraft Draft(int32_t number) {
    ConfigurationDraft draft;
    draft.nNumber = number;
    draft.sDescription = "New";
    draft.Fields.push_back({"/R/A", "A", {}});
    return draft;
}

class ConfigurationFileTest : public testing::Test {
protected:
    void SetUp() override {
        OverrideExecutablePath(files.Path("bin/ravlen"));
        home = QByteArray::fromStdString(files.Path("home"));
        system = QByteArray::fromStdString(files.Path("system"));
        savedHome = qgetenv("XDG_CONFIG_HOME");
        savedDirs = qgetenv("XDG_CONFIG_DIRS");
        qputenv("XDG_CONFIG_HOME", home);
        qputenv("XDG_CONFIG_DIRS", system);
    }
    void TearDown() override {
        qputenv("XDG_CONFIG_HOME", savedHome);
        qputenv("XDG_CONFIG_DIRS", savedDirs);
        OverrideExecutablePath("");
    }
    TempFiles files;
    QByteArray home, system, savedHome, savedDirs;
};

TEST_F(ConfigurationFileTest, AReadOnlyFileInUseIsCopiedToTheUsersOwnFirst) {
    QDir().mkpath(QString::fromUtf8(system + "/ravlen"));
    const std::string inUse = files.Write(
        "system/ravlen/ravlen.lib",
        "<XML>\r\n\t<Config><Number>001</Number><Description>One</Description></Config>\r\n</XML>");
    QFile::setPermissions(QString::fromStdString(inUse), QFile::ReadOwner | QFile::ReadGroup);
    ASSERT_EQ(ConfigurationFilePath(), inUse);

    const std::string target = ConfigurationSaveTarget(inUse);
    EXPECT_EQ(target, files.Path("home/ravlen/ravlen.lib"));
    EXPECT_EQ(ReadFileBytes(target), ReadFileBytes(inUse));
    EXPECT_EQ(ConfigurationFilePath(), target); // read from now on

    WriteConfiguration(target, Draft(2));
    // Indented by the sibling's tab, with the file's own line ends.
    EXPECT_EQ(ReadFileBytes(target),
              "<XML>\r\n\t<Config><Number>001</Number><Description>One</Description></Config>\r\n"
              "\t<Config>\r\n\t\t<Number>002</Number>\r\n\t\t<Description>New</Description>\r\n"
              "\t\t<Check_OriginalFile></Check_OriginalFile>\r\n\t\t<Fields>\r\n"
              "\t\t\t<Field>\r\n\t\t\t\t<XPath>/R/A</XPath>\r\n\t\t\t\t<Alias>A</Alias>\r\n"
              "\t\t\t</Field>\r\n\t\t</Fields>\r\n\t</Config>\r\n</XML>");
    EXPECT_EQ(ReadFileBytes(inUse).find("002"), std::string::npos);
}

TEST_F(ConfigurationFileTest, AnEmptyRootGetsItsFirstConfiguration) {
    const std::string path = files.Write("ravlen.lib", "<?xml version='1.0'?>\n<XML/>\n");
    ConfigurationDraft draft = Draft(1);
    draft.Fields.clear();
    WriteConfiguration(path, draft);
    EXPECT_EQ(ReadFileBytes(path), "<?xml version='1.0'?>\n<XML>\n  <Config>\n"
                                   "    <Number>001</Number>\n    <Description>New</Description>\n"
                                   "    <Check_OriginalFile></Check_OriginalFile>\n"
                                   "    <Fields/>\n  </Config>\n</XML>\n");
    DOMWrapper doc;
    doc.Load(path, "");
    EXPECT_EQ(NextConfigurationNumber(doc), 2);
}

TEST_F(ConfigurationFileTest, ReplacingAConfigurationThatIsNotThereFailsAndLeavesTheFile) {
    const std::string content = "<XML><Config><Number>001</Number></Config></XML>";
    const std::string path = files.Write("ravlen.lib", content);
    EXPECT_THROW(WriteConfiguration(path, Draft(5), 5), Failure);
    EXPECT_EQ(ReadFileBytes(path), content);
}

} // namespace
