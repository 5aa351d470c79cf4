#pragma once

#include <functional>
#include <string>

// OverwriteCancel answers Yes for Overwrite, with Cancel the default; ReplaceSkipCancel
// answers Yes for Replace and No for Skip; OKCancel answers OK or Cancel.
enum class MsgButtons { OK, YesNoCancel, OverwriteCancel, ReplaceSkipCancel, OKCancel };
enum class MsgAnswer { OK, Yes, No, Cancel };

// Every message box of the program goes through this one function. The application
// installs the Qt implementation; tests install a scripted one. Details, when given, are the
// box's expandable part: why the failure happened, beneath the fixed text.
using MessageBoxHandler =
    std::function<MsgAnswer(const std::string& text, const std::string& title, MsgButtons)>;
using DetailedMessageBoxHandler = std::function<MsgAnswer(
    const std::string& text, const std::string& title, MsgButtons, const std::string& details)>;

// Only on the main thread.
MsgAnswer ShowMessageBox(const std::string& text, const std::string& title,
                         MsgButtons buttons = MsgButtons::OK, const std::string& details = {});

// Installs a handler and returns the one it replaces. Without a handler a box answers OK
// (or Cancel for Yes/No/Cancel) and shows nothing. A handler without details never sees them.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);
DetailedMessageBoxHandler SetMessageBoxHandler(DetailedMessageBoxHandler handler);

// The application's title, the caption of the wrapper's own message boxes.
inline constexpr const char* kAppTitle = "Ravlen";
