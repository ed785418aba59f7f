// The driver's crash handling in a child process that crashes on purpose: it must end at once
// with the exception's code (no system or debugger dialog waiting for a person) and leave its
// line in the events journal and a dump.
#include "shell/fatal_exception.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <sstream>
#include <string>

namespace korvel::shell {
namespace {

constexpr DWORD kCrashLimitMs = 10000;

std::filesystem::path programFolder() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, sizeof path);
    return std::filesystem::path(path).parent_path();
}

// The exit code of the child run with the argument, or STILL_ACTIVE if it had to be killed.
DWORD crashChild(const std::string& argument) {
    std::string commandLine =
        "\"" + (programFolder() / "fatal_exception_child.exe").string() + "\" " + argument;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return 0;
    }
    DWORD code = STILL_ACTIVE;
    if (WaitForSingleObject(process.hProcess, kCrashLimitMs) == WAIT_OBJECT_0) {
        GetExitCodeProcess(process.hProcess, &code);
    } else {
        TerminateProcess(process.hProcess, 1);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

// The stream types of a minidump file ("MDMP" header, then a directory of streams).
std::set<std::uint32_t> dumpStreams(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::set<std::uint32_t> types;
    auto u32 = [&bytes](std::size_t at) {
        std::uint32_t value = 0;
        if (at + 4 <= bytes.size()) std::memcpy(&value, bytes.data() + at, 4);
        return value;
    };
    if (bytes.size() < 32 || bytes.compare(0, 4, "MDMP") != 0) return types;
    const std::uint32_t count = u32(8);
    const std::uint32_t directory = u32(12);
    for (std::uint32_t i = 0; i < count && i < 64; ++i) types.insert(u32(directory + 12 * i));
    return types;
}

constexpr std::uint32_t kThreadListStream = 3;
constexpr std::uint32_t kModuleListStream = 4;
constexpr std::uint32_t kExceptionStream = 6;

// Each way of crashing ends at once with its code (a C++ exception with the one code the
// guide names, whichever it was raised with), and leaves its events line, which names the
// exception, the module and offset, the thread and the version, and a dump with the threads,
// the modules and (where Windows handed over one) the exception.
TEST(FatalException, ACrashEndsAtOnceWithItsCodeAnEventsLineAndADump) {
    char temp[MAX_PATH] = {};
    GetTempPathA(sizeof temp, temp);
    const auto root =
        std::filesystem::path(temp) / ("korvel-crash-" + std::to_string(GetCurrentProcessId()));
    std::filesystem::remove_all(root);
    _putenv_s("RZ_ROOT", root.string().c_str());
    _putenv_s("RZ_SYSTEM", "sys");
    // Dumps of earlier crashes, more than are kept: the oldest go as new ones come.
    const auto logs = root / "sys" / "logs" / "korvel";
    std::filesystem::create_directories(logs / "dumps");
    for (int day = 10; day < 20; ++day) {
        std::ofstream(logs / "dumps" /
                      ("korvel-202001" + std::to_string(day) + "-000000-000-1-crash.dmp"));
    }

    EXPECT_EQ(crashChild("fault"), static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION));
    EXPECT_EQ(crashChild("throw"), kUncaughtCppException);
    EXPECT_EQ(crashChild("thread-throw"), kUncaughtCppException);

    std::string journal;
    for (const auto& entry : std::filesystem::directory_iterator(logs / "events")) {
        std::ifstream file(entry.path(), std::ios::binary);
        std::stringstream text;
        text << file.rdbuf();
        journal += text.str();
    }
    const std::string stamp =
        R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} - CRASH korvel: fatal exception )";
    const std::string tail = R"(, thread \d+, version [0-9.]+, dump [^\r\n]+\.dmp\r\n)";
    const std::regex fault(
        stamp + R"(C0000005 \(access violation\) at fatal_exception_child\.exe\+0x[0-9A-F]+)" +
        tail);
    const std::regex thrown(
        stamp + R"(E06D7363 \(C\+\+ exception std::runtime_error\) at [^ ,]+\+0x[0-9A-F]+)" + tail);
    const std::regex threadThrown(
        stamp + R"([0-9A-F]{8} \(C\+\+ exception std::out_of_range\) at [^ ,]+\+0x[0-9A-F]+)" +
        tail);
    EXPECT_TRUE(std::regex_search(journal, fault)) << journal;
    EXPECT_TRUE(std::regex_search(journal, thrown)) << journal;
    EXPECT_TRUE(std::regex_search(journal, threadThrown)) << journal;

    int dumps = 0;
    int withException = 0;
    std::set<std::string> earlier;
    for (const auto& entry : std::filesystem::directory_iterator(logs / "dumps")) {
        if (entry.path().filename().string().rfind("korvel-2020", 0) == 0) {
            earlier.insert(entry.path().filename().string());
            continue;
        }
        ++dumps;
        const std::set<std::uint32_t> streams = dumpStreams(entry.path());
        EXPECT_TRUE(streams.count(kThreadListStream)) << entry.path();
        EXPECT_TRUE(streams.count(kModuleListStream)) << entry.path();
        withException += streams.count(kExceptionStream) ? 1 : 0;
    }
    EXPECT_EQ(dumps, 3);
    // The newest ten stay: of the ten earlier ones, the three oldest went.
    EXPECT_EQ(earlier.size(), 7u);
    EXPECT_FALSE(earlier.count("korvel-20200112-000000-000-1-crash.dmp"));
    EXPECT_TRUE(earlier.count("korvel-20200113-000000-000-1-crash.dmp"));
    EXPECT_GE(withException, 1);  // the fault's, at least
    std::filesystem::remove_all(root);
}

}  // namespace
}  // namespace korvel::shell
