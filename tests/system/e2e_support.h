#pragma once

// The pieces of one end-to-end run: a settings tree of its own, the driver as a child
// process, and the emulated decks that ./scripts/test starts (their control FIFO and log).
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sim/common/win32_files.h"
#include "sim/probe/driver_window.h"
#include "tests/support/emulator_process.h"

namespace korvel::e2e {

// Polls the condition until it holds or the time is up; true when it held.
bool eventually(const std::function<bool()>& condition, DWORD timeoutMs = 5000);

// A fresh RZ_ROOT\RZ_SYSTEM tree in the temporary folder, removed at the end. apply() puts
// both variables into this process's environment, which the driver inherits.
class SettingsTree {
  public:
    SettingsTree();
    ~SettingsTree();
    SettingsTree(const SettingsTree&) = delete;
    SettingsTree& operator=(const SettingsTree&) = delete;

    void apply() const;
    std::string deviceFile(int device) const;  // ...\config\system\DEV_nnn.ini
    std::string logFile() const;               // ...\logs\korvel\korvel.log
    void set(int device, const std::string& section, const std::string& key,
             const std::string& value) const;
    std::string get(int device, const std::string& section, const std::string& key) const;
    // VT1 on the deck of COM21 and VT2 on that of COM22, at no parity (line settings mean
    // nothing to the emulated decks); everything else at its default.
    void useTwoDecks(int device) const;

  private:
    std::string root_;
};

using sim::readWholeFile;

// The folder of the korvel.exe under test: KORVEL_DRIVER_FOLDER, else the test program's.
std::string driverFolder();

// The driver, started from its folder (driverFolder() unless given) with the arguments given.
class DriverProcess {
  public:
    explicit DriverProcess(const std::string& arguments,
                           const std::string& folder = driverFolder());
    // Ends the driver if it still runs: Exit from its menu, then TerminateProcess.
    ~DriverProcess();
    DriverProcess(const DriverProcess&) = delete;
    DriverProcess& operator=(const DriverProcess&) = delete;

    bool started() const { return process_ != nullptr; }
    DWORD id() const { return id_; }
    bool running() const;
    // Its main window, once it appears.
    std::optional<sim::probe::DriverWindow> window(DWORD timeoutMs = 10000) const;
    // The exit code once it has ended within the time; nullopt while it runs.
    std::optional<DWORD> waitForExit(DWORD timeoutMs) const;
    // Exit through the menu; TerminateProcess if it does not end. True when it ended alone.
    bool stop();

  private:
    HANDLE process_ = nullptr;
    DWORD id_ = 0;
};

// One line of the deck emulator's log: "SECONDS DECK EVENT DETAIL".
struct DeckEvent {
    int deck = 0;
    std::string event;
    std::string detail;
};

// The decks on COM21 (deck 1) and COM22 (deck 2): control lines through the FIFO named by
// KORVEL_DECK_CONTROL, events read from the log named by KORVEL_DECK_LOG.
class Decks {
  public:
    static constexpr int kPort1 = 21;
    static constexpr int kPort2 = 22;

    // Empty when both are usable, else what is missing.
    static std::string unavailableReason();

    // Writes a control line and waits until the log shows it applied.
    bool control(const std::string& line) const;
    // Where the log ends now: later reads start here.
    std::size_t mark() const;
    std::vector<DeckEvent> since(std::size_t mark) const;
    // The "rx" frames a deck received after the mark, as logged ("61 20 05 86").
    std::vector<std::string> framesReceived(std::size_t mark, int deck) const;
};

// A slot write of the driver that the infodriver emulator printed.
std::function<bool(const sim::EventRecord&)> slotWrite(int device, int slot,
                                                       const std::string& text);

// The driver serving VT1 and VT2 on the two decks, every fault of theirs cleared, through the
// infodrivers kDevice and kDevice + 1.
class TwoDeckSystem : public ::testing::Test {
  protected:
    static constexpr int kDevice = 101;

    void SetUp() override;
    // Starts the driver and waits until both VTs answer ("0,0," in slot 3 of each).
    void start();

    SettingsTree tree;
    Decks decks;
    sim::testing::EmulatorProcess infodriver{std::to_string(kDevice) + "-" +
                                             std::to_string(kDevice + 1)};
    std::unique_ptr<DriverProcess> driver;
};

}  // namespace korvel::e2e
