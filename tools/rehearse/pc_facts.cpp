#include "tools/rehearse/pc_facts.h"

#include <windows.h>
// After windows.h, which it needs.
#include <wincrypt.h>

#include <cstdio>
#include <memory>

#include "tools/portcheck/survey.h"

// The 64-bit view of the registry from a 32-bit program too (older headers lack the name).
#ifndef RRF_SUBKEY_WOW6464KEY
#define RRF_SUBKEY_WOW6464KEY 0x00010000
#endif

namespace korvel::tools::rehearse {
namespace {

std::string registryText(const char* name) {
    char value[256] = {};
    DWORD size = sizeof value;
    if (RegGetValueA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", name,
                     RRF_RT_REG_SZ | RRF_SUBKEY_WOW6464KEY, nullptr, value, &size) != ERROR_SUCCESS)
        return {};
    return value;
}

std::optional<DWORD> registryNumber(const char* name) {
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegGetValueA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", name,
                     RRF_RT_REG_DWORD | RRF_SUBKEY_WOW6464KEY, nullptr, &value,
                     &size) != ERROR_SUCCESS)
        return std::nullopt;
    return value;
}

// The SHA-256 of a file in lower-case hexadecimal, through Windows' own cryptography.
std::string sha256Of(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "unreadable";
    HCRYPTPROV provider = 0;
    HCRYPTHASH hash = 0;
    std::string hex = "not computed";
    if (CryptAcquireContextA(&provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT) &&
        CryptCreateHash(provider, CALG_SHA_256, 0, 0, &hash)) {
        std::unique_ptr<BYTE[]> chunk(new BYTE[65536]);
        DWORD count = 0;
        bool good = true;
        while (ReadFile(file, chunk.get(), 65536, &count, nullptr) && count > 0)
            good = good && CryptHashData(hash, chunk.get(), count, 0);
        BYTE digest[32];
        DWORD length = sizeof digest;
        if (good && CryptGetHashParam(hash, HP_HASHVAL, digest, &length, 0) && length == 32) {
            hex.clear();
            char two[3];
            for (BYTE b : digest) {
                std::snprintf(two, sizeof two, "%02x", b);
                hex += two;
            }
        }
    }
    if (hash != 0) CryptDestroyHash(hash);
    if (provider != 0) CryptReleaseContext(provider, 0);
    CloseHandle(file);
    return hex;
}

std::string fileVersion(const std::string& path) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    if (size == 0) return {};
    std::unique_ptr<BYTE[]> data(new BYTE[size]);
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (!GetFileVersionInfoA(path.c_str(), 0, size, data.get()) ||
        !VerQueryValueA(data.get(), "\\", reinterpret_cast<void**>(&info), &length) ||
        info == nullptr || length < sizeof *info)
        return {};
    char text[48];
    std::snprintf(text, sizeof text, "version %lu.%lu.%lu.%lu",
                  static_cast<unsigned long>(HIWORD(info->dwFileVersionMS)),
                  static_cast<unsigned long>(LOWORD(info->dwFileVersionMS)),
                  static_cast<unsigned long>(HIWORD(info->dwFileVersionLS)),
                  static_cast<unsigned long>(LOWORD(info->dwFileVersionLS)));
    return text;
}

}  // namespace

std::string windowsDescription() {
    std::string name = registryText("ProductName");
    if (name.empty()) name = "Windows";
    std::string release = registryText("DisplayVersion");
    if (release.empty()) release = registryText("ReleaseId");
    if (!release.empty()) name += " " + release;
    // The true version: GetVersionEx answers what the program's manifest allows.
    RTL_OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
    using RtlGetVersionCall = LONG(WINAPI*)(RTL_OSVERSIONINFOW*);
    auto getVersion = reinterpret_cast<RtlGetVersionCall>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "RtlGetVersion")));
    char text[96];
    if (getVersion != nullptr && getVersion(&version) == 0) {
        std::snprintf(text, sizeof text, " (version %lu.%lu, build %lu", version.dwMajorVersion,
                      version.dwMinorVersion, version.dwBuildNumber);
        name += text;
        if (const auto update = registryNumber("UBR")) name += "." + std::to_string(*update);
        name += ")";
    }
    // Wine says so through ntdll; a report from a test machine must not pass for a PC's.
    using WineVersionCall = const char*(__cdecl*)();
    auto wine = reinterpret_cast<WineVersionCall>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version")));
    if (wine != nullptr) name += std::string(", under wine ") + wine();
    return name;
}

