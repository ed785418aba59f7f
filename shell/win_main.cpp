// The driver's entry point: one instance per PC, the device number from the command line,
// the main window (whose creation builds every VT) and the message loop.
#include <windows.h>

#include <cstdio>

#include "common/timed_message_box.h"
#include "infodriver/interface_library_loader.h"
#include "log/log_writer.h"
#include "shell/command_line.h"
#include "shell/fatal_exception.h"
#include "shell/main_window.h"
#include "shell/resource.h"
#include "shell/shell_state.h"

namespace {

constexpr DWORD kMainWindowStyle = WS_SYSMENU | WS_MINIMIZEBOX;  // 0xA0000: fixed size
constexpr int kMainWindowSize = 640;
constexpr int kCaptionFormatSize = 100;

// The line goes through the log's writer thread like any other; the process ends right after,
// so the line gets a bounded wait to reach the file.
void logFatalLine(const char* line) {
    if (const auto& window = korvel::shell::shellState().window) {
        window->logTraffic(line);
        window->drainLog(korvel::log::LogWriter::kFinishWaitMs);
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    using namespace korvel;
    shell::endAtOnceOnCrash(&logFatalLine);
    const shell::ProcessStateOwner processState;
    shell::ShellState& state = shell::shellState();

    LoadStringA(instance, IDS_CLASS_NAME, state.className, sizeof state.className);
    if (FindWindowA(state.className, nullptr) != nullptr) {
        common::showTimedError(
            nullptr, "An instance of the Sony_Korvel driver is already running on this PC");
        return 0;
    }

    state.deviceNumber = shell::deviceNumberFromCommandLine(commandLine);
    if (state.deviceNumber < 1) {
        common::showTimedError(nullptr,
                               "Valid device number must be supplied as command line parameter");
        return -1;
    }

    if (!infodriver::requireInterfaceLibrary(nullptr)) return 0;

    char captionFormat[kCaptionFormatSize] = {};
    LoadStringA(instance, IDS_CAPTION, captionFormat, sizeof captionFormat);
    char caption[kCaptionFormatSize + 16];
    std::snprintf(caption, sizeof caption, captionFormat, state.deviceNumber);

    shell::registerMainWindowClass(instance, state.className);
    state.instance = instance;
    HWND window =
        CreateWindowExA(0, state.className, caption, kMainWindowStyle, CW_USEDEFAULT, 0,
                        kMainWindowSize, kMainWindowSize, nullptr, nullptr, instance, nullptr);
    if (window == nullptr) return 0;  // refused; the reason was shown already

    ShowWindow(window, SW_SHOWMINIMIZED);  // whatever the start-up show command
    UpdateWindow(window);

    HACCEL accelerators = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDR_MAIN_MENU));
    MSG message{};
    BOOL got;
    while ((got = GetMessageA(&message, nullptr, 0, 0)) != 0) {
        if (got == -1) return 0;  // the loop itself failed; nothing more can run
        // F1 and F10 reach the main window wherever the focus is (the trace list, the panel).
        HWND target = state.mainWindow;
        if (target != nullptr && accelerators != nullptr &&
            TranslateAcceleratorA(target, accelerators, &message)) {
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return static_cast<int>(message.wParam);
}
