// The whole system under wine: the real korvel.exe with our VRAXIF32.dll, the infodriver
// emulator serving its devices, and the deck emulator's machines on COM21 and COM22. Each
// case starts the driver afresh in a settings tree of its own and ends every process it
// started.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "engine/slot_layout.h"
#include "shell/resource.h"
#include "sim/probe/probe_request.h"
#include "tests/support/emulator_process.h"
#include "tests/system/e2e_support.h"

namespace korvel::e2e {
namespace {

using sim::EventRecord;
using sim::probe::DriverWindow;
using sim::testing::EmulatorProcess;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

constexpr int kDevice = 101;
constexpr int kMissingPort = 29;
constexpr DWORD kBoxLifeMs = 5000;  // every error box closes itself after this long

std::string panel(const DriverWindow& window, int id) {
    return window.panelText(id).value_or("<no control>");
}

::testing::AssertionResult panelShows(const DriverWindow& window, int id, const std::string& text,
                                      DWORD timeoutMs = 5000) {
    std::string last;
    if (eventually([&] { return (last = panel(window, id)) == text; }, timeoutMs)) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "control " << id << " shows '" << last << "'";
}

int windowHeight(const DriverWindow& window) {
    const RECT r = window.rect();
    return r.bottom - r.top;
}

std::function<bool(const EventRecord&)> onDevice(int device) {
    return [=](const EventRecord& r) { return r.field("dev") == std::to_string(device); };
}

// The two decks with their faults cleared, and the emulator's ports at the driver's disposal.
class DriverTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string reason = Decks::unavailableReason();
        ASSERT_EQ(reason, "");
        // Faults off and the front panels in remote with a tape in: earlier users of the
        // decks may have left them otherwise.
        for (const char* line :
             {"deck all clear", "deck all local off", "deck all tape in", "deck all inhibit off"}) {
            ASSERT_TRUE(decks.control(line)) << line;
        }
        tree.apply();
    }

    // Settings for VT1 on COM21 and VT2 on COM22, everything else at its default but the
    // parity, none: line settings mean nothing to the emulated decks, and the default odd
    // parity on pseudo-terminals has a case of its own below.
    SettingsTree tree;
    Decks decks;
};

// --- Start-up ---

TEST(StartUpTest, BadOrMissingDeviceNumbersAreRefusedAfterTheTimedBox) {
    // All three at once: none of them opens a main window, so none sees another instance.
    SettingsTree tree;
    tree.apply();
    const std::vector<std::string> commandLines{"", "0", "abc12"};
    std::vector<std::unique_ptr<DriverProcess>> drivers;
    const ULONGLONG started = GetTickCount64();
    for (const std::string& line : commandLines) {
        drivers.push_back(std::make_unique<DriverProcess>(line));
        ASSERT_TRUE(drivers.back()->started());
    }
    for (std::size_t i = 0; i < drivers.size(); ++i) {
        std::vector<sim::probe::MessageBoxSeen> boxes;
        EXPECT_TRUE(eventually([&] {
            boxes = sim::probe::messageBoxesOf(drivers[i]->id());
            return !boxes.empty();
        })) << "command line '"
            << commandLines[i] << "'";
        if (boxes.empty()) continue;
        EXPECT_EQ(boxes[0].caption, "Error");
        EXPECT_EQ(boxes[0].text, "Valid device number must be supplied as command line parameter");
    }
    for (std::size_t i = 0; i < drivers.size(); ++i) {
        const auto code = drivers[i]->waitForExit(kBoxLifeMs + 5000);
        ASSERT_TRUE(code) << "command line '" << commandLines[i] << "' still runs";
        EXPECT_EQ(static_cast<int>(*code), -1) << "command line '" << commandLines[i] << "'";
    }
    // Nobody pressed OK: the boxes closed themselves.
    EXPECT_GE(GetTickCount64() - started, kBoxLifeMs - 500);
}

