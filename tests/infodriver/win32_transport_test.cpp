#include "infodriver/win32_transport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "infodriver/infodriver_client.h"
#include "infodriver/infodriver_state.h"

namespace korvel::infodriver {
namespace {

struct Received {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

// The test's own infodriver: a hidden top-level window of this process that answers the
// connect request for its device with its handle, and records what reaches it.
struct Peer {
    static inline std::vector<Received> received;
    static inline std::uint32_t device = 10;
    static inline LRESULT extendedAnswer = 0;
    static inline WPARAM readyAckDuringDone = 0;

    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        switch (message) {
            case IFMSG_CONNECTREQ:
                received.push_back({message, wParam, lParam});
                if ((static_cast<std::uint32_t>(lParam) & 0xFFFF) == (device & 0xFFFF)) {
                    HWND client = reinterpret_cast<HWND>(wParam & 0xFFFF);
                    SendMessageA(client, IFMSG_PEERWINDOW, reinterpret_cast<WPARAM>(window), 0);
                }
                return 0;
            case IFMSG_CONNECTDONE:
                received.push_back({message, wParam, lParam});
                if (readyAckDuringDone != 0) {
                    SendMessageA(reinterpret_cast<HWND>(wParam & 0xFFFF), IFMSG_READYACK,
                                 readyAckDuringDone, 0);
                }
                return 0;
            case IFMSG_CONNECTEXT:
                received.push_back({message, wParam, lParam});
                return extendedAnswer;
            case IFMSG_CLIENTREADY:
            case IFMSG_CLIENTGONE:
                received.push_back({message, wParam, lParam});
                return 0;
            default:
                return DefWindowProcA(window, message, wParam, lParam);
        }
    }

    static int count(UINT message) {
        int n = 0;
        for (const auto& r : received) n += r.message == message ? 1 : 0;
        return n;
    }
};

struct SlotCall {
    HWND peer;
    UINT message;
    WPARAM index;
    std::string text;
    int one;
    int length;
};
std::vector<SlotCall> gSlotCalls;

LRESULT WINAPI recordSlotTraffic(HWND peer, UINT message, WPARAM index, LPARAM text, int one,
                                 int length) {
    auto* chars = reinterpret_cast<char*>(text);
    if (message == IFMSG_SLOTREAD) {
        lstrcpynA(chars, "from the library", length);
        gSlotCalls.push_back({peer, message, index, chars, one, length});
    } else {
        gSlotCalls.push_back({peer, message, index, chars, one, length});
    }
    return 1;
}

LRESULT WINAPI sumLibraryData(HWND own, WPARAM wParam, LPARAM lParam) {
    return reinterpret_cast<LRESULT>(own) != 0 ? static_cast<LRESULT>(wParam) + lParam : -1;
}

struct Event {
    std::int32_t code;
    std::string text;
    std::int32_t status;
};
std::vector<Event> gEvents;

void recordEvent(InfodriverClient* client, std::int32_t code, const char* text) {
    gEvents.push_back({code, text, client->status()});
}

std::string classOf(WindowHandle window) {
    char name[64] = {};
    GetClassNameA(reinterpret_cast<HWND>(window), name, sizeof name);
    return name;
}

class Win32Client : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        WNDCLASSA peerClass{};
        peerClass.lpfnWndProc = &Peer::procedure;
        peerClass.hInstance = GetModuleHandleA(nullptr);
        peerClass.lpszClassName = "KorvelTestInfodriver";
        RegisterClassA(&peerClass);
    }

    // Every test starts with no client class, as a fresh process does.
    Win32Client() {
        UnregisterClassA(kClientWindowClass, GetModuleHandleA(nullptr));
        infodriverState() = InfodriverState{};
        Peer::received.clear();
        Peer::device = 10;
        Peer::extendedAnswer = 0;
        Peer::readyAckDuringDone = 0;
        gSlotCalls.clear();
        gEvents.clear();
        peer = CreateWindowExA(0, "KorvelTestInfodriver", "infodriver", 0, 0, 0, 0, 0, nullptr,
                               nullptr, GetModuleHandleA(nullptr), nullptr);
        win32Transport().useLibrary(nullptr, &sumLibraryData, &recordSlotTraffic);
    }
    ~Win32Client() override {
        DestroyWindow(peer);
        win32Transport().useLibrary(nullptr, nullptr, nullptr);
        infodriverState() = InfodriverState{};
    }

    HWND peer = nullptr;
};

