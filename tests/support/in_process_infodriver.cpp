#include "tests/support/in_process_infodriver.h"

#include <algorithm>

#include "infodriver/infodriver_messages.h"

namespace korvel::infodriver {

InProcessInfodriver::InProcessInfodriver(InProcessTransport& world, std::uint32_t deviceNumber)
    : world_(world), deviceNumber_(deviceNumber) {
    window_ = world_.createWindow(
        [this](WindowHandle, std::uint32_t message, MessageWord wParam, MessageLong lParam) {
            return receive(message, wParam, lParam);
        });
}

InProcessInfodriver::~InProcessInfodriver() {
    world_.destroyWindow(window_);
}

int InProcessInfodriver::count(std::uint32_t message) const {
    return static_cast<int>(
        std::count_if(received.begin(), received.end(),
                      [message](const Received& r) { return r.message == message; }));
}

MessageResult InProcessInfodriver::receive(std::uint32_t message, MessageWord wParam,
                                           MessageLong lParam) {
    received.push_back({message, wParam, lParam});
    switch (message) {
        case IFMSG_CONNECTREQ: {
            const auto device = static_cast<std::uint32_t>(lParam) & 0xFFFFu;
            if (!answersConnectRequest || device != (deviceNumber_ & 0xFFFFu)) return 0;
            clientWindow_ = wParam & 0xFFFFu;
            if (deviceInUseDuringRequest) {
                world_.send(clientWindow_, IFMSG_DEVICEINUSE, *deviceInUseDuringRequest, 0);
            }
            if (readyAckDuringRequest) {
                world_.send(clientWindow_, IFMSG_READYACK, *readyAckDuringRequest, 0);
            }
            world_.send(clientWindow_, IFMSG_PEERWINDOW, window_, 0);
            return 0;
        }
        case IFMSG_CONNECTEXT:
            return extendedConnectAnswer;
        case IFMSG_CONNECTDONE:
            if (readyAckDuringDone && (wParam & 0xFFFFu) == clientWindow_) {
                world_.send(clientWindow_, IFMSG_READYACK, *readyAckDuringDone, 0);
            }
            return 0;
        default:
            return 0;
    }
}

MessageResult InProcessInfodriver::changeSlot(std::int32_t slotIndex, const std::string& text) {
    world_.setSlot(window_, static_cast<MessageWord>(slotIndex), text);
    changedText_ = text;
    return sendToClient(IFMSG_SLOTCHANGED, static_cast<MessageWord>(slotIndex),
                        reinterpret_cast<MessageLong>(changedText_.c_str()));
}

std::string InProcessInfodriver::slot(std::int32_t slotIndex) const {
    return world_.slot(window_, static_cast<MessageWord>(slotIndex));
}

MessageResult InProcessInfodriver::sendToClient(std::uint32_t message, MessageWord wParam,
                                                MessageLong lParam) {
    return world_.send(clientWindow_, message, wParam, lParam);
}

}  // namespace korvel::infodriver
