// The interface library and the infodriver emulator together, driven by a client written
// out by hand: a hidden window that does the connect handshake with raw messages and calls
// the library's two ordinals.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "infodriver/interface_library.h"
#include "sim/vraxif32/slot_wire.h"
#include "tests/support/emulator_process.h"

namespace korvel::sim::testing {
namespace {

using infodriver::LibraryDataFunction;
using infodriver::SlotTrafficFunction;

struct Library {
    HMODULE module = LoadLibraryA(infodriver::kInterfaceLibraryName);
    LibraryDataFunction libraryData =
        module == nullptr
            ? nullptr
            : reinterpret_cast<LibraryDataFunction>(reinterpret_cast<void*>(
                  GetProcAddress(module, MAKEINTRESOURCEA(infodriver::kLibraryDataOrdinal))));
    SlotTrafficFunction slotTraffic =
        module == nullptr
            ? nullptr
            : reinterpret_cast<SlotTrafficFunction>(reinterpret_cast<void*>(
                  GetProcAddress(module, MAKEINTRESOURCEA(infodriver::kSlotTrafficOrdinal))));
};

Library& library() {
    static Library loaded;
    return loaded;
}

// A client's hidden window: it records what the infodriver sends and answers as told.
class RawClient {
  public:
    RawClient() {
        static const ATOM registered = [] {
            WNDCLASSA windowClass{};
            windowClass.lpfnWndProc = &RawClient::procedure;
            windowClass.hInstance = GetModuleHandleA(nullptr);
            windowClass.lpszClassName = "KorvelRawTestClient";
            return RegisterClassA(&windowClass);
        }();
        if (registered != 0) {
            window_ = CreateWindowExA(0, "KorvelRawTestClient", "", 0, 0, 0, 0, 0, nullptr, nullptr,
                                      GetModuleHandleA(nullptr), this);
        }
    }
    ~RawClient() {
        if (window_ != nullptr) DestroyWindow(window_);
    }
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    HWND window() const { return window_; }
    WPARAM ownHandle() const { return reinterpret_cast<std::uintptr_t>(window_) & 0xFFFFu; }

    // The connect request and the connect-done broadcast; true when an infodriver answered.
    bool connect(std::uint32_t device) {
        SendMessageA(HWND_BROADCAST, 49154, ownHandle(), device & 0xFFFFu);
        if (peer == nullptr) return false;
        SendMessageA(HWND_BROADCAST, 49153, ownHandle(), 0);
        return true;
    }

    LRESULT write(std::int32_t slot, const char* text, int length) {
        const UINT message = slot < 0 ? 2731 : 2726;
        const WPARAM index = static_cast<WPARAM>(slot < 0 ? -slot : slot);
        return library().slotTraffic(peer, message, index, reinterpret_cast<LPARAM>(text), 1,
                                     length);
    }
    LRESULT write(std::int32_t slot, const std::string& text) {
        return write(slot, text.c_str(), static_cast<int>(text.size()) + 1);
    }
    LRESULT read(std::int32_t slot, char* buffer, int length) {
        return library().slotTraffic(peer, 2727, static_cast<WPARAM>(slot),
                                     reinterpret_cast<LPARAM>(buffer), 1, length);
    }
    std::string read(std::int32_t slot) {
        char buffer[1024];
        std::memset(buffer, '#', sizeof buffer);
        read(slot, buffer, 1024);
        return std::string(buffer, strnlen(buffer, sizeof buffer));
    }

    HWND peer = nullptr;
    WPARAM readyAck = 0;
    std::vector<std::pair<std::int32_t, std::string>> slotChanges;
    std::vector<std::pair<UINT, WPARAM>> requests;
    std::map<UINT, LRESULT> answers;  // what to answer each request with (default 0)
    LRESULT slotChangeAnswer = 1;

  private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_NCCREATE) {
            SetWindowLongPtrA(window, GWLP_USERDATA,
                              reinterpret_cast<LONG_PTR>(
                                  reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams));
        }
        auto* client = reinterpret_cast<RawClient*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        if (client == nullptr) return DefWindowProcA(window, message, wParam, lParam);
        switch (message) {
            case 2729:
                client->peer = reinterpret_cast<HWND>(wParam);
                return 0;
            case 2032:
                client->readyAck = wParam;
                return 0;
            case 2074:
                return library().libraryData(window, wParam, lParam);
            case 2728:
                client->slotChanges.emplace_back(static_cast<std::int32_t>(wParam),
                                                 reinterpret_cast<const char*>(lParam));
                return client->slotChangeAnswer;
            case 2175:
            case 2179:
            case 2180:
            case 2181:
            case 2190:
                client->requests.emplace_back(message, wParam);
                return client->answers[message];
            default:
                return DefWindowProcA(window, message, wParam, lParam);
        }
    }

