#pragma once

#include <cstdint>
#include <memory>

namespace korvel::engine {

// The engine's view of a VT's serial port. Its identity is the key its notifications
// carry, under which the VT registers as the port's listener.
class VtSerial {
  public:
    virtual ~VtSerial() = default;  // closes the port

    virtual void setSpeed(int speed) = 0;
    virtual void setDataBits(int dataBits) = 0;
    virtual void setStopBits(int stopBitsCode) = 0;
    virtual void setParity(int parityCode) = 0;
    // 1 when open; -1 not found, -2 already open. Opening again keeps the line settings.
    virtual int open(int portNumber) = 0;
    virtual void close() = 0;
    // True once the open port's device has gone for good (adapter pulled, device removed);
    // closing the port clears it.
    virtual bool lost() const = 0;
    // Notifications of arriving bytes go to the main window; 1 when set.
    virtual int setNotifyWindow(int readSize) = 0;
    virtual int write(const std::uint8_t* bytes, int length) = 0;
    // Copies up to maximum waiting bytes; the number copied.
    virtual int read(std::uint8_t* buffer, int maximum) = 0;
    // Flags: 4 the transmit side, 8 the receive side.
    virtual int purge(int flags) = 0;
    // The line errors seen since the last call (the system's error flags), cleared by it.
    virtual std::uint32_t errorWord() = 0;
    virtual std::uintptr_t identity() const = 0;
};

// The engine's view of a VT's infodriver client. Its identity is the key under which the
// VT registers for the client's events.
class VtSlots {
  public:
    virtual ~VtSlots() = default;  // releases the client

    // Installs the event dispatch and connects: 15 connected; 4, 5 or 9 failed.
    virtual int connect(std::uint32_t deviceNumber) = 0;
    virtual std::uint32_t deviceNumber() const = 0;
    // 3 disconnected, 6 TXRX, 7 RX only, 15 connected or a slot changed, ...
    virtual std::int32_t status() const = 0;
    // The counters that count this VT's slot writes and slot changes.
    virtual void setCounters(std::uint32_t* transmitted, std::uint32_t* received) = 0;
    virtual void writeSlot(std::int32_t index, const char* text) = 0;
    // Writes only a value that differs from the slot's; true when it wrote.
    virtual bool writeSlotIfChanged(std::int32_t index, const char* text) = 0;
    // True when the infodriver's process has gone without a disconnect: its window no
    // longer exists.
    virtual bool peerGone() = 0;
    virtual std::uintptr_t identity() const = 0;
    // Tells the infodriver now that the client is gone (once; its destruction then says
    // nothing more), keeping the object for callers still on the stack.
    virtual void sayGoodbye() {}
};

// Makes the port and the client of each VT: the real ones in the program, fakes in tests.
class VtPartsFactory {
  public:
    virtual ~VtPartsFactory() = default;
    virtual std::unique_ptr<VtSerial> makeSerial() = 0;
    virtual std::unique_ptr<VtSlots> makeSlots() = 0;
};

}  // namespace korvel::engine
