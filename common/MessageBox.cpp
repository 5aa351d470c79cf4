#include "common/MessageBox.h"

namespace {
MessageBoxHandler& Handler() {
    static MessageBoxHandler handler;
    return handler;
}
} // namespace

MsgAnswer ShowMessageBox(const std::string& text, const std::string& title, MsgButtons buttons) {
    if (Handler())
        return Handler()(text, title, buttons);
    return buttons == MsgButtons::OK ? MsgAnswer::OK : MsgAnswer::Cancel;
}

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
    std::swap(Handler(), handler);
    return handler;
}
