#include "common/timed_message_box.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace korvel::common {
namespace {

struct TitleSearch {
    const char* title;
    int found;
};

// A window procedure's convention (__stdcall on 32 bits), which a lambda does not have.
BOOL CALLBACK countIfTitled(HWND window, LPARAM param) {
    auto* s = reinterpret_cast<TitleSearch*>(param);
    char text[256] = {};
    GetWindowTextA(window, text, sizeof text);
    if (IsWindow(window) && lstrcmpA(text, s->title) == 0) ++s->found;
    return TRUE;
}

// Top-level windows of this thread whose title is exactly the given text.
int windowsTitled(const char* title) {
    TitleSearch search{title, 0};
    EnumThreadWindows(GetCurrentThreadId(), countIfTitled, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Waits for a message box with the given title to appear on any thread.
HWND waitForBox(const char* title) {
    for (int i = 0; i < 1000; ++i) {
        if (HWND box = FindWindowA("#32770", title)) return box;
        Sleep(10);
    }
    return nullptr;
}

TEST(TimedMessageBox, ClosesItselfAfterTheTimeOutAndLeavesNoWindow) {
    const ULONGLONG start = GetTickCount64();
    const int result = timedMessageBox(nullptr, "Com port [21] not found", kErrorCaption,
                                       kErrorBoxType, kErrorBoxTimeoutMs);
    const ULONGLONG elapsed = GetTickCount64() - start;

    EXPECT_EQ(result, 0);  // ended by the watcher, not by a button
    // It stayed up for its time-out (a coarse tick, so a little slack).
    EXPECT_GE(elapsed, kErrorBoxTimeoutMs - 100);
    EXPECT_EQ(windowsTitled("Error"), 0);
}

TEST(TimedMessageBox, AUserWhoPressesOkEndsTheCallAndTheBoxHasNoOwner) {
    // An owner window that the box must not be attached to.
    HWND owner = CreateWindowExA(0, "STATIC", "owner", WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                                 nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(owner, nullptr);

    std::atomic<HWND> seenOwner{reinterpret_cast<HWND>(1)};
    std::thread user([&] {
        HWND box = waitForBox("Notice");
        if (box == nullptr) return;
        seenOwner = GetWindow(box, GW_OWNER);
        PostMessageA(box, WM_COMMAND, IDOK, 0);
    });
    // The time-out is long: only the "user" can end this box.
    const int result = timedMessageBox(owner, "Press OK", "Notice", MB_OK, 600000);
    user.join();

    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(seenOwner.load(), nullptr);
    EXPECT_EQ(windowsTitled("Notice"), 0);
    DestroyWindow(owner);
}

}  // namespace
}  // namespace korvel::common
