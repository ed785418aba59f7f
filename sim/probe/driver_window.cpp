#include "sim/probe/driver_window.h"

#include <cstring>

#include "sim/vraxif32/test_reader.h"

namespace korvel::sim::probe {
namespace {

// A driver busy in a modal loop still answers; one that hangs must not hang the probe.
constexpr UINT kAnswerTimeoutMs = 2000;
constexpr std::size_t kMaxText = 4096;

std::string className(HWND window) {
    char name[128] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

DWORD ownerProcess(HWND window) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    return process;
}

struct TopLevelSearch {
    std::string windowClass;
    DWORD process;  // 0: any
    std::vector<HWND> found;
};

BOOL CALLBACK collectTopLevel(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<TopLevelSearch*>(context);
    if (className(window) != search->windowClass) return TRUE;
    if (search->process != 0 && ownerProcess(window) != search->process) return TRUE;
    search->found.push_back(window);
    return TRUE;
}

std::vector<HWND> topLevelWindows(const std::string& windowClass, DWORD process) {
    TopLevelSearch search{windowClass, process, {}};
    EnumWindows(&collectTopLevel, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

struct ChildSearch {
    int id;
    HWND found;
};

BOOL CALLBACK findChild(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<ChildSearch*>(context);
    if (GetDlgCtrlID(window) == search->id) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

bool send(HWND window, UINT message, WPARAM wParam, LPARAM lParam, DWORD_PTR& answer) {
    return SendMessageTimeoutA(window, message, wParam, lParam, SMTO_NORMAL | SMTO_ABORTIFHUNG,
                               kAnswerTimeoutMs, &answer) != 0;
}

}  // namespace

std::optional<std::string> windowText(HWND window) {
    if (!IsWindow(window)) return std::nullopt;
    DWORD_PTR length = 0;
    if (!send(window, WM_GETTEXTLENGTH, 0, 0, length)) return std::nullopt;
    if (length > kMaxText) length = kMaxText;
    std::string text(length + 1, '\0');
    DWORD_PTR copied = 0;
    if (!send(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), copied)) {
        return std::nullopt;
    }
    text.resize(std::strlen(text.c_str()));
    return text;
}

std::optional<DriverWindow> DriverWindow::find(const std::string& windowClass, DWORD processId) {
    const auto found = topLevelWindows(windowClass, processId);
    if (found.empty()) return std::nullopt;
    return DriverWindow(found.front(), ownerProcess(found.front()));
}

std::optional<DriverWindow> DriverWindow::waitFor(const std::string& windowClass, DWORD waitMs,
                                                  DWORD processId) {
    const ULONGLONG deadline = GetTickCount64() + waitMs;
    for (;;) {
        if (auto window = find(windowClass, processId)) return window;
        if (GetTickCount64() >= deadline) return std::nullopt;
        Sleep(20);
    }
}

std::optional<std::string> DriverWindow::caption() const {
    return windowText(window_);
}

RECT DriverWindow::rect() const {
    RECT bounds{};
    GetWindowRect(window_, &bounds);
    return bounds;
}

RECT DriverWindow::clientRect() const {
    RECT client{};
    GetClientRect(window_, &client);
    return client;
}

std::optional<RECT> DriverWindow::panelRect() const {
    HWND panel = FindWindowExA(window_, nullptr, "#32770", nullptr);
    RECT bounds{};
    if (panel == nullptr || !GetWindowRect(panel, &bounds)) return std::nullopt;
    MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&bounds), 2);
    return bounds;
}

HWND DriverWindow::control(int controlId) const {
    // The panel is a child dialog of the main window: search every descendant.
    ChildSearch search{controlId, nullptr};
    EnumChildWindows(window_, &findChild, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::optional<std::string> DriverWindow::panelText(int controlId) const {
    if (controlId == sim::kTraceListId) return std::nullopt;  // the list has lines, not a text
    HWND field = control(controlId);
    if (field == nullptr) return std::nullopt;
    return windowText(field);
}

namespace {

// Receives the lines the test reader sends, one WM_COPYDATA each.
LRESULT CALLBACK collectLines(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COPYDATA) {
        auto* lines =
            reinterpret_cast<std::vector<std::string>*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        if (lines == nullptr || data == nullptr || data->cbData > kMaxText ||
            (data->cbData > 0 && data->lpData == nullptr)) {
            return FALSE;
        }
        // Lines arrive in order; an index out of step means a line was lost on the way.
        if (data->dwData != lines->size()) return FALSE;
        lines->emplace_back(static_cast<const char*>(data->lpData), data->cbData);
        return TRUE;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

std::optional<std::vector<std::string>> DriverWindow::traceLines() const {
    // Wine cannot hand a list box's lines to another process (LB_GETTEXT faults there), so
    // the test reader inside the driver reads them and sends them here.
    static const UINT message = RegisterWindowMessageA(sim::kTraceLinesMessage);
    static const ATOM collector = [] {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = &collectLines;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "KorvelProbeLineCollector";
        return RegisterClassA(&windowClass);
    }();
    const auto readers = topLevelWindows(sim::kTestReaderClass, processId_);
    if (readers.empty() || message == 0 || collector == 0) return std::nullopt;
    HWND inbox = CreateWindowExA(0, "KorvelProbeLineCollector", "", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                 nullptr, GetModuleHandleA(nullptr), nullptr);
    if (inbox == nullptr) return std::nullopt;
    std::vector<std::string> lines;
    SetWindowLongPtrA(inbox, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&lines));
    DWORD_PTR count = 0;
    // While it waits, this thread takes the lines sent to the inbox.
    const bool answered = send(readers.front(), message, reinterpret_cast<WPARAM>(inbox), 0, count);
    DestroyWindow(inbox);
    if (!answered || static_cast<LRESULT>(count) == sim::kNotAnswered) return std::nullopt;
    return lines;
}

std::optional<bool> DriverWindow::menuChecked(int commandId) const {
    static const UINT message = RegisterWindowMessageA(sim::kMenuStateMessage);
    const auto readers = topLevelWindows(sim::kTestReaderClass, processId_);
    if (readers.empty() || message == 0) return std::nullopt;
    DWORD_PTR state = 0;
    if (!send(readers.front(), message, static_cast<WPARAM>(commandId), 0, state)) {
        return std::nullopt;
    }
    if (static_cast<LRESULT>(state) == sim::kNotAnswered) return std::nullopt;
    return (state & MF_CHECKED) != 0;
}

std::vector<MessageBoxSeen> DriverWindow::messageBoxes() const {
    return messageBoxesOf(processId_);
}

std::vector<MessageBoxSeen> messageBoxesOf(DWORD processId) {
    std::vector<MessageBoxSeen> boxes;
    if (processId == 0) return boxes;
    for (HWND dialog : topLevelWindows("#32770", processId)) {
        if (!IsWindowVisible(dialog)) continue;
        MessageBoxSeen box;
        box.window = dialog;
        box.caption = windowText(dialog).value_or("");
        // A message box's text is its static control 0xFFFF.
        HWND text = GetDlgItem(dialog, 0xFFFF);
        if (text != nullptr) box.text = windowText(text).value_or("");
        boxes.push_back(std::move(box));
    }
    return boxes;
}

std::optional<DriverWindow::About> DriverWindow::readAbout() const {
    constexpr int kAboutCommand = 104;  // Help, About
    constexpr int kVersionLine = 1000;
    constexpr int kBuildLine = 1001;
    if (!command(kAboutCommand)) return std::nullopt;
    for (int i = 0; i < 200; ++i) {
        for (const MessageBoxSeen& dialog : messageBoxes()) {
            if (dialog.caption != "About") continue;
            About about;
            about.version = windowText(GetDlgItem(dialog.window, kVersionLine)).value_or("");
            about.build = windowText(GetDlgItem(dialog.window, kBuildLine)).value_or("");
            PostMessageA(dialog.window, WM_COMMAND, IDOK, 0);
            return about;
        }
        Sleep(25);
    }
    return std::nullopt;
}

bool DriverWindow::command(int commandId) const {
    return PostMessageA(window_, WM_COMMAND, MAKEWPARAM(commandId, 0), 0) != FALSE;
}

bool DriverWindow::show(int showCommand) const {
    // The window's own thread carries it out, as for its own call. The result tells whether
    // the window was visible before, not whether the call worked: a window that exists took it.
    if (!IsWindow(window_)) return false;
    ShowWindowAsync(window_, showCommand);
    return true;
}

}  // namespace korvel::sim::probe
