// Text addresses from messages, checked against this process's real memory map.
#include "infodriver/text_from_address.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace korvel::infodriver {
namespace {

std::size_t pageSize() {
    SYSTEM_INFO info{};
    GetSystemInfo(&info);
    return info.dwPageSize;
}

// Two adjacent pages: the first readable and writable, the second as given.
struct TwoPages {
    explicit TwoPages(DWORD secondProtection) {
        base = static_cast<char*>(
            VirtualAlloc(nullptr, 2 * pageSize(), MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        DWORD old = 0;
        if (base != nullptr) VirtualProtect(base + pageSize(), pageSize(), secondProtection, &old);
    }
    ~TwoPages() { VirtualFree(base, 0, MEM_RELEASE); }
    // Writes the bytes so that the last one is the first page's last byte.
    std::uintptr_t endingAtTheBoundary(const char* bytes, std::size_t count) const {
        char* start = base + pageSize() - count;
        std::memcpy(start, bytes, count);
        return reinterpret_cast<std::uintptr_t>(start);
    }
    char* base = nullptr;
};

bool copies(std::uintptr_t address, std::string& out, std::size_t capacity = 300) {
    char buffer[700];
    std::memset(buffer, '#', sizeof buffer);
    const bool taken = copyTextFromAddress(address, buffer, capacity);
    // A refused address leaves the buffer as it was.
    out = taken ? std::string(buffer) : (buffer[0] == '#' ? "" : "touched");
    return taken;
}

TEST(TextFromAddress, OnlyTextsInReadableMemoryAreTakenWithinTheBound) {
    std::string out;
    EXPECT_FALSE(copies(0, out));
    EXPECT_FALSE(copies(0x10, out));
    EXPECT_EQ(out, "");

    void* released = VirtualAlloc(nullptr, pageSize(), MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    ASSERT_NE(released, nullptr);
    VirtualFree(released, 0, MEM_RELEASE);
    EXPECT_FALSE(copies(reinterpret_cast<std::uintptr_t>(released), out));
    void* reserved = VirtualAlloc(nullptr, pageSize(), MEM_RESERVE, PAGE_READWRITE);
    ASSERT_NE(reserved, nullptr);
    EXPECT_FALSE(copies(reinterpret_cast<std::uintptr_t>(reserved), out));
    VirtualFree(reserved, 0, MEM_RELEASE);
    EXPECT_EQ(out, "");

    const char* good = "00.01.00.00";
    EXPECT_TRUE(copies(reinterpret_cast<std::uintptr_t>(good), out));
    EXPECT_EQ(out, good);
    const std::string longer(600, 'x');
    EXPECT_TRUE(copies(reinterpret_cast<std::uintptr_t>(longer.c_str()), out, 300));
    EXPECT_EQ(out, std::string(299, 'x'));
}

TEST(TextFromAddress, ATextThatRunsIntoMemoryItMayNotReadIsRefused) {
    std::string out;
    for (DWORD protection : {DWORD{PAGE_NOACCESS}, DWORD{PAGE_READWRITE | PAGE_GUARD}}) {
        TwoPages pages(protection);
        ASSERT_NE(pages.base, nullptr);
        const std::uintptr_t unterminated = pages.endingAtTheBoundary("no terminator", 13);
        EXPECT_FALSE(copies(unterminated, out)) << protection;
        EXPECT_EQ(out, "");
        // Cut by the bound before the page ends: taken.
        EXPECT_TRUE(copies(unterminated, out, 4));
        EXPECT_EQ(out, "no ");
        // Terminated on the page's last byte: taken.
        EXPECT_TRUE(copies(pages.endingAtTheBoundary("ends here", 10), out));
        EXPECT_EQ(out, "ends here");
    }
    // Across two readable regions: read on.
    TwoPages pages(PAGE_READONLY);
    ASSERT_NE(pages.base, nullptr);
    EXPECT_TRUE(copies(pages.endingAtTheBoundary("continues", 9), out));
    EXPECT_EQ(out, "continues");  // the second page is zeros: the terminator
}

}  // namespace
}  // namespace korvel::infodriver
