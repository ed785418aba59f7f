// The traffic log in a file a day, with old days deleted: the real driver under wine, as in
// e2e_test.cpp.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "shell/resource.h"
#include "tests/support/emulator_process.h"
#include "tests/system/e2e_support.h"

namespace korvel::e2e {
namespace {

TEST(DiskLogModes, ADailyLogDeletesOldDaysKeepsOtherFilesAndFollowsTheLoggingMenu) {
    ASSERT_EQ(Decks::unavailableReason(), "");
    ASSERT_TRUE(Decks().control("deck all clear"));
    SettingsTree tree;
    tree.apply();
    for (const auto& [key, value] :
         {std::pair{"LogToDisk", "1"}, std::pair{"LogMode", "2"}, std::pair{"LogKeepDays", "1"}}) {
        tree.set(101, "KORVEL", key, value);
    }
    tree.set(101, "VT1", "Port", std::to_string(Decks::kPort1));
    tree.set(101, "VT1", "Parity", "N");
    const std::string korvelLog = tree.logFile();
    const std::string folder = korvelLog.substr(0, korvelLog.rfind('\\') + 1);
    CreateDirectoryA(folder.substr(0, folder.rfind('\\', folder.size() - 2)).c_str(), nullptr);
    CreateDirectoryA(folder.c_str(), nullptr);
    for (const std::string name : {"korvel.log", "20200101.log", "20200101-23.log"}) {
        CloseHandle(CreateFileA((folder + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    }

    sim::testing::EmulatorProcess infodriver("101");
    ASSERT_TRUE(infodriver.ready());
    DriverProcess driver("101");
    const auto window = driver.window();
    ASSERT_TRUE(window) << "no driver window";
    char today[16] = {};
    GetDateFormatA(LOCALE_INVARIANT, 0, nullptr, "yyyyMMdd'.log'", today, sizeof today);
    auto logsTraffic = [&] {
        return eventually([&] {
            const auto text = readWholeFile(folder + today);
            return text && text->find("TX: 61 20 05 86 \r\n") != std::string::npos;
        });
    };
    EXPECT_TRUE(logsTraffic()) << folder + today;
    EXPECT_FALSE(readWholeFile(folder + "20200101.log"));
    EXPECT_FALSE(readWholeFile(folder + "20200101-23.log"));
    EXPECT_TRUE(readWholeFile(korvelLog)) << "not a dated file";
    // Off, the day's file deleted, and on again: the file is made anew.
    ASSERT_TRUE(window->command(IDM_DEBUG_LOGGING));
    EXPECT_TRUE(eventually([&] { return DeleteFileA((folder + today).c_str()) != 0; }));
    ASSERT_TRUE(window->command(IDM_DEBUG_LOGGING));
    EXPECT_TRUE(logsTraffic());
}

}  // namespace
}  // namespace korvel::e2e