TEST(StartUpTest, FirstStartWritesEverySettingAndASecondInstanceStepsAside) {
    SettingsTree tree;
    tree.apply();
    DriverProcess first(std::to_string(kDevice));
    const auto window = first.window();
    ASSERT_TRUE(window) << "no driver window";

    // Minimised whatever the show command said.
    EXPECT_TRUE(eventually([&] { return window->minimised(); }));
    EXPECT_EQ(window->caption(),
              "Tessivar Korvel Driver Application with Debug window - Device 101");
    for (int vt = 1; vt <= 9; ++vt)
        EXPECT_EQ(panel(*window, IDC_COMMS_BASE + 0 + vt), "(none)") << vt;
    // Every cell of the panel draws its text itself (an owner-drawn static shows nothing).
    for (const int id : sim::probe::panelIds()) {
        const LONG_PTR type = GetWindowLongPtrA(window->control(id), GWL_STYLE) & SS_TYPEMASK;
        EXPECT_THAT(type,
                    ::testing::AnyOf(SS_LEFT, SS_CENTER, SS_RIGHT, SS_SIMPLE, SS_LEFTNOWORDWRAP))
            << "control " << id;
    }

    // About shows the version and the build stamp, and OK closes it.
    ASSERT_TRUE(window->command(IDM_ABOUT));
    HWND about = nullptr;
    EXPECT_TRUE(eventually([&] {
        for (const auto& dialog : sim::probe::messageBoxesOf(first.id())) {
            if (dialog.caption == "About") about = dialog.window;
        }
        return about != nullptr;
    }));
    if (about != nullptr) {
        EXPECT_THAT(sim::probe::windowText(GetDlgItem(about, 1000)).value_or(""),
                    ::testing::StartsWith("Version "));
        const std::string stamp = sim::probe::windowText(GetDlgItem(about, 1001)).value_or("");
        EXPECT_TRUE(std::regex_match(
            stamp, std::regex("[A-Z][a-z]{2} [ 1-3]\\d \\d{4} - \\d\\d:\\d\\d:\\d\\d")))
            << stamp;
        PostMessageA(about, WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(eventually([&] { return !IsWindow(about); }));
    }

    // The file lists every key with its default: KORVEL's seven start-up keys, the five
    // port keys of VT1 to VT9, and the two time-outs read after the VT sections.
    const auto text = readWholeFile(tree.deviceFile(kDevice));
    ASSERT_TRUE(text) << tree.deviceFile(kDevice);
    std::vector<std::string> keys;
    std::vector<std::string> sections;
    std::size_t begin = 0;
    while (begin < text->size()) {
        std::size_t end = text->find('\n', begin);
        if (end == std::string::npos) end = text->size();
        std::string line = text->substr(begin, end - begin);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty() && line.front() == '[') {
            sections.push_back(line);
        } else if (!line.empty()) {
            keys.push_back(sections.empty() ? "?" : sections.back() + line);
        }
        begin = end + 1;
    }
    std::vector<std::string> expectedSections{"[KORVEL]"};
    for (int vt = 1; vt <= 9; ++vt) expectedSections.push_back("[VT" + std::to_string(vt) + "]");
    EXPECT_EQ(sections, expectedSections);
    std::vector<std::string> expected{
        "[KORVEL]DebugMode=0", "[KORVEL]LogMode=0",       "[KORVEL]Simulation=0",
        "[KORVEL]Shuttle=80",  "[KORVEL]Variable=64",     "[KORVEL]Jog=32",
        "[KORVEL]LogToDisk=0", "[KORVEL]TxTimeoutmS=250", "[KORVEL]RxTimeoutmS=250"};
    for (int vt = 1; vt <= 9; ++vt) {
        const std::string section = "[VT" + std::to_string(vt) + "]";
        for (const char* key : {"Port=0", "Speed=38400", "DataBits=8", "StopBits=1", "Parity=O"}) {
            expected.push_back(section + key);
        }
    }
    EXPECT_EQ(keys, expected);

    // A second start, whatever its number, shows its box and ends with 0; the first runs on.
    DriverProcess second("7");
    ASSERT_TRUE(second.started());
    std::vector<sim::probe::MessageBoxSeen> boxes;
    EXPECT_TRUE(eventually([&] {
        boxes = sim::probe::messageBoxesOf(second.id());
        return !boxes.empty();
    }));
    if (!boxes.empty()) {
        EXPECT_EQ(boxes[0].caption, "Error");
        EXPECT_EQ(boxes[0].text,
                  "An instance of the Sony_Korvel driver is already running on this PC");
    }
    const auto secondCode = second.waitForExit(kBoxLifeMs + 5000);
    ASSERT_TRUE(secondCode);
    EXPECT_EQ(*secondCode, 0u);
    EXPECT_TRUE(first.running());
    EXPECT_TRUE(window->alive());

    ASSERT_TRUE(window->command(IDM_EXIT));
    const auto firstCode = first.waitForExit(5000);
    ASSERT_TRUE(firstCode) << "Exit did not end the driver";
    EXPECT_EQ(*firstCode, 0u);
}

