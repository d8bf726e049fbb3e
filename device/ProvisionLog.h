#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "device/ProvisionJob.h"

namespace quillon {

// The station's record of every adapter: a CSV file that a spreadsheet opens, one line per
// adapter, appended. Each line goes to the file in a single write on a descriptor opened for
// appending and is flushed to disk before the next, so a crash or a pulled cable never leaves
// half a line and a second station appending to the same file never splits one.
class ProvisionLog {
  public:
    ProvisionLog() = default;
    ~ProvisionLog();
    ProvisionLog(const ProvisionLog&) = delete;
    ProvisionLog& operator=(const ProvisionLog&) = delete;
    ProvisionLog(ProvisionLog&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

    // Opens (creates) the file and writes the header line when it is new. On failure returns
    // false with the reason in error; nothing is written then.
    bool Open(const std::string& path, std::string& error);
    bool IsOpen() const { return fd_ >= 0; }

    // Appends the adapter's record; false (error set) when the line could not be written whole.
    bool Append(const ProvisionRecord& record, const std::string& firmwareFile,
                const std::string& firmwareChecksum, std::string& error);

    static std::string HeaderLine();
    static std::string RecordLine(const ProvisionRecord& record, const std::string& firmwareFile,
                                  const std::string& firmwareChecksum);

  private:
    bool WriteLine(const std::string& line, std::string& error);

    int fd_ = -1;
};

// A CSV field: quoted when it holds a comma, quote, line break or leading/trailing blank; one
// that a spreadsheet would take for a formula (its first character = + - @, a tab or a CR)
// gets a ' in front, as spreadsheets themselves mark text.
std::string CsvField(const std::string& text);

// CRC-32 (as zip files use it) of a file's bytes, as eight hexadecimal digits; empty when the
// file cannot be read.
std::string FileCrc32(const std::string& path);

// "2026-01-31T14:05:09Z"
std::string UtcTimeText(std::chrono::system_clock::time_point time);

}  // namespace quillon
