// What other programs of the session leave behind must not reach the VTs: a deck's port left
// with software flow control, and kernel objects named the way the serial library once named
// its own. The whole system under wine, as in e2e_test.cpp.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "engine/slot_layout.h"
#include "shell/resource.h"
#include "tests/support/emulator_process.h"
#include "tests/system/e2e_support.h"

namespace korvel::e2e {
namespace {

using sim::EventRecord;
using sim::testing::EmulatorProcess;

// A deck's port as a terminal program leaves it: XON/XOFF both ways. A pseudo-terminal keeps
// its settings only while somebody holds it (the deck emulator puts them back when the last
// holder goes), so this handle stays open while the driver opens the port beside it, which
// wine allows for a terminal.
class PortWithXonXoff {
  public:
    explicit PortWithXonXoff(int portNumber) {
        const std::string name = "\\\\.\\COM" + std::to_string(portNumber);
        handle_ = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              0, nullptr);
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (handle_ == INVALID_HANDLE_VALUE || !GetCommState(handle_, &dcb)) return;
        dcb.fOutX = TRUE;
        dcb.fInX = TRUE;
        SetCommState(handle_, &dcb);
    }
    ~PortWithXonXoff() {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    }
    PortWithXonXoff(const PortWithXonXoff&) = delete;
    PortWithXonXoff& operator=(const PortWithXonXoff&) = delete;

    // The port's XON/XOFF as anyone who opens it now reads it back.
    bool xonXoff() const {
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        return handle_ != INVALID_HANDLE_VALUE && GetCommState(handle_, &dcb) &&
               (dcb.fOutX || dcb.fInX);
    }

  private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

class LeftBehind : public TwoDeckSystem {
  protected:
    void SetUp() override {
        TwoDeckSystem::SetUp();
        for (const char* line : {"deck all local off", "deck all tape in", "deck all inhibit off"})
            ASSERT_TRUE(decks.control(line)) << line;
    }
};

// 11h and 13h are XON and XOFF: the cue point goes out in a command and comes back in the
// timecode reply, and a serial driver with software flow control would eat both.
TEST_F(LeftBehind, APortLeftWithXonXoffCarriesTimecode11131113BothWays) {
    PortWithXonXoff left(Decks::kPort1);
    ASSERT_TRUE(left.xonXoff()) << "XON/XOFF did not reach the port";
    start();
    EXPECT_FALSE(left.xonXoff()) << "the driver kept the flow control it found";

    const std::size_t before = decks.mark();
    infodriver.send("write 101 10 40");
    infodriver.send("write 101 12 11.13.11.13");  // the cue point, preset as the in point
    infodriver.send("write 101 1 21");            // cue up to it
    EXPECT_TRUE(infodriver.waitFor(
        "write", slotWrite(kDevice, engine::kTimecodeSlot, "11.13.11.13"), 10000));
    EXPECT_THAT(decks.framesReceived(before, 1),
                ::testing::IsSupersetOf({"44 14 13 11 13 11 a0", "24 31 13 11 13 11 9d"}));
    EXPECT_TRUE(driver->stop());
}

// A guard or start semaphore shared by name with another program jams the port whose handle
// has the same value; here every value a port may get has its old names taken elsewhere.
TEST_F(LeftBehind, ObjectsWithTheOldNamesInAnotherProcessDoNotStopTheVts) {
    std::vector<HANDLE> taken;
    for (unsigned long long value = 4; value <= 0x4000; value += 4) {
        char name[64];
        std::snprintf(name, sizeof name, "%llXBUFSEM", value);
        taken.push_back(CreateSemaphoreA(nullptr, 0, 1, name));
        std::snprintf(name, sizeof name, "Creating Thread for hCom %#llx.\r\n", value);
        taken.push_back(CreateSemaphoreA(nullptr, 0, 1, name));
    }
    start();
    const auto window = driver->window();
    ASSERT_TRUE(window);
    EXPECT_TRUE(
        eventually([&] { return window->panelText(IDC_COMMS_BASE + 1).value_or("") == "OK"; }));
    EXPECT_TRUE(
        eventually([&] { return window->panelText(IDC_COMMS_BASE + 2).value_or("") == "OK"; }));
    infodriver.send("write 102 1 2");
    EXPECT_TRUE(
        infodriver.waitFor("write", slotWrite(kDevice + 1, engine::kTransportStateSlot, "2")));
    EXPECT_TRUE(driver->stop());
    for (HANDLE semaphore : taken) {
        if (semaphore) CloseHandle(semaphore);
    }
}

}  // namespace
}  // namespace korvel::e2e