// The other build's VRAXIF32.dll beside this korvel.exe, in a folder of their own: Windows
// refuses the load (error 193) and the box says which korvel.exe the library needs.
TEST(StartUpTest, ALibraryOfTheOtherBitnessGetsABoxThatNamesTheBuildItNeeds) {
    char library[MAX_PATH] = {};
    if (GetEnvironmentVariableA("KORVEL_OTHER_BITNESS_LIBRARY", library, sizeof library) == 0) {
        GTEST_SKIP() << "KORVEL_OTHER_BITNESS_LIBRARY names no library of the other build";
    }
    const bool driverIs64 = sizeof(void*) == 8;
    SettingsTree tree;
    tree.apply();
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    const std::string folder =
        std::string(temp) + "korvel-bitness-" + std::to_string(GetCurrentProcessId()) + "\\";
    CreateDirectoryA(folder.c_str(), nullptr);
    ASSERT_TRUE(
        CopyFileA((driverFolder() + "korvel.exe").c_str(), (folder + "korvel.exe").c_str(), FALSE));
    ASSERT_TRUE(CopyFileA(library, (folder + "VRAXIF32.dll").c_str(), FALSE));
    std::optional<DWORD> code;
    std::vector<sim::probe::MessageBoxSeen> boxes;
    {
        DriverProcess driver(std::to_string(kDevice), folder);
        ASSERT_TRUE(driver.started());
        EXPECT_TRUE(eventually([&] {
            boxes = sim::probe::messageBoxesOf(driver.id());
            return !boxes.empty();
        }));
        code = driver.waitForExit(kBoxLifeMs + 5000);
    }
    DeleteFileA((folder + "korvel.exe").c_str());
    DeleteFileA((folder + "VRAXIF32.dll").c_str());
    RemoveDirectoryA(folder.c_str());
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes[0].caption, "Error");
    EXPECT_EQ(boxes[0].text,
              driverIs64 ? "Cannot load the interface library VRAXIF32.dll (error 193)\n"
                           "VRAXIF32.dll is a 32-bit library: use the 32-bit korvel.exe (folder "
                           "x86 of the package), not this 64-bit one."
                         : "Cannot load the interface library VRAXIF32.dll (error 193)\n"
                           "VRAXIF32.dll is a 64-bit library: use the 64-bit korvel.exe (folder "
                           "x64 of the package), not this 32-bit one.");
    ASSERT_TRUE(code) << "the start did not end when the box closed itself";
    EXPECT_EQ(*code, 0u);
}

TEST_F(DriverTest, APortThatDoesNotExistEndsTheStartWhenItsBoxClosesItself) {
    EmulatorProcess infodriver(std::to_string(kDevice) + "-" + std::to_string(kDevice + 1));
    ASSERT_TRUE(infodriver.ready());
    tree.set(kDevice, "VT1", "Port", std::to_string(kMissingPort));
    DriverProcess driver(std::to_string(kDevice));
    ASSERT_TRUE(driver.started());

    std::vector<sim::probe::MessageBoxSeen> boxes;
    EXPECT_TRUE(eventually([&] {
        boxes = sim::probe::messageBoxesOf(driver.id());
        return !boxes.empty();
    }));
    if (!boxes.empty()) {
        EXPECT_EQ(boxes[0].caption, "Error");
        EXPECT_EQ(boxes[0].text, "Com port [29] not found");
    }
    std::optional<DWORD> code;
    EXPECT_TRUE(
        eventually([&] { return (code = driver.waitForExit(0)).has_value(); }, kBoxLifeMs + 5000));
    ASSERT_TRUE(code) << "the start did not end";
    EXPECT_EQ(*code, 0u);
    // VT1 had connected before its port failed; its client said goodbye.
    EXPECT_TRUE(infodriver.waitFor("connect", onDevice(kDevice)));
    EXPECT_TRUE(infodriver.waitFor("gone", onDevice(kDevice)));
}

