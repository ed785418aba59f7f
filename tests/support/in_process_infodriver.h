#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/in_process_transport.h"

namespace korvel::infodriver {

// An infodriver inside an in-process world: a top-level window that answers the connect
// request for its device number with its window, keeps that device's slots in the
// world's slot store, records every message it receives, and sends what the control
// system would (slot changes, disconnection, mode requests) to the client that connected.
class InProcessInfodriver {
  public:
    struct Received {
        std::uint32_t message;
        MessageWord wParam;
        MessageLong lParam;
    };

    InProcessInfodriver(InProcessTransport& world, std::uint32_t deviceNumber);
    ~InProcessInfodriver();
    InProcessInfodriver(const InProcessInfodriver&) = delete;
    InProcessInfodriver& operator=(const InProcessInfodriver&) = delete;

    WindowHandle window() const { return window_; }
    // The client's window as the connect request named it (its low 16 bits); 0 before.
    WindowHandle clientWindow() const { return clientWindow_; }

    // How it takes part in the handshake.
    bool answersConnectRequest = true;
    MessageResult extendedConnectAnswer = 0;
    std::optional<MessageWord> readyAckDuringRequest;     // 2032 inside the connect request
    std::optional<MessageWord> readyAckDuringDone;        // 2032 inside the connect-done
    std::optional<MessageWord> deviceInUseDuringRequest;  // 2190 inside the connect request

    std::vector<Received> received;
    // How many of the received messages had this number.
    int count(std::uint32_t message) const;

    // The control system writes a slot: stored, then reported to the client.
    MessageResult changeSlot(std::int32_t slotIndex, const std::string& text);
    std::string slot(std::int32_t slotIndex) const;

    // Sends any message to the connected client's window.
    MessageResult sendToClient(std::uint32_t message, MessageWord wParam = 0,
                               MessageLong lParam = 0);

  private:
    MessageResult receive(std::uint32_t message, MessageWord wParam, MessageLong lParam);

    InProcessTransport& world_;
    std::uint32_t deviceNumber_;
    WindowHandle window_ = 0;
    WindowHandle clientWindow_ = 0;
    std::string changedText_;  // stays put while the client handles the change
};

}  // namespace korvel::infodriver
