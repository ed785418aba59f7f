#include "tests/support/in_process_transport.h"

#include <algorithm>
#include <cstring>

#include "infodriver/infodriver_client.h"
#include "infodriver/infodriver_messages.h"

namespace korvel::infodriver {

using Kind = InProcessTransport::Call::Kind;

void InProcessTransport::record(Call::Kind kind, WindowHandle window, std::uint32_t message,
                                MessageWord wParam, MessageLong lParam, std::string text) {
    if (!recording) return;
    Call call;
    call.kind = kind;
    call.window = window;
    call.message = message;
    call.wParam = wParam;
    call.lParam = lParam;
    call.text = std::move(text);
    calls.push_back(std::move(call));
}

WindowHandle InProcessTransport::newHandle() {
    // Handles with high bits set, so that a handle cut to 16 bits differs from the whole.
    ++created_;
    return 0x5A0000u + 0x20u + 4u * (created_ % 0x3FF0u);
}

std::map<WindowHandle, InProcessTransport::Window>::iterator InProcessTransport::find(
    WindowHandle window) {
    auto it = windows_.find(window);
    if (it != windows_.end() || window == 0 || window > 0xFFFFu) return it;
    return std::find_if(windows_.begin(), windows_.end(),
                        [window](const auto& entry) { return (entry.first & 0xFFFFu) == window; });
}

WindowHandle InProcessTransport::createWindow(WindowProcedure procedure) {
    const WindowHandle handle = newHandle();
    windows_[handle] = Window{nullptr, std::move(procedure)};
    return handle;
}

void InProcessTransport::destroyWindow(WindowHandle window) {
    windows_.erase(window);
}

bool InProcessTransport::windowExists(WindowHandle window) const {
    return windows_.count(window) != 0;
}

std::string InProcessTransport::slot(WindowHandle peer, MessageWord slotIndex) const {
    auto it = slots_.find({peer, slotIndex});
    return it == slots_.end() ? std::string() : it->second;
}

void InProcessTransport::setSlot(WindowHandle peer, MessageWord slotIndex, std::string text) {
    slots_[{peer, slotIndex}] = std::move(text);
}

bool InProcessTransport::registerClientClass(void*) {
    record(Kind::registerClass);
    return !refuseClassRegistration;
}

WindowHandle InProcessTransport::createClientWindow(void*, InfodriverClient& client) {
    const WindowHandle handle = newHandle();
    record(Kind::createWindow, handle);
    windows_[handle] = Window{&client, {}};
    if (client.handleWindowCreate(handle) < 0) {
        // A refused creation still destroys the window, as a window system does.
        client.handleWindowDestroy();
        windows_.erase(handle);
        return 0;
    }
    return handle;
}

void InProcessTransport::destroyClientWindow(WindowHandle window) {
    auto it = windows_.find(window);
    if (it == windows_.end() || it->second.client == nullptr) return;
    record(Kind::destroyWindow, window);
    InfodriverClient* client = it->second.client;
    client->handleWindowDestroy();
    windows_.erase(window);
}

void InProcessTransport::broadcast(std::uint32_t message, MessageWord wParam, MessageLong lParam) {
    record(Kind::broadcast, 0, message, wParam, lParam);
    std::vector<WindowHandle> receivers;
    for (const auto& entry : windows_) receivers.push_back(entry.first);
    for (WindowHandle window : receivers) {
        if (windows_.count(window) != 0) deliver(window, message, wParam, lParam);
    }
}

MessageResult InProcessTransport::send(WindowHandle window, std::uint32_t message,
                                       MessageWord wParam, MessageLong lParam) {
    record(Kind::send, window, message, wParam, lParam);
    auto it = find(window);
    if (it == windows_.end()) return 0;
    return deliver(it->first, message, wParam, lParam);
}

MessageResult InProcessTransport::deliver(WindowHandle window, std::uint32_t message,
                                          MessageWord wParam, MessageLong lParam) {
    Window& target = windows_.at(window);
    if (target.client != nullptr) {
        return target.client->handleMessage(window, message, wParam, lParam);
    }
    // A copy: the procedure may destroy its own window.
    WindowProcedure procedure = target.procedure;
    return procedure ? procedure(window, message, wParam, lParam) : 0;
}

MessageResult InProcessTransport::defaultHandling(WindowHandle window, std::uint32_t message,
                                                  MessageWord wParam, MessageLong lParam) {
    record(Kind::defaultHandling, window, message, wParam, lParam);
    return defaultResult;
}

MessageResult InProcessTransport::libraryData(WindowHandle ownWindow, MessageWord wParam,
                                              MessageLong lParam) {
    record(Kind::libraryData, ownWindow, IFMSG_LIBRARYDATA, wParam, lParam);
    return libraryDataProcedure ? libraryDataProcedure(ownWindow, wParam, lParam) : 0;
}

MessageResult InProcessTransport::slotTraffic(WindowHandle peerWindow, std::uint32_t message,
                                              MessageWord slotIndex, char* text, int one,
                                              int length) {
    Call call;
    call.kind = Kind::slotTraffic;
    call.window = peerWindow;
    call.message = message;
    call.wParam = slotIndex;
    call.one = one;
    call.length = length;
    MessageResult result = 0;
    if (text != nullptr && length > 0) {
        if (message == IFMSG_SLOTREAD && slotReadsFail) {
            result = 0;
        } else if (message == IFMSG_SLOTREAD) {
            const std::string value = slot(peerWindow, slotIndex);
            const std::size_t copied = std::min(value.size(), static_cast<std::size_t>(length - 1));
            std::memcpy(text, value.data(), copied);
            text[copied] = '\0';
            call.text.assign(text, copied);
            result = 1;
        } else if (message == IFMSG_SLOTWRITE || message == IFMSG_SLOTWRITEALT) {
            // The length counts the terminator; never read past it.
            call.text.assign(text, strnlen(text, static_cast<std::size_t>(length - 1)));
            setSlot(peerWindow, slotIndex, call.text);
            result = 1;
        }
    }
    if (recording) calls.push_back(std::move(call));
    return result;
}

void InProcessTransport::showError(const char* text) {
    record(Kind::error, 0, 0, 0, 0, text ? text : "");
    if (recording) errors.emplace_back(text ? text : "");
}

}  // namespace korvel::infodriver
