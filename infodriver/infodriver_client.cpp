#include "infodriver/infodriver_client.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "infodriver/infodriver_state.h"
#include "infodriver/mode_negotiation.h"
#include "infodriver/text_from_address.h"
#include "log/trace.h"

namespace korvel::infodriver {

namespace {

// The handshake carries window handles and the device number in 16-bit halves.
constexpr std::uint32_t low16(std::uint64_t value) {
    return static_cast<std::uint32_t>(value & 0xFFFFu);
}

constexpr std::uint32_t halves(std::uint32_t high, std::uint32_t low) {
    return (low16(high) << 16) | low16(low);
}

// The index a write sends: a negative one as its magnitude (no overflow for the lowest).
MessageWord slotMagnitude(std::int32_t slotIndex) {
    const auto bits = static_cast<std::uint32_t>(slotIndex);
    return slotIndex < 0 ? MessageWord{0u - bits} : MessageWord{bits};
}

// A read passes the index as given, sign and all.
MessageWord slotWord(std::int32_t slotIndex) {
    return static_cast<MessageWord>(static_cast<MessageLong>(slotIndex));
}

void formatSlotText(char (&text)[kSlotWriteBytes], std::int32_t slotIndex, const char* format,
                    std::va_list args) {
    const int length = format ? std::vsnprintf(text, sizeof text, format, args) : -1;
    if (length < 0) {
        text[0] = '\0';
        log::trace("slot %d: bad text format", static_cast<int>(slotIndex));
    } else if (length >= kSlotWriteBytes) {
        log::trace("slot %d: text of %d characters cut to %d", static_cast<int>(slotIndex), length,
                   kSlotWriteBytes - 1);
    }
}

}  // namespace

InfodriverClient::InfodriverClient(int headerVersion, InfodriverTransport* transport)
    : transport_(transport != nullptr ? transport : &currentTransport()),
      peerText_(new char[kPeerTextBytes]()) {
    if (headerVersion != kInterfaceHeaderVersion) {
        log::trace("interface header %d, expected %d", headerVersion, kInterfaceHeaderVersion);
        transport_->showError("Header doesn't match library");
    }
}

InfodriverClient::~InfodriverClient() {
    release();
}

void InfodriverClient::setEventCallback(EventCallback callback) {
    eventCallback_ = callback != nullptr ? callback : &ignoreEvent;
}

std::int32_t InfodriverClient::connect(std::uint32_t deviceNumber, void* instance, std::int32_t p1,
                                       std::int32_t p2, std::int32_t p3, std::int32_t p4) {
    instance_ = instance;
    // The extended parameters count only as a whole: p1, p3 and p4 all given.
    if (p1 != 0 && p3 != 0 && p4 != 0) {
        extended1_ = p1;
        extended2_ = p2;
        extended3_ = p3;
        extended4_ = p4;
        extendedFlag_ = 1;
    } else {
        extended1_ = extended2_ = extended3_ = extended4_ = 0;
        extendedFlag_ = 0;
    }
    status_ = kStatusConnected;

    InfodriverState& state = infodriverState();
    if (!state.clientClassRegistered) {
        if (!transport_->registerClientClass(instance_)) {
            status_ = kStatusNoClass;
            return kStatusNoClass;
        }
        state.clientClassRegistered = true;
    }
    if (deviceNumber == 0) {
        status_ = kStatusNoDevice;
        return kStatusNoDevice;
    }

    if (windowAlive_) {
        // Connected before: the old window says goodbye before a new one is made.
        log::trace("infodriver client reconnects to %u", static_cast<unsigned>(deviceNumber));
        transport_->destroyClientWindow(ownWindow_);
        windowAlive_ = false;
    }
    deviceNumber_ = deviceNumber;
    const WindowHandle window = transport_->createClientWindow(instance_, *this);
    if (window == 0) {
        status_ = kStatusNoWindow;
        return kStatusNoWindow;
    }
    ownWindow_ = window;
    windowAlive_ = true;
    // Connected, even if the infodriver changed the status during the handshake.
    return kStatusConnected;
}

MessageResult InfodriverClient::handleWindowCreate(WindowHandle ownWindow) {
    const std::uint32_t own = low16(ownWindow);
    peerWindow_ = 0;
    // The infodriver serving the device answers inside this broadcast with its window.
    transport_->broadcast(IFMSG_CONNECTREQ, halves(static_cast<std::uint32_t>(extended1_), own),
                          halves(static_cast<std::uint32_t>(extended2_), deviceNumber_));
    if (peerWindow_ == 0) return -1;
    if (extended1_ != 0) {
        const MessageResult accepted = transport_->send(
            peerWindow_, IFMSG_CONNECTEXT, own,
            halves(static_cast<std::uint32_t>(extended4_), static_cast<std::uint32_t>(extended3_)));
        if (static_cast<std::int32_t>(accepted) < 0) {
            // Refused: not its client, so no goodbye when the window goes.
            peerWindow_ = 0;
            return -1;
        }
    }
    transport_->broadcast(IFMSG_CONNECTDONE, own, 0);
    if (readyAcknowledged_ == 0) transport_->broadcast(IFMSG_CLIENTREADY, own, 0);
    return 0;
}

void InfodriverClient::handleWindowDestroy() {
    windowAlive_ = false;
    if (peerWindow_ != 0) transport_->send(peerWindow_, IFMSG_CLIENTGONE, 0, deviceNumber_);
}

void InfodriverClient::release() {
    peerText_.reset();
    sayGoodbye();
}

void InfodriverClient::sayGoodbye() {
    if (windowAlive_) transport_->destroyClientWindow(ownWindow_);
    windowAlive_ = false;
}

void InfodriverClient::setCounters(std::uint32_t* transmitCounter, std::uint32_t* receiveCounter) {
    transmitCounter_ = transmitCounter != nullptr ? transmitCounter : &ownTransmitCounter_;
    receiveCounter_ = receiveCounter != nullptr ? receiveCounter : &ownReceiveCounter_;
}

void InfodriverClient::sendSlotText(std::int32_t slotIndex, char* text) {
    ++*transmitCounter_;
    const std::uint32_t message = slotIndex < 0 ? IFMSG_SLOTWRITEALT : IFMSG_SLOTWRITE;
    const auto length = static_cast<int>(std::strlen(text)) + 1;
    checkPeerAfter(
        transport_->slotTraffic(peerWindow_, message, slotMagnitude(slotIndex), text, 1, length));
}

bool InfodriverClient::peerGone() {
    if (!peerGone_ && windowAlive_ && peerWindow_ != 0 && !transport_->windowExists(peerWindow_)) {
        peerGone_ = true;
    }
    return peerGone_;
}

void InfodriverClient::checkPeerAfter(MessageResult result) {
    if (result == 0) peerGone();
}

void InfodriverClient::writeSlot(std::int32_t slotIndex, const char* format, ...) {
    char text[kSlotWriteBytes];
    std::va_list args;
    va_start(args, format);
    formatSlotText(text, slotIndex, format, args);
    va_end(args);
    sendSlotText(slotIndex, text);
}

bool InfodriverClient::writeSlotIfChanged(std::int32_t slotIndex, const char* format, ...) {
    char text[kSlotWriteBytes];
    std::va_list args;
    va_start(args, format);
    formatSlotText(text, slotIndex, format, args);
    va_end(args);

    // A read that fails leaves this empty, never undefined.
    char current[kSlotWriteBytes] = {};
    checkPeerAfter(transport_->slotTraffic(peerWindow_, IFMSG_SLOTREAD, slotMagnitude(slotIndex),
                                           current, 1, kSlotReadBytes));
    current[kSlotReadBytes - 1] = '\0';
    if (std::strcmp(text, current) == 0) return false;
    sendSlotText(slotIndex, text);
    return true;
}

MessageResult InfodriverClient::readSlot(std::int32_t slotIndex, char* buffer,
                                         std::size_t capacity) {
    if (buffer == nullptr || capacity == 0) {
        log::trace("slot %d: read without a buffer", static_cast<int>(slotIndex));
        return 0;
    }
    const int length = capacity < static_cast<std::size_t>(kSlotReadBytes)
                           ? static_cast<int>(capacity)
                           : kSlotReadBytes;
    const MessageResult result = transport_->slotTraffic(peerWindow_, IFMSG_SLOTREAD,
                                                         slotWord(slotIndex), buffer, 1, length);
    checkPeerAfter(result);
    buffer[length - 1] = '\0';
    return result;
}

void InfodriverClient::keepPeerText(MessageLong address) {
    if (!peerText_) return;  // released
    if (address == 0) {
        log::trace("infodriver %u sent no text", static_cast<unsigned>(deviceNumber_));
        peerText_[0] = '\0';
        return;
    }
    if (!copyTextFromAddress(static_cast<std::uintptr_t>(address), peerText_.get(),
                             kPeerTextBytes)) {
        traceUnreadableText(IFMSG_PEERTEXT, address);
    }
}

void InfodriverClient::traceUnreadableText(std::uint32_t message, MessageLong address) const {
    log::trace("infodriver %u: message %u ignored, no readable text at %#llx",
               static_cast<unsigned>(deviceNumber_), static_cast<unsigned>(message),
               static_cast<unsigned long long>(static_cast<std::uintptr_t>(address)));
}

MessageResult InfodriverClient::negotiate(std::uint32_t request) {
    const NegotiationAnswer answer = answerNegotiation(request, mode_, deviceNumber_);
    if (answer.setsStatus) status_ = answer.status;
    if (answer.callsBack) report(0, answer.text);
    return answer.result;
}

// The callback may release or even destroy this client, so nothing touches the client
// after it.
MessageResult InfodriverClient::handleMessage(WindowHandle ownWindow, std::uint32_t message,
                                              MessageWord wParam, MessageLong lParam) {
    switch (message) {
        case IFMSG_READYACK:
            readyAcknowledged_ = wParam != 0 ? 1 : 0;
            return 0;
        case IFMSG_LIBRARYDATA:
            return transport_->libraryData(ownWindow, wParam, lParam);
        case IFMSG_DISCONNECTED:
            status_ = kStatusNotConnected;
            report(0, "Infodriver has disconnected");
            return 0;
        case XJQ_REQDEVGORXONLY:
        case XJQ_REQDEVGOTXRX:
        case XJQ_INQDEVGOTXRX:
            return negotiate(message);
        case IFMSG_DEVICEINUSE:
            status_ = kStatusDeviceInUse;
            report(static_cast<std::int32_t>(low16(wParam)), "Device ID in use");
            return 0;
        case IFMSG_SLOTCHANGED: {
            // A slot text longer than a write can carry could not be written back anyway.
            char text[kSlotWriteBytes] = {};
            if (lParam == 0) {
                log::trace("infodriver %u: slot %d changed without a text",
                           static_cast<unsigned>(deviceNumber_), static_cast<int>(wParam));
            } else if (!copyTextFromAddress(static_cast<std::uintptr_t>(lParam), text,
                                            sizeof text)) {
                traceUnreadableText(message, lParam);
                return 0;
            }
            ++*receiveCounter_;
            status_ = kStatusConnected;
            report(static_cast<std::int32_t>(wParam), text);
            return 1;
        }
        case IFMSG_PEERWINDOW:
            peerWindow_ = static_cast<WindowHandle>(wParam);
            return 0;
        case IFMSG_PEERTEXT:
            keepPeerText(lParam);
            return 0;
        default:
            return transport_->defaultHandling(ownWindow, message, wParam, lParam);
    }
}

}  // namespace korvel::infodriver
