#include "tests/system/e2e_support.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "engine/slot_layout.h"
#include "sim/common/win32_files.h"
#include "sim/vtr/wire_log.h"
#include "tests/support/emulator_process.h"

namespace korvel::e2e {
namespace {

using sim::removeTree;

// A Unix path as wine sees it.
std::string unixPath(const char* path) {
    std::string windows = std::string("Z:") + path;
    for (char& c : windows) {
        if (c == '/') c = '\\';
    }
    return windows;
}

constexpr const char* kSystem = "sys";

}  // namespace

bool eventually(const std::function<bool()>& condition, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        if (condition()) return true;
        if (GetTickCount64() >= deadline) return false;
        Sleep(25);
    }
}

SettingsTree::SettingsTree() {
    static std::atomic<int> next{0};
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    root_ = std::string(temp) + "korvel-e2e-" + std::to_string(GetCurrentProcessId()) + "-" +
            std::to_string(++next);
    removeTree(root_);  // a tree a killed run left behind
    CreateDirectoryA(root_.c_str(), nullptr);
    const std::string system = root_ + "\\" + kSystem;
    CreateDirectoryA(system.c_str(), nullptr);
    CreateDirectoryA((system + "\\config").c_str(), nullptr);
    CreateDirectoryA((system + "\\config\\system").c_str(), nullptr);
}

SettingsTree::~SettingsTree() {
    removeTree(root_);
}

void SettingsTree::apply() const {
    SetEnvironmentVariableA("RZ_ROOT", root_.c_str());
    SetEnvironmentVariableA("RZ_SYSTEM", kSystem);
}

std::string SettingsTree::deviceFile(int device) const {
    char name[32];
    std::snprintf(name, sizeof name, "DEV_%03d.ini", device);
    return root_ + "\\" + kSystem + "\\config\\system\\" + name;
}

std::string SettingsTree::logFile() const {
    return root_ + "\\" + kSystem + "\\logs\\korvel\\korvel.log";
}

void SettingsTree::set(int device, const std::string& section, const std::string& key,
                       const std::string& value) const {
    WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(),
                               deviceFile(device).c_str());
}

std::string SettingsTree::get(int device, const std::string& section,
                              const std::string& key) const {
    char value[256] = {};
    GetPrivateProfileStringA(section.c_str(), key.c_str(), "<missing>", value, sizeof value,
                             deviceFile(device).c_str());
    return value;
}

void SettingsTree::useTwoDecks(int device) const {
    for (int vt : {1, 2}) {
        const std::string section = "VT" + std::to_string(vt);
        set(device, section, "Port", std::to_string(Decks::kPort1 + vt - 1));
        set(device, section, "Parity", "N");
    }
}

std::string driverFolder() {
    return sim::testing::folderFromEnvironment("KORVEL_DRIVER_FOLDER");
}

DriverProcess::DriverProcess(const std::string& arguments, const std::string& folder) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    // A normal show command: the driver must still come up minimised.
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    std::string commandLine = "\"" + folder + "korvel.exe\"";
    if (!arguments.empty()) commandLine += " " + arguments;
    PROCESS_INFORMATION started{};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.c_str(), &startup, &started)) {
        return;
    }
    CloseHandle(started.hThread);
    process_ = started.hProcess;
    id_ = started.dwProcessId;
}

DriverProcess::~DriverProcess() {
    if (process_ == nullptr) return;
    if (running()) stop();
    CloseHandle(process_);
}