// --- Two decks ---

TEST_F(DriverTest, TwoDecksAreDrivenThroughTheirSlotsAndFailAndRecoverOnTheirOwn) {
    EmulatorProcess infodriver(std::to_string(kDevice) + "-" + std::to_string(kDevice + 1));
    ASSERT_TRUE(infodriver.ready());
    tree.useTwoDecks(kDevice);
    const std::size_t start = decks.mark();
    DriverProcess driver(std::to_string(kDevice));
    const auto window = driver.window();
    ASSERT_TRUE(window) << "no driver window";

    // VT n is served by infodriver (device number + n - 1).
    ASSERT_TRUE(infodriver.waitFor("connect", onDevice(kDevice)));
    ASSERT_TRUE(infodriver.waitFor("connect", onDevice(kDevice + 1)));
    EXPECT_TRUE(panelShows(*window, IDC_COMMS_BASE + 1, "OK"));
    EXPECT_TRUE(panelShows(*window, IDC_COMMS_BASE + 2, "OK"));
    for (int vt = 3; vt <= 9; ++vt)
        EXPECT_EQ(panel(*window, IDC_COMMS_BASE + 0 + vt), "(none)") << vt;
    EXPECT_TRUE(infodriver.waitFor("write", slotWrite(kDevice, engine::kCommsStateSlot, "0,0,")));
    EXPECT_TRUE(
        infodriver.waitFor("write", slotWrite(kDevice + 1, engine::kCommsStateSlot, "0,0,")));

    // Each machine is first asked for its status, then for its extended status.
    for (int deck : {1, 2}) {
        std::vector<std::string> frames;
        EXPECT_TRUE(eventually([&] {
            frames = decks.framesReceived(start, deck);
            return frames.size() >= 2;
        })) << "deck "
            << deck;
        if (frames.size() >= 2) {
            EXPECT_EQ(frames[0], "61 20 05 86") << "deck " << deck;
            EXPECT_EQ(frames[1], "61 20 09 8a") << "deck " << deck;
        }
    }

    // Stop, then play through slot 1: the bytes on the wire, the state in slot 2 and in the
    // Transport cell, the command in the Last Cmd cell.
    std::size_t before = decks.mark();
    infodriver.send("write 101 1 1");
    EXPECT_TRUE(panelShows(*window, IDC_LAST_CMD_BASE + 1, "Stop"));
    EXPECT_TRUE(panelShows(*window, IDC_TRANSPORT_BASE + 1, "Stop"));
    // STOP, then standby on, a status request and full EE off.
    std::vector<std::string> frames;
    EXPECT_TRUE(eventually([&] {
        frames = decks.framesReceived(before, 1);
        const auto stop = std::find(frames.begin(), frames.end(), "20 00 20");
        return frames.end() - stop >= 4;
    }));
    EXPECT_THAT(frames, ::testing::IsSupersetOf({"20 00 20", "20 05 25", "20 60 80"}));
    before = decks.mark();
    infodriver.send("write 101 1 2");
    EXPECT_TRUE(infodriver.waitFor("write", slotWrite(kDevice, engine::kTransportStateSlot, "2")));
    EXPECT_TRUE(panelShows(*window, IDC_TRANSPORT_BASE + 1, "Play"));
    EXPECT_EQ(panel(*window, IDC_LAST_CMD_BASE + 1), "Play");
    {
        // PLAY, and behind it the current-time request and a status request.
        const auto frames = decks.framesReceived(before, 1);
        const auto play = std::find(frames.begin(), frames.end(), "20 01 21");
        ASSERT_NE(play, frames.end());
        ASSERT_GE(frames.end() - play, 3);
        EXPECT_EQ(play[1], "61 0c 01 6e");
        EXPECT_EQ(play[2], "61 20 05 86");
    }
    // VT2 is untouched by VT1's commands.
    EXPECT_EQ(panel(*window, IDC_LAST_CMD_BASE + 2), "");

    // While playing, slot 11 follows the tape. The timecode poll goes as fast as it may
    // (a shorter period is raised to 40 ms and written back).
    infodriver.send("write 101 10 10");
    EXPECT_TRUE(infodriver.waitFor("write", slotWrite(kDevice, engine::kTimecodePeriodSlot, "40")));
    std::vector<std::string> times;
    while (times.size() < 3) {
        const auto write = infodriver.waitFor("write", [](const EventRecord& r) {
            return r.field("dev") == "101" &&
                   r.field("slot") == std::to_string(engine::kTimecodeSlot);
        });
        if (!write) break;
        times.push_back(write->text.value_or(""));
    }
    const std::regex timecode("\\d\\d\\.\\d\\d\\.\\d\\d\\.\\d\\d");
    for (const std::string& t : times) EXPECT_TRUE(std::regex_match(t, timecode)) << t;
    EXPECT_LT(times[1], times[2]);  // hh.mm.ss.ff compares as time while it plays on

    // Fast forward on VT2 reaches deck 2 only.
    before = decks.mark();
    infodriver.send("write 102 1 5");
    EXPECT_TRUE(
        infodriver.waitFor("write", slotWrite(kDevice + 1, engine::kTransportStateSlot, "5")));
    EXPECT_TRUE(panelShows(*window, IDC_TRANSPORT_BASE + 2, "FFwd"));
    {
        EXPECT_THAT(decks.framesReceived(before, 2), ::testing::Contains("20 10 30"));
        for (const std::string& frame : decks.framesReceived(before, 1)) {
            EXPECT_NE(frame, "20 10 30");
        }
    }

    // A deck that stops answering fails on its own; it recovers when it answers again.
    ASSERT_TRUE(decks.control("deck 1 fault silent"));
    EXPECT_TRUE(panelShows(*window, IDC_COMMS_BASE + 1, "!! tFAIL !!"));
    EXPECT_TRUE(infodriver.waitFor("write", slotWrite(kDevice, engine::kCommsStateSlot, "1,0,")));
    EXPECT_EQ(panel(*window, IDC_COMMS_BASE + 2), "OK");
    ASSERT_TRUE(decks.control("deck 1 clear"));
    EXPECT_TRUE(panelShows(*window, IDC_COMMS_BASE + 1, "OK"));
    EXPECT_TRUE(infodriver.waitFor("write", slotWrite(kDevice, engine::kCommsStateSlot, "0,0,")));

    // Reset VT2 from the menu: failed at once, answering again at the next poll.
    ASSERT_TRUE(window->command(IDM_RESET_VT_BASE + 2));
    EXPECT_TRUE(
        infodriver.waitFor("write", slotWrite(kDevice + 1, engine::kCommsStateSlot, "1,0,")));
    EXPECT_TRUE(
        infodriver.waitFor("write", slotWrite(kDevice + 1, engine::kCommsStateSlot, "0,0,")));
    EXPECT_TRUE(panelShows(*window, IDC_COMMS_BASE + 2, "OK"));
    // Resetting a VT that is not configured changes nothing.
    ASSERT_TRUE(window->command(IDM_RESET_VT_BASE + 5));
    EXPECT_EQ(panel(*window, IDC_COMMS_BASE + 5), "(none)");

    // The counters are refreshed once per poll round.
    EXPECT_TRUE(eventually([&] {
        return panel(*window, IDC_TX_COUNT_BASE + 1) != "00000000" &&
               panel(*window, IDC_RX_COUNT_BASE + 1) != "00000000" &&
               panel(*window, IDC_TX_COUNT_BASE + 2) != "00000000" &&
               panel(*window, IDC_INFODRIVER_RX) != "00000000" &&
               panel(*window, IDC_INFODRIVER_TX) != "00000000";
    }));
    EXPECT_EQ(panel(*window, IDC_TX_COUNT_BASE + 3), "00000000");

    infodriver.send("write 101 1 1");
    infodriver.send("write 102 1 1");
    EXPECT_TRUE(panelShows(*window, IDC_TRANSPORT_BASE + 1, "Stop"));
    EXPECT_TRUE(panelShows(*window, IDC_TRANSPORT_BASE + 2, "Stop"));

    // The infodriver going away ends the driver, and every client says goodbye.
    infodriver.send("disconnect 101");
    const auto code = driver.waitForExit(5000);
    ASSERT_TRUE(code) << "the driver did not end";
    EXPECT_EQ(*code, 0u);
    EXPECT_TRUE(infodriver.waitFor("gone", onDevice(kDevice)));
    EXPECT_TRUE(infodriver.waitFor("gone", onDevice(kDevice + 1)));
}

