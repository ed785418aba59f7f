#include "sim/vtr/win32/com_deck_port.h"

#include <cctype>
#include <charconv>

#include "comms/comms.h"

namespace korvel::sim::vtr {

namespace {

// Bytes the reader thread reads at a time: a whole command in one go.
constexpr int kReadSize = 64;

int parityCode(char parity) {
    switch (parity) {
        case 'O':
            return comms::kParityOdd;
        case 'E':
            return comms::kParityEven;
        case 'M':
            return comms::kParityMark;
        case 'S':
            return comms::kParitySpace;
        default:
            return comms::kParityNone;
    }
}

}  // namespace

ComDeckPort::ComDeckPort(std::string name, const LineSettings& line, comms::NotifyCallback onBytes)
    : name_(std::move(name)), line_(line), onBytes_(onBytes) {
    serial_.setSpeed(line.speed);
    serial_.setDataBits(line.dataBits);
    serial_.setParity(parityCode(line.parity));
    serial_.setStopBits(line.stopBits == 2 ? comms::kTwoStopBits : comms::kOneStopBit);
}

int ComDeckPort::portNumberOf(const std::string& name) {
    if (name.size() < 4) return 0;
    for (int i = 0; i < 3; ++i)
        if (std::toupper(static_cast<unsigned char>(name[i])) != "COM"[i]) return 0;
    int number = 0;
    const auto [end, ec] = std::from_chars(name.data() + 3, name.data() + name.size(), number);
    if (ec != std::errc{} || end != name.data() + name.size()) return 0;
    return number >= 1 && number <= comms::kPortCount ? number : 0;
}

bool ComDeckPort::open(std::string& error) {
    const int number = portNumberOf(name_);
    if (number == 0) {
        error = name_ + " is no COM port (COM1 to COM256)";
        return false;
    }
    const int result = serial_.open(number);
    if (result == comms::kCommsAlreadyOpen) {
        error = "cannot open " + name_ + ": another program holds it";
        return false;
    }
    if (result != 1) {
        error = "cannot open " + name_ + " with these line settings (missing or unplugged?)";
        serial_.close();
        return false;
    }
    comms::commsSetNotifyCallback(serial_.portIndex(), onBytes_, kReadSize);
    return true;
}

void ComDeckPort::close() {
    serial_.close();
}

int ComDeckPort::read(std::uint8_t* buffer, int size) {
    return isOpen() ? serial_.read(buffer, size) : -1;
}

int ComDeckPort::write(const std::uint8_t* bytes, int length, std::string& error) {
    const int n = serial_.write(bytes, length);
    if (n < 0) error = "write to " + name_ + " failed";
    return n < 0 ? -1 : n;
}

bool ComDeckPort::gone() const {
    if (!serial_.isOpen()) return false;
    comms::CommStatus status{};
    comms::ErrorWord errors = 0;
    comms::commsStatus(serial_.portIndex(), &status, &errors);
    return serial_.isLost();
}

std::string ComDeckPort::describe() const {
    return name_ + " " + std::to_string(line_.speed) + "," + std::to_string(line_.dataBits) + "," +
           line_.parity + "," + std::to_string(line_.stopBits);
}

}  // namespace korvel::sim::vtr
