#include "comms/serial_port.h"

#include "comms/backend.h"

namespace korvel::comms {

SerialPort::~SerialPort() {
    if (portIndex_ >= 0) commsClose(portIndex_);
}

void SerialPort::reopenIfOpen() {
    if (isOpen_) open(portNumber_);
}

void SerialPort::setSpeed(int speed) {
    speed_ = speed;
    reopenIfOpen();
}

void SerialPort::setDataBits(int dataBits) {
    dataBits_ = dataBits;
    reopenIfOpen();
}

void SerialPort::setParity(int parity) {
    parity_ = parity;
    reopenIfOpen();
}

void SerialPort::setStopBits(int stopBits) {
    stopBits_ = stopBits;
    reopenIfOpen();
}

int SerialPort::open(int portNumber) {
    if (portNumber_ > 0) close();
    portNumber_ = portNumber;
    portIndex_ = commsOpen(this, speed_, dataBits_, stopBits_, parity_);
    if (portIndex_ < 0) return portIndex_;
    commsSetNotifyCallback(portIndex_, nullptr, 0);
    isOpen_ = 1;
    return 1;
}

void SerialPort::close() {
    if (portIndex_ >= 0) commsClose(portIndex_);
    portIndex_ = -1;
    portNumber_ = 0;
    isOpen_ = 0;
}

int SerialPort::write(const std::uint8_t* bytes, int length) {
    if (portIndex_ < 0) return portIndex_;
    return commsWrite(portIndex_, bytes, length);
}

int SerialPort::read(std::uint8_t* buffer, int maximum) {
    return commsRead(portIndex_, buffer, maximum);
}

int SerialPort::setNotifyWindow(NotifyWindow window, int readSize) {
    if (portIndex_ < 0 || !backend::isLiveWindow(window)) return 0;
    return commsSetNotifyWindow(portIndex_, window, readSize);
}

void SerialPort::status(CommStatus* status, ErrorWord* errors) {
    if (status != nullptr && errors != nullptr) commsStatus(portIndex_, status, errors);
}

int SerialPort::purge(int flags) {
    return commsPurge(portIndex_, flags);
}

}  // namespace korvel::comms