// --- Line settings ---

// Every start opens the decks with the default line settings, odd parity included, although
// they are pseudo-terminals that the previous start also set to odd parity.
TEST_F(DriverTest, EveryStartOpensTheDecksWithTheDefaultOddParity) {
    EmulatorProcess infodriver(std::to_string(kDevice) + "-" + std::to_string(kDevice + 1));
    ASSERT_TRUE(infodriver.ready());
    tree.set(kDevice, "VT1", "Port", std::to_string(Decks::kPort1));
    tree.set(kDevice, "VT2", "Port", std::to_string(Decks::kPort2));
    for (int start = 1; start <= 2; ++start) {
        DriverProcess driver(std::to_string(kDevice));
        const auto window = driver.window();
        ASSERT_TRUE(window) << "start " << start << ": no driver window";
        EXPECT_TRUE(panelShows(*window, IDC_COMMS_BASE + 1, "OK")) << "start " << start;
        EXPECT_TRUE(panelShows(*window, IDC_COMMS_BASE + 2, "OK")) << "start " << start;
        EXPECT_TRUE(sim::probe::messageBoxesOf(driver.id()).empty()) << "start " << start;
        ASSERT_TRUE(window->command(IDM_EXIT));
        const auto code = driver.waitForExit(5000);
        ASSERT_TRUE(code) << "start " << start << ": Exit did not end the driver";
        EXPECT_EQ(*code, 0u);
        EXPECT_TRUE(infodriver.waitFor("gone", onDevice(kDevice)));
        EXPECT_TRUE(infodriver.waitFor("gone", onDevice(kDevice + 1)));
    }
    EXPECT_EQ(tree.get(kDevice, "VT1", "Parity"), "O");
    EXPECT_EQ(tree.get(kDevice, "VT2", "Parity"), "O");
}

