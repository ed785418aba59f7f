// The driver left alone for months: a deck's port pulled and plugged back, an infodriver that
// hangs while the driver exits, and one whose process vanishes. The whole system under wine,
// as in e2e_test.cpp.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "engine/slot_layout.h"
#include "shell/resource.h"
#include "tests/support/emulator_process.h"
#include "tests/system/e2e_support.h"

namespace korvel::e2e {
namespace {

using sim::EventRecord;
using sim::testing::EmulatorProcess;

constexpr int kExit = 105;
// Exit must finish within a few seconds whatever the infodriver does.
constexpr DWORD kExitLimitMs = 4000;

bool logHolds(const SettingsTree& tree, const std::string& line) {
    return eventually([&] {
        const auto text = readWholeFile(tree.logFile());
        return text && text->find(line) != std::string::npos;
    });
}

class Unattended : public TwoDeckSystem {
  protected:
    void SetUp() override {
        TwoDeckSystem::SetUp();
        tree.set(kDevice, "KORVEL", "LogToDisk", "1");
    }
};

TEST_F(Unattended, APulledPortFailsItsVtAloneAndComesBackWithoutARestart) {
    start();
    ASSERT_TRUE(decks.control("deck 1 fault closed"));
    EXPECT_TRUE(infodriver.waitFor("write", slotWrite(kDevice, engine::kCommsStateSlot, "1,0,")));
    EXPECT_TRUE(logHolds(tree, "Com port [21] lost"));
    // Several poll rounds without the port: VT2 goes on answering its commands.
    infodriver.send("write 102 1 2");
    EXPECT_TRUE(infodriver.waitFor("write", [](const EventRecord& r) {
        return r.field("dev") == "102" &&
               r.field("slot") == std::to_string(engine::kTransportStateSlot) &&
               r.text.value_or("") == "2";
    }));
    Sleep(2500);
    const auto window = driver->window();
    ASSERT_TRUE(window);
    EXPECT_EQ(window->panelText(IDC_COMMS_BASE + 1).value_or(""), "!! tFAIL !!");
    EXPECT_EQ(window->panelText(IDC_COMMS_BASE + 2).value_or(""), "OK");

    ASSERT_TRUE(decks.control("deck 1 clear"));  // plugged back: a new pty at the same link
    EXPECT_TRUE(
        infodriver.waitFor("write", slotWrite(kDevice, engine::kCommsStateSlot, "0,0,"), 5000));
    EXPECT_TRUE(logHolds(tree, "Com port [21] reopened"));
    const auto text = readWholeFile(tree.logFile()).value_or("");
    EXPECT_EQ(text.find("Com port [21] lost"), text.rfind("Com port [21] lost"));  // one line
    EXPECT_TRUE(driver->running());
    EXPECT_TRUE(driver->stop()) << "Exit did not end the driver";
}

TEST_F(Unattended, WithWaitForPortsALateAdapterKeepsNoOtherVtOffAirAndComesUpByItself) {
    tree.set(kDevice, "KORVEL", "WaitForPorts", "1");
    ASSERT_TRUE(decks.control("deck 2 fault closed"));  // VT2's adapter is not there yet
    ASSERT_TRUE(infodriver.ready());
    driver = std::make_unique<DriverProcess>(std::to_string(kDevice));
    const auto window = driver->window();
    ASSERT_TRUE(window) << "the start was refused";
    EXPECT_TRUE(infodriver.waitFor("write", slotWrite(kDevice + 1, 3, "1,0,"), 10000));
    ASSERT_TRUE(infodriver.waitFor("write", slotWrite(kDevice, 3, "0,0,"), 10000));
    infodriver.send("write 101 1 2");
    EXPECT_TRUE(infodriver.waitFor("write", slotWrite(kDevice, 2, "2")));
    EXPECT_EQ(window->panelText(IDC_COMMS_BASE + 2).value_or(""), "!! tFAIL !!");
    EXPECT_TRUE(window->messageBoxes().empty());

    const std::size_t mark = decks.mark();
    ASSERT_TRUE(decks.control("deck 2 clear"));  // the adapter appears
    EXPECT_TRUE(infodriver.waitFor("write", slotWrite(kDevice + 1, 3, "0,0,"), 10000));
    EXPECT_TRUE(logHolds(tree, "Com port [22] reopened"));
    // Counted in poll rounds, not time: VT1 is asked for its status once a round, and VT2 is
    // heard from again within two of them.
    int roundsBefore = 0;
    for (const DeckEvent& e : decks.since(mark)) {
        if (e.deck == 2 && e.event == "rx") break;
        if (e.deck == 1 && e.event == "rx" && e.detail == "61 20 05 86") ++roundsBefore;
    }
    EXPECT_LE(roundsBefore, 2);
    EXPECT_TRUE(driver->stop());
}

TEST_F(Unattended, AHungInfodriverCannotHoldUpTheExit) {
    start();
    infodriver.send("hang " + std::to_string(kDevice) + " 2725 20000");
    ASSERT_TRUE(infodriver.sync());
    const auto window = driver->window();
    ASSERT_TRUE(window);
    const ULONGLONG before = GetTickCount64();
    ASSERT_TRUE(window->command(kExit));
    const auto code = driver->waitForExit(kExitLimitMs);
    ASSERT_TRUE(code) << "the driver did not end within " << kExitLimitMs << " ms";
    EXPECT_EQ(*code, 0u);
    EXPECT_TRUE(infodriver.waitFor("hang", {}, 1000));
    ::testing::Test::RecordProperty("exit_ms", static_cast<int>(GetTickCount64() - before));
    infodriver.kill();  // still hung
}

TEST_F(Unattended, AVanishedInfodriverEndsTheDriverWithExitCodeZero) {
    start();
    infodriver.kill();
    const auto code = driver->waitForExit(5000);
    ASSERT_TRUE(code) << "the driver did not notice its infodriver had gone";
    EXPECT_EQ(*code, 0u);
}

}  // namespace
}  // namespace korvel::e2e
