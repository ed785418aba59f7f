// What a site's PC does to the driver beyond a test bench: a panel larger than the window
// of old, the session ending under the driver, and the manifest the loader reads. The whole
// system under wine, as in e2e_test.cpp.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "shell/resource.h"
#include "tests/support/emulator_process.h"
#include "tests/system/e2e_support.h"

namespace korvel::e2e {
namespace {

using sim::EventRecord;
using sim::probe::DriverWindow;
using sim::testing::EmulatorProcess;

constexpr int kDevice = 101;
constexpr int kTraceList = 100;
constexpr int kExit = 105;

// The whole panel inside the client area; with the view closed nothing below it, with it
// open the trace list wholly inside below it and the window at least 640 tall.
bool panelFits(const DriverWindow& window, bool viewOpen) {
    const RECT client = window.clientRect();
    const RECT panel = window.panelRect().value_or(RECT{-1, -1, -1, -1});
    if (panel.left < 0 || panel.top < 0 || panel.right > client.right) return false;
    if (!viewOpen) return client.bottom == panel.bottom + 2;
    RECT list{};
    GetWindowRect(window.control(kTraceList), &list);
    MapWindowPoints(nullptr, window.handle(), reinterpret_cast<POINT*>(&list), 2);
    const RECT outer = window.rect();
    return list.top >= panel.bottom && list.right <= client.right && list.bottom <= client.bottom &&
           list.bottom > list.top && outer.bottom - outer.top >= 640;
}

TEST(RealPcTest, TheClientAreaHoldsTheWholePanelWithTheDebugViewClosedAndOpen) {
    SettingsTree tree;
    tree.apply();
    DriverProcess driver(std::to_string(kDevice));
    const auto window = driver.window();
    ASSERT_TRUE(window) << "no driver window";
    ASSERT_TRUE(eventually([&] { return window->minimised(); }));
    ASSERT_TRUE(window->show(SW_RESTORE));
    EXPECT_TRUE(eventually([&] { return !window->minimised() && panelFits(*window, false); }));
    const RECT closed = window->rect();

    ASSERT_TRUE(window->command(IDM_DEBUG_HIDE));
    EXPECT_TRUE(eventually([&] { return panelFits(*window, true); }));
    const RECT open = window->rect();
    EXPECT_EQ(open.right - open.left, closed.right - closed.left);  // one width for both

    ASSERT_TRUE(window->command(IDM_DEBUG_HIDE));
    EXPECT_TRUE(eventually([&] { return panelFits(*window, false); }));

    RecordProperty("window_width", static_cast<int>(closed.right - closed.left));
    RecordProperty("closed_height", static_cast<int>(closed.bottom - closed.top));
    RecordProperty("open_height", static_cast<int>(open.bottom - open.top));
    EXPECT_TRUE(driver.stop());
}

// The cases below with both decks answering.
using RealPcWithDecks = TwoDeckSystem;

TEST_F(RealPcWithDecks, EndingTheSessionGivesEveryInfodriverItsGoodbyeBeforeTheMessageReturns) {
    tree.set(kDevice, "KORVEL", "LogToDisk", "1");
    start();
    const HWND window = driver->window()->handle();
    auto onDevice = [](int device) {
        return [device](const EventRecord& r) { return r.field("dev") == std::to_string(device); };
    };

    auto send = [&](UINT message, WPARAM wParam) {
        DWORD_PTR answer = 0;
        const bool answered = SendMessageTimeoutA(window, message, wParam, ENDSESSION_LOGOFF,
                                                  SMTO_ABORTIFHUNG, 10000, &answer) != 0;
        return answered ? answer : DWORD_PTR{0xDEAD};
    };
    EXPECT_EQ(send(WM_QUERYENDSESSION, 0), DWORD_PTR{TRUE});
    // Another program refused: the session goes on, and so does the driver.
    EXPECT_EQ(send(WM_ENDSESSION, FALSE), 0u);
    ASSERT_TRUE(infodriver.sync());
    EXPECT_TRUE(infodriver.untaken("gone").empty());
    EXPECT_TRUE(driver->running());
    ASSERT_EQ(send(WM_ENDSESSION, TRUE), 0u);
    // Windows may end the process now: whatever the driver did not do yet is never done.
    if (HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, driver->id())) {
        TerminateProcess(process, 1);
        CloseHandle(process);
    }
    for (int device : {kDevice, kDevice + 1}) {
        EXPECT_TRUE(infodriver.waitFor("gone", onDevice(device))) << "no goodbye, " << device;
    }
    const std::string log = readWholeFile(tree.logFile()).value_or("");
    EXPECT_NE(log.find(" Settings file " + tree.deviceFile(kDevice) + "\r\n"), std::string::npos)
        << log;
    EXPECT_NE(log.find(" Windows session ending\r\n"), std::string::npos) << log;
}

// Another program's File, Exit, sent while the driver waits inside a slot write to a hung
// infodriver, ends the driver from its message loop once the write has given up: not inside
// the write, where it would destroy the VT that the write belongs to.
TEST_F(RealPcWithDecks, ACommandSentWhileTheDriverWaitsOnItsInfodriverIsCarriedOutAfterTheWait) {
    start();
    const HWND window = driver->window()->handle();

    // The next slot write (2726) finds the infodriver hung; a play command brings one.
    infodriver.send("hang " + std::to_string(kDevice) + " 2726 3000");
    ASSERT_TRUE(infodriver.sync());
    infodriver.send("write " + std::to_string(kDevice) + " 1 2");
    ASSERT_TRUE(infodriver.waitFor("hang", {}, 5000));
    DWORD_PTR answer = 0;
    SendMessageTimeoutA(window, WM_COMMAND, MAKEWPARAM(kExit, 0), 0, SMTO_NORMAL, 10000, &answer);
    const auto code = driver->waitForExit(20000);
    ASSERT_TRUE(code) << "the driver did not end";
    EXPECT_EQ(*code, 0u);
}

// The loader reads resource 1 of type 24: without it a 32-bit driver's writes to its
// settings may go to the user's VirtualStore, and Windows guesses at installers.
TEST(RealPcTest, TheDriverCarriesItsManifest) {
    const std::string path = driverFolder() + "korvel.exe";
    HMODULE image = LoadLibraryExA(path.c_str(), nullptr,
                                   LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(image, nullptr) << path;
    HRSRC found = FindResourceA(image, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    ASSERT_NE(found, nullptr);
    const auto* data = static_cast<const char*>(LockResource(LoadResource(image, found)));
    const std::string manifest(data, SizeofResource(image, found));
    FreeLibrary(image);
    for (const char* part : {"level=\"asInvoker\"", ">false</dpiAware>",
                             "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",     // Windows 7
                             "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"}) {  // Windows 10 and 11
        EXPECT_NE(manifest.find(part), std::string::npos) << part;
    }
}

}  // namespace
}  // namespace korvel::e2e
