// The main window in this process, built from the program's own resources, with a settings
// tree of its own and no VT configured (so no port and no infodriver is needed).
#include "shell/main_window.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>

#include "engine/device_list.h"
#include "korvel_version.h"
#include "log/trace.h"
#include "shell/about_box.h"
#include "shell/resource.h"
#include "shell/shell_state.h"

namespace korvel::shell {
namespace {

constexpr int kDeviceNumber = 7;
constexpr const char* kClassName = "CLASS_KORVEL_TEST";

std::string readFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

class MainWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char temp[MAX_PATH] = {};
        GetTempPathA(sizeof temp, temp);
        root_ =
            std::filesystem::path(temp) / ("korvel-shell-" + std::to_string(GetCurrentProcessId()));
        std::filesystem::remove_all(root_);
        std::filesystem::create_directories(root_ / "sys" / "config" / "system");
        _putenv_s("RZ_ROOT", root_.string().c_str());
        _putenv_s("RZ_SYSTEM", "sys");

        shellState().reset();
        engine::engineState() = engine::EngineState{};
        log::traceState() = log::TraceState{};
        shellState().instance = GetModuleHandleA(nullptr);
        shellState().deviceNumber = kDeviceNumber;
        static bool registered = false;
        if (!registered) registerMainWindowClass(shellState().instance, kClassName);
        registered = true;
    }

    void TearDown() override {
        if (window_ != nullptr && IsWindow(window_)) DestroyWindow(window_);
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        }
        shellState().reset();
        log::traceState() = log::TraceState{};
        _putenv_s("RZ_ROOT", "");
        _putenv_s("RZ_SYSTEM", "");
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }

    std::filesystem::path deviceFile() const {
        return root_ / "sys" / "config" / "system" / "DEV_007.ini";
    }
    std::filesystem::path logFile() const {
        return root_ / "sys" / "logs" / "korvel" / "korvel.log";
    }

    void settings(const std::string& text) { std::ofstream(deviceFile()) << text; }

    std::string debugModeInFile() const {
        char value[16] = {};
        GetPrivateProfileStringA("KORVEL", "DebugMode", "?", value, sizeof value,
                                 deviceFile().string().c_str());
        return value;
    }

    HWND create() {
        window_ = CreateWindowExA(0, kClassName, "test", WS_SYSMENU | WS_MINIMIZEBOX, CW_USEDEFAULT,
                                  0, 640, 640, nullptr, nullptr, shellState().instance, nullptr);
        return window_;
    }

    MainWindow& main() { return *shellState().window; }

    int height() const {
        RECT rect{};
        GetWindowRect(window_, &rect);
        return rect.bottom - rect.top;
    }
    // With the view closed the client area is exactly the panel's row: its height + 2.
    bool clientIsThePanel() {
        RECT panel{}, client{};
        GetClientRect(main().panel(), &panel);
        GetClientRect(window_, &client);
        return client.bottom == panel.bottom + 2;
    }

    bool checked(UINT id) const {
        HMENU debugMenu = GetSubMenu(GetMenu(window_), DEBUG_MENU_POSITION);
        return (GetMenuState(debugMenu, id, MF_BYCOMMAND) & MF_CHECKED) != 0;
    }

    void command(int id) { SendMessageA(window_, WM_COMMAND, static_cast<WPARAM>(id), 0); }

    std::string panelText(int id) {
        char text[64] = {};
        GetDlgItemTextA(main().panel(), id, text, sizeof text);
        return text;
    }

    int traceLines() const {
        return static_cast<int>(
            SendMessageA(GetDlgItem(window_, IDC_TRACE_LIST), LB_GETCOUNT, 0, 0));
    }
    std::string traceLine(int index) const {
        char text[512] = {};
        SendMessageA(GetDlgItem(window_, IDC_TRACE_LIST), LB_GETTEXT, static_cast<WPARAM>(index),
                     reinterpret_cast<LPARAM>(text));
        return text;
    }

    std::filesystem::path root_;
    HWND window_ = nullptr;
};

TEST_F(MainWindowTest, DebugOffStartsClosedAndHideOpensAndClosesTheView) {
    settings("[KORVEL]\r\nDebugMode=0\r\n");
    ASSERT_NE(create(), nullptr);

    EXPECT_TRUE(clientIsThePanel());
    EXPECT_FALSE(checked(IDM_DEBUG_ON));
    EXPECT_TRUE(checked(IDM_DEBUG_HIDE));
    EXPECT_FALSE(checked(IDM_DEBUG_LOGGING));
    EXPECT_FALSE(log::tracing());

    command(IDM_DEBUG_HIDE);
    EXPECT_EQ(height(), 640);
    EXPECT_TRUE(checked(IDM_DEBUG_ON));
    EXPECT_FALSE(checked(IDM_DEBUG_HIDE));
    EXPECT_TRUE(log::tracing());
    EXPECT_EQ(debugModeInFile(), "1");

    command(IDM_DEBUG_HIDE);
    EXPECT_TRUE(clientIsThePanel());
    EXPECT_FALSE(checked(IDM_DEBUG_ON));
    EXPECT_TRUE(checked(IDM_DEBUG_HIDE));
    EXPECT_FALSE(log::tracing());
    EXPECT_EQ(debugModeInFile(), "0");
}

