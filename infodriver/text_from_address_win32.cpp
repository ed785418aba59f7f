#include <windows.h>

#include <cstring>

#include "infodriver/text_from_address.h"

namespace korvel::infodriver {

namespace {

bool readable(const MEMORY_BASIC_INFORMATION& region) {
    constexpr DWORD kReadable = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY |
                                PAGE_EXECUTE_READ | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
    // A guard page is readable once, and the first read is a fault: never touched.
    return region.State == MEM_COMMIT && (region.Protect & (PAGE_GUARD | PAGE_NOACCESS)) == 0 &&
           (region.Protect & kReadable) != 0;
}

}  // namespace

bool copyTextFromAddress(std::uintptr_t address, char* out, std::size_t capacity) {
    if (address == 0 || out == nullptr || capacity == 0) return false;
    const char* text = reinterpret_cast<const char*>(address);
    std::size_t length = 0;
    std::uintptr_t knownReadableEnd = address;
    // The text may run across regions: each one it enters is asked about before it is read.
    while (length < capacity - 1) {
        const std::uintptr_t at = address + length;
        if (at < address) return false;  // ran off the top of the address space
        if (at >= knownReadableEnd) {
            MEMORY_BASIC_INFORMATION region{};
            if (VirtualQuery(reinterpret_cast<const void*>(at), &region, sizeof region) == 0 ||
                !readable(region)) {
                return false;
            }
            knownReadableEnd =
                reinterpret_cast<std::uintptr_t>(region.BaseAddress) + region.RegionSize;
        }
        if (text[length] == '\0') break;
        ++length;
    }
    std::memcpy(out, text, length);
    out[length] = '\0';
    return true;
}

}  // namespace korvel::infodriver
