// The driver's infodriver client in this process, the infodriver emulator in another, and
// our interface library between them: the whole road of a slot, both ways.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "infodriver/dispatch_registry.h"
#include "infodriver/infodriver_client.h"
#include "infodriver/infodriver_sink.h"
#include "infodriver/infodriver_state.h"
#include "infodriver/interface_library_loader.h"
#include "infodriver/win32_transport.h"
#include "tests/support/emulator_process.h"

namespace korvel::sim::testing {
namespace {

using infodriver::InfodriverClient;
using infodriver::InfodriverTransport;
using infodriver::MessageLong;
using infodriver::MessageResult;
using infodriver::MessageWord;
using infodriver::WindowHandle;

// What a VT device would see: every event of its client, with the status at that moment.
class RecordingSink final : public infodriver::InfodriverSink {
  public:
    struct Event {
        std::int32_t status;
        std::int32_t code;
        std::string text;
    };

    void onInfodriverEvent(InfodriverClient* client, std::int32_t code, const char* text) override {
        events.push_back({client->status(), code, text != nullptr ? text : ""});
        // As a VT device answers a command: a write while the infodriver's send still waits.
        if (echo && client->status() == infodriver::kStatusConnected) {
            client->writeSlot(code + 100, "echo %s", text);
        }
    }

    std::vector<Event> events;
    bool echo = false;
};

// The Windows transport, counting the class registrations it is asked for.
class CountingTransport final : public InfodriverTransport {
  public:
    bool registerClientClass(void* instance) override {
        ++registrations;
        return inner().registerClientClass(instance);
    }
    WindowHandle createClientWindow(void* instance, InfodriverClient& client) override {
        return inner().createClientWindow(instance, client);
    }
    void destroyClientWindow(WindowHandle window) override { inner().destroyClientWindow(window); }
    void broadcast(std::uint32_t message, MessageWord wParam, MessageLong lParam) override {
        inner().broadcast(message, wParam, lParam);
    }
    MessageResult send(WindowHandle window, std::uint32_t message, MessageWord wParam,
                       MessageLong lParam) override {
        return inner().send(window, message, wParam, lParam);
    }
    bool windowExists(WindowHandle window) const override { return inner().windowExists(window); }
    MessageResult defaultHandling(WindowHandle window, std::uint32_t message, MessageWord wParam,
                                  MessageLong lParam) override {
        return inner().defaultHandling(window, message, wParam, lParam);
    }
    MessageResult libraryData(WindowHandle ownWindow, MessageWord wParam,
                              MessageLong lParam) override {
        return inner().libraryData(ownWindow, wParam, lParam);
    }
    MessageResult slotTraffic(WindowHandle peerWindow, std::uint32_t message, MessageWord slotIndex,
                              char* text, int one, int length) override {
        return inner().slotTraffic(peerWindow, message, slotIndex, text, one, length);
    }
    void showError(const char* text) override { inner().showError(text); }

    int registrations = 0;

  private:
    static InfodriverTransport& inner() { return infodriver::win32Transport(); }
};

std::function<bool(const EventRecord&)> on(std::uint32_t device, std::uint32_t slot) {
    return [device, slot](const EventRecord& r) {
        return r.field("dev") == std::to_string(device) && r.field("slot") == std::to_string(slot);
    };
}

class ClientCrossProcessTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        char message[512] = {};
        libraryLoaded = infodriver::loadInterfaceLibrary(infodriver::kInterfaceLibraryName, message,
                                                         sizeof message);
        if (!libraryLoaded) std::fprintf(stderr, "%s\n", message);
    }

    void SetUp() override {
        ASSERT_TRUE(libraryLoaded);
        ASSERT_TRUE(emulator.ready());
        infodriver::dispatchRegistry().clear();
    }

    // As a VT device does it: the dispatching callback, connect, then registration.
    std::int32_t connect(InfodriverClient& client, RecordingSink& sink, std::uint32_t device) {
        client.setEventCallback(&infodriver::dispatchEvent);
        const std::int32_t result = client.connect(device);
        if (result == infodriver::kStatusConnected) infodriver::registerClient(&sink, &client);
        return result;
    }

    static bool libraryLoaded;
    EmulatorProcess emulator{"101 102"};
};

bool ClientCrossProcessTest::libraryLoaded = false;

