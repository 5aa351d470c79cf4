#include "export/ShellExecute.h"

#include "support/DesktopSandbox.h"
#include "support/Seams.h"

#include <gtest/gtest.h>

namespace {
// Only plain text has an application on this test desktop.
const bool kSandboxed = (UseDesktopSandbox({"text/plain"}), true);
} // namespace

TEST(OpenFileWithShell, RefusedFilesAreNamedWithoutStartingAnything) {
    ASSERT_TRUE(kSandboxed);
    TempFiles files;
    const std::string binary =
        files.Write("data.qqz", std::string("\x00\x9f\xfe\x01\x02\xff\x80\x00", 8));
    RecordingLauncher launcher;
    const std::pair<std::string, std::string> cases[] = {
        {"", "No file selected!"},
        {"   ", "No file selected!"},
        {files.Path("missing.txt"), "File not found"},
        {files.Path("no-such-folder/missing.txt"), "Path not found"},
        {binary, "No application is associated with this file type."},
    };
    for (const auto& [path, expected] : cases) {
        std::string error = "text the caller had";
        EXPECT_FALSE(OpenFileWithShell(path, error));
        EXPECT_EQ(error, expected) << path;
    }
    EXPECT_TRUE(launcher.uris.empty());
}
