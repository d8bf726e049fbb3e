#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "firmware/FirmwareImage.h"

namespace quillon::firmware {

// Outcome of reading an update file into the image.
struct HexReadResult {
    int Code = 0;         // 0: read; 1: refused, or the file could not be opened or read
    size_t Line = 0;      // line (from 1) the refusal is about; 0 when none, or the whole file
    std::string Problem;  // why the file was refused; empty when it was not

    bool Refused() const { return !Problem.empty(); }
    // The text shown to the user for a result with Code 1.
    std::string Message() const;
};

// Reads Intel HEX text into the image piece by piece, so that a file can be read in large
// chunks without holding all of it, and the same code serves text held in memory.
//
// Every record is checked before its data is used: hexadecimal digits, a line long enough for
// its byte count, nothing but blanks after the checksum, the checksum, a known record type.
// Data records land at their full address (extended segment and linear address records are
// honoured); bytes outside the image are dropped. Lines end at LF, CR LF or a lone CR.
//
// Only a whole file that was meant for the adapter is taken, since anything else would be
// flashed as erased memory: a UTF-8 byte-order mark at the start and blanks (spaces, tabs)
// around a record are allowed, but any other line that is not a record is refused, and so is
// a file that ends (at its physical end, or at a Ctrl+Z at the start of a line) before its
// end-of-file record, a file with anything but blank lines after that record, and a file
// that has no data byte inside the image.
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
    enum class State { LineStart, InRecord, Ended, Refused };

    // Checks and applies one record line. With guessedLength the length comes from the
    // byte count alone and the line may really end earlier: then a line end inside shows as a
    // bad digit, and false asks the caller to find the line's end and try again.
    bool HandleRecord(const char* record, size_t length, bool guessedLength = false);
    void Refuse(std::string problem, size_t line);
    void Refuse(std::string problem) { Refuse(std::move(problem), line_); }
    // Column (from 1) of the character at index i of the current record, counted from the
    // start of its line.
    size_t Column(size_t i) const { return indent_ + i + 1; }
    std::string NotHexProblem(const char* record, size_t length) const;
    // Steps over a byte-order mark at the start of the file; false once the file is refused.
    bool SkipByteOrderMark(const char*& p, const char* end);
    // Steps over the line end at p (which must be one); returns the position after it.
    const char* ConsumeLineEnd(const char* p, const char* end);

    FirmwareImage& image_;
    State state_ = State::LineStart;
    size_t line_ = 1;
    size_t indent_ = 0;             // blanks before the current line's record
    size_t byteOrderMarkSeen_ = 0;  // bytes of a byte-order mark matched at the file's start
    bool startChecked_ = false;     // the file's start was looked at for a byte-order mark
    bool endRecordSeen_ = false;
    bool imageDataSeen_ = false;  // a data byte landed inside the image
    bool pendingCR_ = false;      // the last piece ended with CR; an LF that follows belongs to it
    std::string carry_;           // start of a record line that the last piece cut off
    uint64_t base_ = 0;           // from the last extended address record
    HexReadResult result_;
};

// Reads text held in memory.
HexReadResult ReadUpdateData(const char* data, size_t size, FirmwareImage& image);

// Reads the update file at path. Code 1 without a line when it cannot be opened or read.
HexReadResult ReadUpdateFile(const std::string& path, FirmwareImage& image);

}  // namespace quillon::firmware