std::string architectureDescription() {
    SYSTEM_INFO system{};
    GetNativeSystemInfo(&system);
    std::string text;
    switch (system.wProcessorArchitecture) {
        case PROCESSOR_ARCHITECTURE_AMD64:
            text = "64-bit Windows (x64)";
            break;
        case PROCESSOR_ARCHITECTURE_INTEL:
            text = "32-bit Windows (x86)";
            break;
        case 12:  // PROCESSOR_ARCHITECTURE_ARM64
            text = "64-bit Windows on ARM";
            break;
        default:
            text = "Windows on processor architecture " +
                   std::to_string(system.wProcessorArchitecture);
    }
    text += ", " + std::to_string(system.dwNumberOfProcessors) + " logical processors";
    text += sizeof(void*) == 8 ? "; this rehearsal is the x64 build (64-bit driver)"
                               : "; this rehearsal is the x86 build (32-bit driver)";
    return text;
}

std::string localTimeText() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    TIME_ZONE_INFORMATION zone{};
    const DWORD kind = GetTimeZoneInformation(&zone);
    long bias = -zone.Bias;
    if (kind == TIME_ZONE_ID_DAYLIGHT) bias -= zone.DaylightBias;
    char text[80];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u local time (UTC%c%02ld:%02ld)",
                  now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond,
                  bias < 0 ? '-' : '+', (bias < 0 ? -bias : bias) / 60,
                  (bias < 0 ? -bias : bias) % 60);
    return text;
}

std::string localTimeStamp() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    char text[32];
    std::snprintf(text, sizeof text, "%04u%02u%02u-%02u%02u%02u", now.wYear, now.wMonth, now.wDay,
                  now.wHour, now.wMinute, now.wSecond);
    return text;
}

std::string programDescription(const std::string& path) {
    const std::size_t slash = path.find_last_of("\\/");
    std::string text = slash == std::string::npos ? path : path.substr(slash + 1);
    WIN32_FILE_ATTRIBUTE_DATA attributes{};
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &attributes))
        return text + ": not found at " + path;
    const std::string version = fileVersion(path);
    if (!version.empty()) text += ", " + version;
    SYSTEMTIME written{};
    FileTimeToSystemTime(&attributes.ftLastWriteTime, &written);
    char details[96];
    std::snprintf(details, sizeof details, ", %lu bytes, written %04u-%02u-%02u %02u:%02u UTC",
                  static_cast<unsigned long>(attributes.nFileSizeLow), written.wYear,
                  written.wMonth, written.wDay, written.wHour, written.wMinute);
    return text + details + "\n    " + path + "\n    SHA-256 " + sha256Of(path);
}

std::string portDescription(int number, const std::vector<portcheck::ListedPort>& listed) {
    const std::string name = "COM" + std::to_string(number);
    for (const portcheck::ListedPort& port : listed) {
        if (port.number != number) continue;
        std::string text =
            name + ": " + (port.adapter.empty() ? "adapter not named" : port.adapter);
        if (!port.maker.empty()) text += ", driver by " + port.maker;
        if (port.latencyTimerMs) {
            text += ", FTDI latency timer " + std::to_string(*port.latencyTimerMs) + " ms";
            if (*port.latencyTimerMs > portcheck::kLatencyWarningMs)
                text += " (above " + std::to_string(portcheck::kLatencyWarningMs) +
                        " ms: every reply waits up to that long; set it to 1 in Device Manager)";
        }
        return text;
    }
    return name + ": not in Windows' list of serial ports (it opened by its name)";
}

std::string portUnusableReason(int number) {
    const std::string path = "\\\\.\\COM" + std::to_string(number);
    HANDLE port = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              0, nullptr);
    if (port != INVALID_HANDLE_VALUE) {
        CloseHandle(port);
        return {};
    }
    const DWORD error = GetLastError();
    const std::string name = "COM" + std::to_string(number);
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
        return name +
               " is not on this PC: check that its adapter is plugged in, and its number "
               "in Device Manager (Ports (COM & LPT))";
    if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION)
        return name + " is in use by another program: close it, or name a free port";
    return name + " does not open (Windows error " + std::to_string(error) + ")";
}

}  // namespace korvel::tools::rehearse
