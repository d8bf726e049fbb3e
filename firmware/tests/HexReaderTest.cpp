#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <string>

#include "firmware/HexDigits.h"
#include "firmware/HexReader.h"
#include "tests/HexFiles.h"

namespace quillon::firmware {
namespace {

using testing::HexRecord;

std::vector<uint8_t> Bytes(size_t count, uint8_t first = 0x10) {
    std::vector<uint8_t> bytes(count);
    for (size_t i = 0; i < count; ++i) {
        bytes[i] = uint8_t(first + i);
    }
    return bytes;
}

struct Read {
    HexReadResult result;
    FirmwareImage image;
};

Read ReadText(const std::string& text) {
    Read read;
    read.result = ReadUpdateData(text.data(), text.size(), read.image);
    return read;
}

const std::string kEnd = ":00000001FF\n";

bool AllFill(const FirmwareImage& image, size_t from = 0, size_t to = kImageSize) {
    for (size_t i = from; i < to; ++i) {
        if (image[i] != kFillValue) {
            return false;
        }
    }
    return true;
}

TEST(HexDigitsTest, FollowTheDigitRule) {
    const std::string digits = "0123456789abcdefABCDEF";
    for (char c : digits) {
        EXPECT_TRUE(IsHexDigit(c)) << c;
        EXPECT_EQ(HexDigitValue(c), std::stoul(std::string{c}, nullptr, 16)) << c;
    }
    // Characters outside the digits give what the rule yields: 'G' is 16, 'p' is 9.
    EXPECT_FALSE(IsHexDigit('G'));
    EXPECT_EQ(HexDigitValue('G'), 16);
    EXPECT_EQ(HexDigitValue('p'), 9);
}

TEST(HexReaderTest, EndRecordAloneIsRefusedForWantOfData) {
    const Read read = ReadText(kEnd);
    EXPECT_EQ(read.result.Code, 1);
    EXPECT_EQ(read.result.Message(),
              "ERROR: invalid update file: no data for the adapter's firmware area");
    EXPECT_TRUE(AllFill(read.image));
}

TEST(HexReaderTest, FilesUsersTriedAreTakenOrRefusedWithTheirLine) {
    const FirmwareImage pattern = testing::PatternImage();
    for (const testing::UpdateFileCase& c : testing::UpdateFileCases()) {
        const Read read = ReadText(c.Content);
        if (c.Refusal.empty()) {
            EXPECT_EQ(read.result.Code, 0) << c.Name << ": " << read.result.Message();
            EXPECT_EQ(read.image, pattern) << c.Name;
        } else {
            EXPECT_EQ(read.result.Code, 1) << c.Name;
            EXPECT_EQ(read.result.Message(), c.Refusal) << c.Name;
        }
    }
}

TEST(HexReaderTest, PlacesRecordsByAddressAndDropsWhatLiesOutside) {
    const std::string file =
        HexRecord(0, 0x1400, Bytes(16, 0x10)) + "\n" + HexRecord(0, 0x13F8, Bytes(16, 0x40)) +
        "\n" + HexRecord(0, 0x3BF8, Bytes(16, 0x80)) + "\n" + ":0400000012345678E8\n" +
        HexRecord(0, 0xFFF0, Bytes(32)) + "\n" + kEnd;
    const Read read = ReadText(file);
    ASSERT_EQ(read.result.Code, 0) << read.result.Message();
    // 0x13F8 overlaps the start: its last 8 bytes overwrite the first record's first 8.
    for (size_t i = 0; i < 8; ++i) {
        EXPECT_EQ(read.image[i], 0x48 + i);
    }
    for (size_t i = 8; i < 16; ++i) {
        EXPECT_EQ(read.image[i], 0x10 + i);
    }
    for (size_t i = 0; i < 8; ++i) {
        EXPECT_EQ(read.image[10232 + i], 0x80 + i);
    }
    EXPECT_TRUE(AllFill(read.image, 16, 10232));
}

TEST(HexReaderTest, DigitCaseDoesNotMatter) {
    const std::string upper = HexRecord(0, 0x2000, {0xAB, 0xCD, 0xEF});
    std::string lower = upper;
    for (char& c : lower) {
        c = char(std::tolower(static_cast<unsigned char>(c)));
    }
    EXPECT_EQ(ReadText(upper + "\n" + kEnd).image, ReadText(lower + "\n" + kEnd).image);
    const Read read = ReadText(lower + "\n" + kEnd);
    EXPECT_EQ(read.result.Code, 0);
    EXPECT_EQ(read.image[0x2000 - kImageBase], 0xAB);
}

TEST(HexReaderTest, OnlyBlankLinesOrCtrlZFollowTheEndRecord) {
    Read read = ReadText(kEnd + HexRecord(0, 0x1400, {1, 2}) + "\n");
    EXPECT_EQ(read.result.Line, 2u);
    EXPECT_EQ(read.result.Problem, "text after the end-of-file record");
    // Whatever follows a Ctrl+Z is not read.
    read = ReadText(HexRecord(0, 0x1400, {1, 2}) + "\n" + kEnd + "\n \r\n\x1A" +
                    HexRecord(0, 0x1500, {3}) + "\n");
    EXPECT_EQ(read.result.Code, 0) << read.result.Message();
    EXPECT_EQ(read.image[0], 1);
    EXPECT_EQ(read.image[1], 2);
    EXPECT_EQ(read.image[0x100], kFillValue);
}

TEST(HexReaderTest, SkipsBlankLinesAndBlanksAroundRecords) {
    const std::string file =
        "\n \t \n  :0100000000FF\n\n" + HexRecord(0, 0x1400, {7}) + "\n\n" + kEnd + "\n";
    const Read read = ReadText(file);
    EXPECT_EQ(read.result.Code, 0) << read.result.Message();
    EXPECT_EQ(read.image[0], 7);
    EXPECT_TRUE(AllFill(read.image, 1));
}

TEST(HexReaderTest, ZeroAddressRecordLeavesLaterRecordsInPlace) {
    const Read read = ReadText(":020000040000FA\n" + HexRecord(0, 0x1400, {9}) + "\n" + kEnd);
    EXPECT_EQ(read.result.Code, 0);
    EXPECT_EQ(read.image[0], 9);
}

TEST(HexReaderTest, HonoursExtendedAddresses) {
    const std::string upper64k = HexRecord(4, 0, {0x00, 0x01});
    const std::string firstLinear = HexRecord(4, 0, {0x00, 0x00});
    const std::string noData = "no data for the adapter's firmware area";
    // Data placed in the second 64 KB must not land in the image.
    Read read = ReadText(upper64k + "\n" + HexRecord(0, 0x1400, {1, 2, 3}) + "\n" + kEnd);
    EXPECT_EQ(read.result.Problem, noData);
    EXPECT_TRUE(AllFill(read.image));

    // Back to the first 64 KB, data lands again.
    read = ReadText(upper64k + "\n" + HexRecord(0, 0x1400, {1}) + "\n" + firstLinear + "\n" +
                    HexRecord(0, 0x1401, {2}) + "\n" + kEnd);
    EXPECT_EQ(read.result.Code, 0);
    EXPECT_EQ(read.image[0], kFillValue);
    EXPECT_EQ(read.image[1], 2);

    // A segment base of 0x1000 puts offset 0x0400 at 0x1400.
    read =
        ReadText(HexRecord(2, 0, {0x01, 0x00}) + "\n" + HexRecord(0, 0x0400, {5, 6}) + "\n" + kEnd);
    EXPECT_EQ(read.image[0], 5);
    EXPECT_EQ(read.image[1], 6);

    // A segment base that puts 0x1400 far above the image.
    read = ReadText(HexRecord(2, 0, {0x10, 0x00}) + "\n" + HexRecord(0, 0x1400, {5}) + "\n" + kEnd);
    EXPECT_EQ(read.result.Problem, noData);
    EXPECT_TRUE(AllFill(read.image));
}

TEST(HexReaderTest, LineEndVariantsGiveTheSameImageAndLineNumbers) {
    const FirmwareImage pattern = testing::PatternImage();
    std::string lf = testing::HexFileFor(pattern);
    std::string crlf, cr;
    for (size_t i = 0; i < lf.size(); ++i) {
        if (lf[i] == '\r') {
            continue;
        }
        lf[i] == '\n' ? (crlf += "\r\n", cr += "\r") : (crlf += lf[i], cr += lf[i]);
    }
    std::string lfOnly;
    for (char c : lf) {
        if (c != '\r') {
            lfOnly += c;
        }
    }
    for (const std::string* text : {&lfOnly, &crlf, &cr}) {
        const Read read = ReadText(*text);
        EXPECT_EQ(read.result.Code, 0);
        EXPECT_EQ(read.image, pattern);
    }
    // A bad record on the third line is reported as line 3 whatever the line ends are.
    for (const char* end : {"\n", "\r\n", "\r"}) {
        const std::string good = HexRecord(0, 0x1400, {1});
        const Read read = ReadText(good + end + end + ":01140000GG00" + end);
        EXPECT_EQ(read.result.Line, 3u) << read.result.Message();
    }
}

TEST(HexReaderTest, RefusesUnsoundRecordsNamingTheLine) {
    const std::string good = HexRecord(0, 0x1400, {1, 2, 3, 4});
    struct Case {
        std::string badLine;
        std::string problem;  // part of the message
    };
    const std::vector<Case> cases = {
        {":04140000010203G4AB", "character 'G' at column 16 is not a hexadecimal digit"},
        {":0414000001020304", "line too short for its byte count 4"},
        {":0414000001020304E0", "wrong checksum E0, the record's bytes give DE"},
        {":00140006E6", "unknown record type 06"},
        {":0100000400FB", "address record of type 04 with byte count 1"},
        {":0414000001020304DE:00000001FF", "unexpected ':' at column 20 after the checksum"},
        {":00", "record too short"},
        {":0X", "character 'X' at column 3"},
        {":" + std::string(2000, '0'), "line too long for a record"},
    };
    for (const Case& c : cases) {
        const Read read = ReadText(good + "\n \t\n" + c.badLine + "\n" + good + "\n" + kEnd);
        EXPECT_EQ(read.result.Code, 1) << c.badLine;
        EXPECT_EQ(read.result.Line, 3u) << c.badLine;
        EXPECT_NE(read.result.Message().find("line 3: " + c.problem), std::string::npos)
            << read.result.Message();
    }
    // The good record with blanks after its checksum is fine.
    EXPECT_EQ(ReadText(good + " \t\n" + kEnd).result.Code, 0);
    // Columns count the blanks before the record.
    EXPECT_EQ(ReadText("\t :0X\n").result.Problem,
              "character 'X' at column 5 is not a hexadecimal digit");
}

TEST(HexReaderTest, ShortRecordIsNotReadIntoTheNextLine) {
    // The byte count 0x10 announces 43 characters; the line holds 23, and the next line
    // supplies a line end right where the count says the first one should be.
    const Read read = ReadText(":10140000020000040000FA\r\n:1090A0B0C0D0E0F64\r\n");
    EXPECT_EQ(read.result.Line, 1u);
    EXPECT_EQ(read.result.Problem,
              "line too short for its byte count 16 (23 characters, 43 needed)");
}

TEST(HexReaderTest, CutOffLastRecordIsRefused) {
    const Read read = ReadText(HexRecord(0, 0x1400, {1}) + "\n:0414000001");
    EXPECT_EQ(read.result.Code, 1);
    EXPECT_EQ(read.result.Line, 2u);
}

TEST(HexReaderTest, PiecesSplitAnywhereReadLikeTheWhole) {
    // A byte-order mark and blanks, which may be cut anywhere too.
    const std::string text = "\xEF\xBB\xBF \t\r\n" + HexRecord(4, 0, {0, 0}) + "\r\n" +
                             HexRecord(0, 0x1400, Bytes(20)) + "\r" +
                             HexRecord(0, 0x1500, Bytes(3)) + "\n\r\n" + ":00000001FF";
    const Read whole = ReadText(text);
    ASSERT_EQ(whole.result.Code, 0);
    for (size_t cut = 0; cut <= text.size(); ++cut) {
        for (size_t cut2 = cut; cut2 <= text.size(); cut2 += 7) {
            FirmwareImage image;
            HexFileParser parser(image);
            parser.Feed(text.data(), cut);
            parser.Feed(text.data() + cut, cut2 - cut);
            parser.Feed(text.data() + cut2, text.size() - cut2);
            const HexReadResult result = parser.Finish();
            ASSERT_EQ(result.Code, 0) << cut << " " << cut2 << " " << result.Message();
            ASSERT_EQ(image, whole.image) << cut << " " << cut2;
        }
    }
    // A refusal keeps its line number across a cut, also one inside a CR LF.
    const std::string bad = HexRecord(0, 0x1400, {1}) + "\r\n\r\n:0100000001FF\r\n";
    for (size_t cut = 0; cut <= bad.size(); ++cut) {
        FirmwareImage image;
        HexFileParser parser(image);
        parser.Feed(bad.data(), cut);
        parser.Feed(bad.data() + cut, bad.size() - cut);
        EXPECT_EQ(parser.Finish().Line, 3u) << cut;
    }
}

TEST(HexReaderFileTest, ReadsFilesAgainFromAnErasedImage) {
    testing::TempDir dir;
    const FirmwareImage pattern = testing::PatternImage();
    const std::string large = dir.Write("large.hex", testing::HexFileFor(pattern));
    const std::string small = dir.Write("small.hex", HexRecord(0, 0x1400, {0x42}) + "\n" + kEnd);
    FirmwareImage image;
    EXPECT_EQ(ReadUpdateFile(large, image).Code, 0);
    EXPECT_EQ(image, pattern);
    EXPECT_EQ(ReadUpdateFile(large, image).Code, 0);
    EXPECT_EQ(image, pattern);
    EXPECT_EQ(ReadUpdateFile(small, image).Code, 0);
    EXPECT_EQ(image[0], 0x42);
    EXPECT_TRUE(AllFill(image, 1));
}

TEST(HexReaderFileTest, UnreadableFileIsCodeOneWithTheFileMessage) {
    testing::TempDir dir;
    FirmwareImage image;
    image.fill(0);
    HexReadResult result = ReadUpdateFile(dir.PathOf("missing.hex"), image);
    EXPECT_EQ(result.Code, 1);
    EXPECT_FALSE(result.Refused());
    EXPECT_EQ(result.Message(), "ERROR: File not found!");
    EXPECT_TRUE(AllFill(image));                     // erased before the open failed
    result = ReadUpdateFile(dir.PathOf(""), image);  // the folder itself
    EXPECT_EQ(result.Code, 1);
    EXPECT_EQ(result.Message(), "ERROR: File not found!");
#ifndef _WIN32
    // A named pipe is refused at once rather than waited on.
    const std::string pipe = dir.PathOf("pipe.hex");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    EXPECT_EQ(ReadUpdateFile(pipe, image).Code, 1);
#endif
}

TEST(HexReaderFileTest, LargeFileReadInChunksMatchesMemory) {
    // Several chunks' worth of records, mostly in other 64 KB segments, plus a long blank
    // line running across chunk boundaries.
    std::string text = std::string(3'000'000, ' ') + "\n";
    for (unsigned segment = 0; segment < 40; ++segment) {
        text += HexRecord(4, 0, {0, uint8_t(segment)}) + "\n";
        for (unsigned address = 0; address < 0x10000; address += 32) {
            text += HexRecord(0, uint16_t(address), Bytes(32, uint8_t(segment + address))) + "\n";
        }
    }
    text += kEnd;
    testing::TempDir dir;
    const std::string file = dir.Write("big.hex", text);
    FirmwareImage fromFile;
    FirmwareImage fromMemory;
    const HexReadResult result = ReadUpdateFile(file, fromFile);
    EXPECT_EQ(result.Code, 0) << result.Message();
    EXPECT_EQ(ReadUpdateData(text.data(), text.size(), fromMemory).Code, 0);
    EXPECT_EQ(fromFile, fromMemory);
    EXPECT_EQ(fromFile[0], uint8_t(0x1400));  // segment 0, address 0x1400
}

// Records are decoded in steps of several digit pairs, the last step overlapping the one
// before; every byte count must still give each byte once, sum each byte once, and find a bad
// digit wherever it sits.
TEST(HexReaderTest, EveryByteCountIsDecodedAndCheckedWhole) {
    for (size_t count = 0; count <= 255; ++count) {
        SCOPED_TRACE("byte count " + std::to_string(count));
        const std::vector<uint8_t> data = Bytes(count, uint8_t(0x80 + count));
        const std::string record = HexRecord(0, 0x1400, data);
        Read read = ReadText(record + "\n" + kEnd);
        // A record without data gives the image nothing.
        ASSERT_EQ(read.result.Code, count == 0 ? 1 : 0) << read.result.Message();
        for (size_t i = 0; i < count; ++i) {
            ASSERT_EQ(read.image[i], data[i]) << "byte " << i;
        }
        EXPECT_TRUE(AllFill(read.image, count));

        // A checksum off by one (a byte counted twice or not at all would show the same way).
        std::string wrong = record;
        wrong.back() = wrong.back() == '0' ? '1' : '0';
        EXPECT_NE(ReadText(wrong + "\n").result.Problem.find("wrong checksum"), std::string::npos);

        for (size_t column = 1; column < record.size(); ++column) {
            std::string bad = record;
            bad[column] = 'g';
            const Read refused = ReadText(bad + "\n");
            ASSERT_EQ(refused.result.Line, 1u) << "column " << column + 1;
            ASSERT_NE(refused.result.Problem.find("at column " + std::to_string(column + 1)),
                      std::string::npos)
                << refused.result.Problem;
        }
    }
}

}  // namespace
}  // namespace quillon::firmware
