#pragma once

#include <QLoggingCategory>

// The window's log: why a load or an export failed when the message box only says that it did.
Q_DECLARE_LOGGING_CATEGORY(lcApp)
