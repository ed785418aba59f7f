// The driver's entry point: one instance per PC, the device number from the command line,
// the main window (whose creation builds every VT) and the message loop.
#include <windows.h>

#include <cstdio>

#include "common/timed_message_box.h"
#include "infodriver/interface_library_loader.h"
#include "log/events_journal.h"
#include "shell/command_line.h"
#include "shell/evidence.h"
#include "shell/fatal_exception.h"
#include "shell/hang_watchdog.h"
#include "shell/main_window.h"
#include "shell/resource.h"
#include "shell/shell_state.h"

namespace {

constexpr DWORD kMainWindowStyle = WS_SYSMENU | WS_MINIMIZEBOX;  // 0xA0000: fixed size
constexpr int kMainWindowSize = 640;
constexpr int kCaptionFormatSize = 100;

// A start that ends before the main loop: the reason in the journal (and the event log),
// then the exit line.
int refuse(korvel::shell::Evidence& evidence, const char* reason, int code) {
    korvel::log::recordEvent(korvel::log::EventKind::kRefused, 0, "%s", reason);
    evidence.recordExit("start refused", code);
    return code;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    using namespace korvel;
    // No file dropped where the driver was started from is loaded in place of a system one.
    SetDllDirectoryW(L"");
    // First in, last out: everything after it can record into the journal.
    shell::Evidence evidence;
    const shell::ProcessStateOwner processState;
    shell::ShellState& state = shell::shellState();

    LoadStringA(instance, IDS_CLASS_NAME, state.className, sizeof state.className);
    if (FindWindowA(state.className, nullptr) != nullptr) {
        constexpr const char* kAlreadyRunning =
            "An instance of the Sony_Korvel driver is already running on this PC";
        log::recordEvent(log::EventKind::kRefused, 0, "%s", kAlreadyRunning);
        common::showTimedError(nullptr, kAlreadyRunning);
        evidence.recordExit("start refused", 0);
        return 0;
    }

    state.deviceNumber = shell::deviceNumberFromCommandLine(commandLine);
    if (state.deviceNumber < 1) {
        constexpr const char* kNoDevice =
            "Valid device number must be supplied as command line parameter";
        log::recordEvent(log::EventKind::kRefused, 0, "%s (command line \"%s\")", kNoDevice,
                         commandLine ? commandLine : "");
        common::showTimedError(nullptr, kNoDevice);
        evidence.recordExit("start refused", -1);
        return -1;
    }

    if (!infodriver::requireInterfaceLibrary(nullptr)) {
        return refuse(evidence, "The interface library VRAXIF32.dll could not be used", 0);
    }
    // The interface library may have set a crash filter of its own.
    shell::reinstallCrashFilter();

    char captionFormat[kCaptionFormatSize] = {};
    LoadStringA(instance, IDS_CAPTION, captionFormat, sizeof captionFormat);
    char caption[kCaptionFormatSize + 16];
    std::snprintf(caption, sizeof caption, captionFormat, state.deviceNumber);

    shell::registerMainWindowClass(instance, state.className);
    state.instance = instance;
    HWND window =
        CreateWindowExA(0, state.className, caption, kMainWindowStyle, CW_USEDEFAULT, 0,
                        kMainWindowSize, kMainWindowSize, nullptr, nullptr, instance, nullptr);
    if (window == nullptr) {
        // Refused; the reason was shown and journaled already.
        evidence.recordExit("start refused", 0);
        return 0;
    }
    // Libraries loaded while the VTs connected may have set a crash filter of their own.
    shell::reinstallCrashFilter();
    const shell::HangWatchdog watchdog(static_cast<unsigned>(state.hangLimitS),
                                       &shell::endHungProcess);

    ShowWindow(window, SW_SHOWMINIMIZED);  // whatever the start-up show command
    UpdateWindow(window);

    HACCEL accelerators = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDR_MAIN_MENU));
    MSG message{};
    BOOL got;
    while ((got = GetMessageA(&message, nullptr, 0, 0)) != 0) {
        shell::heartbeat();
        if (got == -1) {
            evidence.recordExit("the message loop failed", 0);
            return 0;  // nothing more can run
        }
        // F1 and F10 reach the main window wherever the focus is (the trace list, the panel).
        HWND target = state.mainWindow;
        if (target != nullptr && accelerators != nullptr &&
            TranslateAcceleratorA(target, accelerators, &message)) {
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    const int code = static_cast<int>(message.wParam);
    evidence.recordExit(state.exitReason != nullptr ? state.exitReason : "window closed", code);
    return code;
}
