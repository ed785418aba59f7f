#pragma once

#include <windows.h>

#include "log/events_journal.h"

namespace korvel::shell {

// The event source that the driver reports under in the Application log.
inline constexpr const wchar_t* kEventSourceName = L"Korvel";

// The events journal's warnings and errors, its start and its exit, in the Windows event
// log: each with the driver's own event id (the message table compiled into korvel.exe) and
// the journal's line as its one insertion string.
class Win32EventLogSink final : public log::EventLogSink {
  public:
    Win32EventLogSink();
    ~Win32EventLogSink() override;
    Win32EventLogSink(const Win32EventLogSink&) = delete;
    Win32EventLogSink& operator=(const Win32EventLogSink&) = delete;

    void report(log::EventKind kind, log::EventSeverity severity, const char* line) override;

  private:
    HANDLE source_ = nullptr;
};

// The event id of a kind in the message table.
DWORD eventId(log::EventKind kind, log::EventSeverity severity);

}  // namespace korvel::shell