bool DriverProcess::running() const {
    return process_ != nullptr && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

std::optional<sim::probe::DriverWindow> DriverProcess::window(DWORD timeoutMs) const {
    if (process_ == nullptr) return std::nullopt;
    std::optional<sim::probe::DriverWindow> found;
    eventually(
        [&] {
            found = sim::probe::DriverWindow::find("CLASS_KORVEL", id_);
            return found.has_value() || !running();
        },
        timeoutMs);
    return found;
}

std::optional<DWORD> DriverProcess::waitForExit(DWORD timeoutMs) const {
    if (process_ == nullptr || WaitForSingleObject(process_, timeoutMs) != WAIT_OBJECT_0) {
        return std::nullopt;
    }
    DWORD code = 0;
    GetExitCodeProcess(process_, &code);
    return code;
}

bool DriverProcess::stop() {
    if (!running()) return true;
    if (auto window = sim::probe::DriverWindow::find("CLASS_KORVEL", id_)) {
        window->command(105);
        if (waitForExit(5000)) return true;
    }
    TerminateProcess(process_, 1);
    WaitForSingleObject(process_, 5000);
    return false;
}

std::string Decks::unavailableReason() {
    const char* control = std::getenv("KORVEL_DECK_CONTROL");
    const char* log = std::getenv("KORVEL_DECK_LOG");
    if (control == nullptr || log == nullptr) {
        return "KORVEL_DECK_CONTROL and KORVEL_DECK_LOG must name the deck emulator's control "
               "FIFO and log (./scripts/test sets both)";
    }
    if (!readWholeFile(unixPath(log))) return std::string("cannot read the deck log ") + log;
    return "";
}

std::size_t Decks::mark() const {
    const auto text = readWholeFile(unixPath(std::getenv("KORVEL_DECK_LOG")));
    return text ? text->size() : 0;
}

std::vector<DeckEvent> Decks::since(std::size_t mark) const {
    std::vector<DeckEvent> events;
    const auto text = readWholeFile(unixPath(std::getenv("KORVEL_DECK_LOG")));
    if (!text || text->size() <= mark) return events;
    std::istringstream lines(text->substr(mark));
    std::string line;
    while (std::getline(lines, line)) {
        auto parsed = sim::vtr::parseLogLine(line);
        if (!parsed) continue;  // a line cut short
        events.push_back({parsed->deck, std::move(parsed->event), std::move(parsed->detail)});
    }
    return events;
}

std::vector<std::string> Decks::framesReceived(std::size_t mark, int deck) const {
    std::vector<std::string> frames;
    for (const DeckEvent& event : since(mark)) {
        if (event.deck == deck && event.event == "rx") frames.push_back(event.detail);
    }
    return frames;
}

bool Decks::control(const std::string& line) const {
    const std::size_t before = mark();
    HANDLE fifo =
        CreateFileA(unixPath(std::getenv("KORVEL_DECK_CONTROL")).c_str(), GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (fifo == INVALID_HANDLE_VALUE) return false;
    const std::string text = line + "\n";
    DWORD written = 0;
    const bool sent =
        WriteFile(fifo, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
        written == text.size();
    CloseHandle(fifo);
    if (!sent) return false;
    return eventually([&] {
        for (const DeckEvent& event : since(before)) {
            if (event.deck == 0 && event.event == "ctl" && event.detail == line) return true;
        }
        return false;
    });
}

std::function<bool(const sim::EventRecord&)> slotWrite(int device, int slot,
                                                       const std::string& text) {
    return [=](const sim::EventRecord& r) {
        return r.field("dev") == std::to_string(device) &&
               r.field("slot") == std::to_string(slot) && r.text.value_or("") == text;
    };
}

void TwoDeckSystem::SetUp() {
    ASSERT_EQ(Decks::unavailableReason(), "");
    ASSERT_TRUE(decks.control("deck all clear"));
    tree.apply();
    tree.useTwoDecks(kDevice);
}

void TwoDeckSystem::start() {
    ASSERT_TRUE(infodriver.ready());
    driver = std::make_unique<DriverProcess>(std::to_string(kDevice));
    ASSERT_TRUE(driver->window()) << "no driver window";
    ASSERT_TRUE(
        infodriver.waitFor("write", slotWrite(kDevice, engine::kCommsStateSlot, "0,0,"), 10000));
    ASSERT_TRUE(infodriver.waitFor("write", slotWrite(kDevice + 1, engine::kCommsStateSlot, "0,0,"),
                                   10000));
}

}  // namespace korvel::e2e
