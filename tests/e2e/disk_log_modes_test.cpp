// The traffic log in a file a day, with old days deleted: the real driver under wine, as in
// e2e_test.cpp.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tests/e2e/e2e_support.h"
#include "tests/sim/emulator_process.h"

namespace korvel::e2e {
namespace {

constexpr int kDevice = 101;
constexpr int kDebugLogging = 32790;

// Today's "yyyymmdd.log".
std::string todaysFileName() {
    SYSTEMTIME time;
    GetLocalTime(&time);
    char name[16];
    std::snprintf(name, sizeof name, "%04u%02u%02u.log", time.wYear, time.wMonth, time.wDay);
    return name;
}

TEST(DiskLogModes, ADailyLogDeletesOldDaysKeepsOtherFilesAndFollowsTheLoggingMenu) {
    ASSERT_EQ(Decks::unavailableReason(), "");
    Decks decks;
    ASSERT_TRUE(decks.control("deck all clear"));
    SettingsTree tree;
    tree.apply();
    tree.set(kDevice, "VT1", "Port", std::to_string(Decks::kPort1));
    tree.set(kDevice, "VT1", "Parity", "N");
    tree.set(kDevice, "KORVEL", "LogToDisk", "1");
    tree.set(kDevice, "KORVEL", "LogMode", "2");
    tree.set(kDevice, "KORVEL", "LogKeepDays", "1");

    std::string folder = tree.logFile();
    folder.resize(folder.rfind('\\') + 1);
    CreateDirectoryA(folder.substr(0, folder.rfind('\\', folder.size() - 2)).c_str(), nullptr);
    CreateDirectoryA(folder.c_str(), nullptr);
    for (const char* name : {"korvel.log", "20200101.log", "20200101-23.log"}) {
        FILE* file = std::fopen((folder + name).c_str(), "wb");
        ASSERT_NE(file, nullptr) << folder + name;
        std::fclose(file);
    }

    sim::testing::EmulatorProcess infodriver(std::to_string(kDevice));
    ASSERT_TRUE(infodriver.ready());
    DriverProcess driver(std::to_string(kDevice));
    const auto window = driver.window();
    ASSERT_TRUE(window) << "no driver window";

    const std::string today = folder + todaysFileName();
    auto logsTraffic = [&] {
        return eventually([&] {
            return readWholeFile(today).value_or("").find("TX: 61 20 05 86 \r\n") !=
                   std::string::npos;
        });
    };
    EXPECT_TRUE(logsTraffic());
    EXPECT_FALSE(readWholeFile(folder + "20200101.log"));
    EXPECT_FALSE(readWholeFile(folder + "20200101-23.log"));
    EXPECT_TRUE(readWholeFile(folder + "korvel.log")) << "not a dated file";
    // Off and on again from the menu: the day's file is made anew.
    ASSERT_TRUE(window->command(kDebugLogging));
    EXPECT_TRUE(eventually([&] { return DeleteFileA(today.c_str()) != 0; }));
    ASSERT_TRUE(window->command(kDebugLogging));
    EXPECT_TRUE(logsTraffic());
    EXPECT_TRUE(driver.stop());
}

}  // namespace
}  // namespace korvel::e2e
