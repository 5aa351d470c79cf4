#include "common/MessageBox.h"

#include <QCoreApplication>
#include <QThread>

namespace {
DetailedMessageBoxHandler& Handler() {
    static DetailedMessageBoxHandler handler;
    return handler;
}
} // namespace

MsgAnswer ShowMessageBox(const std::string& text, const std::string& title, MsgButtons buttons,
                         const std::string& details) {
    // A box is modal to the windows, which live on the main thread; work elsewhere reports.
    Q_ASSERT(!QCoreApplication::instance() ||
             QThread::currentThread() == QCoreApplication::instance()->thread());
    if (Handler())
        return Handler()(text, title, buttons, details);
    return buttons == MsgButtons::OK ? MsgAnswer::OK : MsgAnswer::Cancel;
}

DetailedMessageBoxHandler SetMessageBoxHandler(DetailedMessageBoxHandler handler) {
    std::swap(Handler(), handler);
    return handler;
}

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
    DetailedMessageBoxHandler detailed;
    if (handler)
        detailed = [handler](const std::string& text, const std::string& title, MsgButtons buttons,
                             const std::string&) { return handler(text, title, buttons); };
    DetailedMessageBoxHandler previous = SetMessageBoxHandler(std::move(detailed));
    if (!previous)
        return {};
    return [previous](const std::string& text, const std::string& title, MsgButtons buttons) {
        return previous(text, title, buttons, {});
    };
}
