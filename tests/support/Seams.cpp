#include "support/Seams.h"

#include <QApplication>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

ScriptedMessageBox::ScriptedMessageBox() {
    previous_ = SetMessageBoxHandler([this](const std::string& text, const std::string& title,
                                            MsgButtons buttons, const std::string& details) {
        shown_.push_back(
            {text, title, buttons, QApplication::overrideCursor() != nullptr, details});
        if (answers_.empty())
            return buttons == MsgButtons::OK ? MsgAnswer::OK : MsgAnswer::Cancel;
        const MsgAnswer answer = answers_.front();
        answers_.pop_front();
        return answer;
    });
}

ScriptedMessageBox::~ScriptedMessageBox() {
    SetMessageBoxHandler(previous_);
    EXPECT_TRUE(answers_.empty()) << answers_.size() << " scripted message box answer(s) unused";
}

ScriptedFileDialog::ScriptedFileDialog() {
    previous_ = CommonDialog::SetBackend([this](CommonDialog::Mode mode, const CommonDialog& cd)
                                             -> std::optional<std::vector<std::string>> {
        shown_.push_back({mode, cd.FileName, cd.InitDir, cd.Filter, cd.DefaultExt, cd.MultiSelect});
        if (answers_.empty()) {
            ADD_FAILURE() << "file dialog shown without a scripted answer";
            return std::nullopt;
        }
        auto answer = answers_.front();
        answers_.pop_front();
        return answer;
    });
}

ScriptedFileDialog::~ScriptedFileDialog() {
    CommonDialog::SetBackend(previous_);
    EXPECT_TRUE(answers_.empty()) << answers_.size() << " scripted file dialog answer(s) unused";
}

std::string TempFiles::Path(const std::string& name) const {
    return dir_.filePath(QString::fromStdString(name)).toStdString();
}

std::string TempFiles::Write(const std::string& name, const std::string& content) const {
    const std::string path = Path(name);
    std::ofstream out(path, std::ios::binary);
    out << content;
    return path;
}

std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}
