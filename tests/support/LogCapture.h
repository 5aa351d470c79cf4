#pragma once

#include <QString>
#include <QtGlobal>

#include <string>
#include <vector>

// Collects every line written through Qt logging while it lives, as "category: text".
class LogCapture {
public:
    LogCapture() : previous_(qInstallMessageHandler(Record)) { Lines().clear(); }
    ~LogCapture() { qInstallMessageHandler(previous_); }
    static std::vector<std::string>& Lines() {
        static std::vector<std::string> lines;
        return lines;
    }

private:
    static void Record(QtMsgType, const QMessageLogContext& context, const QString& text) {
        Lines().push_back(std::string(context.category ? context.category : "") + ": " +
                          text.toStdString());
    }
    QtMessageHandler previous_;
};
