#include <windows.h>

#include "log/events_journal.h"

namespace korvel::log {

EventTime localEventTime() {
    SYSTEMTIME time;
    GetLocalTime(&time);
    return EventTime{time.wYear,   time.wMonth,  time.wDay,         time.wHour,
                     time.wMinute, time.wSecond, time.wMilliseconds};
}

}  // namespace korvel::log
