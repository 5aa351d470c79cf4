#include "common/Failure.h"
#include "support/ReadOnlyFolder.h"
#include "support/Seams.h"
#include "xml/DOMWrapper.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <signal.h>
#include <sys/ioctl.h>
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

// What the next call that would put a written temporary file in place of the target does.
enum class PlaceFault { None, Fail, Kill };
std::atomic<PlaceFault> g_placeFault{PlaceFault::None};

// True when the call is to go ahead.
bool PassPlacement() {
    switch (g_placeFault.load()) {
    case PlaceFault::None:
        return true;
    case PlaceFault::Fail:
        errno = EIO;
        return false;
    case PlaceFault::Kill:
        ::raise(SIGKILL);
    }
    return false;
}

template <typename F> F Real(const char* name) {
    return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}

} // namespace

// The calls by which a saved file's temporary replaces the target, wrapped so that the test
// can make them fail or kill the process at exactly that moment.
extern "C" int rename(const char* from, const char* to) {
    static const auto real = Real<int (*)(const char*, const char*)>("rename");
    return PassPlacement() ? real(from, to) : -1;
}

extern "C" int renameat(int fromDir, const char* from, int toDir, const char* to) {
    static const auto real = Real<int (*)(int, const char*, int, const char*)>("renameat");
    return PassPlacement() ? real(fromDir, from, toDir, to) : -1;
}

extern "C" int renameat2(int fromDir, const char* from, int toDir, const char* to,
                         unsigned int flags) {
    static const auto real =
        Real<int (*)(int, const char*, int, const char*, unsigned int)>("renameat2");
    return PassPlacement() ? real(fromDir, from, toDir, to, flags) : -1;
}

extern "C" int linkat(int fromDir, const char* from, int toDir, const char* to, int flags) {
    static const auto real = Real<int (*)(int, const char*, int, const char*, int)>("linkat");
    return PassPlacement() ? real(fromDir, from, toDir, to, flags) : -1;
}

namespace {

constexpr const char* kOldContent = "<?xml version=\"1.0\"?>\n<old>keep me &amp; my bytes</old>\n";

// A file system mounted over a folder for the life of the object.
class TmpfsMount {
public:
    TmpfsMount(const std::string& dir, const char* options) : dir_(dir) {
        fs::create_directories(dir);
        mounted_ = ::mount("tmpfs", dir.c_str(), "tmpfs", 0, options) == 0;
        if (!mounted_)
            error_ = std::strerror(errno);
    }
    ~TmpfsMount() {
        if (mounted_)
            ::umount2(dir_.c_str(), MNT_DETACH);
    }
    bool mounted() const { return mounted_; }
    const std::string& error() const { return error_; }
    bool MakeReadOnly() {
        return ::mount(nullptr, dir_.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }

private:
    std::string dir_;
    bool mounted_ = false;
    std::string error_;
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
    if (!small.mounted())
        GTEST_SKIP() << "cannot mount a 64 KB tmpfs here (" << small.error()
                     << "); needs root with mount permission";
    const std::string target = dir + "/data.xml";
    files.Write("small/data.xml", kOldContent);
    const auto before = Entries(dir);

    ExpectSaveFails(target);
    ExpectUntouched(target, before);
    ExpectSaveFails(dir + "/new.xml");
    ExpectUntouched(target, before);

    // The same file system takes a document that fits.
    DOMWrapper small_doc;
    small_doc.NewDoc("fits");
    small_doc.Save(target);
    EXPECT_NE(ReadFileBytes(target).find("<fits/>"), std::string::npos);
}

TEST_F(SaveFaultsTest, FolderWithoutWritePermissionKeepsTheOldFile) {
    const std::string dir = files.Path("locked");
    TmpfsMount locked(dir, "size=1m,mode=0755");
    std::optional<ReadOnlyFolder> immutable;
    files.Write("locked/data.xml", kOldContent);
    if (!locked.mounted() || !locked.MakeReadOnly()) {
        // Permission bits do not stop root; an immutable folder does, where supported.
        immutable.emplace(dir);
        if (!immutable->locked())
            GTEST_SKIP() << "cannot make a folder read-only for this user here: neither a "
                            "read-only tmpfs nor an immutable folder is allowed";
    }
    const std::string target = dir + "/data.xml";
    const auto before = Entries(dir);

    ExpectSaveFails(target);
    ExpectUntouched(target, before);
    ExpectSaveFails(dir + "/new.xml");
    ExpectUntouched(target, before);
}

TEST_F(SaveFaultsTest, ReadOnlyFileKeepsItsBytes) {
    for (const auto mode :
         {fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read,
          fs::perms::owner_read | fs::perms::group_write | fs::perms::others_write,
          fs::perms::none}) {
        const std::string target = files.Write("readonly.xml", kOldContent);
        fs::permissions(target, mode, fs::perm_options::replace);
        const auto before = Entries(files.dir());
        ExpectSaveFails(target);
        ExpectUntouched(target, before);
        EXPECT_EQ(fs::status(target).permissions(), mode);
        fs::permissions(target, fs::perms::owner_all, fs::perm_options::replace);
    }
}

TEST_F(SaveFaultsTest, FailureToPutTheFileInPlaceKeepsTheOldFile) {
    const std::string target = files.Write("data.xml", kOldContent);
    const auto before = Entries(files.dir());
    g_placeFault = PlaceFault::Fail;
    ExpectSaveFails(target);
    g_placeFault = PlaceFault::None;
    ExpectUntouched(target, before);

    // Nothing of the failed attempt stands in the way of the next save.
    doc.Save(target);
    EXPECT_EQ(ReadFileBytes(target).size() > 256u * 1024, true);
}

TEST_F(SaveFaultsTest, CrashBetweenWriteAndRenameKeepsTheOldFile) {
    const std::string target = files.Write("data.xml", kOldContent);
    const auto before = Entries(files.dir());
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
    EXPECT_EQ(ReadFileBytes(target), kOldContent);
    // A process that dies cannot clean up; what it leaves must not carry the target's name.
    for (const auto& name : Entries(files.dir())) {
        if (!before.count(name)) {
            EXPECT_NE(name, "data.xml");
        }
    }

    // The next save, by a process that lives, replaces the file as usual.
    doc.Save(target);
    EXPECT_NE(ReadFileBytes(target).find("<r>nnn"), std::string::npos);
}

} // namespace
