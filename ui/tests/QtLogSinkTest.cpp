#include "ui/QtLogSink.h"

#include <gtest/gtest.h>

#include <QLoggingCategory>
#include <string>
#include <vector>

namespace quillon {
namespace {

std::vector<std::string> captured;

void Capture(QtMsgType, const QMessageLogContext& context, const QString& message) {
    captured.push_back(std::string(context.category) + ": " + message.toStdString());
}

TEST(QtLogSinkTest, CategoriesAreOffUntilSwitchedOnByTheirRules) {
    captured.clear();
    const QtMessageHandler previous = qInstallMessageHandler(Capture);
    ScopedLogSink sink(QtLogSink());

    EXPECT_FALSE(LogEnabled(LogCategory::Hid));
    Log(LogCategory::Hid, [] { return std::string("not shown"); });

    QLoggingCategory::setFilterRules("quillon.hid.debug=true\nquillon.firmware.debug=true");
    EXPECT_TRUE(LogEnabled(LogCategory::Hid));
    EXPECT_FALSE(LogEnabled(LogCategory::Device));
    LogMessage(LogCategory::Hid, "emu:1 arrived");
    LogMessage(LogCategory::Device, "not shown either");
    LogMessage(LogCategory::Firmware, "update from x.hex: ready");
    QLoggingCategory::setFilterRules({});
    qInstallMessageHandler(previous);

    EXPECT_EQ(captured, (std::vector<std::string>{"quillon.hid: emu:1 arrived",
                                                  "quillon.firmware: update from x.hex: ready"}));
}

}  // namespace
}  // namespace quillon
