#include "shell/event_log_sink.h"

#include "korvel_messages.h"

namespace korvel::shell {

DWORD eventId(log::EventKind kind, log::EventSeverity severity) {
    using log::EventKind;
    switch (kind) {
        case EventKind::kStart:
            return KORVEL_EVENT_STARTED;
        case EventKind::kExit:
            return KORVEL_EVENT_ENDED;
        case EventKind::kRefused:
            return KORVEL_EVENT_REFUSED;
        case EventKind::kPortLost:
            return KORVEL_EVENT_PORT_LOST;
        case EventKind::kInfodriverGone:
            return KORVEL_EVENT_INFODRIVER_GONE;
        case EventKind::kCrash:
            return KORVEL_EVENT_CRASH;
        case EventKind::kHang:
            return KORVEL_EVENT_HANG;
        case EventKind::kSetting:
            return KORVEL_EVENT_SETTING;
        case EventKind::kInfodriverSilent:
            return KORVEL_EVENT_INFODRIVER_SILENT;
        case EventKind::kTrafficLost:
        case EventKind::kEventsLost:
            return KORVEL_EVENT_LINES_LOST;
        default:
            return severity == log::EventSeverity::kError ? KORVEL_EVENT_ERROR
                                                          : KORVEL_EVENT_WARNING;
    }
}

Win32EventLogSink::Win32EventLogSink() : source_(RegisterEventSourceW(nullptr, kEventSourceName)) {}

Win32EventLogSink::~Win32EventLogSink() {
    if (source_ != nullptr) DeregisterEventSource(source_);
}

void Win32EventLogSink::report(log::EventKind kind, log::EventSeverity severity, const char* line) {
    if (source_ == nullptr || line == nullptr) return;
    wchar_t text[1024];
    if (MultiByteToWideChar(CP_ACP, 0, line, -1, text, sizeof text / sizeof text[0]) == 0) {
        text[0] = L'\0';
    }
    const WORD type = severity == log::EventSeverity::kError     ? EVENTLOG_ERROR_TYPE
                      : severity == log::EventSeverity::kWarning ? EVENTLOG_WARNING_TYPE
                                                                 : EVENTLOG_INFORMATION_TYPE;
    const wchar_t* strings[] = {text};
    ReportEventW(source_, type, 0, eventId(kind, severity), nullptr, 1, 0, strings, nullptr);
}

}  // namespace korvel::shell
