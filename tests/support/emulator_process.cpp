#include "tests/support/emulator_process.h"

#include <cstdio>

namespace korvel::sim::testing {

std::string programFolder() {
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, length);
    return folder.substr(0, folder.find_last_of("\\/") + 1);
}

std::string folderFromEnvironment(const char* variable) {
    char folder[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableA(variable, folder, sizeof folder);
    return length > 0 && length < sizeof folder ? std::string(folder, length) : programFolder();
}

EmulatorProcess::EmulatorProcess(const std::string& arguments) {
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE childInput = nullptr;
    HANDLE childOutput = nullptr;
    if (!CreatePipe(&childInput, &input_, &inheritable, 0) ||
        !CreatePipe(&output_, &childOutput, &inheritable, 0)) {
        return;
    }
    SetHandleInformation(input_, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(output_, HANDLE_FLAG_INHERIT, 0);
    lineArrived_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = childInput;
    startup.hStdOutput = childOutput;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    std::string commandLine = "\"" + folderFromEnvironment("KORVEL_EMULATOR_FOLDER") +
                              "infodriver-emulator.exe\" " + arguments;
    PROCESS_INFORMATION started{};
    const BOOL created = CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0,
                                        nullptr, nullptr, &startup, &started);
    CloseHandle(childInput);
    CloseHandle(childOutput);
    if (!created) return;
    CloseHandle(started.hThread);
    process_ = started.hProcess;
    processId_ = started.dwProcessId;
    reader_ = std::thread([this] { readOutput(); });
    ready_ = waitFor("ready", {}, 10000).has_value();
}

EmulatorProcess::~EmulatorProcess() {
    if (process_ != nullptr && !quit()) TerminateProcess(process_, 1);
    if (input_ != nullptr) CloseHandle(input_);
    if (reader_.joinable()) reader_.join();
    if (output_ != nullptr) CloseHandle(output_);
    if (process_ != nullptr) CloseHandle(process_);
    if (lineArrived_ != nullptr) CloseHandle(lineArrived_);
}

void EmulatorProcess::send(const std::string& line) {
    const std::string text = line + "\n";
    DWORD written = 0;
    if (input_ != nullptr) {
        WriteFile(input_, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    }
}

std::optional<EventRecord> EmulatorProcess::waitFor(
    const std::string& event, const std::function<bool(const EventRecord&)>& match,
    DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            for (Line& line : lines_) {
                if (!line.taken && line.record.event == event && (!match || match(line.record))) {
                    line.taken = true;
                    return line.record;
                }
            }
        }
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) return std::nullopt;
        const DWORD left = static_cast<DWORD>(deadline - now);
        MsgWaitForMultipleObjects(1, &lineArrived_, FALSE, left < 50 ? left : 50, QS_ALLINPUT);
        pumpMessages(0);
    }
}

bool EmulatorProcess::sync(DWORD timeoutMs) {
    const std::string token = "sync" + std::to_string(++pings_);
    send("ping " + token);
    return waitFor(
               "pong", [&](const EventRecord& r) { return r.text == token; }, timeoutMs)
        .has_value();
}

std::vector<EventRecord> EmulatorProcess::untaken(const std::string& event) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<EventRecord> found;
    for (const Line& line : lines_) {
        if (!line.taken && line.record.event == event) found.push_back(line.record);
    }
    return found;
}

bool EmulatorProcess::quit(DWORD timeoutMs) {
    if (process_ == nullptr) return false;
    if (WaitForSingleObject(process_, 0) == WAIT_OBJECT_0) return true;
    send("quit");
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (WaitForSingleObject(process_, 0) != WAIT_OBJECT_0) {
        if (GetTickCount64() >= deadline) return false;
        // Keep answering: the emulator may be sending to a window of this thread.
        MsgWaitForMultipleObjects(1, &process_, FALSE, 50, QS_ALLINPUT);
        pumpMessages(0);
    }
    return true;
}

void EmulatorProcess::kill() {
    if (process_ == nullptr) return;
    TerminateProcess(process_, 1);
    WaitForSingleObject(process_, 5000);
}

void EmulatorProcess::readOutput() {
    std::string pending;
    char chunk[4096];
    DWORD count = 0;
    while (ReadFile(output_, chunk, sizeof chunk, &count, nullptr) && count > 0) {
        pending.append(chunk, count);
        std::size_t end;
        while ((end = pending.find('\n')) != std::string::npos) {
            const std::string text = pending.substr(0, end);
            pending.erase(0, end + 1);
            if (auto record = parseEventLine(text)) {
                std::lock_guard<std::mutex> lock(mutex_);
                lines_.push_back({std::move(*record), false});
            } else {
                std::fprintf(stderr, "emulator printed an unreadable line: %s\n", text.c_str());
            }
            SetEvent(lineArrived_);
        }
    }
}

void pumpMessages(DWORD milliseconds) {
    const ULONGLONG deadline = GetTickCount64() + milliseconds;
    do {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        if (milliseconds == 0) break;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    } while (GetTickCount64() < deadline);
}

}  // namespace korvel::sim::testing
