#include "log/dated_log_files.h"

#include <cctype>
#include <cstring>

namespace korvel::log {
namespace {

bool isLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysInMonth(int year, int month) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

// The number that `count` decimal digits at `text` spell; -1 when one is not a digit.
int digitsValue(const char* text, int count) {
    int value = 0;
    for (int i = 0; i < count; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) return -1;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

bool isLogExtension(const char* text) {
    return std::strlen(text) == 4 && text[0] == '.' &&
           std::tolower(static_cast<unsigned char>(text[1])) == 'l' &&
           std::tolower(static_cast<unsigned char>(text[2])) == 'o' &&
           std::tolower(static_cast<unsigned char>(text[3])) == 'g';
}

}  // namespace

std::optional<CalendarDate> dateOfDatedLogFile(const char* fileName) {
    if (fileName == nullptr) return std::nullopt;
    const std::size_t length = std::strlen(fileName);
    // "yyyymmdd.log" is 12 characters, "yyyymmdd-hh.log" 15; checking the length first
    // keeps every later read inside the name.
    if (length == 15) {
        if (fileName[8] != '-' || !isLogExtension(fileName + 11)) return std::nullopt;
        const int hour = digitsValue(fileName + 9, 2);
        if (hour < 0 || hour > 23) return std::nullopt;
    } else if (length != 12 || !isLogExtension(fileName + 8)) {
        return std::nullopt;
    }
    const CalendarDate date{digitsValue(fileName, 4), digitsValue(fileName + 4, 2),
                            digitsValue(fileName + 6, 2)};
    if (date.year < 0 || date.month < 1 || date.month > 12 || date.day < 1 ||
        date.day > daysInMonth(date.year, date.month)) {
        return std::nullopt;
    }
    return date;
}

std::int64_t dayNumber(const CalendarDate& date) {
    // Counted from 1 March so that the leap day ends a year.
    const std::int64_t year = date.month <= 2 ? date.year - 1 : date.year;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t monthFromMarch = date.month > 2 ? date.month - 3 : date.month + 9;
    const std::int64_t dayOfYear = (153 * monthFromMarch + 2) / 5 + date.day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

bool isExpiredLogFile(const char* fileName, const CalendarDate& today, int keepDays) {
    if (keepDays <= 0) return false;
    const std::optional<CalendarDate> date = dateOfDatedLogFile(fileName);
    return date && dayNumber(today) - dayNumber(*date) > keepDays;
}

}  // namespace korvel::log
