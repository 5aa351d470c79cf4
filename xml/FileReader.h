#pragma once

#include <QByteArray>
#include <QFile>

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>

// Feeds the file to the parser piece by piece, so that no copy of the whole file stands
// beside the tree; keeps the first bytes for the byte-order test, and a checksum by which a
// save knows the file is still the one loaded. The parser asks for 4 kB at a time: the file
// is read in larger pieces, each checksummed and reported once.
struct FileReader {
    QFile& file;
    const std::function<void(int64_t, int64_t)>& progress;
    const std::atomic<bool>* stop;
    int64_t total = 0; // the file's size when opened, for the progress
    QByteArray head;
    bool failed = false;
    bool stopped = false;
    uLong checksum = crc32(0, nullptr, 0);
    int64_t size = 0;
    static constexpr qint64 kPiece = 64 * 1024;
    std::unique_ptr<char[]> piece{new char[kPiece]};
    qint64 taken = 0;
    qint64 held = 0;

    static int Read(void* context, char* buffer, int length) {
        auto* reader = static_cast<FileReader*>(context);
        // The parser gives up on a failed read, which is the only way to stop it early.
        if (reader->stop && reader->stop->load(std::memory_order_relaxed)) {
            reader->stopped = true;
            return -1;
        }
        if (reader->taken == reader->held && !reader->Fill())
            return -1;
        const qint64 count = std::min<qint64>(length, reader->held - reader->taken);
        std::memcpy(buffer, reader->piece.get() + reader->taken, static_cast<size_t>(count));
        reader->taken += count;
        return static_cast<int>(count);
    }

    bool Fill() {
        const qint64 count = file.read(piece.get(), kPiece);
        if (count < 0) {
            failed = true;
            return false;
        }
        taken = 0;
        held = count;
        checksum =
            crc32(checksum, reinterpret_cast<const Bytef*>(piece.get()), static_cast<uInt>(count));
        size += count;
        if (head.size() < 2)
            head.append(piece.get(), std::min<qint64>(count, 2 - head.size()));
        if (progress && count > 0)
            progress(size, std::max(total, size));
        return true;
    }
};
