#include "firmware/HexReader.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "firmware/HexDigits.h"

namespace quillon::firmware {
namespace {

// ':' count(2) address(4) type(2) checksum(2)
constexpr size_t kRecordOverhead = 11;
// The longest record (255 data bytes) has 521 characters; a little room is left for blanks
// after the checksum, and anything longer is refused so that a cut-off record never has to
// be held in full however long its line runs.
constexpr size_t kMaxRecordLine = 1024;
constexpr size_t kChunkSize = size_t(1) << 20;
constexpr char kCtrlZ = 0x1A;
// UTF-8 byte-order mark, which some editors write at the start of a text file.
constexpr unsigned char kByteOrderMark[] = {0xEF, 0xBB, 0xBF};

enum RecordType : uint8_t {
    DataRecord = 0x00,
    EndOfFileRecord = 0x01,
    ExtendedSegmentAddressRecord = 0x02,
    StartSegmentAddressRecord = 0x03,
    ExtendedLinearAddressRecord = 0x04,
    StartLinearAddressRecord = 0x05,
};

// Digit value, or 0xF0 for a character that is not a hexadecimal digit: OR-ing the values of
// a whole record shows in one test whether any digit was bad.
constexpr uint8_t kBadDigit = 0xF0;
constexpr std::array<uint8_t, 256> MakeDigitTable() {
    std::array<uint8_t, 256> table{};
    for (int c = 0; c < 256; ++c) {
        table[c] =
            IsHexDigit(static_cast<char>(c)) ? HexDigitValue(static_cast<char>(c)) : kBadDigit;
    }
    return table;
}
constexpr std::array<uint8_t, 256> kDigit = MakeDigitTable();

inline uint8_t DigitOf(char c) {
    return kDigit[static_cast<uint8_t>(c)];
}

// The bytes of a record's digits and their sum; ok is false when any character was not a
// hexadecimal digit (the bytes and the sum are of no use then).
struct DecodedPairs {
    bool ok;
    uint8_t sum;
};

#if defined(__SSE2__)
// Sixteen characters to eight byte values in the low half of the result (digit pairs, high
// digit first). Lanes of valid are cleared for characters that are not hexadecimal digits.
__m128i DecodeSixteenDigits(const char* p, __m128i& valid) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i folded = _mm_or_si128(x, _mm_set1_epi8(0x20));  // 'A'-'F' to 'a'-'f'
    // Signed compares: bytes from 0x80 up are negative and fail both ranges.
    const __m128i digit = _mm_and_si128(_mm_cmpgt_epi8(x, _mm_set1_epi8('0' - 1)),
                                        _mm_cmplt_epi8(x, _mm_set1_epi8('9' + 1)));
    const __m128i letter = _mm_and_si128(_mm_cmpgt_epi8(folded, _mm_set1_epi8('a' - 1)),
                                         _mm_cmplt_epi8(folded, _mm_set1_epi8('f' + 1)));
    valid = _mm_and_si128(valid, _mm_or_si128(digit, letter));
    // Letters have low nibbles 1 to 6: adding 9 gives 10 to 15.
    const __m128i nibbles = _mm_add_epi8(_mm_and_si128(x, _mm_set1_epi8(0x0F)),
                                         _mm_and_si128(letter, _mm_set1_epi8(9)));
    // The digits of a pair sit in one 16-bit lane, the high one first (lower address).
    const __m128i values =
        _mm_or_si128(_mm_slli_epi16(_mm_and_si128(nibbles, _mm_set1_epi16(0x00FF)), 4),
                     _mm_srli_epi16(nibbles, 8));
    return _mm_packus_epi16(values, _mm_setzero_si128());
}

// Eight zero bytes, then eight 0xFF: the eight bytes from offset n keep the last n lanes.
alignas(16) constexpr uint8_t kKeepLastLanes[16] = {0,    0,    0,    0,    0,    0,    0,    0,
                                                    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
#endif

// Decodes pairs pairs of hexadecimal digits at p into out. Reading a file is mostly this, so
// with SSE2 sixteen digits are handled at a time; nothing past the last pair is read.
DecodedPairs DecodeHexPairs(const char* p, size_t pairs, uint8_t* out) {
#if defined(__SSE2__)
    if (pairs >= 8) {
        __m128i valid = _mm_set1_epi8(-1);
        __m128i sums = _mm_setzero_si128();
        size_t i = 0;
        for (; i + 8 <= pairs; i += 8) {
            const __m128i bytes = DecodeSixteenDigits(p + 2 * i, valid);
            _mm_storel_epi64(reinterpret_cast<__m128i*>(out + i), bytes);
            sums = _mm_add_epi64(sums, _mm_sad_epu8(bytes, _mm_setzero_si128()));
        }
        if (i < pairs) {
            // The remaining pairs are decoded with the eight that end with them rather than
            // by reading past the record; the pairs decoded twice stay out of the sum.
            const size_t last = pairs - 8;
            const __m128i bytes = DecodeSixteenDigits(p + 2 * last, valid);
            _mm_storel_epi64(reinterpret_cast<__m128i*>(out + last), bytes);
            const __m128i fresh = _mm_and_si128(
                bytes,
                _mm_loadl_epi64(reinterpret_cast<const __m128i*>(kKeepLastLanes + pairs - i)));
            sums = _mm_add_epi64(sums, _mm_sad_epu8(fresh, _mm_setzero_si128()));
        }
        return {_mm_movemask_epi8(valid) == 0xFFFF, static_cast<uint8_t>(_mm_cvtsi128_si32(sums))};
    }
#endif
    uint8_t bad = 0;
    uint8_t sum = 0;
    for (size_t i = 0; i < pairs; ++i) {
        const uint8_t hi = DigitOf(p[2 * i]);
        const uint8_t lo = DigitOf(p[2 * i + 1]);
        bad |= hi | lo;
        out[i] = static_cast<uint8_t>(hi << 4 | (lo & 0x0F));
        sum = static_cast<uint8_t>(sum + out[i]);
    }
    return {(bad & kBadDigit) == 0, sum};
}

bool IsLineEnd(char c) {
    return c == '\n' || c == '\r';
}
bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

const char* FindLineEnd(const char* p, const char* end) {
    // memchr is much faster than a byte loop on long lines; a lone CR ends a line too, so
    // only the part before the first LF is searched for one.
    const char* lf = static_cast<const char*>(std::memchr(p, '\n', size_t(end - p)));
    const char* limit = lf ? lf : end;
    const char* cr = static_cast<const char*>(std::memchr(p, '\r', size_t(limit - p)));
    return cr ? cr : limit;
}

std::string DescribeCharacter(char c) {
    char text[16];
    const auto u = static_cast<unsigned char>(c);
    if (u >= 0x21 && u < 0x7F) {
        std::snprintf(text, sizeof text, "'%c'", c);
    } else {
        std::snprintf(text, sizeof text, "0x%02X", u);
    }
    return text;
}

std::string NotARecordProblem(char first) {
    return "not a record (it starts with " + DescribeCharacter(first) + ", not ':')";
}

std::string Hex2(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "%02X", value & 0xFF);
    return text;
}

}  // namespace