TEST_F(MainWindowTest, DebugOnStartsOpenAndOnStopsTheTraceWithoutShrinking) {
    settings("[KORVEL]\r\nDebugMode=1\r\n");
    ASSERT_NE(create(), nullptr);
    EXPECT_EQ(height(), 640);
    EXPECT_TRUE(checked(IDM_DEBUG_ON));
    EXPECT_FALSE(checked(IDM_DEBUG_HIDE));
    EXPECT_TRUE(log::tracing());

    command(IDM_DEBUG_ON);
    EXPECT_EQ(height(), 640);
    EXPECT_FALSE(checked(IDM_DEBUG_ON));
    EXPECT_FALSE(log::tracing());
    EXPECT_EQ(debugModeInFile(), "0");
}

TEST_F(MainWindowTest, FirstStartFillsTheSettingsAndShowsNoneForEveryUnconfiguredVt) {
    ASSERT_NE(create(), nullptr);
    const std::string file = readFile(deviceFile());
    for (const char* key : {"DebugMode=0", "LogToDisk=0", "Simulation=0", "[VT9]", "Parity=O",
                            "TxTimeoutmS=250", "RxTimeoutmS=250"}) {
        EXPECT_NE(file.find(key), std::string::npos) << key;
    }
    for (int n = 1; n <= 9; ++n) EXPECT_EQ(panelText(IDC_COMMS_BASE + n), "(none)") << n;
    EXPECT_EQ(panelText(IDC_TX_COUNT_BASE + 4), "00000000");
    EXPECT_EQ(panelText(IDC_INFODRIVER_RX), "00000000");
}

TEST_F(MainWindowTest, LoggingCreatesTheLogFileAndChosenAgainClosesIt) {
    ASSERT_NE(create(), nullptr);
    EXPECT_EQ(main().diskLog(), nullptr);

    command(IDM_DEBUG_LOGGING);
    ASSERT_NE(main().diskLog(), nullptr);
    EXPECT_TRUE(checked(IDM_DEBUG_LOGGING));
    main().logTraffic("TX: 20 01 21 ");

    command(IDM_DEBUG_LOGGING);
    EXPECT_EQ(main().diskLog(), nullptr);
    EXPECT_FALSE(checked(IDM_DEBUG_LOGGING));
    main().logTraffic("dropped while the log is off");
    ASSERT_TRUE(main().drainLog(10000));

    const std::string log = readFile(logFile());
    EXPECT_TRUE(
        std::regex_search(log, std::regex(R"(^\d\d/\d\d/\d{4} \d\d:\d\d:\d\d TX: 20 01 21 \r\n$)")))
        << log;
}

