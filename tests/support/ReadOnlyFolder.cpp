#include "support/ReadOnlyFolder.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool CanCreateFileIn(const std::string& dir) {
    const std::string probe = dir + "/.write-probe";
    const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    if (fd < 0)
        return false;
    ::close(fd);
    return ::unlink(probe.c_str()) == 0;
}

bool SetImmutable(const std::string& dir, bool on) {
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY);
    int flags = 0;
    bool done = fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
    done = done && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    if (fd >= 0)
        ::close(fd);
    return done;
}

} // namespace

ReadOnlyFolder::ReadOnlyFolder(std::string dir) : dir_(std::move(dir)) {
    ::chmod(dir_.c_str(), 0555);
    if (CanCreateFileIn(dir_))
        immutable_ = SetImmutable(dir_, true);
    locked_ = !CanCreateFileIn(dir_);
}

ReadOnlyFolder::~ReadOnlyFolder() {
    if (immutable_)
        SetImmutable(dir_, false);
    ::chmod(dir_.c_str(), 0755);
}