// --- The debug view, its menu and the disk log ---

TEST_F(DriverTest, DebugMenuResizesTheWindowKeepsItsMarksAndWritesTheSettingAndTheLog) {
    EmulatorProcess infodriver(std::to_string(kDevice) + "-" + std::to_string(kDevice + 1));
    ASSERT_TRUE(infodriver.ready());
    tree.useTwoDecks(kDevice);
    DriverProcess driver(std::to_string(kDevice));
    const auto window = driver.window();
    ASSERT_TRUE(window) << "no driver window";
    ASSERT_TRUE(
        panelShows(*window, IDC_COMMS_BASE + 1, "OK"));  // slot traffic has started the menu reader

    auto marks = [&] {
        std::string out;
        for (const auto& [name, id] :
             {std::pair{"on", IDM_DEBUG_ON}, std::pair{"hide", IDM_DEBUG_HIDE},
              std::pair{"logging", IDM_DEBUG_LOGGING}}) {
            const auto checked = window->menuChecked(id);
            out += std::string(name) + "=" + (checked ? (*checked ? "1" : "0") : "?") + " ";
        }
        return out;
    };
    // An operator opens the minimised window first.
    ASSERT_TRUE(eventually([&] { return window->minimised(); }));
    ASSERT_TRUE(window->show(SW_RESTORE));
    // The restore is carried out by the window's own thread: the window may lose its
    // minimised state a moment before it has its restored size.
    ASSERT_TRUE(eventually([&] { return !window->minimised() && windowHeight(*window) > 42; }));

    // Started with DebugMode 0: the panel only, Hide checked.
    const int closedHeight = windowHeight(*window);
    EXPECT_LT(closedHeight, 640);
    EXPECT_GT(closedHeight, 42);
    EXPECT_EQ(marks(), "on=0 hide=1 logging=0 ");
    EXPECT_EQ(window->traceLines().value_or(std::vector<std::string>{"<none>"}).size(), 0u);

    // Hide opens the view, switches tracing on and stores it.
    ASSERT_TRUE(window->command(IDM_DEBUG_HIDE));
    EXPECT_TRUE(eventually([&] { return windowHeight(*window) == 640; }));
    EXPECT_TRUE(eventually([&] { return marks() == "on=1 hide=0 logging=0 "; }));
    EXPECT_EQ(tree.get(kDevice, "KORVEL", "DebugMode"), "1");
    std::vector<std::string> lines;
    EXPECT_TRUE(eventually([&] {
        lines = window->traceLines().value_or(std::vector<std::string>{});
        for (const std::string& line : lines) {
            if (line.find("TX: 61 20 05 86 ") != std::string::npos) return true;
        }
        return false;
    })) << "no status request in the trace";
    for (const std::string& line : lines) {
        EXPECT_TRUE(std::regex_match(line, std::regex("\\d{6,}:   .*"))) << line;
    }

    // Clear empties the list; it fills again while tracing is on.
    const std::size_t shown = lines.size();
    ASSERT_TRUE(window->command(IDM_DEBUG_CLEAR));
    EXPECT_TRUE(eventually(
        [&] { return window->traceLines().value_or(std::vector<std::string>{}).size() < shown; }));

    // On while tracing only switches it off and stores 0: the window keeps its size.
    ASSERT_TRUE(window->command(IDM_DEBUG_ON));
    EXPECT_TRUE(eventually([&] { return marks() == "on=0 hide=0 logging=0 "; }));
    EXPECT_EQ(tree.get(kDevice, "KORVEL", "DebugMode"), "0");
    EXPECT_EQ(windowHeight(*window), 640);
    const std::size_t frozen = window->traceLines().value_or(std::vector<std::string>{}).size();
    Sleep(400);  // a few polls, none of them traced
    EXPECT_EQ(window->traceLines().value_or(std::vector<std::string>{}).size(), frozen);

    // The second Hide closes the view again.
    ASSERT_TRUE(window->command(IDM_DEBUG_HIDE));
    EXPECT_TRUE(eventually([&] { return windowHeight(*window) == closedHeight; }));
    EXPECT_TRUE(eventually([&] { return marks() == "on=0 hide=1 logging=0 "; }));
    EXPECT_EQ(tree.get(kDevice, "KORVEL", "DebugMode"), "0");

    // Logging writes the serial traffic, time-stamped, until it is switched off again.
    EXPECT_FALSE(readWholeFile(tree.logFile()));
    ASSERT_TRUE(window->command(IDM_DEBUG_LOGGING));
    EXPECT_TRUE(eventually([&] { return marks() == "on=0 hide=1 logging=1 "; }));
    std::string log;
    EXPECT_TRUE(eventually([&] {
        log = readWholeFile(tree.logFile()).value_or("");
        return log.find("TX: 61 20 05 86 \r\n") != std::string::npos &&
               log.find("Read[vt1] ") != std::string::npos &&
               log.find("Read[vt2] ") != std::string::npos;
    })) << log;
    // Frames written in lower case, bytes read in capitals, each followed by a blank.
    const std::regex stamped(
        "\\d\\d/\\d\\d/\\d{4} \\d\\d:\\d\\d:\\d\\d "
        "(TX: ([0-9a-f]{2} )+|Read\\[vt[12]\\] ([0-9A-F]{2} )+)");
    std::size_t begin = 0;
    while (begin < log.size()) {
        const std::size_t end = log.find("\r\n", begin);
        ASSERT_NE(end, std::string::npos) << "a line without its end";
        const std::string line = log.substr(begin, end - begin);
        EXPECT_TRUE(std::regex_match(line, stamped)) << line;
        begin = end + 2;
    }
    ASSERT_TRUE(window->command(IDM_DEBUG_LOGGING));
    EXPECT_TRUE(eventually([&] { return marks() == "on=0 hide=1 logging=0 "; }));
    const std::size_t closedAt = readWholeFile(tree.logFile()).value_or("").size();
    Sleep(400);
    EXPECT_EQ(readWholeFile(tree.logFile()).value_or("").size(), closedAt);

    // Exit from the menu ends the driver; every client says goodbye.
    ASSERT_TRUE(window->command(IDM_EXIT));
    const auto code = driver.waitForExit(5000);
    ASSERT_TRUE(code) << "Exit did not end the driver";
    EXPECT_EQ(*code, 0u);
    EXPECT_TRUE(infodriver.waitFor("gone", onDevice(kDevice)));
    EXPECT_TRUE(infodriver.waitFor("gone", onDevice(kDevice + 1)));
}

}  // namespace
}  // namespace korvel::e2e
