#include "infodriver/win32_transport.h"

#include "common/timed_message_box.h"
#include "infodriver/infodriver_client.h"
#include "infodriver/infodriver_state.h"
#include "infodriver/library_entry_call.h"
#include "log/events_journal.h"
#include "log/trace.h"

namespace korvel::infodriver {

namespace {

// A broadcast reaches every top-level window of the desktop; one that hangs in some other
// program is skipped after this long rather than stopping the driver.
constexpr UINT kBroadcastHangMs = 5000;
// An infodriver answers a message to its window at once; one that has not within this long
// (or that the system already counts as hung) is given up on.
constexpr UINT kPeerAnswerMs = 1000;

HINSTANCE instanceOrProgram(void* instance) {
    return instance != nullptr ? static_cast<HINSTANCE>(instance) : GetModuleHandleA(nullptr);
}

InfodriverClient* clientOf(HWND window) {
    return reinterpret_cast<InfodriverClient*>(GetWindowLongPtrA(window, 0));
}

LRESULT CALLBACK clientWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const auto handle = reinterpret_cast<WindowHandle>(window);
    if (message == WM_CREATE) {
        auto* client = static_cast<InfodriverClient*>(
            reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
        SetWindowLongPtrA(window, 0, reinterpret_cast<LONG_PTR>(client));
        if (client == nullptr) return -1;
        return client->handleWindowCreate(handle) < 0 ? -1 : 0;
    }
    InfodriverClient* client = clientOf(window);
    if (client == nullptr) return DefWindowProcA(window, message, wParam, lParam);
    if (message == WM_DESTROY) {
        // Messages that arrive while the goodbye is sent no longer reach the client.
        SetWindowLongPtrA(window, 0, 0);
        client->handleWindowDestroy();
        return 0;
    }
    return client->handleMessage(handle, message, wParam, lParam);
}

}  // namespace

Win32Transport& win32Transport() {
    static Win32Transport transport;
    return transport;
}

InfodriverTransport& platformTransport() {
    return win32Transport();
}

void Win32Transport::useLibrary(HMODULE library, LibraryDataFunction libraryData,
                                SlotTrafficFunction slotTraffic) {
    libraryData_ = libraryData;
    slotTraffic_ = slotTraffic;
    library_.reset(library);
}

bool Win32Transport::registerClientClass(void* instance) {
    WNDCLASSA windowClass{};
    windowClass.style = 0;
    windowClass.lpfnWndProc = &clientWindowProcedure;
    windowClass.cbClsExtra = 0;
    windowClass.cbWndExtra = sizeof(LONG_PTR);
    windowClass.hInstance = instanceOrProgram(instance);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    windowClass.lpszClassName = kClientWindowClass;
    if (RegisterClassA(&windowClass) != 0) return true;
    log::trace("window class %s not registered (error %lu)", kClientWindowClass,
               static_cast<unsigned long>(GetLastError()));
    return false;
}

WindowHandle Win32Transport::createClientWindow(void* instance, InfodriverClient& client) {
    HWND window = CreateWindowExA(0, kClientWindowClass, "", 0, 0, 0, 0, 0, nullptr, nullptr,
                                  instanceOrProgram(instance), &client);
    return reinterpret_cast<WindowHandle>(window);
}

void Win32Transport::destroyClientWindow(WindowHandle window) {
    DestroyWindow(reinterpret_cast<HWND>(window));
}

void Win32Transport::broadcast(std::uint32_t message, MessageWord wParam, MessageLong lParam) {
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(HWND_BROADCAST, message, wParam, lParam, SMTO_NORMAL | SMTO_ABORTIFHUNG,
                        kBroadcastHangMs, &ignored);
}

MessageResult Win32Transport::send(WindowHandle window, std::uint32_t message, MessageWord wParam,
                                   MessageLong lParam) {
    HWND target = reinterpret_cast<HWND>(window);
    const DWORD thread = GetWindowThreadProcessId(target, nullptr);
    if (thread != 0 && hungThreads_.count(thread) != 0) {
        log::trace("message %u not sent: window %#llx has hung", static_cast<unsigned>(message),
                   static_cast<unsigned long long>(window));
        return -1;
    }
    DWORD_PTR answer = 0;
    if (SendMessageTimeoutA(target, message, wParam, lParam, SMTO_NORMAL | SMTO_ABORTIFHUNG,
                            kPeerAnswerMs, &answer) != 0) {
        return static_cast<MessageResult>(answer);
    }
    // A window that has gone is no hang; one that exists and did not answer is.
    if (thread != 0 && IsWindow(target)) {
        hungThreads_.insert(thread);
        log::trace("message %u: window %#llx did not answer within %u ms",
                   static_cast<unsigned>(message), static_cast<unsigned long long>(window),
                   kPeerAnswerMs);
        log::recordEvent(log::EventKind::kInfodriverSilent, 0,
                         "Infodriver window %#llx did not answer message %u within %u ms",
                         static_cast<unsigned long long>(window), static_cast<unsigned>(message),
                         static_cast<unsigned>(kPeerAnswerMs));
    }
    return -1;
}

bool Win32Transport::windowExists(WindowHandle window) const {
    return IsWindow(reinterpret_cast<HWND>(window)) != 0;
}

MessageResult Win32Transport::defaultHandling(WindowHandle window, std::uint32_t message,
                                              MessageWord wParam, MessageLong lParam) {
    return DefWindowProcA(reinterpret_cast<HWND>(window), message, wParam, lParam);
}

MessageResult Win32Transport::libraryData(WindowHandle ownWindow, MessageWord wParam,
                                          MessageLong lParam) {
    if (libraryData_ == nullptr) {
        log::trace("%s not loaded: library data dropped", kInterfaceLibraryName);
        return 0;
    }
    return callLibraryData(libraryData_, reinterpret_cast<HWND>(ownWindow), wParam, lParam);
}

MessageResult Win32Transport::slotTraffic(WindowHandle peerWindow, std::uint32_t message,
                                          MessageWord slotIndex, char* text, int one, int length) {
    if (slotTraffic_ == nullptr) {
        log::trace("%s not loaded: slot message %u dropped", kInterfaceLibraryName,
                   static_cast<unsigned>(message));
        return 0;
    }
    return callSlotTraffic(slotTraffic_, reinterpret_cast<HWND>(peerWindow), message, slotIndex,
                           reinterpret_cast<LPARAM>(text), one, length);
}

void Win32Transport::showError(const char* text) {
    common::showTimedError(nullptr, text);
}

}  // namespace korvel::infodriver
