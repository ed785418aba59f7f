#include "sim/probe/driver_window.h"

#include <cstring>

#include "sim/vraxif32/menu_reader.h"

namespace korvel::sim::probe {
namespace {

// A driver busy in a modal loop still answers; one that hangs must not hang the probe.
constexpr UINT kAnswerTimeoutMs = 2000;
constexpr int kTraceListId = 100;
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

HWND DriverWindow::control(int controlId) const {
    // The panel is a child dialog of the main window: search every descendant.
    ChildSearch search{controlId, nullptr};
    EnumChildWindows(window_, &findChild, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::optional<std::string> DriverWindow::panelText(int controlId) const {
    if (controlId == kTraceListId) return std::nullopt;  // the list has lines, not a text
    HWND field = control(controlId);
    if (field == nullptr) return std::nullopt;
    return windowText(field);
}

std::optional<std::vector<std::string>> DriverWindow::traceLines() const {
    HWND list = GetDlgItem(window_, kTraceListId);
    if (list == nullptr) list = control(kTraceListId);
    if (list == nullptr) return std::nullopt;
    DWORD_PTR count = 0;
    if (!send(list, LB_GETCOUNT, 0, 0, count) || static_cast<LRESULT>(count) == LB_ERR) {
        return std::nullopt;
    }
    std::vector<std::string> lines;
    lines.reserve(count);
    for (DWORD_PTR i = 0; i < count; ++i) {
        DWORD_PTR length = 0;
        if (!send(list, LB_GETTEXTLEN, i, 0, length) || static_cast<LRESULT>(length) == LB_ERR) {
            break;  // the list changed under us: what was read stands
        }
        if (length > kMaxText) length = kMaxText;
        std::string line(length + 1, '\0');
        DWORD_PTR copied = 0;
        if (!send(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(line.data()), copied) ||
            static_cast<LRESULT>(copied) == LB_ERR) {
            break;
        }
        line.resize(std::strlen(line.c_str()));
        lines.push_back(std::move(line));
    }
    return lines;
}

std::optional<bool> DriverWindow::menuChecked(int commandId) const {
    static const UINT message = RegisterWindowMessageA(kMenuStateMessage);
    const auto readers = topLevelWindows(kMenuReaderClass, processId_);
    if (readers.empty() || message == 0) return std::nullopt;
    DWORD_PTR state = 0;
    if (!send(readers.front(), message, static_cast<WPARAM>(commandId), 0, state)) {
        return std::nullopt;
    }
    if (static_cast<LRESULT>(state) == kNoMenuState) return std::nullopt;
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
        box.caption = windowText(dialog).value_or("");
        // A message box's text is its static control 0xFFFF.
        HWND text = GetDlgItem(dialog, 0xFFFF);
        if (text != nullptr) box.text = windowText(text).value_or("");
        boxes.push_back(std::move(box));
    }
    return boxes;
}

bool DriverWindow::command(int commandId) const {
    return PostMessageA(window_, WM_COMMAND, MAKEWPARAM(commandId, 0), 0) != FALSE;
}

bool DriverWindow::show(int showCommand) const {
    // ShowWindowAsync: the window's own thread carries it out, as for its own call.
    return ShowWindowAsync(window_, showCommand) != FALSE || IsWindow(window_);
}

}  // namespace korvel::sim::probe
