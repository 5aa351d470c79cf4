#include "export/WorkbookWriter.h"

#include "common/Failure.h"
#include "common/FileReplace.h"
#include "common/Strings.h"

#include <xlsxwriter.h>

#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>
#include <utility>

namespace fs = std::filesystem;

namespace {

constexpr int32_t kErrPathFileAccess = 75;
constexpr const char* kSheetName = "XML-Data";
// The built-in number format "@" (text).
constexpr uint8_t kTextNumberFormatIndex = 49;

[[noreturn]] void ThrowFileError(const std::string& what, const std::string& path, int error) {
    throw Failure(kErrPathFileAccess, what + " '" + path + "': " + std::strerror(error));
}

[[noreturn]] void ThrowWorkbookError(const std::string& what, lxw_error error) {
    throw Failure(kErrInvalidCall, what + ": " + lxw_strerror(error));
}

// Reserves a new file name beside the target. The file is created with the permissions a
// new file gets, so the workbook ends up with them after the rename.
std::string ReserveTempFile(const std::string& target) {
    const fs::path targetPath(target);
    const fs::path folder = targetPath.has_parent_path() ? targetPath.parent_path() : fs::path(".");
    std::string stem = ".";
    stem += targetPath.filename().string();
    stem += '.';
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate =
            (folder / (stem + std::to_string(QRandomGenerator::global()->generate()) + ".tmp"))
                .string();
        const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::close(fd);
            return candidate;
        }
        if (errno != EEXIST)
            ThrowFileError("Cannot create a file in", folder.string(), errno);
    }
    ThrowFileError("Cannot create a file in", folder.string(), EEXIST);
}

// The rename must not make an unfinished workbook visible after a crash.
void FlushToDisk(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        ThrowFileError("Cannot open", path, errno);
    const bool synced = ::fsync(fd) == 0;
    const int error = errno;
    ::close(fd);
    if (!synced)
        ThrowFileError("Cannot write", path, error);
}

void CheckReplaceable(const std::string& path) {
    if (!MayReplaceFile(path))
        ThrowFileError("Cannot replace", path, EACCES);
}

} // namespace

WorkbookWriter::WorkbookWriter(std::string path, const std::vector<std::string>& header)
    : path_(std::move(path)) {
    if (IsBlank(path_))
        throw Failure(kErrPathFileAccess, "No file name given for the workbook");
    CheckReplaceable(path_);
    tempPath_ = ReserveTempFile(path_);
    try {
        // Rows are written once, in order: each can go to disk as soon as it is complete,
        // without a shared-string table to look every value up in.
        lxw_workbook_options options{};
        options.constant_memory = LXW_TRUE;
        workbook_ = workbook_new_opt(tempPath_.c_str(), &options);
        if (!workbook_)
            throw Failure(kErrInvalidCall, "Cannot create a workbook");
        worksheet_ = workbook_add_worksheet(workbook_, kSheetName);
        textFormat_ = workbook_add_format(workbook_);
        if (!worksheet_ || !textFormat_)
            throw Failure(kErrInvalidCall, "Cannot create the worksheet");
        format_set_num_format_index(textFormat_, kTextNumberFormatIndex);
        for (size_t column = 0; column < header.size(); ++column)
            WriteText(static_cast<int>(column), header[column], nullptr);
        ++row_;
    } catch (...) {
        Discard();
        throw;
    }
}

WorkbookWriter::~WorkbookWriter() {
    Discard();
}

void WorkbookWriter::AddRow(const std::string& alias, const std::string& value) {
    AddRow({alias, value});
}

void WorkbookWriter::AddRow(const std::vector<std::string>& cells) {
    if (!workbook_)
        throw Failure(kErrInvalidCall, "The workbook is already closed");
    for (size_t column = 0; column < cells.size(); ++column)
        WriteText(static_cast<int>(column), Trim(cells[column]), textFormat_);
    ++row_;
}

void WorkbookWriter::AddHiddenRow(const std::vector<std::string>& cells) {
    if (!workbook_)
        throw Failure(kErrInvalidCall, "The workbook is already closed");
    if (!hidden_) {
        hidden_ = workbook_add_worksheet(workbook_, kSourceSheetName);
        if (!hidden_)
            throw Failure(kErrInvalidCall, "Cannot create the worksheet");
        worksheet_hide(hidden_);
    }
    for (size_t column = 0; column < cells.size(); ++column) {
        const lxw_error error =
            worksheet_write_string(hidden_, hiddenRow_, static_cast<lxw_col_t>(column),
                                   cells[column].c_str(), textFormat_);
        if (error != LXW_NO_ERROR)
            ThrowWorkbookError("Cannot write row " + std::to_string(hiddenRow_ + 1), error);
    }
    ++hiddenRow_;
}

void WorkbookWriter::WriteText(int column, const std::string& text, lxw_format* format) {
    // Written as a string in every case: a leading "=" must not become a formula.
    const lxw_error error = worksheet_write_string(worksheet_, row_, column, text.c_str(), format);
    if (error != LXW_NO_ERROR)
        ThrowWorkbookError("Cannot write row " + std::to_string(row_ + 1), error);
}

void WorkbookWriter::Save() {
    if (!workbook_)
        throw Failure(kErrInvalidCall, "The workbook is already closed");
    try {
        // Closing frees the workbook whatever the outcome.
        const lxw_error error = workbook_close(std::exchange(workbook_, nullptr));
        if (error != LXW_NO_ERROR)
            ThrowWorkbookError("Cannot write '" + path_ + "'", error);
        FlushToDisk(tempPath_);

        CheckReplaceable(path_);
        // A replaced workbook keeps the permissions its owner gave it.
        std::error_code ec;
        const fs::file_status existing = fs::status(path_, ec);
        if (!ec && fs::exists(existing))
            fs::permissions(tempPath_, existing.permissions(), ec);
        if (std::rename(tempPath_.c_str(), path_.c_str()) != 0)
            ThrowFileError("Cannot replace", path_, errno);
        tempPath_.clear();
    } catch (...) {
        Discard();
        throw;
    }
}

void WorkbookWriter::Discard() {
    if (workbook_)
        lxw_workbook_free(std::exchange(workbook_, nullptr));
    if (!tempPath_.empty())
        ::unlink(std::exchange(tempPath_, {}).c_str());
}
