#include "tools/portcheck/checked_port.h"

#include "config/device_settings.h"

namespace korvel::tools::portcheck {
namespace {

constexpr int kReadSize = 64;

}  // namespace

int CheckedPort::openWith(int portNumber, const LineSetting& line) {
    setSpeed(line.speed);
    setDataBits(line.dataBits);
    setParity(parityCode(line.parity));
    setStopBits(config::stopBitsCode(line.stopBits));
    const int result = open(portNumber);
    if (result != 1) {
        close();
        return result;
    }
    comms::commsSetNotifyCallback(portIndex(), &CheckedPort::onBytes, kReadSize);
    return 1;
}

void CheckedPort::onBytes(comms::SerialPort* owner) {
    auto* self = static_cast<CheckedPort*>(owner);
    std::uint8_t buffer[256];
    std::lock_guard lock(self->mutex_);
    int n;
    while ((n = self->read(buffer, sizeof buffer)) > 0) {
        self->received_.insert(self->received_.end(), buffer, buffer + n);
        self->lastArrival_ = std::chrono::steady_clock::now();
    }
    self->arrived_.notify_all();
}

Exchange CheckedPort::ask(Question question, std::chrono::milliseconds timeout) {
    Exchange exchange;
    exchange.question = question;
    purge(comms::kPurgeRxClear);
    std::unique_lock lock(mutex_);
    received_.clear();
    const std::vector<std::uint8_t> frame = questionFrame(question);
    const auto start = std::chrono::steady_clock::now();
    lock.unlock();
    const int written = write(frame.data(), static_cast<int>(frame.size()));
    lock.lock();
    if (written != static_cast<int>(frame.size())) return exchange;  // nothing asked, nothing back
    const auto deadline = start + timeout;
    for (;;) {
        exchange.reply = checkReply(question, received_);
        if (exchange.reply.done) {
            exchange.roundTripMs =
                std::chrono::duration<double, std::milli>(lastArrival_ - start).count();
            return exchange;
        }
        if (std::chrono::steady_clock::now() >= deadline) return exchange;
        arrived_.wait_until(lock, deadline);
    }
}

}  // namespace korvel::tools::portcheck