TEST_F(Win32Client, ConnectsToAPeerWindowThatAnswersTheBroadcast) {
    ASSERT_NE(peer, nullptr);
    InfodriverClient client;
    ASSERT_EQ(client.connect(10), kStatusConnected);

    EXPECT_EQ(client.peerWindow(), reinterpret_cast<WindowHandle>(peer));
    const HWND own = reinterpret_cast<HWND>(client.ownWindow());
    EXPECT_EQ(classOf(client.ownWindow()), "extinfospwn");
    EXPECT_FALSE(IsWindowVisible(own));
    EXPECT_EQ(GetParent(own), nullptr);
    // The window's extra bytes hold the whole client pointer.
    EXPECT_EQ(GetClassLongPtrA(own, GCL_CBWNDEXTRA), static_cast<LONG_PTR>(sizeof(void*)));
    EXPECT_EQ(GetWindowLongPtrA(own, 0), reinterpret_cast<LONG_PTR>(&client));

    ASSERT_GE(Peer::received.size(), 2u);
    EXPECT_EQ(Peer::received[0].message, IFMSG_CONNECTREQ);
    EXPECT_EQ(Peer::received[0].wParam, client.ownWindow() & 0xFFFF);
    EXPECT_EQ(Peer::received[0].lParam, 10);
    EXPECT_EQ(Peer::received[1].message, IFMSG_CONNECTDONE);
    EXPECT_EQ(Peer::received[1].wParam, client.ownWindow() & 0xFFFF);
}

TEST_F(Win32Client, NobodyServingTheDeviceGives5AndLeavesNoWindow) {
    InfodriverClient client;
    EXPECT_EQ(client.connect(11), kStatusNoWindow);
    EXPECT_EQ(client.ownWindow(), 0u);
    EXPECT_EQ(FindWindowA(kClientWindowClass, nullptr), nullptr);
}

TEST_F(Win32Client, ARefusedExtendedConnectGives5) {
    Peer::extendedAnswer = -1;
    InfodriverClient client;
    EXPECT_EQ(client.connect(10, nullptr, 1, 0, 3, 4), kStatusNoWindow);
    ASSERT_EQ(Peer::count(IFMSG_CONNECTEXT), 1);
    for (const auto& r : Peer::received) {
        if (r.message == IFMSG_CONNECTEXT) {
            EXPECT_EQ(r.lParam, (4 << 16) | 3);
        }
    }
    EXPECT_EQ(Peer::count(IFMSG_CONNECTDONE), 0);
    EXPECT_EQ(FindWindowA(kClientWindowClass, nullptr), nullptr);
    client.release();
    EXPECT_EQ(Peer::count(IFMSG_CLIENTGONE), 0);
}

TEST_F(Win32Client, AHiddenWindowWithoutAClientIsRefused) {
    InfodriverClient client;
    ASSERT_EQ(client.connect(10), kStatusConnected);  // registers the class
    EXPECT_EQ(CreateWindowExA(0, kClientWindowClass, "", 0, 0, 0, 0, 0, nullptr, nullptr,
                              GetModuleHandleA(nullptr), nullptr),
              nullptr);
}

TEST_F(Win32Client, TwoClientsRegisterTheClassOnce) {
    InfodriverClient first;
    InfodriverClient second;
    ASSERT_EQ(first.connect(10), kStatusConnected);
    // A second registration would be refused by the window system and give 9.
    ASSERT_EQ(second.connect(10), kStatusConnected);
    EXPECT_TRUE(infodriverState().clientClassRegistered);
    EXPECT_NE(first.ownWindow(), second.ownWindow());
    EXPECT_EQ(Peer::count(IFMSG_CONNECTREQ), 2);
}

TEST_F(Win32Client, AClassTheSystemRefusesGives9) {
    InfodriverClient first;
    ASSERT_EQ(first.connect(10), kStatusConnected);
    infodriverState().clientClassRegistered = false;  // forgets, so registers again: refused
    InfodriverClient second;
    EXPECT_EQ(second.connect(10), kStatusNoClass);
    EXPECT_EQ(second.ownWindow(), 0u);
}

TEST_F(Win32Client, ReleaseSaysGoodbyeOnce) {
    WindowHandle own = 0;
    {
        InfodriverClient client;
        ASSERT_EQ(client.connect(10), kStatusConnected);
        own = client.ownWindow();
        client.release();
        EXPECT_FALSE(IsWindow(reinterpret_cast<HWND>(own)));
        EXPECT_EQ(client.ownWindow(), own);
    }
    ASSERT_EQ(Peer::count(IFMSG_CLIENTGONE), 1);
    for (const auto& r : Peer::received) {
        if (r.message != IFMSG_CLIENTGONE) continue;
        EXPECT_EQ(r.wParam, 0u);
        EXPECT_EQ(r.lParam, 10);
    }
}

TEST_F(Win32Client, ReadyAckDuringConnectDoneIsKept) {
    Peer::readyAckDuringDone = 1;
    InfodriverClient client;
    ASSERT_EQ(client.connect(10), kStatusConnected);
    EXPECT_TRUE(client.readyAcknowledged());
}