std::string HexReadResult::Message() const {
    if (!Refused()) {
        return "ERROR: File not found!";
    }
    if (Line == 0) {
        return "ERROR: invalid update file: " + Problem;
    }
    return "ERROR: invalid update file, line " + std::to_string(Line) + ": " + Problem;
}

HexFileParser::HexFileParser(FirmwareImage& image) : image_(image) {
    image_.fill(kFillValue);
}

void HexFileParser::Refuse(std::string problem, size_t line) {
    state_ = State::Refused;
    result_.Code = 1;
    result_.Line = line;
    result_.Problem = std::move(problem);
}

std::string HexFileParser::NotHexProblem(const char* record, size_t length) const {
    for (size_t i = 1; i < length; ++i) {
        if (!IsHexDigit(record[i])) {
            return "character " + DescribeCharacter(record[i]) + " at column " +
                   std::to_string(Column(i)) + " is not a hexadecimal digit";
        }
    }
    return "character that is not a hexadecimal digit";
}

bool HexFileParser::SkipByteOrderMark(const char*& p, const char* end) {
    while (p < end && byteOrderMarkSeen_ < sizeof kByteOrderMark) {
        if (static_cast<unsigned char>(*p) != kByteOrderMark[byteOrderMarkSeen_]) {
            startChecked_ = true;
            if (byteOrderMarkSeen_ > 0) {
                // Part of a mark and then something else: the first line starts with 0xEF.
                Refuse(NotARecordProblem(static_cast<char>(kByteOrderMark[0])));
                return false;
            }
            return true;
        }
        ++byteOrderMarkSeen_;
        ++p;
    }
    startChecked_ = byteOrderMarkSeen_ == sizeof kByteOrderMark;
    return true;
}

