#include "config/DeviceSettings.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <utility>

namespace quillon {
namespace {

namespace at = DeviceSettings;

ReportBuffer Encoded(const SettingsControlValues& values) {
    ReportBuffer buffer{};
    EncodeSettings(values, buffer);
    return buffer;
}

// A settings record, zero but for the report ID and these bytes.
ReportBuffer SettingsRecord(std::initializer_list<std::pair<std::size_t, uint8_t>> bytes = {}) {
    ReportBuffer buffer{};
    buffer[at::ReportId] = SettingsReportId;
    for (const auto& [index, value] : bytes) {
        buffer[index] = value;
    }
    return buffer;
}

TEST(ParseIntegerText, AcceptsDecimalIntegersOnly) {
    EXPECT_EQ(ParseIntegerText("19200", 7), 19200);
    EXPECT_EQ(ParseIntegerText(" -12 ", 7), -12);
    EXPECT_EQ(ParseIntegerText("+5", 7), 5);
    EXPECT_EQ(ParseIntegerText("", 7), 7);
    EXPECT_EQ(ParseIntegerText("   ", 7), 7);
    EXPECT_EQ(ParseIntegerText("12a", 7), 7);
    EXPECT_EQ(ParseIntegerText("1 2", 7), 7);
    EXPECT_EQ(ParseIntegerText("+-5", 7), 7);
    EXPECT_EQ(ParseIntegerText("2147483647", 7), 2147483647);
    EXPECT_EQ(ParseIntegerText("2147483648", 7), 7);
    EXPECT_EQ(ParseIntegerText("99999999999999999999", 7), 7);
}

TEST(EncodeSettings, DelaysRoundHalfToEven) {
    EXPECT_EQ(EncodeDelay(0), 0);
    EXPECT_EQ(EncodeDelay(5), 0);
    EXPECT_EQ(EncodeDelay(6), 1);
    EXPECT_EQ(EncodeDelay(14), 1);
    EXPECT_EQ(EncodeDelay(15), 2);
    EXPECT_EQ(EncodeDelay(25), 2);
    EXPECT_EQ(EncodeDelay(35), 4);
    EXPECT_EQ(EncodeDelay(2000), 200);
    EXPECT_EQ(EncodeDelay(2555), 0);  // 255.5 rounds to 256, low byte 0
    EXPECT_EQ(EncodeDelay(-15), 0xFE);
}

TEST(EncodeSettings, BaudRateTruncatesAndKeepsLowByte) {
    EXPECT_EQ(EncodeBaudRate("19200"), 16);
    EXPECT_EQ(EncodeBaudRate("115200"), 96);
    EXPECT_EQ(EncodeBaudRate("300"), 0);
    EXPECT_EQ(EncodeBaudRate("2399"), 1);
    EXPECT_EQ(EncodeBaudRate("fast"), 16);
    EXPECT_EQ(EncodeBaudRate(""), 16);
    EXPECT_EQ(EncodeBaudRate("307200"), 0);  // quotient 256
    EXPECT_EQ(EncodeBaudRate("308400"), 1);  // quotient 257
    EXPECT_EQ(EncodeBaudRate("-1200"), 0xFF);
}

TEST(EncodeSettings, FillsBytesOneToTwelveFromTheControls) {
    SettingsControlValues values;
    values.VersionText = "120";
    values.UseAltKey = true;
    values.BaudText = "9600";
    values.CharDelayMs = 30;
    values.LineDelayMs = 2000;
    values.Pavex = true;
    values.ClrStx = true;
    values.ClrEtx = false;
    values.ClrMem = true;
    values.FlowCtrlIndex = 1;
    values.EnterCtrlIndex = 2;

    const ReportBuffer buffer = Encoded(values);
    const uint8_t expected[] = {0, 120, 1, 8, 3, 200, 1, 1, 0, 1, 1, 2, 1};
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        EXPECT_EQ(buffer[i], expected[i]) << "byte " << i;
    }
}

TEST(EncodeSettings, VersionTextKeepsLowByteAndDefaultsToZero) {
    SettingsControlValues values;
    values.VersionText = "256";
    EXPECT_EQ(Encoded(values)[at::Version], 0);
    values.VersionText = "";
    EXPECT_EQ(Encoded(values)[at::Version], 0);
    values.VersionText = "007";
    EXPECT_EQ(Encoded(values)[at::Version], 7);
}

TEST(EncodeSettings, NoEnterSelectionIsStoredAs0xFF) {
    SettingsControlValues values;
    values.EnterCtrlIndex = kNoEnterCtrl;
    EXPECT_EQ(Encoded(values)[at::EnterCtrl], 0xFF);
}

TEST(EncodeSettings, LeavesReportIdAndTrailingBytesAlone) {
    ReportBuffer fresh{};
    EncodeSettings(SettingsControlValues{}, fresh);
    EXPECT_EQ(fresh[at::ReportId], 0);
    EXPECT_EQ(fresh[at::RecordMarker], 1);
    for (std::size_t i = 13; i < kReportBufferSize; ++i) {
        EXPECT_EQ(fresh[i], 0) << "byte " << i;
    }

    ReportBuffer used{};
    used.fill(0xAA);
    EncodeSettings(SettingsControlValues{}, used);
    EXPECT_EQ(used[at::ReportId], 0xAA);
    for (std::size_t i = 13; i < kReportBufferSize; ++i) {
        EXPECT_EQ(used[i], 0xAA) << "byte " << i;
    }
}

TEST(DecodeSettings, RefusesARecordOfAnotherReport) {
    ReportBuffer buffer{};
    buffer[at::ReportId] = 6;
    buffer[at::BaudRate] = 8;
    EXPECT_FALSE(DecodeSettings(buffer).has_value());
    buffer[at::ReportId] = 0;
    EXPECT_FALSE(DecodeSettings(buffer).has_value());
}

TEST(DecodeSettings, ShowsEachByteAsTheControlsDo) {
    ReportBuffer buffer = SettingsRecord();
    const uint8_t record[] = {7, 5, 16, 3, 200, 1, 1, 0, 1, 1, 2};
    std::copy(std::begin(record), std::end(record), buffer.begin() + 1);

    const auto values = DecodeSettings(buffer);
    ASSERT_TRUE(values.has_value());
    EXPECT_EQ(values->VersionText, "007");
    EXPECT_TRUE(values->UseAltKey);  // any non-zero value reads as on
    EXPECT_EQ(values->BaudText, "19200");
    EXPECT_EQ(values->CharDelayMs, 30);
    EXPECT_EQ(values->LineDelayMs, 2000);
    EXPECT_TRUE(values->Pavex);
    EXPECT_TRUE(values->ClrStx);
    EXPECT_FALSE(values->ClrEtx);
    EXPECT_TRUE(values->ClrMem);
    EXPECT_EQ(values->FlowCtrlIndex, 1);
    EXPECT_EQ(values->EnterCtrlIndex, 2);
}

TEST(DecodeSettings, EdgeValues) {
    ReportBuffer buffer = SettingsRecord({{at::Version, 120},
                                          {at::BaudRate, 0},
                                          {at::CharDelay, 255},
                                          {at::FlowCtrl, 5},
                                          {at::EnterCtrl, 3}});

    const auto values = DecodeSettings(buffer);
    ASSERT_TRUE(values.has_value());
    EXPECT_EQ(values->VersionText, "120");
    EXPECT_EQ(values->BaudText, "0");
    EXPECT_EQ(values->CharDelayMs, kMaxDelayMs);
    EXPECT_EQ(values->FlowCtrlIndex, 1);
    EXPECT_EQ(values->EnterCtrlIndex, kNoEnterCtrl);

    buffer[at::BaudRate] = 255;
    EXPECT_EQ(DecodeSettings(buffer)->BaudText, "306000");
}

TEST(DecodeSettings, OutOfRangeChoicesCollectAsTheirShownValues) {
    const ReportBuffer buffer = SettingsRecord({{at::FlowCtrl, 5}, {at::EnterCtrl, 3}});
    ReportBuffer again = buffer;
    EncodeSettings(*DecodeSettings(buffer), again);
    EXPECT_EQ(again[at::FlowCtrl], 1);
    EXPECT_EQ(again[at::EnterCtrl], 0xFF);
}

TEST(DecodeSettings, RoundTripOfEveryStoredValue) {
    // A record written by the page reads back to the same bytes, byte 12 aside.
    for (int byte = 0; byte <= 200; ++byte) {
        ReportBuffer buffer = SettingsRecord();
        buffer[at::Version] = static_cast<uint8_t>(byte);
        buffer[at::BaudRate] = static_cast<uint8_t>(byte);
        buffer[at::CharDelay] = static_cast<uint8_t>(byte);
        buffer[at::LineDelay] = static_cast<uint8_t>(200 - byte);
        ReportBuffer again = buffer;
        EncodeSettings(*DecodeSettings(buffer), again);
        again[at::RecordMarker] = 0;
        EXPECT_EQ(again, buffer) << "value " << byte;
    }
}

TEST(PavexCoupling, OnForcesTheBaudRateOffClearsTheOptions) {
    SettingsControlValues on;
    on.Pavex = true;
    on.BaudText = "9600";
    on.ClrStx = on.ClrEtx = on.ClrMem = true;
    ApplyPavexCoupling(on);
    EXPECT_EQ(on.BaudText, "19200");
    EXPECT_TRUE(on.ClrStx && on.ClrEtx && on.ClrMem);

    SettingsControlValues off = on;
    off.Pavex = false;
    off.BaudText = "9600";
    ApplyPavexCoupling(off);
    EXPECT_EQ(off.BaudText, "9600");
    EXPECT_FALSE(off.ClrStx || off.ClrEtx || off.ClrMem);
}

TEST(DescribeSettings, NamesTheShownValues) {
    ReportBuffer buffer = SettingsRecord(
        {{at::BaudRate, 8}, {at::CharDelay, 3}, {at::FlowCtrl, 1}, {at::EnterCtrl, 9}});
    const std::string text = DescribeSettings(buffer);
    EXPECT_NE(text.find("Baud: 9600\n"), std::string::npos);
    EXPECT_NE(text.find("Char delay: 30 msec\n"), std::string::npos);
    EXPECT_NE(text.find("Flow-Ctrl: Xon/Xoff\n"), std::string::npos);
    EXPECT_NE(text.find("Enter ctrl: none\n"), std::string::npos);

    buffer[at::ReportId] = 2;
    EXPECT_EQ(DescribeSettings(buffer), "no settings record (report ID 2)\n");
}

}  // namespace
}  // namespace quillon