    HWND window_ = nullptr;
};

bool hasText(const std::optional<EventRecord>& record, const std::string& text) {
    return record && record->text == text;
}

std::function<bool(const EventRecord&)> slotIs(std::uint32_t slot) {
    return [slot](const EventRecord& r) { return r.field("slot") == std::to_string(slot); };
}

class RawClientTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(library().slotTraffic, nullptr) << "VRAXIF32.dll or its ordinals missing";
        ASSERT_NE(library().libraryData, nullptr);
        ASSERT_TRUE(emulator.ready());
        ASSERT_NE(client.window(), nullptr);
        ASSERT_TRUE(client.connect(101));
    }

    EmulatorProcess emulator{"101 102"};
    RawClient client;
};

TEST(InterfaceLibrary, ExportsOrdinalsOneAndTwoAndNoNames) {
    auto* base = reinterpret_cast<const unsigned char*>(library().module);
    ASSERT_NE(base, nullptr);
    auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    ASSERT_NE(directory.VirtualAddress, 0u);
    auto* exports =
        reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + directory.VirtualAddress);
    EXPECT_EQ(exports->Base, 1u);
    EXPECT_EQ(exports->NumberOfFunctions, 2u);
    EXPECT_EQ(exports->NumberOfNames, 0u);
    EXPECT_EQ(GetProcAddress(library().module, "slotTraffic"), nullptr);
}

TEST_F(RawClientTest, HandshakeFindsTheServedDeviceOnlyAndAcknowledgesTheClient) {
    DWORD peerProcess = 0;
    GetWindowThreadProcessId(client.peer, &peerProcess);
    EXPECT_EQ(peerProcess, emulator.processId());
    EXPECT_EQ(client.readyAck, 1u);  // spares the client its ready broadcast

    const auto connect = emulator.waitFor("connect");
    ASSERT_TRUE(connect);
    EXPECT_EQ(connect->field("dev"), "101");
    EXPECT_EQ(std::stoull(connect->field("client"), nullptr, 16), client.ownHandle());
    EXPECT_EQ(connect->field("delivered"), "1");
    const auto connected = emulator.waitFor("connected");
    ASSERT_TRUE(connected);
    EXPECT_EQ(connected->field("dev"), "101");
    EXPECT_EQ(connected->field("ack"), "1");

    // The extended registration is accepted with a non-negative answer.
    const LRESULT extended = SendMessageA(client.peer, 3124, client.ownHandle(), (4 << 16) | 3);
    EXPECT_GE(extended, 0);
    const auto connectext = emulator.waitFor("connectext");
    ASSERT_TRUE(connectext);
    EXPECT_EQ(connectext->field("p3"), "3");
    EXPECT_EQ(connectext->field("p4"), "4");

    // A device nobody serves gets no answer.
    RawClient stranger;
    EXPECT_FALSE(stranger.connect(103));
    EXPECT_TRUE(emulator.sync());
    EXPECT_TRUE(emulator.untaken("connect").empty());
}

TEST_F(RawClientTest, WritesAndReadsCrossWithNegativeIndexesAsTheirAbsoluteValue) {
    EXPECT_EQ(client.write(3, "1,2,"), 1);
    EXPECT_TRUE(hasText(emulator.waitFor("write", slotIs(3)), "1,2,"));
    emulator.send("read 101 3");
    EXPECT_TRUE(hasText(emulator.waitFor("value", slotIs(3)), "1,2,"));
    EXPECT_EQ(client.read(3), "1,2,");
    const auto read = emulator.waitFor("read", slotIs(3));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->field("answered"), "1");

    // 2731 carries the absolute index; a read of the negative index finds the same slot.
    EXPECT_EQ(client.write(-5, "minus five"), 1);
    const auto alt = emulator.waitFor("write", slotIs(5));
    ASSERT_TRUE(alt);
    EXPECT_EQ(alt->field("message"), "2731");
    EXPECT_EQ(client.read(-5), "minus five");
    EXPECT_EQ(client.read(5), "minus five");

    // An empty text (length 1: the terminator) and a slot never written.
    EXPECT_EQ(client.write(3, "", 1), 1);
    EXPECT_TRUE(hasText(emulator.waitFor("write", slotIs(3)), ""));
    EXPECT_EQ(client.read(3), "");
    char buffer[8];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(client.read(900, buffer, sizeof buffer), 1);
    EXPECT_STREQ(buffer, "");

    // Writes reach the device the peer window serves, and no other.
    emulator.send("dump 102");
    const auto dumped = emulator.waitFor("dumped");
    ASSERT_TRUE(dumped);
    EXPECT_EQ(dumped->field("count"), "0");
}

