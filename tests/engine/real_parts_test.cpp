// A VT built from the program's real parts: the serial library on a pty and the infodriver
// client in an in-process world. What the adapters must get right is the keys: the port's
// notifications and the client's events have to find the VT that owns them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "comms/notify_queue.h"
#include "comms/port_table.h"
#include "comms/pty_port.h"
#include "comms/serial_registry.h"
#include "config/device_settings.h"
#include "engine/device_list.h"
#include "engine/slot_layout.h"
#include "infodriver/dispatch_registry.h"
#include "tests/support/in_process_infodriver.h"
#include "tests/support/in_process_transport.h"
#include "infodriver/infodriver_state.h"
#include "shell/vt_parts.h"
#include "support/engine_fixture.h"
#include "support/memory_profile_store.h"

namespace korvel::shell {
namespace {

using comms::testing::LinkFolder;
using comms::testing::PtyPort;
using comms::testing::waitUntil;
using korvel::testing::hex;

class RealParts : public korvel::testing::EngineTest {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        comms::resetCommsState();
        comms::serialRegistry().clear();
        infodriver::dispatchRegistry().clear();
        infodriver::infodriverState() = infodriver::InfodriverState{};
        infodriver::infodriverState().transport = &world;
        ::setenv("KORVEL_SERIAL_DIR", links.path().c_str(), 1);
    }
    void TearDown() override {
        EngineTest::TearDown();
        comms::resetCommsState();
        infodriver::infodriverState() = infodriver::InfodriverState{};
        ::unsetenv("KORVEL_SERIAL_DIR");
    }

    bool create() {
        store.set("DEV_010.ini", "VT1", "Port", "31");
        store.set("DEV_010.ini", "VT2", "Port", "32");
        config::Settings settings(store, [](const char*) -> const char* { return nullptr; });
        config::DeviceSettings device(settings, 10);
        return engine::createDevices(device, 10, host, parts);
    }

    // Hands every notification waiting to the serial registry, as the main window does.
    void deliverNotifications() {
        while (comms::SerialPort* port = notifications.take(0)) {
            comms::serialDispatch(comms::SerialRegistry::keyOf(port));
        }
    }

    static std::vector<std::uint8_t> frame(std::vector<std::uint8_t> bytes) {
        std::uint8_t sum = 0;
        for (std::uint8_t b : bytes) sum = static_cast<std::uint8_t>(sum + b);
        bytes.push_back(sum);
        return bytes;
    }

    infodriver::InProcessTransport world;
    infodriver::InProcessInfodriver vt1Infodriver{world, 10};
    infodriver::InProcessInfodriver vt2Infodriver{world, 11};
    LinkFolder links;
    PtyPort vt1Deck{links, 31};
    PtyPort vt2Deck{links, 32};
    comms::NotifyQueue notifications;
    RealVtParts parts{&notifications};
    korvel::testing::MemoryProfileStore store;
};

TEST_F(RealParts, RepliesAndSlotWritesReachTheVtThatOwnsThePortAndTheClient) {
    ASSERT_TRUE(create());
    ASSERT_EQ(engine::engineState().devices.size(), 2u);

    // Each VT asks its own machine for its status first.
    EXPECT_EQ(hex(vt1Deck.receive(4)), "61 20 05 86");
    EXPECT_EQ(hex(vt2Deck.receive(4)), "61 20 05 86");

    // VT2's machine answers: the reply comes back through its port's notification and
    // VT2's queue moves on to the next status request; VT1 still waits for its answer.
    ASSERT_TRUE(vt2Deck.send(frame({0x75, 0x20, 0x00, 0x20, 0x00, 0x00, 0x00})));
    ASSERT_TRUE(waitUntil([&] {
        deliverNotifications();
        return engine::findDevice(2)->rxCount == 1;
    }));
    EXPECT_EQ(engine::findDevice(1)->rxCount, 0u);
    EXPECT_EQ(hex(vt2Deck.receive(4)), "61 20 09 8A");
    EXPECT_EQ(host.panelOf(engine::kCommsField, 2), "OK");
    EXPECT_EQ(vt2Infodriver.slot(engine::kTransportStateSlot), "1");  // stopped
    EXPECT_EQ(vt2Infodriver.slot(engine::kCommsStateSlot), "0,0,");   // comms good

    // The control system writes slot 1 of VT1's infodriver: VT1's machine gets play once it
    // has answered the status request on the line.
    vt1Infodriver.changeSlot(1, "2,");
    ASSERT_TRUE(vt1Deck.send(frame({0x74, 0x20, 0x00, 0x00, 0x00, 0x00})));
    ASSERT_TRUE(waitUntil([&] {
        deliverNotifications();
        return engine::findDevice(1)->rxCount == 1;
    }));
    EXPECT_EQ(hex(vt1Deck.receive(4)), "61 20 09 8A");
    EXPECT_EQ(host.panelOf(engine::kLastCommandField, 1), "Play");
    EXPECT_GE(engine::findDevice(1)->infodriverRxCount, 1u);

    // The line errors of the real port reach the engine: none on a pty.
    auto& serial = dynamic_cast<VtSerialPort&>(*engine::findDevice(1)->port);
    EXPECT_EQ(serial.errorWord(), 0u);
    EXPECT_EQ(serial.identity(), comms::SerialRegistry::keyOf(&serial.port()));
}

TEST_F(RealParts, APortThisProcessHoldsRefusesTheStart) {
    infodriver::InProcessInfodriver vt3Infodriver{world, 12};
    store.set("DEV_010.ini", "VT3", "Port", "31");  // VT1's port again
    EXPECT_FALSE(create());
    EXPECT_EQ(engine::engineState().devices.size(), 2u);
    EXPECT_EQ(host.errors, (std::vector<std::string>{"Com port [31] already open"}));
}

TEST_F(RealParts, AVtWhoseInfodriverDoesNotAnswerRefusesTheStart) {
    store.set("DEV_010.ini", "VT3", "Port", "33");  // nobody serves device 12
    EXPECT_FALSE(create());
    EXPECT_EQ(engine::engineState().devices.size(), 2u);
    EXPECT_EQ(host.errors, (std::vector<std::string>{"Failed to connect to infodriver 12 [vt3]"}));
}

}  // namespace
}  // namespace korvel::shell
