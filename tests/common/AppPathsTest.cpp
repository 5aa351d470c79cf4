#include "common/AppPaths.h"
#include "support/Seams.h"

#include <QDir>
#include <gtest/gtest.h>

namespace {

// The executable and the XDG folders, all inside one temporary folder.
class ConfigurationLookup : public testing::Test {
protected:
    void SetUp() override {
        OverrideExecutablePath(files.Path("bin/editor"));
        qputenv("XDG_CONFIG_HOME", files.Path("home").c_str());
        qputenv("XDG_CONFIG_DIRS", (files.Path("site") + ":" + files.Path("vendor")).c_str());
    }
    void TearDown() override {
        OverrideExecutablePath("");
        qputenv("XDG_CONFIG_HOME", home_);
        qputenv("XDG_CONFIG_DIRS", dirs_);
    }

    std::string Place(const std::string& path) {
        QDir().mkpath(QString::fromStdString(files.Path(path)).section('/', 0, -2));
        return files.Write(path, "<XML/>");
    }

    TempFiles files;

private:
    QByteArray home_ = qgetenv("XDG_CONFIG_HOME");
    QByteArray dirs_ = qgetenv("XDG_CONFIG_DIRS");
};

TEST_F(ConfigurationLookup, BesideTheExecutableThenTheUsersThenEachSystemFolder) {
    const std::string beside = files.Path("bin/editor.lib");
    EXPECT_EQ(ConfigurationFilePath(), beside); // none anywhere: the path the message names
    const std::string vendor = Place("vendor/ravlen/ravlen.lib");
    EXPECT_EQ(ConfigurationFilePath(), vendor);
    const std::string site = Place("site/ravlen/ravlen.lib");
    EXPECT_EQ(ConfigurationFilePath(), site);
    const std::string user = Place("home/ravlen/ravlen.lib");
    EXPECT_EQ(ConfigurationFilePath(), user);
    Place("bin/editor.lib");
    EXPECT_EQ(ConfigurationFilePath(), beside);
}

} // namespace
