#include "hid/linux/SysfsText.h"

#include <gtest/gtest.h>

namespace quillon::linuxhid {
namespace {

TEST(UeventValueTest, FindsTheWholeKeyOnly) {
    const std::string uevent =
        "DRIVER=hid-generic\nHID_IDX=bad\nHID_ID=0003:0000169B:00000110\nHID_NAME=A=B\n";
    EXPECT_EQ(UeventValue(uevent, "HID_ID"), "0003:0000169B:00000110");
    EXPECT_EQ(UeventValue(uevent, "HID_NAME"), "A=B");
    EXPECT_EQ(UeventValue(uevent, "HID"), std::nullopt);
    EXPECT_EQ(UeventValue("HID_UNIQ=", "HID_UNIQ"), "");
    EXPECT_EQ(UeventValue("", "HID_ID"), std::nullopt);
    EXPECT_EQ(UeventValue("HID_ID", "HID_ID"), std::nullopt);
}

TEST(ParseHidIdTest, ReadsBusVendorAndProduct) {
    const auto id = ParseHidId("0003:0000169B:00000110");
    ASSERT_TRUE(id);
    EXPECT_EQ(id->Bus, kBusUsb);
    EXPECT_EQ(id->Vendor, 0x169B);
    EXPECT_EQ(id->Product, 0x0110);
    EXPECT_EQ(ParseHidId("0005:0000046d:0000b019")->Vendor, 0x046D);
}

TEST(ParseHidIdTest, RefusesMalformedAndOversizedFields) {
    EXPECT_FALSE(ParseHidId(""));
    EXPECT_FALSE(ParseHidId("0003:0000169B"));
    EXPECT_FALSE(ParseHidId("0003::00000110"));
    EXPECT_FALSE(ParseHidId("0003:0001169B:00000110"));   // vendor beyond 16 bits
    EXPECT_FALSE(ParseHidId("0003:0000169B:000000110"));  // nine digits
    EXPECT_FALSE(ParseHidId("0003:0000169G:00000110"));
    EXPECT_FALSE(ParseHidId("0003:0000169B:00000110\n"));
}

TEST(ParseHex16Test, ReadsAttributeWithLineEnd) {
    EXPECT_EQ(ParseHex16("0110\n"), 0x0110);
    EXPECT_EQ(ParseHex16("ffff"), 0xFFFF);
    EXPECT_FALSE(ParseHex16("10000\n"));
    EXPECT_FALSE(ParseHex16("\n"));
    EXPECT_FALSE(ParseHex16("01 0"));
}

TEST(Utf8ToUtf16Test, ConvertsEveryLength) {
    EXPECT_EQ(Utf8ToUtf16("Quillon"), u"Quillon");
    EXPECT_EQ(Utf8ToUtf16("Gr\xC3\xBC\xC3\x9F"), u"Grüß");
    EXPECT_EQ(Utf8ToUtf16("\xE2\x86\x92"), u"→");
    EXPECT_EQ(Utf8ToUtf16("\xF0\x9F\x98\x80"), u"\U0001F600");
}

TEST(Utf8ToUtf16Test, ReplacesMalformedSequences) {
    EXPECT_EQ(Utf8ToUtf16("a\xC3"), u"a\uFFFD");            // cut short at the end
    EXPECT_EQ(Utf8ToUtf16("\xE2\x86z"), u"\uFFFDz");        // cut short inside
    EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD");          // overlong
    EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD");      // encoded surrogate
    EXPECT_EQ(Utf8ToUtf16("\xF4\x90\x80\x80"), u"\uFFFD");  // beyond U+10FFFF
    EXPECT_EQ(Utf8ToUtf16("\x80\xFF"), u"\uFFFD\uFFFD");
}

TEST(ParseHidrawNumberTest, TakesHidrawAndDigitsOnly) {
    EXPECT_EQ(ParseHidrawNumber("hidraw0"), 0u);
    EXPECT_EQ(ParseHidrawNumber("hidraw12"), 12u);
    EXPECT_EQ(ParseHidrawNumber("hidraw999999999"), 999999999u);
    EXPECT_FALSE(ParseHidrawNumber("hidraw1000000000"));  // ten digits
    EXPECT_FALSE(ParseHidrawNumber("hidraw"));
    EXPECT_FALSE(ParseHidrawNumber("hidraw1a"));
    EXPECT_FALSE(ParseHidrawNumber("hiddev0"));
}

TEST(UsbPortOfDevicePathTest, NamesTheDeepestPort) {
    EXPECT_EQ(UsbPortOfDevicePath("/sys/devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2.3/"
                                  "1-2.3:1.0/0003:169B:0110.0005/hidraw/hidraw3"),
              "1-2.3");
    EXPECT_EQ(UsbPortOfDevicePath("/sys/devices/platform/soc/3f980000.usb/usb1/1-1/1-1.1/"
                                  "1-1.1.2/1-1.1.2:1.0/0003:169B:0110.0001"),
              "1-1.1.2");
    EXPECT_EQ(UsbPortOfDevicePath("/sys/devices/virtual/misc/uhid/0005:046D:B019.0007"), "");
}

TEST(UsbPortOfDevicePathTest, RefusesNamesThatOnlyLookLikePorts) {
    // Digits, dashes and dots alone do not make a port: one bus, one dash, ports between dots.
    for (const char* name : {"-1", "1-", "1--2", "1-2-3", "1-.2", "1-2.", "1-2..3", "12", "a-1"}) {
        EXPECT_EQ(UsbPortOfDevicePath(std::string("/sys/devices/usb1/1-4/") + name), "1-4") << name;
    }
}

}  // namespace
}  // namespace quillon::linuxhid
