#include "device/HexText.h"

#include <gtest/gtest.h>

namespace quillon {
namespace {

TEST(HexTextTest, BytesAreTypedAsOnTheRawReportPage) {
    EXPECT_EQ(ParseHexByteStrict("3"), 0x03);
    EXPECT_EQ(ParseHexByteStrict("ab"), 0xAB);
    EXPECT_EQ(ParseHexByteStrict("1FF"), 0xFF);  // only the low 8 bits count
    EXPECT_EQ(ParseHexByteStrict("FFFFFFFF"), 0xFF);
    EXPECT_EQ(ParseHexByteStrict("0x10"), 0x10);
}

TEST(HexTextTest, TextThatIsNoHexNumberIsRefusedRatherThanTakenAsZero) {
    for (const char* text : {"", "zz", "-1", " 1", "1 ", "0x", "100000000", "$10"}) {
        EXPECT_FALSE(ParseHexByteStrict(text).has_value()) << '"' << text << '"';
    }
}

}  // namespace
}  // namespace quillon
