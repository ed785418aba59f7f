// The driver's crash handling in a child process that crashes on purpose: it must end at once
// with the exception's code (no system or debugger dialog waiting for a person) and leave its
// line in the traffic log.
#include "shell/fatal_exception.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
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

TEST(FatalException, ACrashEndsAtOnceWithItsCodeAndOneLineInTheLog) {
    char temp[MAX_PATH] = {};
    GetTempPathA(sizeof temp, temp);
    const auto root =
        std::filesystem::path(temp) / ("korvel-crash-" + std::to_string(GetCurrentProcessId()));
    std::filesystem::remove_all(root);
    _putenv_s("RZ_ROOT", root.string().c_str());
    _putenv_s("RZ_SYSTEM", "sys");

    EXPECT_EQ(crashChild("fault"), static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION));
    EXPECT_EQ(crashChild("throw"), kUncaughtCppException);

    std::ifstream file(root / "sys" / "logs" / "korvel" / "korvel.log", std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    const std::string stamp = "\\d\\d/\\d\\d/\\d{4} \\d\\d:\\d\\d:\\d\\d ";
    const std::string address = "0x[0-9A-F]{" + std::to_string(2 * sizeof(void*)) + "}\\r\\n";
    const std::regex expected(stamp + "korvel: fatal exception C0000005 at (?!0x0+\\r)" + address +
                              stamp + "korvel: fatal exception E06D7363 at " + address);
    EXPECT_TRUE(std::regex_match(text.str(), expected)) << text.str();
    file.close();
    std::filesystem::remove_all(root);
}

}  // namespace
}  // namespace korvel::shell
