#include <gtest/gtest.h>

#include "comms/serial_registry.h"
#include "config/device_settings.h"
#include "engine/device_list.h"
#include "engine/slot_layout.h"
#include "infodriver/dispatch_registry.h"
#include "support/engine_fixture.h"
#include "support/memory_profile_store.h"

namespace korvel::engine {
namespace {

using testing::EngineTest;

class CreateDevices : public EngineTest {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        noEnvironment_ = [](const char*) -> const char* { return nullptr; };
    }

    void setVt(int n, const char* key, const std::string& value) {
        store.set(config::deviceFileName(static_cast<int>(deviceNumber)),
                  ("VT" + std::to_string(n)).c_str(), key, value);
    }

    bool create() {
        config::Settings settings(store, noEnvironment_);
        config::DeviceSettings device(settings, static_cast<int>(deviceNumber));
        return createDevices(device, deviceNumber, host, parts);
    }

    std::vector<int> vtNumbers() const {
        std::vector<int> numbers;
        for (const auto& device : engineState().devices) numbers.push_back(device->vtIndex);
        return numbers;
    }

    testing::MemoryProfileStore store;
    std::uint32_t deviceNumber = 7;

  private:
    config::EnvironmentLookup noEnvironment_;
};

TEST_F(CreateDevices, NoVtSectionsCreateNothingShowNoneAndSucceed) {
    EXPECT_TRUE(create());
    EXPECT_TRUE(engineState().devices.empty());
    for (int n = 1; n <= 9; ++n) EXPECT_EQ(host.panelOf(engine::kCommsField, n), "(none)") << n;
    // Every key is left in the file with its default, the time-outs last.
    const testing::MemoryProfileStore::Key parity{"DEV_007.ini", "vt9", "parity"};
    const testing::MemoryProfileStore::Key timeout{"DEV_007.ini", "korvel", "txtimeoutms"};
    EXPECT_EQ(store.values[parity], "O");
    EXPECT_EQ(store.values[timeout], "250");
}

TEST_F(CreateDevices, AVtWithoutPortIsSkippedAndTheOthersAreListedInOrder) {
    for (int n = 1; n <= 9; ++n) setVt(n, "Port", n == 3 ? "0" : std::to_string(n + 20));
    EXPECT_TRUE(create());
    EXPECT_EQ(vtNumbers(), (std::vector<int>{1, 2, 4, 5, 6, 7, 8, 9}));
    EXPECT_EQ(findDevice(3), nullptr);
    EXPECT_EQ(findDevice(4)->vtIndex, 4);
    EXPECT_EQ(findDevice(0), nullptr);
    EXPECT_EQ(findDevice(10), nullptr);
    EXPECT_EQ(host.panelOf(engine::kCommsField, 3), "(none)");
    EXPECT_EQ(parts.serials[2]->portNumber, 24);  // the third device made serves VT4
}

TEST_F(CreateDevices, InfodriverNumbersFollowTheDeviceNumber) {
    deviceNumber = 10;
    setVt(1, "Port", "1");
    setVt(2, "Port", "2");
    EXPECT_TRUE(create());
    ASSERT_EQ(parts.clients.size(), 2u);
    EXPECT_EQ(parts.clients[0]->deviceNumber(), 10u);
    EXPECT_EQ(parts.clients[1]->deviceNumber(), 11u);
    EXPECT_EQ(findDevice(2)->infodriverNumber, 11);
}

TEST_F(CreateDevices, LineSettingsAreConfiguredBeforeTheOpenWithTheirCodes) {
    setVt(1, "Port", "5");
    setVt(1, "Speed", "9600");
    setVt(1, "DataBits", "7");
    setVt(1, "StopBits", "3");
    setVt(1, "Parity", "S");
    setVt(2, "Port", "6");
    setVt(2, "StopBits", "2");
    setVt(2, "Parity", "e");
    EXPECT_TRUE(create());
    const testing::FakeSerial& first = *parts.serials[0];
    EXPECT_EQ(first.calls, (std::vector<std::string>{"speed", "dataBits", "stopBits", "parity",
                                                     "open", "notify"}));
    EXPECT_EQ(first.line.speed, 9600);
    EXPECT_EQ(first.line.dataBits, 7);
    EXPECT_EQ(first.line.stopBits, 0);
    EXPECT_EQ(first.line.parity, 0);
    EXPECT_EQ(first.readSize, 1);
    EXPECT_EQ(parts.serials[1]->line.stopBits, 2);
    EXPECT_EQ(parts.serials[1]->line.parity, 2);
}

TEST_F(CreateDevices, NonsenseInEveryKeyNeitherCrashesNorInventsAPort) {
    for (int n = 1; n <= 9; ++n) {
        for (const char* key : {"Port", "Speed", "DataBits", "StopBits", "Parity"}) {
            setVt(n, key, "x#!" + std::string(300, 'z'));
        }
    }
    EXPECT_TRUE(create());
    EXPECT_TRUE(engineState().devices.empty());
}

TEST_F(CreateDevices, ASetupFailureKeepsTheVtsBeforeItAndStopsTheCreation) {
    for (int n = 1; n <= 9; ++n) setVt(n, "Port", std::to_string(n));
    store.set("DEV_007.ini", "KORVEL", "TxTimeoutmS", "900");
    parts.openResults[3] = -1;  // the fourth device made: VT4
    EXPECT_FALSE(create());
    EXPECT_EQ(vtNumbers(), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(parts.serials.size(), 4u);  // VT5 to VT9 were never made
    EXPECT_EQ(host.errors, (std::vector<std::string>{"Com port [4] not found"}));
    EXPECT_EQ(engineState().txTimeoutMs, 250u);  // the time-out keys were not read
}

struct SetupFailure {
    int connectResult;
    int openResult;
    std::vector<std::string> traces;
    std::string shown;
};

TEST_F(CreateDevices, EveryFailureOfSetupIsShownInATimedBoxAndTraced) {
    const std::vector<SetupFailure> failures = {
        {5, 1, {"Connect failed to infodriver 7"}, "Failed to connect to infodriver 7 [vt1]"},
        {4, 1, {"Other Error - code 4"}, "Failed to connect to infodriver 7 [vt1]"},
        {9, 1, {"Other Error - code 9"}, "Failed to connect to infodriver 7 [vt1]"},
        {15,
         -2,
         {"Connected OK to infodriver 7", "Opening serial port 300 (vt1), speed -9600"},
         "Com port [300] already open"},
        {15, -1, {"Opening serial port 300 (vt1)"}, "Com port [300] not found"},
    };
    for (const SetupFailure& failure : failures) {
        SCOPED_TRACE(failure.shown);
        TearDown();
        SetUp();
        host = testing::FakeHost{};
        parts = testing::FakeParts{};
        store = testing::MemoryProfileStore{};
        setVt(1, "Port", "300");
        setVt(1, "Speed", "-9600");
        parts.connectResults[0] = failure.connectResult;
        parts.openResults[0] = failure.openResult;
        EXPECT_FALSE(create());
        EXPECT_TRUE(engineState().devices.empty());
        EXPECT_EQ(host.errors, (std::vector<std::string>{failure.shown}));
        for (const std::string& text : failure.traces) EXPECT_TRUE(traced(text)) << text;
        EXPECT_FALSE(host.hasTimer(31));
    }
}

TEST_F(CreateDevices, ASetUpVtAsksForItsStatusAndStartsItsTimecodeTimer) {
    setVt(2, "Port", "2");
    EXPECT_TRUE(create());
    VtDevice& vt2 = *findDevice(2);
    EXPECT_EQ(wire(vt2), (std::vector<std::string>{"61 20 05 86"}));
    EXPECT_EQ(vt2.txQueueCount, 2u);  // the extended status waits behind
    EXPECT_EQ(host.periodOf(32), 1000u);
    EXPECT_EQ(host.periodOf(22), 250u);
    EXPECT_TRUE(vt2.commsFailed);
    // Both registries route to the device, and the client counts into its counters.
    EXPECT_EQ(infodriver::dispatchRegistry().find(parts.clients[0]->identity()), &vt2);
    EXPECT_EQ(comms::serialRegistry().find(parts.serials[0]->identity()), &vt2);
    EXPECT_EQ(parts.clients[0]->transmitted, &vt2.infodriverTxCount);
    EXPECT_EQ(parts.clients[0]->received, &vt2.infodriverRxCount);
}

TEST_F(CreateDevices, WaitForPortsStartsAMissingPortAsLostAndStillRefusesAPortInUse) {
    const auto startWith = [&](const char* waitForPorts, int vt2OpenResult) {
        TearDown();
        SetUp();
        host = testing::FakeHost{};
        parts = testing::FakeParts{};
        store = testing::MemoryProfileStore{};
        if (waitForPorts) store.set("DEV_007.ini", "KORVEL", "WaitForPorts", waitForPorts);
        for (int n = 1; n <= 3; ++n) setVt(n, "Port", std::to_string(n));
        parts.openResults[1] = vt2OpenResult;
        config::Settings settings(store, [](const char*) -> const char* { return nullptr; });
        config::DeviceSettings device(settings, static_cast<int>(deviceNumber));
        useStartupSettings(device.readStartup());
        return create();
    };

    // Absent, the key keeps the refusal and is not written into a first start's file.
    EXPECT_FALSE(startWith(nullptr, -1));
    EXPECT_EQ(host.errors, (std::vector<std::string>{"Com port [2] not found"}));
    EXPECT_EQ(store.values.count({"DEV_007.ini", "korvel", "waitforports"}), 0u);

    // On: VT2 starts failed with its port lost, no box; VT1 and VT3 start as ever.
    ASSERT_TRUE(startWith("1", -1));
    EXPECT_EQ(vtNumbers(), (std::vector<int>{1, 2, 3}));
    EXPECT_TRUE(host.errors.empty());
    VtDevice& vt2 = *findDevice(2);
    EXPECT_TRUE(vt2.portLost);
    EXPECT_EQ(host.panelOf(engine::kCommsField, 2), "!! tFAIL !!");
    EXPECT_EQ(parts.clients[1]->slots[engine::kCommsStateSlot], "1,0,");
    EXPECT_TRUE(wire(vt2).empty());
    EXPECT_TRUE(traced("Com port [2] not found: waiting for it (vt2)"));
    EXPECT_EQ(comms::serialRegistry().find(parts.serials[1]->identity()), &vt2);
    EXPECT_EQ(wire(*findDevice(3)), (std::vector<std::string>{"61 20 05 86"}));
    // Its poll visit opens the port once it is there, and asks for the status.
    parts.serials[1]->setOpenResult(1);
    vt2.pollVisit();
    EXPECT_FALSE(vt2.portLost);
    EXPECT_EQ(wire(vt2), (std::vector<std::string>{"61 20 05 86"}));

    // A port another program holds is a configuration fault: refused even so.
    EXPECT_FALSE(startWith("1", -2));
    EXPECT_EQ(host.errors, (std::vector<std::string>{"Com port [2] already open"}));
}

TEST_F(CreateDevices, ATimecodeTimerThatCannotStartDoesNotFailSetup) {
    setVt(1, "Port", "1");
    host.failingTimers.insert(31);
    EXPECT_TRUE(create());
    EXPECT_TRUE(host.errors.empty());
}

TEST_F(CreateDevices, TeardownClosesEachPortBeforeReleasingItsClientInListOrder) {
    setVt(1, "Port", "1");
    setVt(2, "Port", "2");
    EXPECT_TRUE(create());
    std::vector<std::string> gone;
    for (int i = 0; i < 2; ++i) {
        parts.serials[i]->goneLog = &gone;
        parts.clients[i]->goneLog = &gone;
    }
    const auto key0 = parts.serials[0]->identity();
    teardownDevices();
    EXPECT_TRUE(engineState().devices.empty());
    EXPECT_EQ(gone, (std::vector<std::string>{"port 1", "client 7", "port 2", "client 8"}));
    // A notification that comes late for a port that is gone reaches nobody.
    EXPECT_EQ(comms::serialRegistry().find(key0), nullptr);
}

}  // namespace
}  // namespace korvel::engine
