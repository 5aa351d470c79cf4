#pragma once

#include <QLoggingCategory>

#include <exception>
#include <string>

// The program's log: where a handler shows a fixed text, the failure behind it goes here.
Q_DECLARE_LOGGING_CATEGORY(lcRavlen)

// Logs a failure as a warning: the activity (the message box's title), the failure's number
// and description, and its detail when it has one.
void LogFailure(const std::string& activity, const std::exception& e);
