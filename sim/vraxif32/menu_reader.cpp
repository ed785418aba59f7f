#include "sim/vraxif32/menu_reader.h"

#include <atomic>
#include <cstring>

namespace korvel::sim {
namespace {

UINT menuStateMessage() {
    static const UINT message = RegisterWindowMessageA(kMenuStateMessage);
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

LRESULT CALLBACK readerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != 0 && message == menuStateMessage()) {
        DriverSearch search{GetCurrentProcessId(), nullptr};
        EnumWindows(&findDriverWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found == nullptr) return kNoMenuState;
        HMENU menu = GetMenu(search.found);
        if (menu == nullptr) return kNoMenuState;
        const UINT state = GetMenuState(menu, static_cast<UINT>(wParam), MF_BYCOMMAND);
        return state == static_cast<UINT>(-1) ? kNoMenuState : static_cast<LRESULT>(state);
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

std::atomic<bool> created{false};

}  // namespace

void ensureMenuReader() {
    if (created.exchange(true)) return;
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = &readerProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kMenuReaderClass;
    RegisterClassA(&windowClass);
    menuStateMessage();
    // Never shown; a plain top-level window, so that other processes can find it.
    CreateWindowExA(0, kMenuReaderClass, "", 0, 0, 0, 0, 0, nullptr, nullptr,
                    GetModuleHandleA(nullptr), nullptr);
}

}  // namespace korvel::sim
