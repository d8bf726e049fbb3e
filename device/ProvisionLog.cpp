#include "device/ProvisionLog.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string_view>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "device/HexText.h"
#include "device/ReportText.h"

namespace quillon {
namespace {

// The few file calls the log needs, which differ between the systems.
#ifdef _WIN32
int OpenForAppend(const std::string& path) {
    return ::_open(path.c_str(), _O_WRONLY | _O_APPEND | _O_CREAT | _O_BINARY,
                   _S_IREAD | _S_IWRITE);
}
long long WriteAll(int fd, const char* data, size_t size) {
    return ::_write(fd, data, static_cast<unsigned>(size));
}
bool FlushToDisk(int fd) {
    return ::_commit(fd) == 0;
}
long long FileSize(int fd) {
    return ::_lseeki64(fd, 0, SEEK_END);
}
void CloseFile(int fd) {
    ::_close(fd);
}
#else
int OpenForAppend(const std::string& path) {
    return ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
}
long long WriteAll(int fd, const char* data, size_t size) {
    ssize_t written;
    do {
        written = ::write(fd, data, size);
    } while (written < 0 && errno == EINTR);
    return written;
}
bool FlushToDisk(int fd) {
    return ::fsync(fd) == 0;
}
long long FileSize(int fd) {
    struct stat status {};
    return ::fstat(fd, &status) == 0 ? static_cast<long long>(status.st_size) : -1;
}
void CloseFile(int fd) {
    ::close(fd);
}
#endif

}  // namespace

ProvisionLog::~ProvisionLog() {
    if (fd_ >= 0) {
        CloseFile(fd_);
    }
}

bool ProvisionLog::Open(const std::string& path, std::string& error) {
    struct stat status {};
    if (::stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) {
        error = "not a plain file";
        return false;
    }
    fd_ = OpenForAppend(path);
    if (fd_ < 0) {
        error = std::strerror(errno);
        return false;
    }
    if (FileSize(fd_) == 0 && !WriteLine(HeaderLine(), error)) {
        CloseFile(fd_);
        fd_ = -1;
        return false;
    }
    return true;
}

bool ProvisionLog::Append(const ProvisionRecord& record, const std::string& firmwareFile,
                          const std::string& firmwareChecksum, std::string& error) {
    return WriteLine(RecordLine(record, firmwareFile, firmwareChecksum), error);
}

bool ProvisionLog::WriteLine(const std::string& line, std::string& error) {
    const long long written = WriteAll(fd_, line.data(), line.size());
    if (written != static_cast<long long>(line.size())) {
        error = written < 0 ? std::strerror(errno) : "the disk took only part of the line";
        return false;
    }
    if (!FlushToDisk(fd_)) {
        error = std::strerror(errno);
        return false;
    }
    return true;
}

std::string ProvisionLog::HeaderLine() {
    return "time,node,usb_port,vendor,product,manufacturer_text,product_text,version_before,"
           "version_after,firmware_file,firmware_crc32,settings,update,settings_write,verify,"
           "result,reason,seconds\r\n";
}

std::string ProvisionLog::RecordLine(const ProvisionRecord& record, const std::string& firmwareFile,
                                     const std::string& firmwareChecksum) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.3f", static_cast<double>(record.Took.count()) / 1000);
    const std::array<std::string, 18> fields = {
        UtcTimeText(record.Started),
        record.Path,
        record.UsbPath,
        FourHexDigits(record.Identity.VendorID),
        FourHexDigits(record.Identity.ProductID),
        Utf16ToUtf8(record.Manufacturer),
        Utf16ToUtf8(record.Product),
        FourHexDigits(record.Identity.VersionNumber),
        record.VersionAfter ? FourHexDigits(*record.VersionAfter) : std::string(),
        firmwareFile,
        firmwareFile.empty() ? std::string() : firmwareChecksum,
        record.SettingsWritten,
        StepText(record.Update),
        StepText(record.Settings),
        StepText(record.Verify),
        record.Passed ? "PASS" : "FAIL",
        record.Reason,
        seconds,
    };
    std::string line;
    for (const std::string& field : fields) {
        line += (line.empty() ? "" : ",") + CsvField(field);
    }
    // CR LF ends a record, as spreadsheets write them.
    return line + "\r\n";
}

std::string CsvField(const std::string& text) {
    // A spreadsheet takes a cell that starts like this for a formula; the adapter's texts come
    // from the device, which the station does not trust to run anything on the desk.
    const bool formula =
        !text.empty() && std::string_view("=+-@\t\r").find(text.front()) != std::string_view::npos;
    const bool quote = formula || text.find_first_of(",\"\r\n") != std::string::npos ||
                       (!text.empty() && (text.front() == ' ' || text.back() == ' '));
    if (!quote) {
        return text;
    }
    std::string field = formula ? "\"'" : "\"";
    for (const char c : text) {
        field += c;
        if (c == '"') {
            field += '"';
        }
    }
    return field + "\"";
}

std::string FileCrc32(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return {};
    }
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> entries{};
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t value = i;
            for (int bit = 0; bit < 8; ++bit) {
                value = (value & 1) != 0 ? 0xEDB88320u ^ (value >> 1) : value >> 1;
            }
            entries[i] = value;
        }
        return entries;
    }();
    uint32_t crc = 0xFFFFFFFFu;
    std::array<char, 65536> chunk;
    while (file.read(chunk.data(), chunk.size()) || file.gcount() > 0) {
        for (std::streamsize i = 0; i < file.gcount(); ++i) {
            crc = table[(crc ^ static_cast<uint8_t>(chunk[static_cast<size_t>(i)])) & 0xFF] ^
                  (crc >> 8);
        }
    }
    if (file.bad()) {
        return {};
    }
    char text[12];
    std::snprintf(text, sizeof text, "%08x", crc ^ 0xFFFFFFFFu);
    return text;
}

std::string UtcTimeText(std::chrono::system_clock::time_point time) {
    using namespace std::chrono;
    const auto day = floor<days>(time);
    const year_month_day date(day);
    const hh_mm_ss clock(floor<seconds>(time - day));
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ",
                  static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                  static_cast<unsigned>(date.day()), static_cast<int>(clock.hours().count()),
                  static_cast<int>(clock.minutes().count()),
                  static_cast<int>(clock.seconds().count()));
    return text;
}

}  // namespace quillon
