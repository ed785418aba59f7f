#include "comms/comms.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <new>

#include "comms/backend.h"
#include "comms/port_table.h"
#include "comms/serial_port.h"
#include "log/tick.h"
#include "log/trace.h"

namespace korvel::comms {

namespace {

CommsState gState;

void setLastStatus(const char* format, ...) KORVEL_PRINTF_FORMAT(1, 2);
void setLastStatus(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vsnprintf(gState.lastStatus, sizeof gState.lastStatus, format, args);
    va_end(args);
}

std::uint32_t now() {
    return gState.tick ? gState.tick() : log::millisecondTick();
}

bool anyPortInUse() {
    if (!gState.table) return false;
    if (gState.abandonedReaders > 0) return true;
    return std::any_of(gState.table->begin(), gState.table->end(),
                       [](const PortRecord& record) { return record.inUse(); });
}

void freeTableIfUnused() {
    if (!anyPortInUse()) gState.table.reset();
}

// How long close waits for the port's writer thread: longer than its longest write.
constexpr std::uint32_t kWriterStopMs = 2500;

// Read interval time-out for a speed: the time of about one character.
std::uint32_t readIntervalFor(int speed) {
    return static_cast<std::uint32_t>(100000 / speed);
}

// A read waits for its first byte however long that takes (no total time-out), then ends after
// a pause of about one character; close cancels a read that is still waiting. A total time-out
// of a millisecond per byte asked for would end every read of a quiet line after 1 ms: a
// thousand wake-ups a second per port, and on wine as many server round trips, for nothing.
// The interval is at least 1 ms, since none at all would hold a read until its whole size came.
Timeouts timeoutsFor(std::uint32_t readInterval) {
    Timeouts t;
    t.readInterval = std::max<std::uint32_t>(1, readInterval);
    t.readTotalMultiplier = 0;
    t.readTotalConstant = 0;
    t.writeTotalMultiplier = 0;
    t.writeTotalConstant = kWriteTimeoutMs;
    return t;
}

// Stops the reader thread, closes the device, frees the ring and clears the record.
void releaseRecord(PortRecord& record, int portIndex) {
    {
        // From here on the port's reader, should it come back from a read, delivers nothing.
        std::lock_guard<std::mutex> hold(record.lock);
        record.generation = 0;
    }
    gState.keepReading[portIndex] = 0;
    // The writer's wait on the line is bounded (the write time-out, a margin and the cancel),
    // so it normally ends within this; one that does not keeps the device's memory below.
    const bool writerEnded = !record.writer || record.writer->stop(kWriterStopMs);
    if (writerEnded) record.writer.reset();
    if (record.device) {
        // Ends a pending read at once; the thread is then waited for a bounded time. One that
        // does not end keeps its device's memory and the handle is closed anyway: a serial
        // driver that ignores cancellation must not hang the driver's exit.
        backend::purge(*record.device, kPurgeRxClear);
        if (backend::stopReader(*record.device) && writerEnded) {
            record.device.reset();
        } else {
            log::trace("Com port [%d] %s thread did not end: port closed anyway", portIndex + 1,
                       writerEnded ? "reader" : "writer");
            Device* device = record.device.release();
            backend::abandon(device);
            gState.leftBehind.push_back({portIndex, device, std::move(record.writer)});
        }
    }
    {
        std::lock_guard<std::mutex> hold(record.lock);
        record.receiveRing.reset();
        record.notifyWindow = nullptr;
        record.notifyCallback = nullptr;
        record.throttle = NotifyThrottle{};
        record.unreadCount = 0;
        record.droppedBytes = 0;
    }
    record.lost = false;
    record.speed = 0;
    record.portNumber = 0;
    record.owner = nullptr;
    record.timeouts = Timeouts{};
    gState.readSize[portIndex] = 0;
}

// Frees what closes left behind whose threads have ended since, and counts what is left of
// this port's.
int leftBehindOf(int portIndex) {
    int left = 0;
    std::erase_if(gState.leftBehind, [&](CommsState::LeftBehind& entry) {
        if (backend::abandonedReaderEnded(*entry.device) &&
            (!entry.writer || entry.writer->ended())) {
            entry.writer.reset();
            backend::freeAbandoned(entry.device);
            return true;
        }
        left += entry.portIndex == portIndex ? 1 : 0;
        return false;
    });
    return left;
}

bool configure(PortRecord& record, int portIndex, int speed, int dataBits, int stopBits,
               int parity) {
    Device& device = *record.device;
    // Kept to what the device-control block can hold: a value cut to a byte would apply a
    // setting nobody asked for, and a speed of 0 would divide by zero below.
    if (speed <= 0 || dataBits < 5 || dataBits > 8 || parity < kParityNone ||
        parity > kParitySpace || stopBits < kOneStopBit || stopBits > kTwoStopBits) {
        log::trace("Com port [%d] bad line settings %d,%d,%d,%d", portIndex + 1, speed, dataBits,
                   parity, stopBits);
        return false;
    }
    if (!backend::applyLineSettings(device, speed, dataBits, stopBits, parity)) return false;
    {
        auto ring = ReceiveRing::create();
        if (!ring) return false;
        std::lock_guard<std::mutex> hold(record.lock);
        record.receiveRing = std::move(ring);
        record.generation = ++gState.lastGeneration;
    }
    const Timeouts timeouts = timeoutsFor(readIntervalFor(speed));
    if (!backend::applyTimeouts(device, timeouts)) return false;
    record.timeouts = timeouts;
    gState.keepReading[portIndex] = 1;
    if (!backend::startReader(device, record, portIndex)) return false;
    const std::uint32_t generation = record.generation;
    Device* writing = record.device.get();
    try {
        record.writer = std::make_unique<PortWriter>(
            [writing](const std::uint8_t* bytes, int length) {
                WriteOutcome outcome;
                outcome.written = backend::write(*writing, bytes, length, outcome.gone);
                return outcome;
            },
            [&record, generation] { reportLost(record, generation); });
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

}  // namespace

CommsState& commsState() {
    return gState;
}

void resetCommsState() {
    for (int i = 0; i < kPortCount; ++i) {
        if (gState.table && (*gState.table)[i].inUse()) releaseRecord((*gState.table)[i], i);
    }
    gState.table.reset();
    for (auto& flag : gState.keepReading) flag = 0;
    for (auto& size : gState.readSize) size = 0;
    gState.leftBehind.clear();
    gState.lastStatus[0] = '\0';
    gState.tick = nullptr;
    gState.abandonedReaders = 0;
}

PortRecord* portRecord(int portIndex) {
    if (!gState.table || static_cast<unsigned>(portIndex) >= kPortCount) return nullptr;
    return &(*gState.table)[static_cast<std::size_t>(portIndex)];
}

int readerReadSize(int portIndex) {
    return std::clamp(gState.readSize[portIndex].load(), 0, kReaderBufferSize);
}

namespace {

// The port's notification callback, called without the port's lock, so it may read the port.
void callOwnerUnlocked(PortRecord& record, std::unique_lock<std::mutex>& hold) {
    const NotifyCallback callback = record.notifyCallback;
    SerialPort* owner = record.owner;
    hold.unlock();
    callback(owner);
}

}  // namespace

bool readerWanted(int portIndex, const PortRecord& record, std::uint32_t generation) {
    return generation != 0 && record.generation.load() == generation &&
           gState.keepReading[static_cast<std::size_t>(portIndex)].load() != 0;
}

bool deliverBytes(PortRecord& record, std::uint32_t generation, const std::uint8_t* bytes,
                  int length) {
    std::unique_lock<std::mutex> hold(record.lock);
    if (generation == 0 || record.generation.load() != generation) return false;
    const std::uint32_t tick = now();
    const int stored = record.receiveRing ? record.receiveRing->push(bytes, length) : 0;
    record.droppedBytes += static_cast<std::uint32_t>(length - stored);
    record.unreadCount += stored;
    if (record.notifyWindow) {
        if (record.throttle.onDelivery(tick, record.unreadCount)) {
            backend::postNotification(record.notifyWindow, record.owner);
        }
    } else if (record.notifyCallback) {
        callOwnerUnlocked(record, hold);
    } else {
        // Nobody listens: keep the driver's queue from filling; the ring keeps its bytes.
        backend::purge(*record.device, kPurgeRxClear);
    }
    return true;
}

void reportLost(PortRecord& record, std::uint32_t generation) {
    std::unique_lock<std::mutex> hold(record.lock);
    if (generation == 0 || record.generation.load() != generation) return;
    if (record.lost.exchange(true)) return;
    if (record.notifyWindow) {
        backend::postNotification(record.notifyWindow, record.owner);
    } else if (record.notifyCallback) {
        callOwnerUnlocked(record, hold);
    }
}

int commsOpen(SerialPort* owner, int speed, int dataBits, int stopBits, int parity) {
    if (owner == nullptr) return kCommsFailed;
    const int portNumber = owner->getPortNumber();
    if (portNumber < 1 || portNumber > kPortCount) return kCommsFailed;
    const int portIndex = portNumber - 1;
    setLastStatus("Opening port %d\r\n", portNumber);
    if (!gState.table) gState.table = std::make_unique<std::array<PortRecord, kPortCount>>();
    PortRecord& record = (*gState.table)[static_cast<std::size_t>(portIndex)];

    // The platform need not refuse a second open within one process; the table does.
    if (record.inUse()) {
        setLastStatus("Serial Port %d is already open", portNumber);
        return kCommsAlreadyOpen;
    }
    if (const int left = leftBehindOf(portIndex); left >= kLeftBehindLimit) {
        // Its serial driver still holds threads that close had to leave: opening it again
        // would only leave more.
        setLastStatus("Serial Port %d has %d threads left behind: not opened again", portNumber,
                      left);
        return kCommsFailed;
    }
    DevicePtr device;
    switch (backend::openDevice(portNumber, device)) {
        case backend::OpenResult::alreadyOpen:
            setLastStatus("Serial Port %d is already open", portNumber);
            freeTableIfUnused();
            return kCommsAlreadyOpen;
        case backend::OpenResult::notFound:
            freeTableIfUnused();
            return kCommsFailed;
        case backend::OpenResult::opened:
            break;
    }
    record.portNumber = portNumber;
    record.device = std::move(device);
    record.speed = speed;
    record.owner = owner;
    gState.readSize[portIndex] = kOpenReadSize;
    if (!configure(record, portIndex, speed, dataBits, stopBits, parity)) {
        releaseRecord(record, portIndex);
        freeTableIfUnused();
        return kCommsFailed;
    }
    return portIndex;
}

void commsClose(int portIndex) {
    if (!gState.table) return;
    if (portIndex != -1) {
        if (static_cast<unsigned>(portIndex) >= kPortCount) return;
        PortRecord& record = (*gState.table)[static_cast<std::size_t>(portIndex)];
        // A reader thread cannot wait for its own end: a callback may not close its port.
        if (record.device && backend::isReaderThread(*record.device)) return;
        setLastStatus("Closing port %d\r\n", portIndex + 1);
        releaseRecord(record, portIndex);
    }
    freeTableIfUnused();
}

int commsSetReadParams(int portIndex, int readSize) {
    PortRecord* record = portRecord(portIndex);
    if (record == nullptr) return 0;
    if (readSize < 0) {
        std::lock_guard<std::mutex> hold(record->lock);
        record->notifyWindow = nullptr;
        record->notifyCallback = nullptr;
        return 1;
    }
    if (!record->inUse()) return 0;
    const Timeouts timeouts = timeoutsFor(readIntervalFor(record->speed));
    backend::applyTimeouts(*record->device, timeouts);
    record->timeouts = timeouts;
    gState.readSize[portIndex] = readSize;
    return 1;
}

int commsSetNotifyWindow(int portIndex, NotifyWindow window, int readSize) {
    PortRecord* record = portRecord(portIndex);
    if (record == nullptr) return 0;
    {
        std::lock_guard<std::mutex> hold(record->lock);
        record->notifyWindow = window;
        record->notifyCallback = nullptr;
    }
    return commsSetReadParams(portIndex, readSize);
}

int commsSetNotifyCallback(int portIndex, NotifyCallback callback, int readSize) {
    PortRecord* record = portRecord(portIndex);
    if (record == nullptr) return 0;
    {
        std::lock_guard<std::mutex> hold(record->lock);
        record->notifyCallback = callback;
        record->notifyWindow = nullptr;
    }
    return commsSetReadParams(portIndex, readSize);
}

int commsWrite(int portIndex, const std::uint8_t* bytes, int length) {
    PortRecord* record = portRecord(portIndex);
    if (record == nullptr || !record->inUse()) return 0;
    if (length < 0 || (bytes == nullptr && length > 0)) {
        log::trace("Com port [%d] write refused: %d bytes", portIndex + 1, length);
        return -1;
    }
    if (length == 0) return 0;
    // Nothing reaches a port that has gone; the rest goes to its writer thread.
    if (record->lost.load() || !record->writer) return -1;
    return record->writer->post(bytes, length);
}

int commsRead(int portIndex, std::uint8_t* buffer, int maximum) {
    PortRecord* record = portRecord(portIndex);
    if (record == nullptr || buffer == nullptr || maximum <= 0) return 0;
    int taken = 0;
    std::uint32_t dropped = 0;
    {
        std::lock_guard<std::mutex> hold(record->lock);
        if (record->receiveRing) taken = record->receiveRing->pop(buffer, maximum);
        record->unreadCount = std::max(0, record->unreadCount - taken);
        record->throttle.onRead();
        std::swap(dropped, record->droppedBytes);
    }
    if (dropped != 0) {
        log::trace("Com port [%d] receive ring full: %u bytes lost", portIndex + 1,
                   static_cast<unsigned>(dropped));
    }
    return taken;
}

void commsStatus(int portIndex, CommStatus* status, ErrorWord* errors) {
    PortRecord* record = portRecord(portIndex);
    if (record == nullptr || !record->inUse() || status == nullptr || errors == nullptr) return;
    int unread = -1;
    {
        std::lock_guard<std::mutex> hold(record->lock);
        if (record->receiveRing) unread = record->receiveRing->count();
    }
    bool gone = false;
    if (!backend::clearError(*record->device, status, errors, gone) && gone) {
        reportLost(*record, record->generation);
    }
    status->cbInQue = unread < 0 ? 0xFFFFFFFFu : static_cast<std::uint32_t>(unread);
}

int commsPurge(int portIndex, int flags) {
    PortRecord* record = portRecord(portIndex);
    if (record == nullptr || !record->inUse()) return 0;
    std::lock_guard<std::mutex> hold(record->lock);
    const bool purged = backend::purge(*record->device, flags);
    // The old ring goes first: two whole rings need not be held at once.
    record->receiveRing.reset();
    record->receiveRing = ReceiveRing::create();
    // The count follows the ring, so the backlog rule sees only bytes that really wait.
    record->unreadCount = 0;
    if (!record->receiveRing) log::trace("Com port [%d] has no receive ring", portIndex + 1);
    return purged ? 1 : 0;
}

int commsIsLost(int portIndex) {
    const PortRecord* record = portRecord(portIndex);
    return record != nullptr && record->inUse() && record->lost.load() ? 1 : 0;
}

const char* commsLastStatus() {
    return gState.lastStatus;
}

}  // namespace korvel::comms