TEST_F(RawClientTest, LongTextsAreCutToASlotAndBuffersAreNeverOverrun) {
    const std::string longText(600, 'a');
    EXPECT_EQ(client.write(1, longText), 1);
    EXPECT_TRUE(hasText(emulator.waitFor("write", slotIs(1)), std::string(511, 'a')));
    EXPECT_EQ(client.read(1), std::string(511, 'a'));

    // A read into a short buffer: length bytes at most, terminator included.
    char buffer[20];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(client.read(1, buffer, 10), 1);
    EXPECT_EQ(std::string(buffer, 9), std::string(9, 'a'));
    EXPECT_EQ(buffer[9], '\0');
    EXPECT_EQ(std::string(buffer + 10, 10), std::string(10, '#'));
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(client.read(1, buffer, 1), 1);
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_EQ(buffer[1], '#');

    // A write sends no more than its length allows, even from a longer text.
    EXPECT_EQ(client.write(2, "abcdef", 3), 1);
    EXPECT_TRUE(hasText(emulator.waitFor("write", slotIs(2)), "ab"));
}

TEST_F(RawClientTest, CallsTheLibraryCannotMakeSenseOfAreRefusedAndTouchNothing) {
    char buffer[8];
    std::memset(buffer, '#', sizeof buffer);
    auto* slotTraffic = library().slotTraffic;
    const auto text = reinterpret_cast<LPARAM>("x");
    EXPECT_EQ(slotTraffic(client.peer, 2726, 1, text, 0, 2), 0);     // not one
    EXPECT_EQ(slotTraffic(client.peer, 9999, 1, text, 1, 2), 0);     // no such message
    EXPECT_EQ(slotTraffic(client.peer, 2726, 1, 0, 1, 2), 0);        // no text
    EXPECT_EQ(slotTraffic(client.peer, 2726, 1, text, 1, 0), 0);     // no terminator room
    EXPECT_EQ(slotTraffic(HWND_BROADCAST, 2726, 1, text, 1, 2), 0);  // never to everyone
    EXPECT_EQ(slotTraffic(nullptr, 2726, 1, text, 1, 2), 0);         // not connected
    EXPECT_EQ(client.read(1, buffer, 0), 0);
    EXPECT_EQ(buffer[0], '#');
    EXPECT_EQ(slotTraffic(nullptr, 2727, 1, reinterpret_cast<LPARAM>(buffer), 1, 8), 0);
    EXPECT_EQ(buffer[0], '\0');  // a failed read still leaves a text
    EXPECT_EQ(buffer[1], '#');

    // Ordinal 1 for a slot change that does not exist delivers nothing.
    EXPECT_EQ(library().libraryData(client.window(), emulator.processId(), 999999), 0);
    EXPECT_EQ(library().libraryData(nullptr, emulator.processId(), 1), 0);
    EXPECT_TRUE(client.slotChanges.empty());

    // A packet that is not ours is refused by the emulator and traced.
    COPYDATASTRUCT stray{2726, 3, const_cast<char*>("abc")};
    EXPECT_EQ(SendMessageA(client.peer, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&stray)), 0);
    EXPECT_TRUE(emulator.waitFor("error"));
    EXPECT_TRUE(emulator.sync());
    EXPECT_TRUE(emulator.untaken("write").empty());
}