TEST_F(Win32Client, MessagesFromThePeerReachTheClient) {
    InfodriverClient client;
    client.setEventCallback(&recordEvent);
    ASSERT_EQ(client.connect(10), kStatusConnected);
    HWND own = reinterpret_cast<HWND>(client.ownWindow() & 0xFFFF);  // as the peer knows it

    const char* value = "2";
    EXPECT_EQ(SendMessageA(own, IFMSG_SLOTCHANGED, 1, reinterpret_cast<LPARAM>(value)), 1);
    EXPECT_EQ(SendMessageA(own, XJQ_REQDEVGORXONLY, 0, 0), 0);
    EXPECT_EQ(SendMessageA(own, IFMSG_DEVICEINUSE, 65537, 0), 0);
    EXPECT_EQ(SendMessageA(own, IFMSG_LIBRARYDATA, 40, 2), 42);
    EXPECT_EQ(SendMessageA(own, IFMSG_DISCONNECTED, 0, 0), 0);

    ASSERT_EQ(gEvents.size(), 4u);
    EXPECT_EQ(gEvents[0].code, 1);
    EXPECT_EQ(gEvents[0].text, "2");
    EXPECT_EQ(gEvents[0].status, kStatusConnected);
    EXPECT_EQ(gEvents[1].status, kStatusTxRx);
    EXPECT_EQ(gEvents[2].code, 1);
    EXPECT_EQ(gEvents[3].text, "Infodriver has disconnected");
    EXPECT_EQ(client.ownReceiveCounter(), 1u);

    // Anything else is the window system's: a window text set and read back.
    EXPECT_TRUE(SendMessageA(own, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("hidden")));
    char text[16] = {};
    EXPECT_EQ(SendMessageA(own, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text)), 6);
    EXPECT_STREQ(text, "hidden");
}

// Any program of the session can send the hidden window an address: a bad one is not read.
TEST_F(Win32Client, MessagesWithAnUnreadableTextAreIgnored) {
    InfodriverClient client;
    client.setEventCallback(&recordEvent);
    ASSERT_EQ(client.connect(10), kStatusConnected);
    HWND own = reinterpret_cast<HWND>(client.ownWindow());
    SendMessageA(own, IFMSG_PEERTEXT, 0, reinterpret_cast<LPARAM>("kept"));
    EXPECT_EQ(SendMessageA(own, IFMSG_SLOTCHANGED, 1, 0x10), 0);
    EXPECT_EQ(SendMessageA(own, IFMSG_PEERTEXT, 0, 0x10), 0);
    EXPECT_TRUE(gEvents.empty());
    EXPECT_EQ(client.ownReceiveCounter(), 0u);
    EXPECT_STREQ(client.peerText(), "kept");
}

TEST_F(Win32Client, SlotTrafficGoesThroughOrdinal2) {
    InfodriverClient client;
    ASSERT_EQ(client.connect(10), kStatusConnected);
    client.writeSlot(-5, "%d,", 7);
    char buffer[256];
    EXPECT_EQ(client.readSlot(3, buffer, sizeof buffer), 1);
    EXPECT_STREQ(buffer, "from the library");
    EXPECT_TRUE(client.writeSlotIfChanged(3, "other"));
    EXPECT_FALSE(client.writeSlotIfChanged(3, "from the library"));

    ASSERT_EQ(gSlotCalls.size(), 5u);
    EXPECT_EQ(gSlotCalls[0].peer, peer);
    EXPECT_EQ(gSlotCalls[0].message, IFMSG_SLOTWRITEALT);
    EXPECT_EQ(gSlotCalls[0].index, 5u);
    EXPECT_EQ(gSlotCalls[0].text, "7,");
    EXPECT_EQ(gSlotCalls[0].one, 1);
    EXPECT_EQ(gSlotCalls[0].length, 3);
    EXPECT_EQ(gSlotCalls[1].message, IFMSG_SLOTREAD);
    EXPECT_EQ(gSlotCalls[1].length, 256);
    EXPECT_EQ(gSlotCalls[3].message, IFMSG_SLOTWRITE);
    EXPECT_EQ(gSlotCalls[3].text, "other");
    EXPECT_EQ(client.ownTransmitCounter(), 2u);
}

TEST_F(Win32Client, WithoutALibrarySlotTrafficIsDroppedNotCrashed) {
    win32Transport().useLibrary(nullptr, nullptr, nullptr);
    EXPECT_FALSE(win32Transport().hasLibrary());
    InfodriverClient client;
    ASSERT_EQ(client.connect(10), kStatusConnected);
    char buffer[16] = "untouched";
    EXPECT_EQ(client.readSlot(1, buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "untouched");
    client.writeSlot(1, "x");
    EXPECT_EQ(SendMessageA(reinterpret_cast<HWND>(client.ownWindow()), IFMSG_LIBRARYDATA, 1, 1), 0);
}

}  // namespace
}  // namespace korvel::infodriver
