#include "export/ShellExecute.h"

#include "support/DesktopSandbox.h"
#include "support/Seams.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

// Only plain text has an application on this test desktop.
const bool kSandboxed = (UseDesktopSandbox({"text/plain"}), true);

const std::string kUntouched = "text the caller had";

} // namespace

TEST(OpenFileWithShell, BlankPathAsksForAFileWithoutStartingAnything) {
    ASSERT_TRUE(kSandboxed);
    RecordingLauncher launcher;
    for (const std::string path : {"", "   "}) {
        std::string error = kUntouched;
        EXPECT_FALSE(OpenFileWithShell(path, error));
        EXPECT_EQ(error, "No file selected!");
    }
    EXPECT_TRUE(launcher.uris.empty());
}

TEST(OpenFileWithShell, MissingFileAndMissingFolderAreToldApart) {
    TempFiles files;
    const std::string existing = files.Write("notes.txt", "hello\n");
    RecordingLauncher launcher;

    std::string error;
    EXPECT_FALSE(OpenFileWithShell(files.Path("missing.txt"), error));
    EXPECT_EQ(error, "File not found");

    EXPECT_FALSE(OpenFileWithShell(files.Path("no-such-folder/missing.txt"), error));
    EXPECT_EQ(error, "Path not found");

    // A file where a folder is expected.
    EXPECT_FALSE(OpenFileWithShell(existing + "/inner.txt", error));
    EXPECT_EQ(error, "Path not found");

    EXPECT_TRUE(launcher.uris.empty());
}

TEST(OpenFileWithShell, TypeWithoutApplicationIsReportedBeforeLaunching) {
    TempFiles files;
    const std::string binary =
        files.Write("data.qqz", std::string("\x00\x9f\xfe\x01\x02\xff\x80\x00", 8));
    RecordingLauncher launcher;

    std::string error = kUntouched;
    EXPECT_FALSE(OpenFileWithShell(binary, error));
    EXPECT_EQ(error, "No application is associated with this file type.");
    EXPECT_TRUE(launcher.uris.empty());
}

TEST(OpenFileWithShell, AssociatedFileIsHandedOnAndLeavesTheErrorTextAlone) {
    TempFiles files;
    const std::string text = files.Write("read me.txt", "hello\n");
    RecordingLauncher launcher;

    std::string error = kUntouched;
    EXPECT_TRUE(OpenFileWithShell(text, error));
    EXPECT_EQ(error, kUntouched);
    ASSERT_EQ(launcher.uris.size(), 1u);
    EXPECT_EQ(launcher.uris.front(), FileUri(text));
}

TEST(OpenFileWithShell, LaunchFailuresBecomeTheirTexts) {
    TempFiles files;
    const std::string text = files.Write("notes.txt", "hello\n");
    const std::pair<ShellLaunchResult, std::string> cases[] = {
        {ShellLaunchResult::NoApplication, "No application is associated with this file type."},
        {ShellLaunchResult::FileNotFound, "File not found"},
        {ShellLaunchResult::PathNotFound, "Path not found"},
        {ShellLaunchResult::AccessDenied, "Path/file access error"},
        {ShellLaunchResult::Failed,
         "An error occurred occurred while trying to open the selected file."},
    };
    for (const auto& [result, expected] : cases) {
        RecordingLauncher launcher(result);
        std::string error = kUntouched;
        EXPECT_FALSE(OpenFileWithShell(text, error));
        EXPECT_EQ(error, expected);
        EXPECT_EQ(launcher.uris.size(), 1u);
    }
}
