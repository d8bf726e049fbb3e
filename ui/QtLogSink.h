#pragma once

#include <QLoggingCategory>

#include "base/Log.h"

namespace quillon {

// The logging categories of the program's subsystems: quillon.hid, quillon.device and
// quillon.firmware. Their debug messages are off unless switched on, for instance with
// QT_LOGGING_RULES="quillon.*.debug=true".
Q_DECLARE_LOGGING_CATEGORY(lcHid)
Q_DECLARE_LOGGING_CATEGORY(lcDevice)
Q_DECLARE_LOGGING_CATEGORY(lcFirmware)

const QLoggingCategory& QtLogCategory(LogCategory category);

// Hands the Qt-free layers' messages to those categories; install with SetLogSink or
// ScopedLogSink. Messages of a category that is off are never built.
LogSink QtLogSink();

}  // namespace quillon