TEST_F(ClientCrossProcessTest, SlotWritesAndReadsCross) {
    InfodriverClient client;
    RecordingSink sink;
    ASSERT_EQ(connect(client, sink, 101), infodriver::kStatusConnected);
    DWORD peerProcess = 0;
    GetWindowThreadProcessId(reinterpret_cast<HWND>(client.peerWindow()), &peerProcess);
    EXPECT_EQ(peerProcess, emulator.processId());
    EXPECT_TRUE(emulator.waitFor("connect"));
    const auto connected = emulator.waitFor("connected");
    ASSERT_TRUE(connected);
    EXPECT_EQ(connected->field("dev"), "101");

    std::uint32_t transmitted = 0;
    std::uint32_t received = 0;
    client.setCounters(&transmitted, &received);

    client.writeSlot(3, "%d,%d,", 1, 2);
    EXPECT_EQ(emulator.waitFor("write", on(101, 3))->text, "1,2,");
    char buffer[256];
    client.readSlot(3, buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "1,2,");

    // Unchanged: read, compared, not sent. Changed: sent once.
    EXPECT_FALSE(client.writeSlotIfChanged(3, "%d,%d,", 1, 2));
    EXPECT_TRUE(client.writeSlotIfChanged(3, "%d,", 2));
    EXPECT_EQ(emulator.waitFor("write", on(101, 3))->text, "2,");
    EXPECT_TRUE(emulator.sync());
    EXPECT_TRUE(emulator.untaken("write").empty());

    client.writeSlot(-5, "%s", "minus");
    const auto alt = emulator.waitFor("write", on(101, 5));
    ASSERT_TRUE(alt);
    EXPECT_EQ(alt->field("message"), "2731");
    EXPECT_EQ(transmitted, 3u);

    emulator.send("read 101 3");
    EXPECT_EQ(emulator.waitFor("value", on(101, 3))->text, "2,");
    EXPECT_TRUE(sink.events.empty());
}

TEST_F(ClientCrossProcessTest, ASlotWrittenByTheEmulatorReachesTheCallback) {
    InfodriverClient client;
    RecordingSink sink;
    ASSERT_EQ(connect(client, sink, 101), infodriver::kStatusConnected);
    std::uint32_t transmitted = 0;
    std::uint32_t received = 0;
    client.setCounters(&transmitted, &received);

    emulator.send("write 101 1 20,");
    const auto change = emulator.waitFor("change", on(101, 1));
    ASSERT_TRUE(change);
    EXPECT_EQ(change->field("result"), "1");
    ASSERT_EQ(sink.events.size(), 1u);
    EXPECT_EQ(sink.events[0].status, infodriver::kStatusConnected);
    EXPECT_EQ(sink.events[0].code, 1);
    EXPECT_EQ(sink.events[0].text, "20,");
    EXPECT_EQ(received, 1u);

    // A write from inside the callback reaches the infodriver while its change is delivered.
    sink.echo = true;
    emulator.send("write 101 7 cmd");
    const auto echoed = emulator.waitFor("write", on(101, 107));
    ASSERT_TRUE(echoed);
    EXPECT_EQ(echoed->text, "echo cmd");
    const auto echoedChange = emulator.waitFor("change", on(101, 7));
    ASSERT_TRUE(echoedChange);
    EXPECT_EQ(echoedChange->field("result"), "1");
    sink.echo = false;
    sink.events.clear();
    received = 0;

    // The longest text a slot holds arrives whole.
    const std::string longest(511, 'x');
    emulator.send("write 101 2 " + longest + "yyy");
    ASSERT_TRUE(emulator.waitFor("change", on(101, 2)));
    ASSERT_EQ(sink.events.size(), 1u);
    EXPECT_EQ(sink.events[0].text, longest);
    EXPECT_EQ(received, 1u);
}

