#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "infodriver/infodriver_transport.h"

namespace korvel::infodriver {

// A world of windows inside this process, for running clients without an operating
// system's windows: hidden client windows, other top-level windows (an infodriver), a
// slot store standing in for the interface library, and a record of every call. Like the
// real one, a message to a window handle cut to its low 16 bits still reaches the window,
// and a message to a window that does not exist is dropped with the answer 0.
class InProcessTransport final : public InfodriverTransport {
  public:
    using WindowProcedure = std::function<MessageResult(WindowHandle self, std::uint32_t message,
                                                        MessageWord wParam, MessageLong lParam)>;

    // One call that crossed the transport. For slot traffic, text is the text written or
    // the text the read returned.
    struct Call {
        enum class Kind {
            registerClass,
            createWindow,
            destroyWindow,
            broadcast,
            send,
            defaultHandling,
            libraryData,
            slotTraffic,
            error,
        };
        Kind kind = Kind::send;
        WindowHandle window = 0;
        std::uint32_t message = 0;
        MessageWord wParam = 0;
        MessageLong lParam = 0;
        std::string text;
        int one = 0;
        int length = 0;
    };

    // A top-level window that is not a client's, answering with the procedure.
    WindowHandle createWindow(WindowProcedure procedure);
    void destroyWindow(WindowHandle window);
    bool windowExists(WindowHandle window) const override;

    // The slot store behind ordinal 2, by the peer window the traffic names.
    std::string slot(WindowHandle peer, MessageWord slotIndex) const;
    void setSlot(WindowHandle peer, MessageWord slotIndex, std::string text);

    // Knobs for the tests.
    bool refuseClassRegistration = false;
    MessageResult defaultResult = 0;  // the default handling's answer
    bool slotReadsFail = false;       // reads answer 0 and leave the buffer as it was
    bool recording = true;            // false: calls and errors are not kept
    std::function<MessageResult(WindowHandle, MessageWord, MessageLong)> libraryDataProcedure;

    std::vector<Call> calls;
    std::vector<std::string> errors;

    bool registerClientClass(void* instance) override;
    WindowHandle createClientWindow(void* instance, InfodriverClient& client) override;
    void destroyClientWindow(WindowHandle window) override;
    void broadcast(std::uint32_t message, MessageWord wParam, MessageLong lParam) override;
    MessageResult send(WindowHandle window, std::uint32_t message, MessageWord wParam,
                       MessageLong lParam) override;
    MessageResult defaultHandling(WindowHandle window, std::uint32_t message, MessageWord wParam,
                                  MessageLong lParam) override;
    MessageResult libraryData(WindowHandle ownWindow, MessageWord wParam,
                              MessageLong lParam) override;
    MessageResult slotTraffic(WindowHandle peerWindow, std::uint32_t message, MessageWord slotIndex,
                              char* text, int one, int length) override;
    void showError(const char* text) override;

  private:
    struct Window {
        InfodriverClient* client = nullptr;  // a client's hidden window, or
        WindowProcedure procedure;           // any other window
    };

    void record(Call::Kind kind, WindowHandle window = 0, std::uint32_t message = 0,
                MessageWord wParam = 0, MessageLong lParam = 0, std::string text = {});
    WindowHandle newHandle();
    std::map<WindowHandle, Window>::iterator find(WindowHandle window);
    MessageResult deliver(WindowHandle window, std::uint32_t message, MessageWord wParam,
                          MessageLong lParam);

    std::map<WindowHandle, Window> windows_;
    std::map<std::pair<WindowHandle, MessageWord>, std::string> slots_;
    std::uint32_t created_ = 0;
};

}  // namespace korvel::infodriver
