#include "shell/hang_watchdog.h"

namespace korvel::shell {
namespace {

std::atomic<std::uint32_t> gBeats{0};
constexpr DWORD kStopWaitMs = 2000;

// How often the watchdog looks: often enough that a hang is caught within a second or so of
// the limit, rarely enough to cost nothing.
DWORD lookPeriodMs(unsigned limitSeconds) {
    const DWORD quarter = static_cast<DWORD>(limitSeconds) * 250;
    return quarter < 1000 ? quarter : 1000;
}

}  // namespace

void heartbeat() {
    gBeats.fetch_add(1, std::memory_order_relaxed);
}

HangWatchdog::HangWatchdog(unsigned limitSeconds, HangAction onHang)
    : limitSeconds_(limitSeconds), onHang_(onHang) {
    if (limitSeconds_ == 0 || onHang_ == nullptr) return;
    stop_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (stop_ == nullptr) return;
    thread_ = CreateThread(nullptr, 0, &HangWatchdog::run, this, 0, nullptr);
}

HangWatchdog::~HangWatchdog() {
    if (thread_ != nullptr) {
        SetEvent(stop_);
        // The thread answers the event within one look; one that is writing a hang's evidence
        // ends the process itself, so the main thread never waits on it for long.
        const bool ended = WaitForSingleObject(thread_, kStopWaitMs) == WAIT_OBJECT_0;
        CloseHandle(thread_);
        if (!ended) return;  // its event stays for it
    }
    if (stop_ != nullptr) CloseHandle(stop_);
}

DWORD WINAPI HangWatchdog::run(void* self) {
    auto* watchdog = static_cast<HangWatchdog*>(self);
    const DWORD period = lookPeriodMs(watchdog->limitSeconds_);
    const ULONGLONG limitMs = static_cast<ULONGLONG>(watchdog->limitSeconds_) * 1000;
    // Counted in looks, not by the clock: a PC that slept stopped this thread too, and the
    // loop gets its chance to turn once both run again.
    std::uint32_t lastBeats = gBeats.load();
    ULONGLONG stillMs = 0;
    while (WaitForSingleObject(watchdog->stop_, period) == WAIT_TIMEOUT) {
        const std::uint32_t beats = gBeats.load();
        if (beats != lastBeats) {
            lastBeats = beats;
            stillMs = 0;
        } else if ((stillMs += period) >= limitMs) {
            watchdog->onHang_(watchdog->limitSeconds_);
            return 0;
        }
    }
    return 0;
}

}  // namespace korvel::shell
