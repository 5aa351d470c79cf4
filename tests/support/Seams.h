#pragma once

#include "common/FileDialog.h"
#include "common/MessageBox.h"

#include <QTemporaryDir>

#include <deque>
#include <optional>
#include <string>
#include <vector>

// Answers message boxes from a script and records every one shown. Installed for the
// object's lifetime; an answer left unused fails the test at the end.
class ScriptedMessageBox {
public:
    struct Shown {
        std::string text;
        std::string title;
        MsgButtons buttons;
        bool waitCursor; // the wait cursor was showing while the box was up
        std::string details;
    };

    ScriptedMessageBox();
    ~ScriptedMessageBox();

    void Answer(MsgAnswer answer) { answers_.push_back(answer); }
    const std::vector<Shown>& shown() const { return shown_; }
    void Clear() { shown_.clear(); }
    void ForgetLast() { shown_.pop_back(); }

private:
    DetailedMessageBoxHandler previous_;
    std::deque<MsgAnswer> answers_;
    std::vector<Shown> shown_;
};

// Answers file dialogs from a script (a path, or nullopt for cancel) and records the
// settings each dialog was shown with. A dialog without a scripted answer is cancelled and
// fails the test; an answer left unused fails it too.
class ScriptedFileDialog {
public:
    struct Shown {
        CommonDialog::Mode mode;
        std::string fileName;
        std::string initDir;
        std::string filter;
        std::string defaultExt;
        bool multiSelect;
    };

    ScriptedFileDialog();
    ~ScriptedFileDialog();

    void Answer(std::optional<std::string> path) {
        answers_.push_back(path ? std::optional(std::vector{*path}) : std::nullopt);
    }
    // The several files of a dialog that picks more than one.
    void AnswerMany(std::vector<std::string> paths) { answers_.push_back(std::move(paths)); }
    void Cancel() { answers_.push_back(std::nullopt); }
    const std::vector<Shown>& shown() const { return shown_; }

private:
    CommonDialog::Backend previous_;
    std::deque<std::optional<std::vector<std::string>>> answers_;
    std::vector<Shown> shown_;
};

// Files for a test, in a folder removed afterwards.
class TempFiles {
public:
    std::string Path(const std::string& name) const;
    std::string Write(const std::string& name, const std::string& content) const;
    std::string dir() const { return dir_.path().toStdString(); }

private:
    QTemporaryDir dir_;
};

std::string ReadFileBytes(const std::string& path);