TEST_F(RawClientTest, ASlotWrittenByTheControlSystemReachesTheClientsWindow) {
    emulator.send("write 101 7 hello world");
    const auto change = emulator.waitFor("change", slotIs(7));
    ASSERT_TRUE(change);
    EXPECT_EQ(change->field("result"), "1");  // the window's answer, through ordinal 1
    ASSERT_EQ(client.slotChanges.size(), 1u);
    EXPECT_EQ(client.slotChanges[0], std::make_pair(7, std::string("hello world")));

    client.slotChangeAnswer = 0;
    emulator.send("write 101 8 tab\\there " + std::string(600, 'b'));
    const auto cut = emulator.waitFor("change", slotIs(8));
    ASSERT_TRUE(cut);
    EXPECT_EQ(cut->field("result"), "0");
    ASSERT_EQ(client.slotChanges.size(), 2u);
    EXPECT_EQ(client.slotChanges[1].second, ("tab\there " + std::string(600, 'b')).substr(0, 511));
    EXPECT_EQ(client.read(8), client.slotChanges[1].second);  // and it stays in the slot

    // A device without a client keeps the value and delivers nothing.
    emulator.send("write 102 1 nobody");
    const auto unsent = emulator.waitFor("change");
    ASSERT_TRUE(unsent);
    EXPECT_EQ(unsent->field("result"), "none");
    EXPECT_EQ(client.slotChanges.size(), 2u);
}

TEST_F(RawClientTest, RequestsCarryTheClientsAnswersBack) {
    client.answers = {{2175, 0}, {2179, 7}, {2180, 1}, {2181, -1}, {2190, 0}};
    const struct {
        const char* command;
        UINT message;
        WPARAM wParam;
        const char* result;
    } requests[] = {
        {"rxonly 101", 2179, 0, "7"},   {"txrx 101", 2180, 0, "1"},
        {"inquire 101", 2181, 0, "-1"}, {"inuse 101 65537", 2190, 65537, "0"},
        {"inuse 101", 2190, 101, "0"},  {"disconnect 101", 2175, 0, "0"},
    };
    for (const auto& request : requests) {
        emulator.send(request.command);
        const auto answer = emulator.waitFor("answer");
        ASSERT_TRUE(answer) << request.command;
        EXPECT_EQ(answer->field("dev"), "101");
        EXPECT_EQ(answer->field("message"), std::to_string(request.message));
        EXPECT_EQ(answer->field("result"), request.result) << request.command;
        ASSERT_FALSE(client.requests.empty());
        EXPECT_EQ(client.requests.back(), std::make_pair(request.message, request.wParam));
    }
    EXPECT_EQ(client.requests.size(), std::size(requests));

    // A device without a client: nothing to ask.
    emulator.send("txrx 102");
    const auto none = emulator.waitFor("answer");
    ASSERT_TRUE(none);
    EXPECT_EQ(none->field("result"), "none");
    emulator.send("txrx 555");
    EXPECT_TRUE(emulator.waitFor("error"));
}

TEST_F(RawClientTest, TheClientsGoodbyeIsPrintedAndEndsDelivery) {
    EXPECT_EQ(SendMessageA(client.peer, 2725, 0, 101), 0);
    const auto gone = emulator.waitFor("gone");
    ASSERT_TRUE(gone);
    EXPECT_EQ(gone->field("dev"), "101");
    EXPECT_EQ(gone->field("device"), "101");
    EXPECT_EQ(std::stoull(gone->field("client"), nullptr, 16), client.ownHandle());

    emulator.send("write 101 1 after");
    const auto change = emulator.waitFor("change");
    ASSERT_TRUE(change);
    EXPECT_EQ(change->field("result"), "none");
    EXPECT_TRUE(client.slotChanges.empty());
}

TEST_F(RawClientTest, AnInfodriverThatIsGoneFailsWritesAndReadsWithoutHanging) {
    EXPECT_EQ(client.write(1, "before"), 1);
    ASSERT_TRUE(emulator.quit());
    EXPECT_EQ(client.write(1, "after"), 0);
    char buffer[16];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(client.read(1, buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "");
}

}  // namespace
}  // namespace korvel::sim::testing

namespace korvel::sim::testing {
namespace {

// An infodriver of the test's own, on a thread of its own, that answers reads with "slot N".
// While it answers the first read, before that read returns, it makes the client read again:
// as a slot change handled inside the wait of a read would.
class NestingPeer {
  public:
    NestingPeer() {
        thread_ = CreateThread(nullptr, 0, &NestingPeer::run, this, 0, nullptr);
        while (window_.load() == nullptr && !failed_.load()) Sleep(1);
    }
    ~NestingPeer() {
        if (HWND window = window_.load()) PostMessageA(window, WM_CLOSE, 0, 0);
        WaitForSingleObject(thread_, 5000);
        CloseHandle(thread_);
    }
    NestingPeer(const NestingPeer&) = delete;
    NestingPeer& operator=(const NestingPeer&) = delete;

