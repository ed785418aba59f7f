#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "engine/device_list.h"
#include "engine/vt_device.h"
#include "log/trace.h"
#include "support/engine_fakes.h"
#include "support/memory_trace_view.h"

namespace korvel::testing {

// "20 00 20": frames are compared as the hex text a wire trace shows.
inline std::string hex(const Bytes& bytes) {
    std::string text;
    for (std::uint8_t b : bytes) {
        char digits[4];
        std::snprintf(digits, sizeof digits, text.empty() ? "%02X" : " %02X", b);
        text += digits;
    }
    return text;
}

inline std::vector<std::string> hexAll(const std::vector<Bytes>& frames) {
    std::vector<std::string> texts;
    for (const Bytes& frame : frames) texts.push_back(hex(frame));
    return texts;
}

// A clean engine with a fake main window, fake ports and clients, and the trace on.
class EngineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        engine::engineState() = engine::EngineState{};
        engine::engineState().host = &host;
        log::traceState() = log::TraceState{};
        log::traceState().view = &traceView;
        log::traceState().tick = [] { return std::uint32_t{0}; };
        log::setTracing(true);
    }

    void TearDown() override {
        engine::teardownDevices();
        engine::engineState() = engine::EngineState{};
        log::traceState() = log::TraceState{};
    }

    // Sets up VT n on port n and puts it in the device list, as start-up does.
    engine::VtDevice& addDevice(int vtNumber, std::uint32_t deviceNumber = 1) {
        auto device = std::make_unique<engine::VtDevice>(vtNumber, deviceNumber, parts);
        EXPECT_TRUE(device->setup(vtNumber, 38400, 8, 1, 0, host));
        engine::engineState().devices.push_back(std::move(device));
        return *engine::engineState().devices.back();
    }

    FakeSerial& serialOf(const engine::VtDevice& device) {
        return static_cast<FakeSerial&>(*device.port);
    }
    FakeSlots& slotsOf(const engine::VtDevice& device) {
        return static_cast<FakeSlots&>(*device.client);
    }
    std::vector<std::string> wire(const engine::VtDevice& device) {
        return hexAll(serialOf(device).written);
    }
    // Frames written since the last call.
    std::vector<std::string> newFrames(const engine::VtDevice& device) {
        auto& written = serialOf(device).written;
        std::vector<Bytes> fresh(written.begin() + static_cast<long>(seen_[&device]),
                                 written.end());
        seen_[&device] = written.size();
        return hexAll(fresh);
    }

    // What the reply handling does once a good reply has ended the frame on the line.
    void replyEndsFrame(engine::VtDevice& device) {
        host.killTimer(device.txTimerId());
        device.awaitingReply = false;
        device.TXQueue(1);
    }

    bool traced(const std::string& text) const {
        for (const std::string& line : traceView.lines) {
            if (line.find(text) != std::string::npos) return true;
        }
        return false;
    }

    FakeHost host;
    FakeParts parts;
    MemoryTraceView traceView;

  private:
    std::map<const engine::VtDevice*, std::size_t> seen_;
};

}  // namespace korvel::testing
