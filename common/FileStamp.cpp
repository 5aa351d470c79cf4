#include "common/FileStamp.h"

#include <QFile>

#include <zlib.h>

#include <sys/stat.h>

#include <vector>

namespace {

int64_t Nanoseconds(const struct stat& info) {
    return static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
}

} // namespace

std::optional<int64_t> ModifiedTime(const QString& sPath) {
    struct stat info {};
    if (::stat(QFile::encodeName(sPath).constData(), &info) != 0)
        return std::nullopt;
    return Nanoseconds(info);
}

std::optional<int64_t> ModifiedTime(int fd) {
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        return std::nullopt;
    return Nanoseconds(info);
}

std::optional<FileStamp> StampOf(const QString& sPath) {
    QFile file(sPath);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const std::optional<int64_t> modified = ModifiedTime(file.handle());
    if (!modified)
        return std::nullopt;
    FileStamp stamp;
    stamp.nModified = *modified;
    stamp.nSize = 0;
    uLong checksum = crc32(0, nullptr, 0);
    std::vector<char> buffer(1 << 20);
    for (;;) {
        const qint64 count = file.read(buffer.data(), static_cast<qint64>(buffer.size()));
        if (count < 0)
            return std::nullopt;
        if (count == 0)
            break;
        checksum = crc32(checksum, reinterpret_cast<const Bytef*>(buffer.data()),
                         static_cast<uInt>(count));
        stamp.nSize += count;
    }
    stamp.nChecksum = static_cast<uint32_t>(checksum);
    return stamp;
}
