#include "infodriver/library_entry_call.h"

#include <cstdint>

namespace korvel::infodriver {

#if defined(__i386__)

namespace {

// Pushes the argument words (the last first, as both conventions pass them), calls the entry
// point and takes the stack pointer back from ESI, which both conventions leave untouched.
LRESULT callKeepingStack(const void* entry, const std::uint32_t* words, std::uint32_t count) {
    LRESULT result;
    asm volatile(
        "movl %%esp, %%esi\n\t"
        "jecxz 2f\n"
        "1:\n\t"
        "pushl -4(%%edx,%%ecx,4)\n\t"
        "loop 1b\n"
        "2:\n\t"
        "call *%%eax\n\t"
        "movl %%esi, %%esp"
        : "=a"(result), "+c"(count), "+d"(words)
        : "0"(entry)
        : "esi", "memory", "cc");
    return result;
}

template <typename Function>
const void* address(Function entry) {
    return reinterpret_cast<const void*>(entry);
}

std::uint32_t word(const void* pointer) {
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(pointer));
}

}  // namespace

LRESULT callLibraryData(LibraryDataFunction entry, HWND ownWindow, WPARAM wParam, LPARAM lParam) {
    const std::uint32_t words[] = {word(ownWindow), static_cast<std::uint32_t>(wParam),
                                   static_cast<std::uint32_t>(lParam)};
    return callKeepingStack(address(entry), words, 3);
}

LRESULT callSlotTraffic(SlotTrafficFunction entry, HWND peerWindow, UINT message,
                        WPARAM slotIndex, LPARAM text, int one, int length) {
    const std::uint32_t words[] = {word(peerWindow),
                                   static_cast<std::uint32_t>(message),
                                   static_cast<std::uint32_t>(slotIndex),
                                   static_cast<std::uint32_t>(text),
                                   static_cast<std::uint32_t>(one),
                                   static_cast<std::uint32_t>(length)};
    return callKeepingStack(address(entry), words, 6);
}

#else

LRESULT callLibraryData(LibraryDataFunction entry, HWND ownWindow, WPARAM wParam, LPARAM lParam) {
    return entry(ownWindow, wParam, lParam);
}

LRESULT callSlotTraffic(SlotTrafficFunction entry, HWND peerWindow, UINT message,
                        WPARAM slotIndex, LPARAM text, int one, int length) {
    return entry(peerWindow, message, slotIndex, text, one, length);
}

#endif

}  // namespace korvel::infodriver
