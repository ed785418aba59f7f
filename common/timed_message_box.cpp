#include "common/timed_message_box.h"

#include <cstring>
#include <memory>
#include <string>

namespace korvel::common {

namespace {

// Shared by the calling thread and its watcher. Both hold a reference, so a watcher that
// outlives the caller's bounded wait never touches freed memory or a closed event.
struct Watch {
    DWORD timeoutMs = 0;
    std::string caption;
    HANDLE stopEvent = nullptr;
    DWORD callerThreadId = 0;

    ~Watch() {
        if (stopEvent) CloseHandle(stopEvent);
    }
};

BOOL CALLBACK endIfCaptionMatches(HWND window, LPARAM param) {
    const Watch& watch = *reinterpret_cast<const Watch*>(param);
    char title[256] = {};
    GetWindowTextA(window, title, static_cast<int>(sizeof title));
    if (_strnicmp(title, watch.caption.c_str(), watch.caption.size()) == 0) {
        EndDialog(window, 0);
        // EndDialog from another thread only marks the box as ended; its loop looks at the
        // mark after its next message, which an idle box may never get without this one.
        PostMessageA(window, WM_NULL, 0, 0);
        return FALSE;  // the first match only
    }
    return TRUE;
}

DWORD WINAPI watchBox(LPVOID param) {
    std::unique_ptr<std::shared_ptr<Watch>> owned(static_cast<std::shared_ptr<Watch>*>(param));
    const std::shared_ptr<Watch> watch = *owned;
    // Retried once per period until the caller says the box has gone.
    while (WaitForSingleObject(watch->stopEvent, watch->timeoutMs) == WAIT_TIMEOUT) {
        EnumThreadWindows(watch->callerThreadId, endIfCaptionMatches,
                          reinterpret_cast<LPARAM>(watch.get()));
    }
    return 0;
}

}  // namespace

int timedMessageBox(HWND /*owner*/, const char* text, const char* caption, UINT type,
                    DWORD timeoutMs) {
    auto watch = std::make_shared<Watch>();
    watch->timeoutMs = timeoutMs;
    watch->caption = caption ? caption : "";
    watch->callerThreadId = GetCurrentThreadId();
    watch->stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (watch->stopEvent == nullptr) return -1;

    auto* handOver = new std::shared_ptr<Watch>(watch);
    HANDLE watcher = CreateThread(nullptr, 0, watchBox, handOver, 0, nullptr);
    if (watcher == nullptr) {
        delete handOver;
        return -1;
    }

    const int result = MessageBoxA(nullptr, text ? text : "", caption, type);

    SetEvent(watch->stopEvent);
    WaitForSingleObject(watcher, 5000);
    CloseHandle(watcher);
    return result;
}

}  // namespace korvel::common
