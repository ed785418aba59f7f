// Text addresses from messages, checked against this process's real memory map.
#include "infodriver/text_from_address.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace korvel::infodriver {
namespace {

constexpr std::size_t kPage = 4096;

// The text at the address as copied with the bound, or "refused" (the buffer untouched).
std::string taken(std::uintptr_t address, std::size_t capacity = 300) {
    char buffer[300];
    std::memset(buffer, '#', sizeof buffer);
    if (copyTextFromAddress(address, buffer, capacity)) return buffer;
    return buffer[0] == '#' ? "refused" : "touched";
}

std::uintptr_t at(const void* address) {
    return reinterpret_cast<std::uintptr_t>(address);
}

TEST(TextFromAddress, OnlyTextsInReadableMemoryAreTakenWithinTheBound) {
    EXPECT_EQ(taken(0), "refused");
    EXPECT_EQ(taken(0x10), "refused");
    void* released = VirtualAlloc(nullptr, kPage, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    VirtualFree(released, 0, MEM_RELEASE);
    EXPECT_EQ(taken(at(released)), "refused");
    EXPECT_EQ(taken(at("00.01.00.00")), "00.01.00.00");
    EXPECT_EQ(taken(at(std::string(600, 'x').c_str())), std::string(299, 'x'));
}

TEST(TextFromAddress, ATextIsReadAcrossRegionsButNotIntoOneItMayNotRead) {
    for (DWORD next :
         {DWORD{PAGE_NOACCESS}, DWORD{PAGE_READWRITE | PAGE_GUARD}, DWORD{PAGE_READONLY}}) {
        auto* pages = static_cast<char*>(
            VirtualAlloc(nullptr, 2 * kPage, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        ASSERT_NE(pages, nullptr);
        DWORD old = 0;
        VirtualProtect(pages + kPage, kPage, next, &old);
        // "no end" fills the first page's last bytes; the second page holds zeros.
        char* text = pages + kPage - 6;
        std::memcpy(text, "no end", 6);
        EXPECT_EQ(taken(at(text)), next == PAGE_READONLY ? "no end" : "refused") << next;
        EXPECT_EQ(taken(at(text), 4), "no ") << next;  // the bound comes first
        text[5] = '\0';
        EXPECT_EQ(taken(at(text)), "no en") << next;  // ends on the page's last byte
        VirtualFree(pages, 0, MEM_RELEASE);
    }
}

}  // namespace
}  // namespace korvel::infodriver