const char* HexFileParser::ConsumeLineEnd(const char* p, const char* end) {
    ++line_;
    indent_ = 0;
    if (*p++ == '\r') {
        if (p == end) {
            pendingCR_ = true;
        } else if (*p == '\n') {
            ++p;
        }
    }
    return p;
}

bool HexFileParser::HandleRecord(const char* record, size_t length, bool guessedLength) {
    if (length > kMaxRecordLine) {
        Refuse("line too long for a record");
        return true;
    }
    if (length < kRecordOverhead) {
        for (size_t i = 1; i < length; ++i) {
            if (!IsHexDigit(record[i])) {
                Refuse(NotHexProblem(record, length));
                return true;
            }
        }
        Refuse("record too short (" + std::to_string(length) + " characters)");
        return true;
    }
    const uint8_t countHigh = DigitOf(record[1]);
    const uint8_t countLow = DigitOf(record[2]);
    if ((countHigh | countLow) & kBadDigit) {
        if (guessedLength) {
            return false;
        }
        Refuse(NotHexProblem(record, 3));
        return true;
    }
    const uint8_t count = static_cast<uint8_t>(countHigh << 4 | countLow);
    const size_t needed = kRecordOverhead + 2 * size_t(count);
    if (length < needed) {
        if (std::any_of(record + 1, record + length, [](char c) { return !IsHexDigit(c); })) {
            Refuse(NotHexProblem(record, length));
        } else {
            Refuse("line too short for its byte count " + std::to_string(count) + " (" +
                   std::to_string(length) + " characters, " + std::to_string(needed) + " needed)");
        }
        return true;
    }

    // Byte count, address (2), type, data, checksum.
    uint8_t bytes[5 + 255];
    const DecodedPairs decoded = DecodeHexPairs(record + 1, 5 + size_t(count), bytes);
    if (!decoded.ok) {
        if (guessedLength) {
            return false;  // may be the end of a shorter line: the caller looks for it
        }
        Refuse(NotHexProblem(record, needed));
        return true;
    }
    for (size_t i = needed; i < length; ++i) {
        if (!IsBlank(record[i])) {
            Refuse("unexpected " + DescribeCharacter(record[i]) + " at column " +
                   std::to_string(Column(i)) + " after the checksum");
            return true;
        }
    }
    // The checksum makes the sum of all the record's bytes zero.
    if (decoded.sum != 0) {
        const uint8_t checksum = bytes[4 + count];
        Refuse("wrong checksum " + Hex2(checksum) + ", the record's bytes give " +
               Hex2(checksum - decoded.sum));
        return true;
    }

    const uint8_t* const data = bytes + 4;
    const uint8_t type = bytes[3];
    const uint16_t address = static_cast<uint16_t>(bytes[1] << 8 | bytes[2]);
    switch (type) {
        case DataRecord: {
            // Addresses do not wrap: a record running past its segment's end goes on upwards.
            const uint64_t first = base_ + address;
            const uint64_t last = first + count;  // one past
            const uint64_t from = std::max<uint64_t>(first, kImageBase);
            const uint64_t to = std::min<uint64_t>(last, uint64_t(kImageBase) + kImageSize);
            if (from < to) {
                std::memcpy(image_.data() + (from - kImageBase), data + (from - first),
                            size_t(to - from));
                imageDataSeen_ = true;
            }
            break;
        }
        case ExtendedSegmentAddressRecord:
        case ExtendedLinearAddressRecord:
            if (count != 2) {
                Refuse("address record of type " + Hex2(type) + " with byte count " +
                       std::to_string(count) + " (2 expected)");
                return true;
            }
            base_ = uint64_t(data[0] << 8 | data[1])
                    << (type == ExtendedSegmentAddressRecord ? 4 : 16);
            break;
        case EndOfFileRecord:
            endRecordSeen_ = true;
            break;
        case StartSegmentAddressRecord:
        case StartLinearAddressRecord:
            break;
        default:
            Refuse("unknown record type " + Hex2(type));
            return true;
    }
    return true;
}

