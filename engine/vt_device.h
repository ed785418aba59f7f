#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "comms/serial_listener.h"
#include "engine/engine_host.h"
#include "engine/frame.h"
#include "engine/vt_seams.h"
#include "infodriver/infodriver_sink.h"

namespace korvel::engine {

// The controller of one video tape machine: its serial port, its infodriver client, the
// transmit queue that keeps one command at a time on the line, and what the machine last
// reported. Only the main thread touches it.
class VtDevice : public infodriver::InfodriverSink, public comms::SerialListener {
  public:
    static constexpr std::uint32_t kQueueEntries = 8;
    static constexpr std::size_t kQueueEntrySize = 20;
    static constexpr std::int32_t kInterfaceVersion = 109;

    // vtIndex 1 to 9; the VT is served by infodriver (deviceNumber + vtIndex - 1).
    VtDevice(int vtIndex, std::uint32_t deviceNumber, VtPartsFactory& parts);
    virtual ~VtDevice();
    VtDevice(const VtDevice&) = delete;
    VtDevice& operator=(const VtDevice&) = delete;

    // Slot changes, disconnection and mode requests of the VT's infodriver.
    void onInfodriverEvent(infodriver::InfodriverClient* client, std::int32_t code,
                           const char* text) override;
    // Connects the infodriver, opens the port, asks for the first status and starts the
    // timecode timer. False, after a timed error box, when the VT cannot be served.
    virtual bool setup(int portNumber, std::int32_t speed, int dataBits, int parity, int stopBits,
                       EngineHost& host);
    // Called once at teardown: a transmit time-out storm still going is journaled with its count.
    virtual void shutdown();
    // Bytes have arrived on the VT's port.
    void onSerialData(comms::SerialPort* port) override;

    // The one way to ask the machine for anything: builds the command's frame, shows its
    // "Last Cmd" text, queues it and issues its follow-ups. Unknown numbers do nothing.
    void sendCommand(unsigned number, std::int32_t value);
    // Adds the checksum and queues the frame; sends it at once on an idle line.
    void TxCmd(FrameRecord frame);
    // done: the oldest frame has been answered (nonzero) or must be sent again (0). Sends
    // the next frame, or the status and time requests that came due meanwhile.
    void TXQueue(int done);
    // Drops every queued frame and publishes the failure in slot 3.
    void enterCommsFailed();
    // The transmit time-out of this VT: the machine did not answer.
    void transmitTimedOut();
    // A tick of this VT's timecode timer.
    void timecodeTick();
    // This VT's visit by the poll.
    void pollVisit();
    // Starts the VT afresh: failed, purged, timecode timer restarted; a lost port is tried
    // again first.
    void reset();

    // True when the VT's port has gone for good (now or before). The first time, the VT
    // fails as after a silence, the port is closed and "Com port [P] lost" is traced and
    // logged.
    bool noticeLostPort();
    // Opens a lost port again with its line settings; true (traced and logged) when it
    // opened. The VT then recovers at the first reply, as after a silence.
    bool reopenLostPort();
    // Looks at the VT's peers on its poll visit: a vanished infodriver ends the driver, a
    // lost port is tried again. True when the visit can send nothing.
    bool peersMissing();

    // One byte of a reply: assembles frames and hands each complete one to decodeFrame.
    void feedByte(std::uint8_t byte);
    // Acts on the frame just assembled (rxFrame, rxIndex its length less one).
    void decodeFrame();
    // A text the control system wrote into a slot of this VT's infodriver. False when the
    // slot is not one of the command slots (the caller then echoes the text).
    bool RXCommand(std::uint32_t deviceNumber, std::int32_t slot, const char* text);

    int txTimerId() const { return kTxTimeoutTimerBase + vtIndex; }
    int timecodeTimerId() const { return kTimecodeTimerBase + vtIndex; }
    // The queue entry of the frame on the line, or the next to go.
    std::uint32_t oldestEntry() const;
    EngineHost* host() const { return host_; }

    // Counters shown on the status panel.
    std::uint32_t infodriverTxCount = 0;
    std::uint32_t infodriverRxCount = 0;
    std::uint32_t txCount = 0;
    std::uint32_t rxCount = 0;

    std::int32_t infodriverNumber;
    std::int32_t vtIndex;
    int portNumber = 0;
    bool portLost = false;        // the port's device has gone; reopened once per poll round
    bool infodriverGone = false;  // the driver is closing for it
    // Declared client first, so that destruction closes the port before the client goes.
    std::unique_ptr<VtSlots> client;
    std::unique_ptr<VtSerial> port;

    Timecode cuePoint;
    bool awaitingReply = false;
    bool commsFailed = true;  // until the first good reply
    // The events journal's view of the VT: a failure is written once, with its kind, and the
    // transmit time-outs of one failure are counted for the line of its recovery.
    bool failJournaled = false;
    std::uint32_t stormTimeouts = 0;
    bool status0Bit2 = false;
    bool status0Bit5 = true;
    bool tcPollPending = false;
    bool statusPollPending = false;

    // Ring of complete frames: the txQueueCount entries ending just before txQueueWrite.
    std::uint32_t txQueueCount = 0;
    std::array<std::array<std::uint8_t, kQueueEntrySize>, kQueueEntries> txQueue{};
    std::uint32_t txQueueWrite = 0;

    bool nakRetried = false;
    std::int32_t rxIndex = 0;
    std::int32_t rxLength = 0;
    std::uint32_t tcUpdatePeriod = 1000;
    Timecode currentTimecode;
    std::array<std::uint8_t, kMaxFrameLength> rxFrame{};
    std::int32_t rxSum = 0;
    std::int32_t transportState = 0;
    bool status0Bit0 = false;
    bool status0Bit4 = false;
    bool status1Bit7Clear = false;
    bool status2Bit7Clear = false;

  private:
    void transmit(std::uint32_t entry, const char* debugText);
    void publishCommsState(bool failed);
    // Journals the VT's failure, unless one is journaled already.
    void journalFailure(const char* kind);
    void restartTimecodeTimer(std::uint32_t periodMs);
    void decodeTransportState(const std::uint8_t* frame);
    void decodeStatusFlags(const std::uint8_t* frame);
    void reportUnrecognisedReply(const std::uint8_t* frame, int count);
    void recoverComms();
    void commandFromText(const char* text);
    void setTimecodePeriod(const char* text);
    void setCuePoint(const char* text);

    EngineHost* host_ = nullptr;
};

}  // namespace korvel::engine
