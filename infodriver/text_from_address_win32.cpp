#include <windows.h>

#include <cstring>
#include <new>
#include <vector>

#include "infodriver/text_from_address.h"

namespace korvel::infodriver {

namespace {

constexpr std::uintptr_t kPageSize = 4096;

// Whether the page holding the address is committed and readable. A guard page is readable
// once, and the first read is a fault that moves a thread's stack limit: never touched. The
// answer may be stale by the time the page is copied; the copy then fails (Windows) or brings
// zeros (wine, which copies what the host maps), and neither ends the driver.
bool readablePage(std::uintptr_t at) {
    constexpr DWORD kReadable = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY |
                                PAGE_EXECUTE_READ | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
    MEMORY_BASIC_INFORMATION region{};
    return VirtualQuery(reinterpret_cast<const void*>(at), &region, sizeof region) != 0 &&
           region.State == MEM_COMMIT && (region.Protect & (PAGE_GUARD | PAGE_NOACCESS)) == 0 &&
           (region.Protect & kReadable) != 0;
}

}  // namespace

bool copyTextFromAddress(std::uintptr_t address, char* out, std::size_t capacity) {
    if (address == 0 || out == nullptr || capacity == 0) return false;
    std::vector<char> copy;
    try {
        copy.resize(capacity);
    } catch (const std::bad_alloc&) {
        return false;
    }
    // Copied, not read in place: another thread of this process (the interface library's)
    // may free the memory at any moment, and a copy of memory that has gone fails where a
    // read would end the driver. Each byte is read once, and the terminator is looked for in
    // the copy, a page at a time up to the bound.
    HANDLE self = GetCurrentProcess();
    const std::size_t limit = capacity - 1;
    std::size_t length = 0;
    while (length < limit) {
        const std::uintptr_t at = address + length;
        if (at < address) return false;  // ran off the top of the address space
        const std::uintptr_t pageEnd = (at | (kPageSize - 1)) + 1;
        std::size_t chunk = limit - length;
        if (pageEnd > at && pageEnd - at < chunk) chunk = static_cast<std::size_t>(pageEnd - at);
        if (!readablePage(at)) return false;
        SIZE_T got = 0;
        if (!ReadProcessMemory(self, reinterpret_cast<const void*>(at), copy.data() + length, chunk,
                               &got) ||
            got != chunk) {
            return false;
        }
        if (const void* end = std::memchr(copy.data() + length, '\0', chunk)) {
            length = static_cast<std::size_t>(static_cast<const char*>(end) - copy.data());
            break;
        }
        length += chunk;
    }
    std::memcpy(out, copy.data(), length);
    out[length] = '\0';
    return true;
}

}  // namespace korvel::infodriver
