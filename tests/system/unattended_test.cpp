// The driver left alone for months: a deck's port pulled and plugged back, an infodriver that
// hangs while the driver exits, and one whose process vanishes. The whole system under wine,
// as in e2e_test.cpp.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "engine/slot_layout.h"
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
    EXPECT_EQ(window->panelText(2101).value_or(""), "!! tFAIL !!");
    EXPECT_EQ(window->panelText(2102).value_or(""), "OK");

    ASSERT_TRUE(decks.control("deck 1 clear"));  // plugged back: a new pty at the same link
    EXPECT_TRUE(
        infodriver.waitFor("write", slotWrite(kDevice, engine::kCommsStateSlot, "0,0,"), 5000));
    EXPECT_TRUE(logHolds(tree, "Com port [21] reopened"));
    const auto text = readWholeFile(tree.logFile()).value_or("");
    EXPECT_EQ(text.find("Com port [21] lost"), text.rfind("Com port [21] lost"));  // one line
    EXPECT_TRUE(driver->running());
    EXPECT_TRUE(driver->stop()) << "Exit did not end the driver";
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
