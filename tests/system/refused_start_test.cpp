// A start refused after some VTs were set up: the driver shows its box, tells every infodriver
// it reached goodbye and ends with exit code 0 (in both builds; the VTs already made must go
// while everything they are registered in still exists).
#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "tests/support/emulator_process.h"
#include "tests/system/e2e_support.h"

namespace korvel::e2e {
namespace {

using sim::EventRecord;
using sim::testing::EmulatorProcess;

constexpr int kDevice = 101;
constexpr int kMissingPort = 29;
constexpr DWORD kBoxLifeMs = 5000;

TEST(RefusedStart, AMissingPortAfterAWorkingVtEndsWithExitCodeZeroAndEveryGoodbye) {
    ASSERT_EQ(Decks::unavailableReason(), "");
    SettingsTree tree;
    tree.apply();
    tree.set(kDevice, "VT1", "Port", std::to_string(Decks::kPort1));
    tree.set(kDevice, "VT1", "Parity", "N");
    tree.set(kDevice, "VT2", "Port", std::to_string(kMissingPort));
    EmulatorProcess infodriver(std::to_string(kDevice) + "-" + std::to_string(kDevice + 1));
    ASSERT_TRUE(infodriver.ready());

    DriverProcess driver(std::to_string(kDevice));
    ASSERT_TRUE(driver.started());
    std::optional<DWORD> code;
    EXPECT_TRUE(
        eventually([&] { return (code = driver.waitForExit(0)).has_value(); }, kBoxLifeMs + 5000));
    ASSERT_TRUE(code) << "the start did not end";
    EXPECT_EQ(*code, 0u);
    for (int device : {kDevice, kDevice + 1}) {
        EXPECT_TRUE(infodriver.waitFor("gone", [device](const EventRecord& r) {
            return r.field("dev") == std::to_string(device);
        })) << device;
    }
}

}  // namespace
}  // namespace korvel::e2e
