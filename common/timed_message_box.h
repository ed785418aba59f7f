#pragma once

#include <windows.h>

namespace korvel::common {

// Every error the driver shows uses these: an unattended start must never wait for a person.
inline constexpr const char* kErrorCaption = "Error";
inline constexpr UINT kErrorBoxType = MB_OK | MB_ICONERROR;  // 16
inline constexpr DWORD kErrorBoxTimeoutMs = 5000;

// Shows a standard message box that closes itself: every timeoutMs a watcher thread ends
// each top-level window of the calling thread whose title begins with the caption (letter
// case ignored), until the box has gone. The owner is accepted but the box has none.
// Returns the box's result: 0 when the time-out closed it, -1 when no box could be shown
// (the watcher thread could not be started).
int timedMessageBox(HWND owner, const char* text, const char* caption, UINT type, DWORD timeoutMs);

// The driver's error box: caption "Error", error icon, 5000 ms.
inline void showTimedError(HWND owner, const char* text) {
    timedMessageBox(owner, text, kErrorCaption, kErrorBoxType, kErrorBoxTimeoutMs);
}

}  // namespace korvel::common
