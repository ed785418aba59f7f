#pragma once

#include <cstdint>

namespace korvel::infodriver {

class InfodriverClient;

// A window handle as a number; 0 is no window. The product is 64-bit, so it is
// pointer-sized.
using WindowHandle = std::uintptr_t;
using MessageWord = std::uintptr_t;  // a message's wParam
using MessageLong = std::intptr_t;   // a message's lParam
using MessageResult = std::intptr_t;

// What a client needs from the platform: its hidden window, messages to the infodriver, the
// interface library's two ordinals and an error box. The client's logic is portable; on
// Windows these are window messages and VRAXIF32.dll, in native tests an in-process world.
// Every call is synchronous and runs on the thread that owns the client.
class InfodriverTransport {
  public:
    virtual ~InfodriverTransport() = default;

    // Registers the window class of the clients' hidden windows; false when refused.
    virtual bool registerClientClass(void* instance) = 0;

    // Creates a client's hidden window. Its creation calls client.handleWindowCreate, and a
    // negative answer refuses it. Returns the window, or 0 when it could not be created.
    virtual WindowHandle createClientWindow(void* instance, InfodriverClient& client) = 0;

    // Destroys a hidden window; its destruction calls the client's handleWindowDestroy.
    virtual void destroyClientWindow(WindowHandle window) = 0;

    // Sends a message to every top-level window and returns when all have handled it.
    virtual void broadcast(std::uint32_t message, MessageWord wParam, MessageLong lParam) = 0;

    // Sends a message to one window and returns its answer. A window that does not answer in
    // time costs a time-out, never a hang.
    virtual MessageResult send(WindowHandle window, std::uint32_t message, MessageWord wParam,
                               MessageLong lParam) = 0;

    // True while the window exists (a window of a process that has ended does not).
    virtual bool windowExists(WindowHandle window) const = 0;

    // The platform's handling of a message the client does not know.
    virtual MessageResult defaultHandling(WindowHandle window, std::uint32_t message,
                                          MessageWord wParam, MessageLong lParam) = 0;

    // Ordinal 1 of the interface library, for the library's own message.
    virtual MessageResult libraryData(WindowHandle ownWindow, MessageWord wParam,
                                      MessageLong lParam) = 0;

    // Ordinal 2 of the interface library: slot writes and reads.
    virtual MessageResult slotTraffic(WindowHandle peerWindow, std::uint32_t message,
                                      MessageWord slotIndex, char* text, int one, int length) = 0;

    // Shows an error to a person without waiting for them.
    virtual void showError(const char* text) = 0;
};

}  // namespace korvel::infodriver
