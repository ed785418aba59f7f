#include "infodriver/interface_library_loader.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "infodriver/library_architecture.h"
#include "infodriver/win32_transport.h"
#include "log/trace.h"
#include "common/timed_message_box.h"

namespace korvel::infodriver {

namespace {

// The error mode for the load: a library that cannot be read must not raise a system box.
class QuietLoad {
  public:
    QuietLoad() { SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &saved_); }
    ~QuietLoad() { SetThreadErrorMode(saved_, nullptr); }
    QuietLoad(const QuietLoad&) = delete;
    QuietLoad& operator=(const QuietLoad&) = delete;

  private:
    DWORD saved_ = 0;
};

void say(char* message, std::size_t size, const char* format, const char* name, unsigned long n) {
    if (message != nullptr && size != 0) std::snprintf(message, size, format, name, n);
}

// The architecture of the file the loader would have taken for this name (the program's
// folder first), from its PE header.
Architecture fileArchitecture(const char* name) {
    char path[MAX_PATH] = {};
    if (SearchPathA(nullptr, name, nullptr, sizeof path, path, nullptr) == 0) {
        return Architecture::Unknown;
    }
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return Architecture::Unknown;
    unsigned char head[4096];
    DWORD count = 0;
    const BOOL read = ReadFile(file, head, sizeof head, &count, nullptr);
    CloseHandle(file);
    return read ? peArchitecture(head, count) : Architecture::Unknown;
}

// For a library of the wrong bitness (error 193), a second line: which korvel.exe it needs.
void adviseOnArchitecture(char* message, std::size_t size, const char* name) {
    if (message == nullptr || size == 0) return;
    const std::string advice = wrongArchitectureAdvice(name, fileArchitecture(name));
    const std::size_t used = std::strlen(message);
    if (used + 1 < size) std::snprintf(message + used, size - used, "\n%s", advice.c_str());
}

}  // namespace

bool loadInterfaceLibrary(const char* name, char* message, std::size_t size) {
    if (name == nullptr) name = kInterfaceLibraryName;
    HMODULE library = nullptr;
    {
        QuietLoad quiet;
        library = LoadLibraryA(name);
    }
    if (library == nullptr) {
        const DWORD error = GetLastError();
        say(message, size, "Cannot load the interface library %s (error %lu)", name,
            static_cast<unsigned long>(error));
        if (error == ERROR_BAD_EXE_FORMAT) adviseOnArchitecture(message, size, name);
        return false;
    }
    auto libraryData = reinterpret_cast<LibraryDataFunction>(
        reinterpret_cast<void*>(GetProcAddress(library, MAKEINTRESOURCEA(kLibraryDataOrdinal))));
    auto slotTraffic = reinterpret_cast<SlotTrafficFunction>(
        reinterpret_cast<void*>(GetProcAddress(library, MAKEINTRESOURCEA(kSlotTrafficOrdinal))));
    if (libraryData == nullptr || slotTraffic == nullptr) {
        say(message, size, "The interface library %s has no entry point %lu", name,
            libraryData == nullptr ? kLibraryDataOrdinal : kSlotTrafficOrdinal);
        FreeLibrary(library);
        return false;
    }
    win32Transport().useLibrary(library, libraryData, slotTraffic);
    return true;
}

bool requireInterfaceLibrary(HWND owner, const char* name) {
    char message[2 * MAX_PATH + 200];
    if (loadInterfaceLibrary(name, message, sizeof message)) return true;
    char traced[sizeof message];
    std::memcpy(traced, message, sizeof message);
    for (char& c : traced) {
        if (c == '\n') c = ' ';  // one trace line
    }
    log::traceText(traced);
    common::showTimedError(owner, message);
    return false;
}

}  // namespace korvel::infodriver
