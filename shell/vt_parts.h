#pragma once

#include <memory>

#include "comms/comms.h"
#include "comms/serial_port.h"
#include "engine/vt_seams.h"
#include "infodriver/infodriver_client.h"

namespace korvel::shell {

// A VT's real serial port as the engine sees it. Its identity is the port object's
// address: what every notification of the port carries.
class VtSerialPort final : public engine::VtSerial {
  public:
    explicit VtSerialPort(comms::NotifyWindow notifyWindow) : notifyWindow_(notifyWindow) {}

    void setSpeed(int speed) override { port_.setSpeed(speed); }
    void setDataBits(int dataBits) override { port_.setDataBits(dataBits); }
    void setStopBits(int stopBitsCode) override { port_.setStopBits(stopBitsCode); }
    void setParity(int parityCode) override { port_.setParity(parityCode); }
    int open(int portNumber) override { return port_.open(portNumber); }
    void close() override { port_.close(); }
    bool lost() const override { return port_.isLost(); }
    int setNotifyWindow(int readSize) override {
        return port_.setNotifyWindow(notifyWindow_, readSize);
    }
    int write(const std::uint8_t* bytes, int length) override { return port_.write(bytes, length); }
    int read(std::uint8_t* buffer, int maximum) override { return port_.read(buffer, maximum); }
    int purge(int flags) override { return port_.purge(flags); }
    std::uint32_t errorWord() override;
    std::uintptr_t identity() const override { return reinterpret_cast<std::uintptr_t>(&port_); }

    comms::SerialPort& port() { return port_; }

  private:
    comms::NotifyWindow notifyWindow_;
    comms::SerialPort port_;
};

// A VT's real infodriver client. Its identity is the client's address: what the client's
// events carry to the dispatch registry.
class VtInfodriverSlots final : public engine::VtSlots {
  public:
    // Events go through the dispatch registry to the VT that registered the client.
    int connect(std::uint32_t deviceNumber) override;
    std::uint32_t deviceNumber() const override { return client_.deviceNumber(); }
    std::int32_t status() const override { return client_.status(); }
    void setCounters(std::uint32_t* transmitted, std::uint32_t* received) override {
        client_.setCounters(transmitted, received);
    }
    void writeSlot(std::int32_t index, const char* text) override {
        client_.writeSlot(index, "%s", text);
    }
    bool writeSlotIfChanged(std::int32_t index, const char* text) override {
        return client_.writeSlotIfChanged(index, "%s", text);
    }
    bool peerGone() override { return client_.peerGone(); }
    void sayGoodbye() override { client_.sayGoodbye(); }
    std::uintptr_t identity() const override { return reinterpret_cast<std::uintptr_t>(&client_); }

    infodriver::InfodriverClient& client() { return client_; }

  private:
    infodriver::InfodriverClient client_;
};

// Makes the real port and client of each VT; the ports notify the given window.
class RealVtParts final : public engine::VtPartsFactory {
  public:
    explicit RealVtParts(comms::NotifyWindow notifyWindow) : notifyWindow_(notifyWindow) {}

    std::unique_ptr<engine::VtSerial> makeSerial() override {
        return std::make_unique<VtSerialPort>(notifyWindow_);
    }
    std::unique_ptr<engine::VtSlots> makeSlots() override {
        return std::make_unique<VtInfodriverSlots>();
    }

  private:
    comms::NotifyWindow notifyWindow_;
};

}  // namespace korvel::shell
