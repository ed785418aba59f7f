#include "sim/vraxif32/test_reader.h"

#include <atomic>
#include <cstring>
#include <string>

namespace korvel::sim {
namespace {

constexpr UINT kAnswerTimeoutMs = 2000;

UINT menuStateMessage() {
    static const UINT message = RegisterWindowMessageA(kMenuStateMessage);
    return message;
}

UINT traceLinesMessage() {
    static const UINT message = RegisterWindowMessageA(kTraceLinesMessage);
    return message;
}

struct DriverSearch {
    DWORD process;
    HWND found;
};

BOOL CALLBACK findDriverWindow(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<DriverSearch*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char name[64] = {};
    if (owner == search->process && GetClassNameA(window, name, sizeof name) > 0 &&
        std::strcmp(name, kDriverWindowClass) == 0) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND driverWindow() {
    DriverSearch search{GetCurrentProcessId(), nullptr};
    EnumWindows(&findDriverWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

LRESULT menuState(WPARAM commandId) {
    HWND driver = driverWindow();
    HMENU menu = driver != nullptr ? GetMenu(driver) : nullptr;
    if (menu == nullptr) return kNotAnswered;
    const UINT state = GetMenuState(menu, static_cast<UINT>(commandId), MF_BYCOMMAND);
    return state == static_cast<UINT>(-1) ? kNotAnswered : static_cast<LRESULT>(state);
}

LRESULT sendTraceLines(HWND reader, HWND asker) {
    HWND driver = driverWindow();
    HWND list = driver != nullptr ? GetDlgItem(driver, kTraceListId) : nullptr;
    if (list == nullptr || !IsWindow(asker)) return kNotAnswered;
    const LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
    if (count == LB_ERR) return kNotAnswered;
    std::string line;
    for (LRESULT i = 0; i < count; ++i) {
        const LRESULT length = SendMessageA(list, LB_GETTEXTLEN, i, 0);
        if (length == LB_ERR) return i;
        line.assign(static_cast<std::size_t>(length) + 1, '\0');
        SendMessageA(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(line.data()));
        COPYDATASTRUCT data{};
        data.dwData = static_cast<ULONG_PTR>(i);
        data.cbData = static_cast<DWORD>(std::strlen(line.c_str()));
        data.lpData = line.data();
        DWORD_PTR answer = 0;
        if (SendMessageTimeoutA(asker, WM_COPYDATA, reinterpret_cast<WPARAM>(reader),
                                reinterpret_cast<LPARAM>(&data), SMTO_NORMAL | SMTO_ABORTIFHUNG,
                                kAnswerTimeoutMs, &answer) == 0) {
            return i;  // the asker has gone or hangs: what it got is what it has
        }
    }
    return count;
}

LRESULT CALLBACK readerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != 0 && message == menuStateMessage()) return menuState(wParam);
    if (message != 0 && message == traceLinesMessage()) {
        return sendTraceLines(window, reinterpret_cast<HWND>(wParam));
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

std::atomic<bool> created{false};

}  // namespace

void ensureTestReader() {
    if (created.exchange(true)) return;
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = &readerProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kTestReaderClass;
    RegisterClassA(&windowClass);
    menuStateMessage();
    traceLinesMessage();
    // Never shown; a plain top-level window, so that other processes can find it.
    CreateWindowExA(0, kTestReaderClass, "", 0, 0, 0, 0, 0, nullptr, nullptr,
                    GetModuleHandleA(nullptr), nullptr);
}

}  // namespace korvel::sim
