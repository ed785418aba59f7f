#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "infodriver/infodriver_messages.h"
#include "infodriver/infodriver_transport.h"
#include "log/printf_format.h"

namespace korvel::infodriver {

// The connection of this process to one infodriver: a hidden window that finds the
// infodriver by a broadcast handshake, writes and reads its slots through the interface
// library, and reports slot changes, disconnection and mode requests to an event callback.
// It lives on the main thread. The hidden window holds the client's address, so a client
// is never copied or moved.
class InfodriverClient {
  public:
    using EventCallback = void (*)(InfodriverClient* client, std::int32_t code, const char* text);

    // A header version other than ours shows an error and the client works on. Without a
    // transport the client uses currentTransport().
    explicit InfodriverClient(int headerVersion = kInterfaceHeaderVersion,
                              InfodriverTransport* transport = nullptr);
    ~InfodriverClient();  // releases
    InfodriverClient(const InfodriverClient&) = delete;
    InfodriverClient& operator=(const InfodriverClient&) = delete;

    // Called before connect; null restores the callback that does nothing.
    void setEventCallback(EventCallback callback);

    // Finds the infodriver that serves the device number and connects to it. The extended
    // parameters are taken only when p1, p3 and p4 are all non-zero. Returns 15 when
    // connected, 4 for device 0, 5 when no infodriver answered or the extended connection
    // was refused, 9 when the window class could not be registered.
    std::int32_t connect(std::uint32_t deviceNumber, void* instance = nullptr, std::int32_t p1 = 0,
                         std::int32_t p2 = 0, std::int32_t p3 = 0, std::int32_t p4 = 0);

    // Slot writes and reads count into these from now on; null restores the client's own.
    void setCounters(std::uint32_t* transmitCounter, std::uint32_t* receiveCounter);

    // Formats the text (printf rules, at most 511 characters; a longer one is cut and
    // traced), counts one write and sends it: a negative index goes as its absolute value
    // with the alternative write message.
    void writeSlot(std::int32_t slotIndex, const char* format, ...) KORVEL_PRINTF_FORMAT(3, 4);

    // Reads the slot first and writes (and counts) only when the new text differs from
    // it. True when written.
    bool writeSlotIfChanged(std::int32_t slotIndex, const char* format, ...)
        KORVEL_PRINTF_FORMAT(3, 4);

    // Reads the slot's current value into the buffer: at most 256 bytes and never more than
    // the buffer holds, always terminated. Returns the library's result.
    MessageResult readSlot(std::int32_t slotIndex, char* buffer, std::size_t capacity);

    // True once the infodriver's window is found gone while the client is connected: its
    // process ended without a disconnect. Looked at on each call and whenever slot traffic
    // fails; once gone, it stays gone.
    bool peerGone();

    // Destroys the hidden window, which tells the infodriver the client is gone. The
    // handle stays readable; a second release does nothing.
    void release();
    // As release, but the client's buffer stays: safe while a call of this client is still
    // on the stack (a message that arrived while it waited for the infodriver).
    void sayGoodbye();

    // The hidden window's procedure, called by the transport.
    MessageResult handleWindowCreate(WindowHandle ownWindow);
    void handleWindowDestroy();
    MessageResult handleMessage(WindowHandle ownWindow, std::uint32_t message, MessageWord wParam,
                                MessageLong lParam);

    std::int32_t status() const { return status_; }
    std::int32_t mode() const { return mode_; }
    std::uint32_t deviceNumber() const { return deviceNumber_; }
    WindowHandle ownWindow() const { return ownWindow_; }
    WindowHandle peerWindow() const { return peerWindow_; }
    bool extended() const { return extendedFlag_ != 0; }
    bool readyAcknowledged() const { return readyAcknowledged_ != 0; }
    // The last text an infodriver handed over with its text message ("" when none).
    const char* peerText() const { return peerText_ ? peerText_.get() : ""; }
    std::uint32_t ownTransmitCounter() const { return ownTransmitCounter_; }
    std::uint32_t ownReceiveCounter() const { return ownReceiveCounter_; }

  private:
    static void ignoreEvent(InfodriverClient*, std::int32_t, const char*) {}

    void report(std::int32_t code, const char* text) { eventCallback_(this, code, text); }
    void sendSlotText(std::int32_t slotIndex, char* text);
    MessageResult negotiate(std::uint32_t request);
    void keepPeerText(MessageLong address);
    void traceUnreadableText(std::uint32_t message, MessageLong address) const;
    // After slot traffic the library refused: finds out whether the infodriver has gone.
    void checkPeerAfter(MessageResult result);

    InfodriverTransport* transport_;
    EventCallback eventCallback_ = &ignoreEvent;
    std::uint32_t deviceNumber_ = 0;
    WindowHandle peerWindow_ = 0;
    std::unique_ptr<char[]> peerText_;
    std::int32_t status_ = kStatusNotConnected;
    std::int32_t mode_ = IFMODE_TXRX;
    std::int32_t extended3_ = 0;
    std::int32_t extended4_ = 0;
    std::int32_t extended2_ = 0;
    std::uint32_t extendedFlag_ = 0;
    std::int32_t extended1_ = 0;
    std::uint32_t readyAcknowledged_ = 0;
    WindowHandle ownWindow_ = 0;
    bool windowAlive_ = false;
    bool peerGone_ = false;
    void* instance_ = nullptr;
    std::uint32_t* transmitCounter_ = &ownTransmitCounter_;
    std::uint32_t* receiveCounter_ = &ownReceiveCounter_;
    std::uint32_t ownTransmitCounter_ = 0;
    std::uint32_t ownReceiveCounter_ = 0;
};

}  // namespace korvel::infodriver
