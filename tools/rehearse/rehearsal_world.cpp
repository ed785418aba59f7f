#include "tools/rehearse/rehearsal_world.h"

#include <cstdlib>
#include <cstring>

#include "config/device_settings.h"
#include "config/setting_keys.h"
#include "shell/resource.h"
#include "sim/common/win32_files.h"
#include "sim/probe/driver_window.h"

namespace korvel::tools::rehearse {

std::atomic<bool> gInterrupted{false};

namespace {

using sim::removeTree;

constexpr const char* kFolderPrefix = "korvel-rehearse-";
constexpr const char* kSystem = "sys";
constexpr DWORD kPollMs = 20;

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool fileExists(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The file beside this program, else one folder up; empty when in neither.
std::string besideOrAbove(const std::string& folder, const std::string& name) {
    if (fileExists(folder + name)) return folder + name;
    const std::string parent = folderOf(folder.substr(0, folder.size() - 1));
    if (!parent.empty() && fileExists(parent + name)) return parent + name;
    return {};
}

bool processRuns(DWORD id) {
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, id);
    if (process == nullptr) return false;
    const bool runs = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return runs;
}

// The folders that rehearsals killed before their end left in the temporary folder.
void removeLeftBehindFolders(const std::string& temp) {
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA((temp + kFolderPrefix + "*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
        const DWORD id = std::strtoul(entry.cFileName + std::strlen(kFolderPrefix), nullptr, 10);
        if (id != 0 && id != GetCurrentProcessId() && !processRuns(id))
            removeTree(temp + entry.cFileName);
    } while (FindNextFileA(search, &entry));
    FindClose(search);
}

std::string quoted(const std::string& path) {
    return "\"" + path + "\"";
}

std::string lastLines(const std::vector<std::string>& lines, std::size_t count) {
    std::string text;
    for (std::size_t i = lines.size() > count ? lines.size() - count : 0; i < lines.size(); ++i)
        text += "\n    " + lines[i];
    return text;
}

}  // namespace

std::optional<Programs> findPrograms(std::string& missing) {
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    Programs programs;
    programs.rehearse.assign(path, length);
    const std::string folder = folderOf(programs.rehearse);
    programs.driver = besideOrAbove(folder, "korvel.exe");
    programs.decks = besideOrAbove(folder, "vtr-emulator.exe");
    if (fileExists(folder + "infodriver-emulator.exe"))
        programs.infodriver = folder + "infodriver-emulator.exe";
    if (fileExists(folder + "VRAXIF32.dll")) programs.library = folder + "VRAXIF32.dll";
    missing.clear();
    if (programs.driver.empty()) missing += " korvel.exe (here or one folder up)";
    if (programs.decks.empty()) missing += " vtr-emulator.exe (here or one folder up)";
    if (programs.infodriver.empty()) missing += " infodriver-emulator.exe (here)";
    if (programs.library.empty()) missing += " VRAXIF32.dll (here)";
    if (!missing.empty()) return std::nullopt;
    return programs;
}

RehearsalWorld::RehearsalWorld(const RehearsalOptions& options, const Programs& programs)
    : options_(options), programs_(programs) {}

RehearsalWorld::~RehearsalWorld() {
    std::vector<std::string> notes;
    stop(notes);
    if (!folder_.empty() && !options_.keep) {
        // A process that has just ended may hold its files a moment longer.
        for (int attempt = 0; attempt < 20; ++attempt) {
            removeTree(folder_);
            if (GetFileAttributesA(folder_.c_str()) == INVALID_FILE_ATTRIBUTES) break;
            Sleep(100);
        }
    }
}

std::string RehearsalWorld::logsFolder() const {
    return folder_ + "\\root\\" + kSystem + "\\logs\\korvel";
}

bool RehearsalWorld::prepare(std::string& error) {
    char temp[MAX_PATH] = {};
    if (GetTempPathA(MAX_PATH, temp) == 0) {
        error = "Windows has no temporary folder for this user";
        return false;
    }
    removeLeftBehindFolders(temp);
    const std::string folder =
        std::string(temp) + kFolderPrefix + std::to_string(GetCurrentProcessId());
    removeTree(folder);
    const std::string system = folder + "\\root\\" + kSystem;
    for (const std::string& made : {folder, folder + "\\program", folder + "\\root", system,
                                    system + "\\config", system + "\\config\\system"}) {
        if (!CreateDirectoryA(made.c_str(), nullptr)) {
            error = "cannot make the folder " + made + " (error " + std::to_string(GetLastError()) +
                    ")";
            return false;
        }
        folder_ = folder;  // from the first folder made on, the end removes it
    }
    // The driver runs as a copy beside the stand-in library: never beside a site's own.
    if (!CopyFileA(programs_.driver.c_str(), (folder + "\\program\\korvel.exe").c_str(), FALSE) ||
        !CopyFileA(programs_.library.c_str(), (folder + "\\program\\VRAXIF32.dll").c_str(),
                   FALSE)) {
        error = "cannot copy the driver into " + folder + "\\program (error " +
                std::to_string(GetLastError()) + ")";
        return false;
    }
    using namespace config;
    std::string settings = std::string("[") + kDriverSection + "]\r\n" + kDebugModeKey.key +
                           "=1\r\n" + kLogToDiskKey.key + "=1\r\n";
    for (int vt = 1; vt <= options_.vts; ++vt) {
        settings += "[VT" + std::to_string(vt) + "]\r\n";
        settings += std::string(kPortKey.key) + "=" + std::to_string(driverPort(vt)) + "\r\n";
        for (const SettingKey* key : {&kSpeedKey, &kDataBitsKey, &kParityKey, &kStopBitsKey})
            settings += std::string(key->key) + "=" + key->defaultText + "\r\n";
    }
    const std::string file = system + "\\config\\system\\" + deviceFileName(options_.device);
    HANDLE out = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    const bool wrote =
        out != INVALID_HANDLE_VALUE &&
        WriteFile(out, settings.data(), static_cast<DWORD>(settings.size()), &written, nullptr) &&
        written == settings.size();
    if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
    if (!wrote) {
        error = "cannot write the driver's settings " + file;
        return false;
    }
    return true;
}

bool RehearsalWorld::startEmulator(ChildProcess& process, const std::string& commandLine,
                                   const std::function<bool()>& ready, const char* name,
                                   std::string& error) {
    if (!process.start(commandLine, folderOf(programs_.rehearse), true, job_, error)) {
        error = std::string(name) + ": " + error;
        return false;
    }
    const ULONGLONG deadline = GetTickCount64() + 15000;
    for (;;) {
        if (ready()) return true;
        if (!process.running() || GetTickCount64() >= deadline || gInterrupted) break;
        Sleep(kPollMs);
    }
    Sleep(200);  // what it printed on its way out
    error = std::string(name) + (process.running() ? " did not get ready" : " ended") +
            "; it printed:" + lastLines(process.linesFrom(0), 8);
    return false;
}

bool RehearsalWorld::startDecks(std::string& error) {
    std::string commandLine = quoted(programs_.decks);
    for (int vt = 1; vt <= options_.vts; ++vt)
        commandLine += " --port COM" + std::to_string(deckPort(vt));
    bool failed = false;
    const bool started = startEmulator(
        decks_, commandLine,
        [&] {
            int open = 0;
            for (const sim::vtr::LogLine& line : deckSince(0)) {
                if (line.event == "open") ++open;
                if (line.event == "error") failed = true;
            }
            return open == options_.vts || failed;
        },
        "the deck emulator", error);
    if (started && failed) {
        error = "the deck emulator could not open its port:" + lastLines(decks_.linesFrom(0), 8);
        return false;
    }
    return started;
}

bool RehearsalWorld::startInfodriver(std::string& error) {
    const std::string devices =
        std::to_string(device(1)) + "-" + std::to_string(device(options_.vts));
    return startEmulator(
        infodriver_, quoted(programs_.infodriver) + " --precise-time " + devices,
        [&] {
            for (const sim::EventRecord& event : eventsSince(0))
                if (event.event == "ready") return true;
            return false;
        },
        "the infodriver emulator", error);
}

bool RehearsalWorld::startDriver(std::string& error) {
    const std::string root = folder_ + "\\root";
    SetEnvironmentVariableA("RZ_ROOT", root.c_str());
    SetEnvironmentVariableA("RZ_SYSTEM", kSystem);
    const std::string program = folder_ + "\\program\\korvel.exe";
    if (!driver_.start(quoted(program) + " " + std::to_string(options_.device),
                       folder_ + "\\program", false, job_, error)) {
        error = "korvel.exe: " + error;
        return false;
    }
    const ULONGLONG deadline = GetTickCount64() + 15000;
    while (!sim::probe::DriverWindow::find("CLASS_KORVEL", driver_.id())) {
        if (const auto code = driver_.waitForExit(0)) {
            error = "korvel.exe ended at its start with exit code " + std::to_string(*code) +
                    " (its events journal, below, says why)";
            return false;
        }
        if (GetTickCount64() >= deadline || gInterrupted) {
            error = "korvel.exe opened no window within 15 s";
            return false;
        }
        Sleep(kPollMs);
    }
    return true;
}

void RehearsalWorld::stop(std::vector<std::string>& notes) {
    if (driver_.running()) {
        if (auto window = sim::probe::DriverWindow::find("CLASS_KORVEL", driver_.id()))
            window->command(IDM_EXIT);
        if (!driver_.waitForExit(15000)) {
            notes.push_back("korvel.exe did not end after Exit within 15 s: ended by force");
            driver_.terminate();
        }
    }
    for (ChildProcess* emulator : {&decks_, &infodriver_}) {
        if (!emulator->running()) continue;
        emulator->send("quit");
        if (!emulator->waitForExit(5000)) {
            notes.push_back(
                std::string(emulator == &decks_ ? "the deck emulator" : "the infodriver emulator") +
                " did not end on quit within 5 s: ended by force");
            emulator->terminate();
        }
    }
}

void RehearsalWorld::writeSlot(int vt, int slot, const std::string& text) {
    infodriver_.send("write " + std::to_string(device(vt)) + " " + std::to_string(slot) + " " +
                     sim::escapeText(text));
}

bool RehearsalWorld::deckControl(const std::string& line) {
    const std::size_t mark = deckMark();
    decks_.send(line);
    return waitDeck(
               mark,
               [&](const sim::vtr::LogLine& logged) {
                   return logged.deck == 0 && logged.event == "ctl" && logged.detail == line;
               },
               5000)
        .has_value();
}

void RehearsalWorld::refresh() {
    for (std::string& line : infodriver_.linesFrom(eventsRead_)) {
        ++eventsRead_;
        if (auto record = sim::parseEventLine(line)) events_.push_back(std::move(*record));
    }
    for (std::string& line : decks_.linesFrom(deckRead_)) {
        ++deckRead_;
        if (auto parsed = sim::vtr::parseLogLine(line)) deckLines_.push_back(std::move(*parsed));
    }
}

std::size_t RehearsalWorld::eventMark() {
    refresh();
    return events_.size();
}

std::size_t RehearsalWorld::deckMark() {
    refresh();
    return deckLines_.size();
}

std::vector<sim::EventRecord> RehearsalWorld::eventsSince(std::size_t mark) {
    refresh();
    if (mark >= events_.size()) return {};
    return {events_.begin() + static_cast<std::ptrdiff_t>(mark), events_.end()};
}

std::vector<sim::vtr::LogLine> RehearsalWorld::deckSince(std::size_t mark) {
    refresh();
    if (mark >= deckLines_.size()) return {};
    return {deckLines_.begin() + static_cast<std::ptrdiff_t>(mark), deckLines_.end()};
}

std::optional<sim::EventRecord> RehearsalWorld::waitEvent(
    std::size_t mark, const std::function<bool(const sim::EventRecord&)>& match, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        refresh();
        for (std::size_t i = mark; i < events_.size(); ++i)
            if (match(events_[i])) return events_[i];
        mark = events_.size();
        if (GetTickCount64() >= deadline || gInterrupted) return std::nullopt;
        Sleep(kPollMs);
    }
}

std::optional<sim::vtr::LogLine> RehearsalWorld::waitDeck(
    std::size_t mark, const std::function<bool(const sim::vtr::LogLine&)>& match, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        refresh();
        for (std::size_t i = mark; i < deckLines_.size(); ++i)
            if (match(deckLines_[i])) return deckLines_[i];
        mark = deckLines_.size();
        if (GetTickCount64() >= deadline || gInterrupted) return std::nullopt;
        Sleep(kPollMs);
    }
}

std::function<bool(const sim::EventRecord&)> RehearsalWorld::slotWrite(
    int vt, int slot, const std::function<bool(const std::string&)>& text) const {
    const std::string dev = std::to_string(device(vt));
    const std::string slotText = std::to_string(slot);
    return [=](const sim::EventRecord& event) {
        return event.event == "write" && event.field("dev") == dev &&
               event.field("slot") == slotText && text(event.text.value_or(""));
    };
}

std::string RehearsalWorld::lastSlotText(int vt, int slot) {
    refresh();
    const auto match = slotWrite(vt, slot, [](const std::string&) { return true; });
    for (auto it = events_.rbegin(); it != events_.rend(); ++it)
        if (match(*it))
            return "slot " + std::to_string(slot) + " \"" + it->text.value_or("") + "\"";
    return "nothing in slot " + std::to_string(slot);
}

}  // namespace korvel::tools::rehearse
