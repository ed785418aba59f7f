#pragma once

// The library's process-wide state: the table of 256 port records, created at the first open
// and removed at the last close, and what the reader threads share with the main thread.

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "comms/comms.h"
#include "comms/notify_throttle.h"
#include "comms/port_writer.h"
#include "comms/receive_ring.h"

namespace korvel::comms {

// The time-outs last applied to a port, in the Win32 COMMTIMEOUTS order (milliseconds).
struct Timeouts {
    std::uint32_t readInterval = 0;
    std::uint32_t readTotalMultiplier = 0;
    std::uint32_t readTotalConstant = 0;
    std::uint32_t writeTotalMultiplier = 0;
    std::uint32_t writeTotalConstant = 0;
};

inline constexpr std::uint32_t kWriteTimeoutMs = 1000;
inline constexpr int kOpenReadSize = 16;
// Readers (with their writers) a port may leave behind before it is no longer opened.
inline constexpr int kLeftBehindLimit = 2;
// The reader thread's buffer: no read asks for more.
inline constexpr int kReaderBufferSize = 256;

// The open device and its reader thread; defined by each back-end.
struct Device;

struct DeviceDeleter {
    void operator()(Device* device) const;
};
using DevicePtr = std::unique_ptr<Device, DeviceDeleter>;

struct PortRecord {
    // Set at open and cleared at close, on the main thread only. A slot is in use while it
    // has a device.
    DevicePtr device;
    int speed = 0;
    int portNumber = 0;
    SerialPort* owner = nullptr;
    Timeouts timeouts;
    // The port's writer thread: frames go to the line there, never on the owner's thread.
    std::unique_ptr<PortWriter> writer;

    // Shared with the reader thread: only touched with lock held. Purge and close take it
    // to replace or free the ring, so delivery never sees a ring that is going away.
    std::mutex lock;
    std::unique_ptr<ReceiveRing> receiveRing;
    NotifyWindow notifyWindow = nullptr;
    NotifyCallback notifyCallback = nullptr;
    NotifyThrottle throttle;
    int unreadCount = 0;
    std::uint32_t droppedBytes = 0;  // received while the ring was full or unguarded
    // Set for good when the device has gone (adapter pulled, device removed), by the reader
    // or by a failed write or status call; only closing the port clears it.
    std::atomic<bool> lost{false};
    // The open of the port that its reader serves; 0 while closed. Changed with lock held. A
    // reader given up at a close (its serial driver ignored cancellation) may come back from
    // its read at any time: its generation is then an old one, and it delivers and reports
    // nothing, neither into a cleared record nor into the port opened again.
    std::atomic<std::uint32_t> generation{0};

    bool inUse() const { return device != nullptr; }
};

struct CommsState {
    std::unique_ptr<std::array<PortRecord, kPortCount>> table;
    // Read by the reader threads on every pass, written by the main thread.
    std::array<std::atomic<int>, kPortCount> keepReading{};
    std::array<std::atomic<int>, kPortCount> readSize{};
    char lastStatus[512] = {};
    // Reader threads that did not end when their port was closed: while any is left, the
    // table stays, so such a thread never touches freed memory.
    int abandonedReaders = 0;
    // The devices of those, with their writers, until their threads have ended: a port with
    // kLeftBehindLimit of them is not opened again until one ends, so a stuck adapter cannot
    // pile threads up, and a port whose driver recovers is served again.
    struct LeftBehind {
        int portIndex = 0;
        Device* device = nullptr;
        std::unique_ptr<PortWriter> writer;
    };
    std::vector<LeftBehind> leftBehind;
    // The generation of the last open: every open takes a new one, for the life of the process.
    std::uint32_t lastGeneration = 0;
    // The millisecond tick the notification throttle uses; tests put a manual clock here.
    std::uint32_t (*tick)() = nullptr;
};

// The process's one library state.
CommsState& commsState();
// Back to the state of a fresh process; for tests, with no port open.
void resetCommsState();

// The record of an index while the table exists and the index is 0..255, else null.
PortRecord* portRecord(int portIndex);

// True while the reader of this generation is still wanted: the port is open in that
// generation and not being closed. The reader asks after every read, before it touches the
// device again.
bool readerWanted(int portIndex, const PortRecord& record, std::uint32_t generation);

// Bytes the reader of a generation has read: store them, count them, notify the owner. Called
// on the port's reader thread; the record outlives the thread (close stops the thread first,
// or keeps the table for a thread it gave up). False, with nothing done, when the port's
// generation has moved on.
bool deliverBytes(PortRecord& record, std::uint32_t generation, const std::uint8_t* bytes,
                  int length);

// The device of the port has gone: marks the port lost and tells the owner at once, as for
// arriving bytes. Called on the reader thread (which then ends) or the main thread; nothing
// happens when the port's generation has moved on.
void reportLost(PortRecord& record, std::uint32_t generation);

// The bytes the reader thread asks for next: the read size, kept within its buffer.
int readerReadSize(int portIndex);

}  // namespace korvel::comms