bool HexFileParser::Feed(const char* data, size_t size) {
    const char* p = data;
    const char* const end = data + size;
    if (state_ == State::Ended || state_ == State::Refused) {
        return false;
    }
    if (!startChecked_ && !SkipByteOrderMark(p, end)) {
        return false;
    }
    if (pendingCR_ && p < end) {
        pendingCR_ = false;
        if (*p == '\n') {
            ++p;
        }
    }
    if (state_ == State::InRecord) {
        const char* e = FindLineEnd(p, end);
        const size_t room = kMaxRecordLine + 1 - carry_.size();
        carry_.append(p, std::min(size_t(e - p), room));
        if (e == end && carry_.size() <= kMaxRecordLine) {
            return true;
        }
        HandleRecord(carry_.data(), carry_.size());
        carry_.clear();
        if (state_ == State::Refused) {
            return false;
        }
        // An over-long line was refused above, so e is a line end here.
        p = ConsumeLineEnd(e, end);
        state_ = State::LineStart;
    }

    while (p < end) {
        const char first = *p;
        if (IsBlank(first)) {
            ++indent_;
            ++p;
            continue;
        }
        if (IsLineEnd(first)) {
            p = ConsumeLineEnd(p, end);
            continue;
        }
        if (first == kCtrlZ) {
            state_ = State::Ended;
            return false;
        }
        if (endRecordSeen_) {
            Refuse("text after the end-of-file record");
            return false;
        }
        if (first != ':') {
            Refuse(NotARecordProblem(first));
            return false;
        }
        if (end - p > ptrdiff_t(kRecordOverhead)) {
            // The usual record: its byte count says where the line ends, so the line need
            // not be searched for its end.
            const uint8_t hi = DigitOf(p[1]);
            const uint8_t lo = DigitOf(p[2]);
            if (((hi | lo) & kBadDigit) == 0) {
                const size_t length = kRecordOverhead + 2 * size_t(hi << 4 | lo);
                if (end - p > ptrdiff_t(length) && IsLineEnd(p[length]) &&
                    HandleRecord(p, length, true)) {
                    if (state_ == State::Refused) {
                        return false;
                    }
                    p = ConsumeLineEnd(p + length, end);
                    continue;
                }
            }
        }
        const char* e = FindLineEnd(p, end);
        if (e == end) {
            carry_.assign(p, std::min(size_t(e - p), kMaxRecordLine + 1));
            if (carry_.size() > kMaxRecordLine) {
                HandleRecord(carry_.data(), carry_.size());
                return false;
            }
            state_ = State::InRecord;
            return true;
        }
        HandleRecord(p, size_t(e - p));
        if (state_ == State::Refused) {
            return false;
        }
        p = ConsumeLineEnd(e, end);
    }
    return true;
}

HexReadResult HexFileParser::Finish() {
    if (!startChecked_ && byteOrderMarkSeen_ > 0) {
        Refuse(NotARecordProblem(static_cast<char>(kByteOrderMark[0])));  // a mark cut short
    }
    const bool lastLineOpen = state_ == State::InRecord || indent_ > 0;
    if (state_ == State::InRecord) {
        HandleRecord(carry_.data(), carry_.size());
        carry_.clear();
    }
    if (state_ == State::Refused) {
        return result_;
    }
    if (!endRecordSeen_) {
        // The line where the file ends: the Ctrl+Z's, or the last one that was read.
        const bool afterLineEnd = state_ != State::Ended && !lastLineOpen && line_ > 1;
        Refuse("the file ends before its end-of-file record", afterLineEnd ? line_ - 1 : line_);
    } else if (!imageDataSeen_) {
        Refuse("no data for the adapter's firmware area", 0);
    } else {
        state_ = State::Ended;
    }
    return result_;
}

HexReadResult ReadUpdateData(const char* data, size_t size, FirmwareImage& image) {
    HexFileParser parser(image);
    parser.Feed(data, size);
    return parser.Finish();
}

HexReadResult ReadUpdateFile(const std::string& path, FirmwareImage& image) {
    HexFileParser parser(image);
    HexReadResult unreadable;
    unreadable.Code = 1;
    // Only a plain file: opening a named pipe or a device would block the update until
    // someone writes to it.
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        return unreadable;
    }
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                         &std::fclose);
    if (!file) {
        return unreadable;
    }
    std::setvbuf(file.get(), nullptr, _IONBF, 0);  // reads go straight into our chunk
    std::unique_ptr<char[]> chunk(new char[kChunkSize]);
    for (;;) {
        const size_t got = std::fread(chunk.get(), 1, kChunkSize, file.get());
        if (got > 0 && !parser.Feed(chunk.get(), got)) {
            break;
        }
        if (got < kChunkSize) {
            if (std::ferror(file.get())) {
                return unreadable;
            }
            break;
        }
    }
    return parser.Finish();
}

}  // namespace quillon::firmware
