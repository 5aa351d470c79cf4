#pragma once

#include <QString>

#include <cstdint>
#include <optional>

// What tells a file's content as it was read: a file rewritten since then differs in at least
// one of these.
struct FileStamp {
    int64_t nSize = -1;
    int64_t nModified = 0;  // nanoseconds since the epoch
    uint32_t nChecksum = 0; // CRC-32 of all its bytes
    bool operator==(const FileStamp&) const = default;
};

// The modification time of the file at path, or of an open file, in nanoseconds since the
// epoch; nothing when it cannot be told.
std::optional<int64_t> ModifiedTime(const QString& sPath);
std::optional<int64_t> ModifiedTime(int fd);

// The file's stamp now, read in pieces; nothing when it cannot be read.
std::optional<FileStamp> StampOf(const QString& sPath);