TEST_F(ClientCrossProcessTest, DisconnectAndModeRequestsGetTheClientsAnswers) {
    InfodriverClient client;
    RecordingSink sink;
    ASSERT_EQ(connect(client, sink, 101), infodriver::kStatusConnected);
    const struct {
        const char* command;
        const char* result;
        std::int32_t status;
        std::int32_t code;
        const char* text;
    } requests[] = {
        {"rxonly 101", "0", infodriver::kStatusTxRx, 0,
         "XJQ_REQDEVGORXONLY Device=101 Mode=IFMODE_TXRX ~ Denying request to go RX Only"},
        {"txrx 101", "1", infodriver::kStatusTxRx, 0,
         "XJQ_REQDEVGOTXRX Device=101 Mode=IFMODE_TXRX ~ Accepting request to go TXRX"},
        {"inquire 101", "1", infodriver::kStatusInquiryAnswered, 0,
         "XJQ_INQDEVGOTXRX Device=101 Mode=IFMODE_TXRX ~ Accepting inquiry to go TXRX"},
        {"inuse 101 65537", "0", infodriver::kStatusDeviceInUse, 1, "Device ID in use"},
        {"disconnect 101", "0", infodriver::kStatusNotConnected, 0, "Infodriver has disconnected"},
    };
    for (const auto& request : requests) {
        sink.events.clear();
        emulator.send(request.command);
        const auto answer = emulator.waitFor("answer");
        ASSERT_TRUE(answer) << request.command;
        EXPECT_EQ(answer->field("result"), request.result) << request.command;
        ASSERT_EQ(sink.events.size(), 1u) << request.command;
        EXPECT_EQ(sink.events[0].status, request.status) << request.command;
        EXPECT_EQ(sink.events[0].code, request.code) << request.command;
        EXPECT_EQ(sink.events[0].text, request.text);
        EXPECT_EQ(client.status(), request.status);
    }
}

TEST_F(ClientCrossProcessTest, TwoClientsInOneProcessRegisterTheClassOnceAndKeepTheirDevices) {
    // Start from a process where the class was never registered.
    UnregisterClassA(infodriver::kClientWindowClass, GetModuleHandleA(nullptr));
    infodriver::infodriverState().clientClassRegistered = false;

    CountingTransport transport;
    InfodriverClient first(infodriver::kInterfaceHeaderVersion, &transport);
    InfodriverClient second(infodriver::kInterfaceHeaderVersion, &transport);
    RecordingSink firstSink;
    RecordingSink secondSink;
    ASSERT_EQ(connect(first, firstSink, 101), infodriver::kStatusConnected);
    ASSERT_EQ(connect(second, secondSink, 102), infodriver::kStatusConnected);
    EXPECT_EQ(transport.registrations, 1);
    EXPECT_NE(first.ownWindow(), second.ownWindow());
    EXPECT_NE(first.peerWindow(), second.peerWindow());

    first.writeSlot(1, "%s", "first");
    second.writeSlot(1, "%s", "second");
    EXPECT_EQ(emulator.waitFor("write", on(101, 1))->text, "first");
    EXPECT_EQ(emulator.waitFor("write", on(102, 1))->text, "second");

    emulator.send("write 102 4 for the second");
    ASSERT_TRUE(emulator.waitFor("change", on(102, 4)));
    EXPECT_TRUE(firstSink.events.empty());
    ASSERT_EQ(secondSink.events.size(), 1u);
    EXPECT_EQ(secondSink.events[0].text, "for the second");
}

TEST_F(ClientCrossProcessTest, ReleaseSaysGoodbyeOnceAndNoOneAnswersAnUnservedDevice) {
    {
        InfodriverClient client;
        RecordingSink sink;
        ASSERT_EQ(connect(client, sink, 102), infodriver::kStatusConnected);
        client.release();
        const auto gone = emulator.waitFor("gone");
        ASSERT_TRUE(gone);
        EXPECT_EQ(gone->field("dev"), "102");
        EXPECT_EQ(gone->field("device"), "102");
        client.release();
    }  // and its destruction says nothing more
    EXPECT_TRUE(emulator.sync());
    EXPECT_TRUE(emulator.untaken("gone").empty());

    InfodriverClient stranger;
    EXPECT_EQ(stranger.connect(103), infodriver::kStatusNoWindow);
    EXPECT_EQ(stranger.ownWindow(), 0u);
}

TEST_F(ClientCrossProcessTest, AnInfodriverThatVanishesLeavesTheClientWorking) {
    InfodriverClient client;
    RecordingSink sink;
    ASSERT_EQ(connect(client, sink, 101), infodriver::kStatusConnected);
    client.writeSlot(1, "%s", "before");
    ASSERT_TRUE(emulator.quit());

    client.writeSlot(1, "%s", "after");
    char buffer[256];
    std::memset(buffer, '#', sizeof buffer);
    client.readSlot(1, buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "");
    client.release();  // the goodbye goes nowhere, and nothing hangs
}

}  // namespace
}  // namespace korvel::sim::testing