TEST_F(MainWindowTest, LogToDiskInTheSettingsOpensTheLogAtStartAndMarksIt) {
    settings("[KORVEL]\r\nLogToDisk=1\r\nDebugMode=1\r\n");
    ASSERT_NE(create(), nullptr);
    ASSERT_NE(main().diskLog(), nullptr);
    ASSERT_TRUE(main().drainLog(10000));
    EXPECT_TRUE(main().diskLog()->isOpen());
    EXPECT_TRUE(checked(IDM_DEBUG_LOGGING));
    EXPECT_TRUE(std::filesystem::exists(logFile()));
    // The files in use, in the trace and at the head of this run's log.
    const std::string settingsLine = "Settings file " + deviceFile().string();
    const std::string logLine = "Log file " + logFile().string();
    EXPECT_NE(traceLine(0).find(settingsLine), std::string::npos) << traceLine(0);
    EXPECT_NE(traceLine(1).find(logLine), std::string::npos) << traceLine(1);
    const std::string log = readFile(logFile());
    EXPECT_NE(log.find(" " + settingsLine + "\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find(" " + logLine + "\r\n"), std::string::npos) << log;
}

TEST_F(MainWindowTest, TheTraceListKeeps500LinesShowsTheNewestAndClears) {
    settings("[KORVEL]\r\nDebugMode=1\r\n");
    ASSERT_NE(create(), nullptr);
    for (int i = 0; i < 600; ++i) log::trace("line %d", i);

    EXPECT_EQ(traceLines(), 500);
    EXPECT_NE(traceLine(0).find("line 100"), std::string::npos) << traceLine(0);
    EXPECT_NE(traceLine(499).find("line 599"), std::string::npos) << traceLine(499);
    // The newest line is in view.
    HWND list = GetDlgItem(window_, IDC_TRACE_LIST);
    RECT item{};
    RECT client{};
    SendMessageA(list, LB_GETITEMRECT, 499, reinterpret_cast<LPARAM>(&item));
    GetClientRect(list, &client);
    EXPECT_GE(item.top, client.top);
    EXPECT_LE(item.bottom, client.bottom);

    command(IDM_DEBUG_CLEAR);
    EXPECT_EQ(traceLines(), 0);
}

TEST_F(MainWindowTest, TimersReachTheEngineAndThePollRefreshesTheCountersOncePerRound) {
    settings("[KORVEL]\r\nDebugMode=1\r\n");
    ASSERT_NE(create(), nullptr);

    SendMessageA(window_, WM_TIMER, 23, 0);  // transmit time-out of VT 3, which is not there
    EXPECT_EQ(panelText(IDC_COMMS_BASE + 3), "!! tFAIL !!");
    EXPECT_NE(traceLine(traceLines() - 1).find("tx timeout[vt3]"), std::string::npos);

    const int lines = traceLines();
    SendMessageA(window_, WM_TIMER, 30, 0);  // not a timer of the driver
    SendMessageA(window_, WM_TIMER, 99, 0);
    EXPECT_EQ(traceLines(), lines);

    SetDlgItemTextA(main().panel(), IDC_INFODRIVER_TX, "stale");
    // The first round starts at VT 1 without a refresh; passing VT 9 refreshes.
    for (int tick = 0; tick < 9; ++tick) SendMessageA(window_, WM_TIMER, 40, 0);
    EXPECT_EQ(panelText(IDC_INFODRIVER_TX), "stale");
    SendMessageA(window_, WM_TIMER, 40, 0);
    EXPECT_EQ(panelText(IDC_INFODRIVER_TX), "00000000");
}

TEST_F(MainWindowTest, AResetOrANotificationForNothingConfiguredDoesNothing) {
    settings("[KORVEL]\r\nDebugMode=1\r\n");
    ASSERT_NE(create(), nullptr);
    const int lines = traceLines();
    command(IDM_RESET_VT_BASE + 4);
    EXPECT_EQ(SendMessageA(window_, kCommNotifyMessage, 0, 0x12345678), 0);
    command(IDM_TEST_SET);
    EXPECT_EQ(traceLines(), lines);
    EXPECT_EQ(panelText(IDC_COMMS_BASE + 4), "(none)");
}

TEST_F(MainWindowTest, ExitDestroysTheWindowAndEndsTheLoopWithZero) {
    settings("[KORVEL]\r\nDebugMode=1\r\n");
    ASSERT_NE(create(), nullptr);
    command(IDM_EXIT);
    EXPECT_FALSE(IsWindow(window_));
    EXPECT_EQ(shellState().window, nullptr);
    EXPECT_EQ(log::traceState().view, nullptr);  // later lines reach no dead list
    EXPECT_EQ(engine::engineState().host, nullptr);
    log::trace("after the window");

    MSG message{};
    bool quit = false;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            quit = true;
            EXPECT_EQ(message.wParam, 0u);
        }
    }
    EXPECT_TRUE(quit);
}

// Waits for a dialog of the given title on any thread, shown: it is found as soon as its frame
// exists, but its controls and texts are there only once it is visible.
HWND waitForWindow(const char* title) {
    for (int i = 0; i < 500; ++i) {
        HWND found = FindWindowA("#32770", title);
        if (found != nullptr && IsWindowVisible(found)) return found;
        Sleep(10);
    }
    return nullptr;
}

// Closes a dialog left open, so that a failed step cannot leave the test in its modal loop for
// ever; true if it had to.
bool closeIfStillOpen(const char* title) {
    for (int i = 0; i < 500; ++i) {
        if (FindWindowA("#32770", title) == nullptr) return false;
        Sleep(10);
    }
    PostMessageA(FindWindowA("#32770", title), WM_CLOSE, 0, 0);
    return true;
}

TEST_F(MainWindowTest, AboutShowsVersionBuildStampAndControllerAndEscapeClosesIt) {
    settings("[KORVEL]\r\nSimulation=1\r\n");
    ASSERT_NE(create(), nullptr);

    std::string version, stamp, controller;
    bool leftOpen = false;
    std::thread user([&] {
        if (HWND box = waitForWindow("About")) {
            char text[128];
            GetDlgItemTextA(box, IDC_ABOUT_VERSION, text, sizeof text);
            version = text;
            GetDlgItemTextA(box, IDC_ABOUT_BUILD, text, sizeof text);
            stamp = text;
            GetDlgItemTextA(box, IDC_ABOUT_CONTROLLER, text, sizeof text);
            controller = text;
            // The key as it reaches the dialog's focused button.
            PostMessageA(GetDlgItem(box, IDOK), WM_KEYDOWN, VK_ESCAPE, 0);
        }
        leftOpen = closeIfStillOpen("About");
    });
    const INT_PTR result = showAboutBox(shellState().instance, window_, true);
    user.join();

    EXPECT_FALSE(leftOpen) << "Escape did not close the box";
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(version, std::string("Version ") + KORVEL_VERSION_TEXT);
    EXPECT_TRUE(std::regex_match(
        stamp, std::regex(R"([A-Z][a-z]{2} [ 123]\d \d{4} - [0-2]\d:[0-5]\d:[0-5]\d)")))
        << stamp;
    EXPECT_EQ(controller, "Korvel Controller (Simulation)");
}

}  // namespace
}  // namespace korvel::shell
