// Reply reception: bytes the machine sends become checksum-tested frames. The port is
// drained in chunks of 32; each chunk is traced and logged, then fed a byte at a time to
// the assembler, whose state lives in the device so that a reply may arrive in pieces.

#include "comms/comms.h"
#include "engine/vt_device.h"
#include "log/trace.h"
#include "log/traffic_line.h"

namespace korvel::engine {
namespace {

constexpr int kChunkBytes = 32;

// A chunk read while exactly one of these line errors is reported is unreliable and is
// dropped whole; no error, or several at once, lets it through.
bool dropsChunk(std::uint32_t errorWord) {
    switch (errorWord) {
        case 0x0001:  // receive queue overflow
        case 0x0002:  // character buffer overrun
        case 0x0004:  // parity error
        case 0x0008:  // framing error
        case 0x0010:  // break
        case 0x0100:  // transmit queue full
        case 0x0400:  // general I/O error
            return true;
        default:
            return false;
    }
}

}  // namespace

void VtDevice::onSerialData(comms::SerialPort*) {
    // The reader tells of a device that has gone as of arriving bytes.
    if (noticeLostPort()) return;
    std::uint8_t chunk[kChunkBytes];
    for (;;) {
        const int count = port->read(chunk, kChunkBytes);
        if (count <= 0) return;
        if (dropsChunk(port->errorWord())) continue;

        char line[log::trafficLineSize(kChunkBytes)];
        log::formatReceiveLine(line, vtIndex, chunk, count < kChunkBytes ? count : kChunkBytes);
        log::traceText(line);
        host_->logTraffic(line);

        for (int i = 0; i < count && i < kChunkBytes; ++i) feedByte(chunk[i]);
    }
}

void VtDevice::feedByte(std::uint8_t byte) {
    if (rxIndex < 0 || rxIndex >= static_cast<std::int32_t>(kMaxFrameLength)) rxIndex = 0;

    rxFrame[static_cast<std::size_t>(rxIndex)] = byte;
    if (rxIndex == 0) {
        rxLength = frameLength(byte);
        rxSum = byte;
    } else if (rxIndex + 1 == rxLength) {
        if (byte != static_cast<std::uint8_t>(rxSum)) {
            rxFrame.fill(0);
            rxIndex = 0;
            port->purge(comms::kPurgeRxClear);
            log::trace("Checksum Error");
        }
        host_->killTimer(txTimerId());
        awaitingReply = false;
        decodeFrame();
        rxLength = 0;
        rxIndex = -1;
        ++rxCount;
    } else {
        rxSum += byte;
    }

    if (++rxIndex >= static_cast<std::int32_t>(kMaxFrameLength)) {
        // No frame end in 18 bytes: out of step with the machine, start over.
        rxLength = 0;
        rxFrame.fill(0);
        rxIndex = 0;
        port->purge(comms::kPurgeRxClear);
    }
}

}  // namespace korvel::engine