    HWND window() const { return window_.load(); }
    HWND client = nullptr;  // gets kNestedRead while the first read is answered
    static constexpr UINT kNestedRead = WM_APP + 7;

  private:
    static DWORD WINAPI run(void* self) {
        auto* peer = static_cast<NestingPeer*>(self);
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = &NestingPeer::procedure;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "KorvelNestingPeer";
        RegisterClassA(&windowClass);
        HWND window = CreateWindowExA(0, "KorvelNestingPeer", "", 0, 0, 0, 0, 0, nullptr, nullptr,
                                      GetModuleHandleA(nullptr), nullptr);
        if (window == nullptr) {
            peer->failed_ = true;
            return 1;
        }
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(peer));
        peer->window_ = window;
        MSG message;
        while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
        return 0;
    }

    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* peer = reinterpret_cast<NestingPeer*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        if (message == WM_CLOSE) {
            DestroyWindow(window);
            PostQuitMessage(0);
            return 0;
        }
        if (message != WM_COPYDATA || peer == nullptr) {
            return DefWindowProcA(window, message, wParam, lParam);
        }
        const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        const auto request = readPacket(data->lpData, data->cbData);
        if (data->dwData != infodriver::IFMSG_SLOTREAD || !request) return 0;

        HANDLE section = OpenFileMappingA(
            FILE_MAP_WRITE, FALSE,
            mailboxName(MailboxKind::ReadAnswer, request->process, request->sequence).c_str());
        if (section == nullptr) return 0;
        void* view = MapViewOfFile(section, FILE_MAP_WRITE, 0, 0, sizeof(SlotPacket));
        if (view != nullptr) {
            const std::string text = "slot " + std::to_string(request->slot);
            fillPacket(*static_cast<SlotPacket*>(view), request->slot, request->process,
                       request->sequence, text.c_str(), text.size());
            UnmapViewOfFile(view);
        }
        CloseHandle(section);
        // The answer is in its mailbox; now, before returning, the nested read.
        if (!peer->nested_) {
            peer->nested_ = true;
            SendMessageA(peer->client, kNestedRead, 0, 0);
        }
        return view != nullptr ? 1 : 0;
    }

    HANDLE thread_ = nullptr;
    std::atomic<HWND> window_{nullptr};
    std::atomic<bool> failed_{false};
    bool nested_ = false;  // the peer thread's own
};

struct NestedReader {
    HWND peer = nullptr;
    std::string text;
    LRESULT result = -1;
};

LRESULT CALLBACK nestedReaderProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != NestingPeer::kNestedRead) return DefWindowProcA(window, message, wParam, lParam);
    auto* reader = reinterpret_cast<NestedReader*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    char buffer[64] = {};
    reader->result = library().slotTraffic(reader->peer, 2727, 9, reinterpret_cast<LPARAM>(buffer),
                                           1, sizeof buffer);
    reader->text = buffer;
    return 0;
}

TEST(InterfaceLibraryReads, AReadMadeWhileAnotherWaitsLeavesTheOuterAnswerIntact) {
    ASSERT_NE(library().slotTraffic, nullptr);
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = &nestedReaderProcedure;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "KorvelNestedReader";
    RegisterClassA(&windowClass);
    HWND client = CreateWindowExA(0, "KorvelNestedReader", "", 0, 0, 0, 0, 0, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(client, nullptr);
    NestedReader nested;
    SetWindowLongPtrA(client, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&nested));

    for (int round = 0; round < 2; ++round) {  // the second reuses what the first kept
        NestingPeer peer;
        ASSERT_NE(peer.window(), nullptr);
        peer.client = client;
        nested.peer = peer.window();
        nested.result = -1;
        char buffer[64] = {};
        EXPECT_EQ(library().slotTraffic(peer.window(), 2727, 4, reinterpret_cast<LPARAM>(buffer), 1,
                                        sizeof buffer),
                  1);
        EXPECT_STREQ(buffer, "slot 4");
        EXPECT_EQ(nested.result, 1);
        EXPECT_EQ(nested.text, "slot 9");
    }
    DestroyWindow(client);
}

}  // namespace
}  // namespace korvel::sim::testing
