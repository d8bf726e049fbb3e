#include "ui/QtLogSink.h"

#include <QString>

namespace quillon {

Q_LOGGING_CATEGORY(lcHid, "quillon.hid", QtWarningMsg)
Q_LOGGING_CATEGORY(lcDevice, "quillon.device", QtWarningMsg)
Q_LOGGING_CATEGORY(lcFirmware, "quillon.firmware", QtWarningMsg)

const QLoggingCategory& QtLogCategory(LogCategory category) {
    switch (category) {
        case LogCategory::Hid:
            return lcHid();
        case LogCategory::Device:
            return lcDevice();
        case LogCategory::Firmware:
            return lcFirmware();
    }
    return lcHid();
}

LogSink QtLogSink() {
    LogSink sink;
    sink.Enabled = [](LogCategory category) { return QtLogCategory(category).isDebugEnabled(); };
    sink.Write = [](LogCategory category, std::string_view message) {
        qCDebug(QtLogCategory(category)).noquote()
            << QString::fromUtf8(message.data(), static_cast<qsizetype>(message.size()));
    };
    return sink;
}

}  // namespace quillon
