#include "common/Failure.h"
#include "support/Seams.h"
#include "xml/DOMWrapper.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <set>

namespace fs = std::filesystem;

namespace {

enum class PlaceFault { None, Fail, Kill };
std::atomic<PlaceFault> g_placeFault{PlaceFault::None};

// True when the call that puts the written temporary in place is to go ahead.
bool PassPlacement() {
    if (g_placeFault == PlaceFault::None)
        return true;
    if (g_placeFault == PlaceFault::Kill)
        ::raise(SIGKILL);
    errno = EIO;
    return false;
}

} // namespace

// The calls that put a saved file's temporary in place, so a test can fail or crash them.
extern "C" int rename(const char* from, const char* to) {
    static const auto real = reinterpret_cast<decltype(&rename)>(::dlsym(RTLD_NEXT, "rename"));
    return PassPlacement() ? real(from, to) : -1;
}

extern "C" int linkat(int fromDir, const char* from, int toDir, const char* to, int flags) {
    static const auto real = reinterpret_cast<decltype(&linkat)>(::dlsym(RTLD_NEXT, "linkat"));
    return PassPlacement() ? real(fromDir, from, toDir, to, flags) : -1;
}

namespace {

constexpr const char* kOldContent = "<?xml version=\"1.0\"?>\n<old>keep me &amp; my bytes</old>\n";

// A file system mounted over a folder for the life of the object.
struct TmpfsMount {
    TmpfsMount(const std::string& dir, const char* options) : dir(dir) {
        fs::create_directories(dir);
        mounted = ::mount("tmpfs", dir.c_str(), "tmpfs", 0, options) == 0;
    }
    ~TmpfsMount() {
        if (mounted)
            ::umount2(dir.c_str(), MNT_DETACH);
    }
    std::string dir;
    bool mounted = false;
};

class SaveFaultsTest : public testing::Test {
protected:
    void SetUp() override {
        // Large enough to overflow the small file system below.
        doc.NewDoc("r");
        doc.SetElementValue("/r", std::string(256 * 1024, 'n'));
    }
    void TearDown() override { g_placeFault = PlaceFault::None; }

    // The target is unchanged and the folder holds nothing but what it held before.
    void ExpectUntouched(const std::string& target, const std::set<std::string>& before) {
        EXPECT_EQ(ReadFileBytes(target), kOldContent);
        EXPECT_EQ(Entries(fs::path(target).parent_path().string()), before)
            << "a temporary file was left behind";
    }

    static std::set<std::string> Entries(const std::string& dir) {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir))
            names.insert(entry.path().filename().string());
        return names;
    }

    void ExpectSaveFails(const std::string& path) {
        try {
            doc.Save(path);
            ADD_FAILURE() << "Save reported success for " << path;
        } catch (const Failure& failure) {
            EXPECT_EQ(failure.number, kClassErrorNumber);
            EXPECT_EQ(failure.description,
                      "Error in Function 'DOMWrapper.Save' \r\nArgument(s) : " + path);
        }
    }

    TempFiles files;
    ScriptedMessageBox boxes;
    DOMWrapper doc;
};

TEST_F(SaveFaultsTest, FullFileSystemKeepsTheOldFile) {
    const std::string dir = files.Path("small");
    TmpfsMount small(dir, "size=64k,mode=0755");
    if (!small.mounted)
        GTEST_SKIP() << "cannot mount a 64 KB tmpfs here: " << std::strerror(errno);
    const std::string target = files.Write("small/data.xml", kOldContent);
    const auto before = Entries(dir);
    ExpectSaveFails(target);
    ExpectUntouched(target, before);
    ExpectSaveFails(dir + "/new.xml");
    ExpectUntouched(target, before);
}

// Writable for others but not its owner: read-only, also for root.
TEST_F(SaveFaultsTest, ReadOnlyFileKeepsItsBytes) {
    const auto mode = fs::perms::owner_read | fs::perms::group_write | fs::perms::others_write;
    const std::string target = files.Write("readonly.xml", kOldContent);
    fs::permissions(target, mode, fs::perm_options::replace);
    const auto before = Entries(files.dir());
    ExpectSaveFails(target);
    ExpectUntouched(target, before);
    EXPECT_EQ(fs::status(target).permissions(), mode);
}

TEST_F(SaveFaultsTest, FailureOrCrashBeforeTheRenameKeepsTheOldFile) {
    const std::string target = files.Write("data.xml", kOldContent);
    const auto mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    fs::permissions(target, mode, fs::perm_options::replace);
    const auto before = Entries(files.dir());
    g_placeFault = PlaceFault::Fail;
    ExpectSaveFails(target);
    g_placeFault = PlaceFault::None;
    ExpectUntouched(target, before);

    const pid_t child = ::fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        // The temporary is complete when it is put in place; the process dies right there.
        g_placeFault = PlaceFault::Kill;
        try {
            doc.Save(target);
        } catch (...) {
        }
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
        << "the save never reached the point of replacing the file";
    ExpectUntouched(target, before);

    // Nothing of either attempt stands in the way of the next save.
    doc.Save(target);
    EXPECT_NE(ReadFileBytes(target).find("<r>nnn"), std::string::npos);
    EXPECT_EQ(fs::status(target).permissions(), mode) << "the replaced file's permissions";
}

} // namespace
