#include "tools/rehearse/child_process.h"

namespace korvel::tools::rehearse {

ChildJob::ChildJob() {
    job_ = CreateJobObjectW(nullptr, nullptr);
    if (job_ == nullptr) return;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!SetInformationJobObject(job_, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
        CloseHandle(job_);
        job_ = nullptr;
    }
}

ChildJob::~ChildJob() {
    if (job_ != nullptr) CloseHandle(job_);
}

bool ChildJob::add(HANDLE process) {
    if (job_ != nullptr && AssignProcessToJobObject(job_, process)) return true;
    refused_ = true;
    return false;
}

ChildProcess::~ChildProcess() {
    terminate();
    if (input_ != nullptr) CloseHandle(input_);
    if (reader_.joinable()) reader_.join();
    if (output_ != nullptr) CloseHandle(output_);
    if (process_ != nullptr) CloseHandle(process_);
}

bool ChildProcess::start(const std::string& commandLine, const std::string& folder, bool pipes,
                         ChildJob& job, std::string& error) {
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE childInput = nullptr;
    HANDLE childOutput = nullptr;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    if (pipes) {
        if (!CreatePipe(&childInput, &input_, &inheritable, 0) ||
            !CreatePipe(&output_, &childOutput, &inheritable, 0)) {
            error = "no pipe (error " + std::to_string(GetLastError()) + ")";
            return false;
        }
        SetHandleInformation(input_, HANDLE_FLAG_INHERIT, 0);
        SetHandleInformation(output_, HANDLE_FLAG_INHERIT, 0);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = childInput;
        startup.hStdOutput = childOutput;
        startup.hStdError = childOutput;
    }
    std::string line = commandLine;
    PROCESS_INFORMATION started{};
    // Suspended until it is in the job, so that nothing it starts can escape the job.
    const BOOL created =
        CreateProcessA(nullptr, line.data(), nullptr, nullptr, pipes ? TRUE : FALSE,
                       CREATE_SUSPENDED | CREATE_NEW_PROCESS_GROUP, nullptr,
                       folder.empty() ? nullptr : folder.c_str(), &startup, &started);
    const DWORD createError = GetLastError();
    if (childInput != nullptr) CloseHandle(childInput);
    if (childOutput != nullptr) CloseHandle(childOutput);
    if (!created) {
        error = "Windows did not start it (error " + std::to_string(createError) + ")";
        return false;
    }
    job.add(started.hProcess);
    ResumeThread(started.hThread);
    CloseHandle(started.hThread);
    process_ = started.hProcess;
    id_ = started.dwProcessId;
    if (pipes) reader_ = std::thread([this] { readOutput(); });
    return true;
}

bool ChildProcess::running() const {
    return process_ != nullptr && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

std::optional<DWORD> ChildProcess::waitForExit(DWORD timeoutMs) const {
    if (process_ == nullptr || WaitForSingleObject(process_, timeoutMs) != WAIT_OBJECT_0)
        return std::nullopt;
    DWORD code = 0;
    GetExitCodeProcess(process_, &code);
    return code;
}

void ChildProcess::terminate() {
    if (!running()) return;
    TerminateProcess(process_, 1);
    WaitForSingleObject(process_, 5000);
}

void ChildProcess::send(const std::string& line) {
    if (input_ == nullptr) return;
    const std::string text = line + "\n";
    DWORD written = 0;
    WriteFile(input_, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

std::vector<std::string> ChildProcess::linesFrom(std::size_t from) const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (from >= lines_.size()) return {};
    return {lines_.begin() + static_cast<std::ptrdiff_t>(from), lines_.end()};
}

std::size_t ChildProcess::lineCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_.size();
}

void ChildProcess::readOutput() {
    // Reads only what waits in the pipe, and ends once the program has ended and the pipe is
    // empty: a read that waited for more would wait for ever if anything else still held the
    // pipe's other end.
    std::string pending;
    char chunk[4096];
    for (;;) {
        const bool ended = WaitForSingleObject(process_, 0) != WAIT_TIMEOUT;
        DWORD waiting = 0;
        if (!PeekNamedPipe(output_, nullptr, 0, nullptr, &waiting, nullptr)) break;
        if (waiting == 0) {
            if (ended) break;
            Sleep(10);
            continue;
        }
        DWORD count = 0;
        if (!ReadFile(output_, chunk, waiting < sizeof chunk ? waiting : sizeof chunk, &count,
                      nullptr) ||
            count == 0)
            break;
        pending.append(chunk, count);
        std::size_t end;
        while ((end = pending.find('\n')) != std::string::npos) {
            std::string text = pending.substr(0, end);
            if (!text.empty() && text.back() == '\r') text.pop_back();
            pending.erase(0, end + 1);
            std::lock_guard<std::mutex> lock(mutex_);
            lines_.push_back(std::move(text));
        }
    }
}

}  // namespace korvel::tools::rehearse
