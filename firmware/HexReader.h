#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "firmware/FirmwareImage.h"

namespace quillon::firmware {

// Outcome of reading an update file into the image.
struct HexReadResult {
    int Code = 0;         // 0: read; 1: refused, or the file could not be opened or read
    size_t Line = 0;      // line (from 1) of the record that was refused; 0 when none was
    std::string Problem;  // what is wrong with that record; empty when none was refused

    bool Refused() const { return Line != 0; }
    // The text shown to the user for a result with Code 1.
    std::string Message() const;
};

// Reads Intel HEX text into the image piece by piece, so that a file can be read in large
// chunks without holding all of it, and the same code serves text held in memory.
//
// Every record is checked before its data is used: hexadecimal digits, a line long enough for
// its byte count, nothing but blanks after the checksum, the checksum, a known record type.
// Data records land at their full address (extended segment and linear address records are
// honoured); bytes outside the image are dropped. A line not starting with ':' is skipped,
// Ctrl+Z at the start of a line ends the file, and lines end at LF, CR LF or a lone CR.
class HexFileParser {
  public:
    // Fills the image with the fill value at once, so nothing of an earlier file survives.
    explicit HexFileParser(FirmwareImage& image);

    // Hands over the next piece of the file; pieces may split lines anywhere.
    // Returns false once reading is over (a record was refused, or Ctrl+Z ended the file):
    // further pieces are ignored then.
    bool Feed(const char* data, size_t size);

    // Ends the file: a last line without a line end is handled now.
    HexReadResult Finish();

  private:
    enum class State { LineStart, InRecord, SkippingLine, Ended, Refused };

    // Checks and applies one record line. With guessedLength the length comes from the
    // byte count alone and the line may really end earlier: then a line end inside shows as a
    // bad digit, and false asks the caller to find the line's end and try again.
    bool HandleRecord(const char* record, size_t length, bool guessedLength = false);
    void Refuse(std::string problem);
    // Steps over the line end at p (which must be one); returns the position after it.
    const char* ConsumeLineEnd(const char* p, const char* end);

    FirmwareImage& image_;
    State state_ = State::LineStart;
    size_t line_ = 1;
    bool pendingCR_ = false;  // the last piece ended with CR; an LF that follows belongs to it
    std::string carry_;       // start of a record line that the last piece cut off
    uint64_t base_ = 0;       // from the last extended address record
    HexReadResult result_;
};

// Reads text held in memory.
HexReadResult ReadUpdateData(const char* data, size_t size, FirmwareImage& image);

// Reads the update file at path. Code 1 without a line when it cannot be opened or read.
HexReadResult ReadUpdateFile(const std::string& path, FirmwareImage& image);

}  // namespace quillon::firmware
