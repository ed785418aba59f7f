#include "infodriver/interface_library_loader.h"

#include <cstdio>

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

}  // namespace

bool loadInterfaceLibrary(const char* name, char* message, std::size_t size) {
    if (name == nullptr) name = kInterfaceLibraryName;
    HMODULE library = nullptr;
    {
        QuietLoad quiet;
        library = LoadLibraryA(name);
    }
    if (library == nullptr) {
        say(message, size, "Cannot load the interface library %s (error %lu)", name,
            static_cast<unsigned long>(GetLastError()));
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
    char message[MAX_PATH + 80];
    if (loadInterfaceLibrary(name, message, sizeof message)) return true;
    log::traceText(message);
    common::showTimedError(owner, message);
    return false;
}

}  // namespace korvel::infodriver
