#include "shell/crash_dump.h"

#include <dbghelp.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace korvel::shell {
namespace {

using MiniDumpWriteDumpFunction = BOOL(WINAPI*)(HANDLE, DWORD, HANDLE, MINIDUMP_TYPE,
                                                PMINIDUMP_EXCEPTION_INFORMATION,
                                                PMINIDUMP_USER_STREAM_INFORMATION,
                                                PMINIDUMP_CALLBACK_INFORMATION);

MiniDumpWriteDumpFunction gWriteDump = nullptr;
char gFolder[MAX_PATH] = {};
volatile LONG gDumpBusy = 0;

// The dump files in the folder, and the oldest of them (the names sort by time).
int countDumps(char* oldest, std::size_t oldestSize) {
    char pattern[MAX_PATH + 16];
    std::snprintf(pattern, sizeof pattern, "%s\\korvel-*.dmp", gFolder);
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) return 0;
    int count = 0;
    oldest[0] = '\0';
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
        ++count;
        if (oldest[0] == '\0' || std::strcmp(found.cFileName, oldest) < 0) {
            std::snprintf(oldest, oldestSize, "%s", found.cFileName);
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return count;
}

// Every folder on the way; those that exist stay as they are. Made when a dump is written, on
// the thread that writes it, so that a log folder on a share that stops answering never holds
// up the driver's start.
void makeFolders() {
    char prefix[MAX_PATH];
    for (std::size_t i = 1; gFolder[i] != '\0'; ++i) {
        if (gFolder[i] != '\\') continue;
        std::memcpy(prefix, gFolder, i);
        prefix[i] = '\0';
        CreateDirectoryA(prefix, nullptr);
    }
    CreateDirectoryA(gFolder, nullptr);
}

void removeOldDumps() {
    char oldest[MAX_PATH];
    for (int guard = 0; guard < 1000 && countDumps(oldest, sizeof oldest) > kKeptDumps; ++guard) {
        char path[2 * MAX_PATH];
        std::snprintf(path, sizeof path, "%s\\%s", gFolder, oldest);
        if (!DeleteFileA(path)) break;  // held open elsewhere: tried again with the next dump
    }
}

}  // namespace

bool prepareDumps(const char* folder) {
    if (folder == nullptr || std::strlen(folder) + 64 >= sizeof gFolder) return false;
    std::snprintf(gFolder, sizeof gFolder, "%s", folder);
    // Windows' own dbghelp only: never one dropped beside the program or in the current folder.
    HMODULE dbghelp = LoadLibraryExW(L"dbghelp.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (dbghelp == nullptr) return false;
    gWriteDump = reinterpret_cast<MiniDumpWriteDumpFunction>(
        reinterpret_cast<void*>(GetProcAddress(dbghelp, "MiniDumpWriteDump")));
    return gWriteDump != nullptr;
}

bool writeDump(const char* tag, EXCEPTION_POINTERS* exception, char* path, std::size_t pathSize) {
    if (path != nullptr && pathSize > 0) path[0] = '\0';
    // dbghelp is not thread-safe: one dump at a time, and a second caller gives up.
    if (gWriteDump == nullptr || InterlockedExchange(&gDumpBusy, 1) != 0) return false;
    SYSTEMTIME now;
    GetLocalTime(&now);
    char file[2 * MAX_PATH];
    std::snprintf(file, sizeof file, "%s\\korvel-%04u%02u%02u-%02u%02u%02u-%03u-%lu-%s.dmp",
                  gFolder, now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond,
                  now.wMilliseconds, static_cast<unsigned long>(GetCurrentProcessId()), tag);
    makeFolders();
    HANDLE handle = CreateFileA(file, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    bool written = false;
    if (handle != INVALID_HANDLE_VALUE) {
        MINIDUMP_EXCEPTION_INFORMATION info{};
        info.ThreadId = GetCurrentThreadId();
        info.ExceptionPointers = exception;
        info.ClientPointers = FALSE;
        // Every thread and module, the data segments (globals a developer reads beside the
        // stack), and what the stacks point to.
        const auto type = static_cast<MINIDUMP_TYPE>(
            MiniDumpWithDataSegs | MiniDumpWithHandleData | MiniDumpWithThreadInfo |
            MiniDumpWithUnloadedModules | MiniDumpWithIndirectlyReferencedMemory);
        written = gWriteDump(GetCurrentProcess(), GetCurrentProcessId(), handle, type,
                             exception != nullptr ? &info : nullptr, nullptr, nullptr) != FALSE;
        CloseHandle(handle);
        if (!written) DeleteFileA(file);
    }
    if (written) {
        if (path != nullptr && pathSize > 0) std::snprintf(path, pathSize, "%s", file);
        removeOldDumps();
    }
    InterlockedExchange(&gDumpBusy, 0);
    return written;
}

void describeAddress(char* out, std::size_t size, const void* address) {
    HMODULE module = nullptr;
    char name[MAX_PATH] = {};
    if (address != nullptr &&
        GetModuleHandleExA(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            static_cast<LPCSTR>(address), &module) &&
        GetModuleFileNameA(module, name, sizeof name) > 0) {
        const char* base = std::strrchr(name, '\\');
        base = base != nullptr ? base + 1 : name;
        const auto offset =
            reinterpret_cast<std::uintptr_t>(address) - reinterpret_cast<std::uintptr_t>(module);
        std::snprintf(out, size, "%s+0x%llX", base, static_cast<unsigned long long>(offset));
        return;
    }
    std::snprintf(out, size, "0x%0*llX (no module)", static_cast<int>(2 * sizeof address),
                  static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(address)));
}

}  // namespace korvel::shell
