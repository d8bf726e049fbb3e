#include "device/ReportText.h"

#include <gtest/gtest.h>

namespace quillon {
namespace {

TEST(ReportTextTest, HexInputTakesTheLowByteOfUpTo32BitsElseTheFallback) {
    EXPECT_EQ(ParseHexByte("Ab", 0), 0xAB);
    EXPECT_EQ(ParseHexByte("FFFFFF12", 0), 0x12);
    EXPECT_EQ(ParseHexByte("000000000042", 7), 0x42);
    EXPECT_EQ(ParseHexByte("100000000", 7), 7);
    for (const char* invalid : {"", " 3", "-3", "$3", "0x3", "G"}) {
        EXPECT_EQ(ParseHexByte(invalid, 0x1205), 0x05) << invalid;
    }
}

TEST(ReportTextTest, HistoryLinesHaveTheLetterTheIdTwoBlanksAndEachByteWithABlank) {
    const uint8_t data[] = {0x11, 0x22, 0xAB};
    EXPECT_EQ(HistoryLine('R', 3, data, 3), "R 03  11 22 AB ");
    EXPECT_EQ(HistoryLine('W', 0xFE, data, 0), "W FE  ");
    EXPECT_EQ(FormatHexByte(3), "03");
}

TEST(ReportTextTest, SystemMessagesAreCutAndTrimmed) {
    EXPECT_EQ(CleanSystemMessage("Not connected.\r\n"), "Not connected");
    EXPECT_EQ(CleanSystemMessage("v1.2 failed"), "v1.2 failed");
    EXPECT_EQ(CleanSystemMessage(std::string(300, 'x')).size(), 256u);
    EXPECT_EQ(CleanSystemMessage(std::string(250, 'x') + std::string(10, '.')),
              std::string(250, 'x'));
}

}  // namespace
}  // namespace quillon
