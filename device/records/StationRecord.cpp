#include "device/records/StationRecord.h"

#include <cstdio>
#include <cstdlib>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace quillon::records {

std::string DefaultStationName() {
#ifdef _WIN32
    char name[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD size = sizeof name;
    if (GetComputerNameA(name, &size) && size > 0) {
        return std::string(name, size);
    }
#else
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) == 0 && name[0] != '\0') {
        return name;
    }
#endif
    return "station";
}

std::string UtcText(Clock::time_point time) {
    using namespace std::chrono;
    const auto millis = floor<milliseconds>(time);
    const auto day = floor<days>(millis);
    const year_month_day date(day);
    const hh_mm_ss clock(millis - day);
    char text[40];
    std::snprintf(
        text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(date.year()),
        static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
        static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
        static_cast<int>(clock.seconds().count()), static_cast<int>(clock.subseconds().count()));
    return text;
}

std::optional<TimeSpan> ParseUtcTime(const std::string& text) {
    using namespace std::chrono;
    int year = 0;
    unsigned month = 0;
    unsigned day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int used = 0;
    std::string rest = text;
    if (!rest.empty() && (rest.back() == 'Z' || rest.back() == 'z')) {
        rest.pop_back();
    }
    const char* c = rest.c_str();
    if (std::sscanf(c, "%4d-%2u-%2u%n", &year, &month, &day, &used) != 3 || used != 10) {
        return std::nullopt;
    }
    const year_month_day date{std::chrono::year(year), std::chrono::month(month),
                              std::chrono::day(day)};
    if (!date.ok()) {
        return std::nullopt;
    }
    Clock::duration length = days(1);
    size_t at = 10;
    if (at < rest.size()) {
        if (rest[at] != 'T' && rest[at] != 't' && rest[at] != ' ') {
            return std::nullopt;
        }
        ++at;
        if (std::sscanf(c + at, "%2d:%2d%n", &hour, &minute, &used) != 2 || used != 5) {
            return std::nullopt;
        }
        at += 5;
        length = minutes(1);
        if (at < rest.size()) {
            if (std::sscanf(c + at, ":%2d%n", &second, &used) != 1 || used != 3 ||
                at + 3 != rest.size()) {
                return std::nullopt;
            }
            length = seconds(1);
        }
        if (hour > 23 || minute > 59 || second > 59 || hour < 0 || minute < 0 || second < 0) {
            return std::nullopt;
        }
    }
    const Clock::time_point begin =
        sys_days(date) + hours(hour) + minutes(minute) + seconds(second);
    return TimeSpan{begin, begin + length};
}

}  // namespace quillon::records
