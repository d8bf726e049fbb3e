#include "hid/ReportDescriptor.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "hid/emulated/QuillonAdapter.h"

namespace quillon {
namespace {

using Bytes = std::vector<uint8_t>;

// Parses a copy placed at the very end of its own allocation, so that AddressSanitizer
// catches a single byte read past the descriptor.
HidCaps Parse(const Bytes& descriptor) {
    auto exact = std::make_unique<uint8_t[]>(descriptor.size() + 1);
    std::copy(descriptor.begin(), descriptor.end(), exact.get());
    return ParseReportDescriptorCaps({exact.get(), descriptor.size()});
}

HidCaps Caps(uint16_t input, uint16_t output, uint16_t feature) {
    HidCaps caps;
    caps.InputReportByteLength = input;
    caps.OutputReportByteLength = output;
    caps.FeatureReportByteLength = feature;
    return caps;
}

// A boot keyboard: modifiers, reserved byte, five LEDs padded to a byte, six key codes.
const Bytes kBootKeyboard = {
    0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x05, 0x07, 0x19, 0xE0, 0x29, 0xE7, 0x15, 0x00, 0x25, 0x01,
    0x75, 0x01, 0x95, 0x08, 0x81, 0x02, 0x95, 0x01, 0x75, 0x08, 0x81, 0x01, 0x95, 0x05, 0x75, 0x01,
    0x05, 0x08, 0x19, 0x01, 0x29, 0x05, 0x91, 0x02, 0x95, 0x01, 0x75, 0x03, 0x91, 0x01, 0x95, 0x06,
    0x75, 0x08, 0x15, 0x00, 0x25, 0x65, 0x05, 0x07, 0x19, 0x00, 0x29, 0x65, 0x81, 0x00, 0xC0,
};

// A wheel mouse: three buttons padded to a byte, then X, Y and wheel, nested collections.
const Bytes kWheelMouse = {
    0x05, 0x01, 0x09, 0x02, 0xA1, 0x01, 0x09, 0x01, 0xA1, 0x00, 0x05, 0x09, 0x19,
    0x01, 0x29, 0x03, 0x15, 0x00, 0x25, 0x01, 0x95, 0x03, 0x75, 0x01, 0x81, 0x02,
    0x95, 0x01, 0x75, 0x05, 0x81, 0x03, 0x05, 0x01, 0x09, 0x30, 0x09, 0x31, 0x09,
    0x38, 0x15, 0x81, 0x25, 0x7F, 0x75, 0x08, 0x95, 0x03, 0x81, 0x06, 0xC0, 0xC0,
};

// A vendor device with several report IDs of different lengths in each direction, a 16-bit
// report count, and a Push/Pop pair that must restore the report ID and sizes.
const Bytes kVendorWithReportIds = {
    0x06, 0x00, 0xFF,        // Usage Page (vendor)
    0x09, 0x01,              // Usage
    0xA1, 0x01,              // Collection (Application)
    0x75, 0x08,              //   Report Size (8)
    0x85, 0x01,              //   Report ID (1)
    0x95, 0x04, 0x81, 0x02,  //   4 bytes of input
    0x85, 0x02,              //   Report ID (2)
    0x96, 0x00, 0x01,        //   Report Count (256)
    0x81, 0x02,              //   256 bytes of input
    0xA4,                    //   Push
    0x85, 0x05,              //     Report ID (5)
    0x75, 0x10, 0x95, 0x02,  //     two 16-bit fields
    0x91, 0x02,              //     4 bytes of output
    0xB1, 0x02,              //     4 bytes of feature
    0xB4,                    //   Pop: back to ID 2, 8 bits, 256 fields
    0x95, 0x07, 0xB1, 0x02,  //   7 bytes of feature 2
    0x85, 0x03,              //   Report ID (3)
    0x95, 0x01, 0x91, 0x02,  //   1 byte of output
    0xC0,                    // End Collection
};

TEST(ReportDescriptorTest, BootKeyboardCountsTheReportIdByteItDoesNotUse) {
    EXPECT_EQ(Parse(kBootKeyboard), Caps(9, 2, 0));
    EXPECT_FALSE(ReportDescriptorUsesReportIds(kBootKeyboard));
}

TEST(ReportDescriptorTest, MouseWithNestedCollections) {
    EXPECT_EQ(Parse(kWheelMouse), Caps(5, 0, 0));
}

TEST(ReportDescriptorTest, LargestReportOverAllIdsInEachDirection) {
    EXPECT_EQ(Parse(kVendorWithReportIds), Caps(257, 5, 8));
    EXPECT_TRUE(ReportDescriptorUsesReportIds(kVendorWithReportIds));
}

TEST(ReportDescriptorTest, QuillonAdapter) {
    EXPECT_EQ(Parse(emu::QuillonAdapterDescriptor()), Caps(9, 0, 65));
}

TEST(ReportDescriptorTest, LongItemsAreSkipped) {
    Bytes descriptor = {0xFE, 0x02, 0x10, 0xAA, 0xBB};
    descriptor.insert(descriptor.end(), kWheelMouse.begin(), kWheelMouse.end());
    EXPECT_EQ(Parse(descriptor), Caps(5, 0, 0));
}

TEST(ReportDescriptorTest, NothingToParseGivesZeros) {
    EXPECT_EQ(ParseReportDescriptorCaps({}), HidCaps{});
    EXPECT_EQ(Parse({}), HidCaps{});
    EXPECT_EQ(Parse({0xA1, 0x01, 0xC0}), HidCaps{});
}

TEST(ReportDescriptorTest, EveryTruncationOfRealDescriptorsIsSafe) {
    // Cutting anywhere leaves an open collection or a truncated item: never a partial answer.
    for (const Bytes* full :
         {&kBootKeyboard, &kWheelMouse, &kVendorWithReportIds, &emu::QuillonAdapterDescriptor()}) {
        for (size_t length = 0; length < full->size(); ++length) {
            const Bytes cut(full->begin(), full->begin() + long(length));
            EXPECT_EQ(Parse(cut), HidCaps{}) << "cut at " << length;
            ReportDescriptorUsesReportIds(cut);
        }
    }
}

TEST(ReportDescriptorTest, MalformedDescriptorsGiveZeros) {
    const std::vector<std::pair<const char*, Bytes>> cases = {
        {"truncated 2-byte item",
         {0xA1, 0x01, 0x75, 0x08, 0x95, 0x01, 0x81, 0x02, 0xC0, 0x26, 0xFF}},
        {"truncated 4-byte item", {0xA1, 0x01, 0xC0, 0x27, 0x01, 0x02}},
        {"truncated long item", {0xA1, 0x01, 0xC0, 0xFE, 0x05, 0x00, 0x01}},
        {"long item header cut", {0xFE, 0x01}},
        {"end collection first", {0xC0, 0xA1, 0x01, 0xC0}},
        {"collection never closed", {0xA1, 0x01, 0x75, 0x08, 0x95, 0x01, 0x81, 0x02}},
        {"pop without push", {0xA1, 0x01, 0xB4, 0xC0}},
        {"report ID 0", {0xA1, 0x01, 0x85, 0x00, 0x75, 0x08, 0x95, 0x01, 0x81, 0x02, 0xC0}},
        {"report ID beyond a byte",
         {0xA1, 0x01, 0x86, 0x00, 0x01, 0x75, 0x08, 0x95, 0x01, 0x81, 0x02, 0xC0}},
        {"report of 4G fields of 4G bits",
         {0xA1, 0x01, 0x77, 0xFF, 0xFF, 0xFF, 0xFF, 0x97, 0xFF, 0xFF, 0xFF, 0xFF, 0x81, 0x02,
          0xC0}},
        {"report just past 64 KiB", {0xA1, 0x01, 0x75, 0x08, 0x96, 0xFF, 0xFF, 0x81, 0x02, 0xC0}},
        {"small reports adding up past 64 KiB",
         {0xA1, 0x01, 0x75, 0x08, 0x96, 0x00, 0x80, 0xB1, 0x02, 0xB1, 0x02, 0xC0}},
    };
    for (const auto& [what, descriptor] : cases) {
        EXPECT_EQ(Parse(descriptor), HidCaps{}) << what;
    }
}

TEST(ReportDescriptorTest, LargestReportThatFitsIsAccepted) {
    // 0xFFFE data bytes plus the ID byte is the longest length 16 bits can hold.
    EXPECT_EQ(Parse({0xA1, 0x01, 0x75, 0x08, 0x96, 0xFE, 0xFF, 0x81, 0x02, 0xC0}),
              Caps(0xFFFF, 0, 0));
}

TEST(ReportDescriptorTest, DeepNestingIsRefusedNotRecursed) {
    Bytes pushes(40, 0xA4);
    pushes.insert(pushes.begin(), {0xA1, 0x01});
    pushes.push_back(0xC0);
    EXPECT_EQ(Parse(pushes), HidCaps{});

    Bytes collections;
    for (int i = 0; i < 100; ++i) {
        collections.insert(collections.end(), {0xA1, 0x00});
    }
    collections.insert(collections.end(), 100, 0xC0);
    EXPECT_EQ(Parse(collections), HidCaps{});
}

}  // namespace
}  // namespace quillon
