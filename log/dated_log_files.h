#pragma once

#include <cstdint>
#include <optional>

namespace korvel::log {

struct CalendarDate {
    int year = 0;
    int month = 0;  // 1 to 12
    int day = 0;    // 1 to the month's last day
};

// The date that a dated log file's name carries: "yyyymmdd.log" (a file a day) or
// "yyyymmdd-hh.log" (a file an hour), the extension in any letter case. Any other name,
// or one whose date or hour does not exist, is not a dated log file.
std::optional<CalendarDate> dateOfDatedLogFile(const char* fileName);

// Days from 1 January 1970 to the date, in the Gregorian calendar (negative before it).
std::int64_t dayNumber(const CalendarDate& date);

// Whether the file is a dated log file whose date lies more than keepDays days before
// today. keepDays 0 or less keeps every file.
bool isExpiredLogFile(const char* fileName, const CalendarDate& today, int keepDays);

}  // namespace korvel::log
