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

struct Churn {
    char* page;
    volatile bool* stop;
};

DWORD WINAPI churnPage(void* argument) {
    const Churn& churn = *static_cast<Churn*>(argument);
    while (!*churn.stop) {
        VirtualFree(churn.page, kPage, MEM_DECOMMIT);
        VirtualAlloc(churn.page, kPage, MEM_COMMIT, PAGE_READWRITE);
    }
    return 0;
}

TEST(TextFromAddress, FreedMemoryIsRefusedAndAPageFreedWhileCopyingNeverEndsTheDriver) {
    // A block the heap takes straight from the system goes back to it when freed.
    HANDLE heap = GetProcessHeap();
    auto* block = static_cast<char*>(HeapAlloc(heap, 0, 4 << 20));
    ASSERT_NE(block, nullptr);
    std::strcpy(block, "00.01.00.00");
    EXPECT_EQ(taken(at(block)), "00.01.00.00");
    HeapFree(heap, 0, block);
    EXPECT_EQ(taken(at(block)), "refused");

    // Another thread frees and maps again the page a text runs into, over and over.
    auto* pages = static_cast<char*>(
        VirtualAlloc(nullptr, 2 * kPage, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    ASSERT_NE(pages, nullptr);
    char* text = pages + kPage - 4;
    std::memcpy(text, "abcd", 4);  // the terminator is the second page's first byte
    volatile bool stop = false;
    Churn churning{pages + kPage, &stop};
    HANDLE churn = CreateThread(nullptr, 0, &churnPage, &churning, 0, nullptr);
    ASSERT_NE(churn, nullptr);
    int whole = 0;
    for (int i = 0; i < 20000; ++i) {
        const std::string result = taken(at(text));
        ASSERT_TRUE(result == "abcd" || result == "refused") << result;
        whole += result == "abcd";
    }
    stop = true;
    WaitForSingleObject(churn, INFINITE);
    CloseHandle(churn);
    VirtualFree(pages, 0, MEM_RELEASE);
    RecordProperty("whole texts", whole);
}

}  // namespace
}  // namespace korvel::infodriver
