#include <gtest/gtest.h>

#include "client_test_support.h"

namespace korvel::infodriver::testing {
namespace {

using Kind = InProcessTransport::Call::Kind;

class ClientConnect : public InProcessClientTest {
  protected:
    // Broadcasts and sends in order, as "B<number>" and "S<number>".
    std::vector<std::string> messageOrder() const {
        std::vector<std::string> order;
        for (const auto& call : world.calls) {
            if (call.kind == Kind::broadcast) order.push_back("B" + std::to_string(call.message));
            if (call.kind == Kind::send) order.push_back("S" + std::to_string(call.message));
        }
        return order;
    }
};

TEST_F(ClientConnect, HandshakeRunsItsStepsInOrderAndConnects) {
    InfodriverClient client;
    EXPECT_EQ(client.status(), kStatusNotConnected);
    EXPECT_EQ(client.mode(), IFMODE_TXRX);

    ASSERT_EQ(client.connect(10), kStatusConnected);

    EXPECT_EQ(client.status(), kStatusConnected);
    EXPECT_EQ(client.deviceNumber(), 10u);
    EXPECT_EQ(client.peerWindow(), infodriver.window());
    EXPECT_NE(client.ownWindow(), 0u);
    EXPECT_EQ(messageOrder(), (std::vector<std::string>{"B49154", "S2729", "B49153", "B2031"}));

    // Every handshake message names the window by its low 16 bits only.
    const MessageWord own = client.ownWindow() & 0xFFFF;
    ASSERT_NE(own, client.ownWindow());
    const auto broadcasts = callsOf(Kind::broadcast);
    EXPECT_EQ(broadcasts[0].wParam, own);
    EXPECT_EQ(broadcasts[0].lParam, 10);
    for (std::size_t i = 1; i < broadcasts.size(); ++i) {
        EXPECT_EQ(broadcasts[i].wParam, own);
        EXPECT_EQ(broadcasts[i].lParam, 0);
    }
    EXPECT_EQ(infodriver.clientWindow(), own);
}

TEST_F(ClientConnect, DeviceNumberGoesAsItsLow16Bits) {
    InProcessInfodriver wide(world, 0x12345);
    InfodriverClient client;
    ASSERT_EQ(client.connect(0x12345), kStatusConnected);
    EXPECT_EQ(callsOf(Kind::broadcast)[0].lParam, 0x2345);
    EXPECT_EQ(client.peerWindow(), wide.window());
}

TEST_F(ClientConnect, DeviceZeroGives4ButRegistersTheClassForTheNextClient) {
    InfodriverClient first;
    EXPECT_EQ(first.connect(0), kStatusNoDevice);
    EXPECT_EQ(first.status(), kStatusNoDevice);
    EXPECT_EQ(first.ownWindow(), 0u);
    EXPECT_TRUE(infodriverState().clientClassRegistered);

    InfodriverClient second;
    EXPECT_EQ(second.connect(10), kStatusConnected);
    EXPECT_EQ(callsOf(Kind::registerClass).size(), 1u);
    EXPECT_EQ(callsOf(Kind::createWindow).size(), 1u);
}

TEST_F(ClientConnect, NoAnswerGives5AndNoWindow) {
    infodriver.answersConnectRequest = false;
    InfodriverClient client;
    EXPECT_EQ(client.connect(10), kStatusNoWindow);
    EXPECT_EQ(client.status(), kStatusNoWindow);
    EXPECT_EQ(client.ownWindow(), 0u);
    EXPECT_EQ(messageOrder(), (std::vector<std::string>{"B49154"}));

    // Nobody to say goodbye to, nothing to destroy.
    client.release();
    EXPECT_TRUE(callsOf(Kind::destroyWindow).empty());
    EXPECT_EQ(infodriver.count(IFMSG_CLIENTGONE), 0);
}

TEST_F(ClientConnect, AnInfodriverOfAnotherDeviceDoesNotAnswer) {
    InfodriverClient client;
    EXPECT_EQ(client.connect(11), kStatusNoWindow);
}

TEST_F(ClientConnect, ClassRefusedGives9AndTheNextConnectTriesAgain) {
    world.refuseClassRegistration = true;
    InfodriverClient client;
    EXPECT_EQ(client.connect(10), kStatusNoClass);
    EXPECT_EQ(client.status(), kStatusNoClass);
    EXPECT_FALSE(infodriverState().clientClassRegistered);
    EXPECT_TRUE(callsOf(Kind::createWindow).empty());

    world.refuseClassRegistration = false;
    EXPECT_EQ(client.connect(10), kStatusConnected);
}

TEST_F(ClientConnect, ExtendedParametersSend3124AndARefusalGives5) {
    infodriver.extendedConnectAnswer = -1;
    InfodriverClient client;
    EXPECT_EQ(client.connect(10, nullptr, 1, 2, 3, 4), kStatusNoWindow);
    EXPECT_TRUE(client.extended());
    EXPECT_EQ(client.ownWindow(), 0u);

    const auto broadcasts = callsOf(Kind::broadcast);
    ASSERT_EQ(broadcasts.size(), 1u);  // no connect-done after the refusal
    EXPECT_EQ(broadcasts[0].wParam >> 16, 1u);
    EXPECT_EQ(broadcasts[0].lParam, (2 << 16) | 10);
    ASSERT_EQ(infodriver.count(IFMSG_CONNECTEXT), 1);
    for (const auto& r : infodriver.received) {
        if (r.message != IFMSG_CONNECTEXT) continue;
        EXPECT_EQ(r.wParam, infodriver.clientWindow());
        EXPECT_EQ(r.lParam, (4 << 16) | 3);
    }
    // The infodriver that refused is no peer: no goodbye as the window goes, none later.
    EXPECT_EQ(client.peerWindow(), 0u);
    client.release();
    EXPECT_EQ(infodriver.count(IFMSG_CLIENTGONE), 0);
}

TEST_F(ClientConnect, ExtendedParametersAcceptedConnect) {
    infodriver.extendedConnectAnswer = 0;
    InfodriverClient client;
    EXPECT_EQ(client.connect(10, nullptr, 1, 2, 3, 4), kStatusConnected);
    EXPECT_EQ(infodriver.count(IFMSG_CONNECTEXT), 1);
    EXPECT_EQ(infodriver.count(IFMSG_CONNECTDONE), 1);
}

TEST_F(ClientConnect, WithoutAllOfP1P3P4NoExtensionAndP1P2GoAsZero) {
    for (auto [p1, p3, p4] : {std::tuple{0, 3, 4}, {1, 0, 4}, {1, 3, 0}}) {
        world.calls.clear();
        InfodriverClient client;
        infodriver.received.clear();
        EXPECT_EQ(client.connect(10, nullptr, p1, 7, p3, p4), kStatusConnected);
        EXPECT_FALSE(client.extended());
        EXPECT_EQ(infodriver.count(IFMSG_CONNECTEXT), 0);
        EXPECT_EQ(callsOf(Kind::broadcast)[0].wParam >> 16, 0u);
        EXPECT_EQ(callsOf(Kind::broadcast)[0].lParam, 10);
    }
}

TEST_F(ClientConnect, ExtendedParametersWhoseProductWrapsStillCount) {
    InfodriverClient client;
    EXPECT_EQ(client.connect(10, nullptr, 0x10000, 0, 0x10000, 1), kStatusConnected);
    EXPECT_TRUE(client.extended());
    EXPECT_EQ(infodriver.count(IFMSG_CONNECTEXT), 1);
}

TEST_F(ClientConnect, NonZeroReadyAckSuppressesTheReadyBroadcast) {
    infodriver.readyAckDuringRequest = 1;
    InfodriverClient client;
    ASSERT_EQ(client.connect(10), kStatusConnected);
    EXPECT_TRUE(client.readyAcknowledged());
    EXPECT_EQ(messageOrder(), (std::vector<std::string>{"B49154", "S2032", "S2729", "B49153"}));
}

TEST_F(ClientConnect, ReadyAckDuringConnectDoneAlsoSuppresses) {
    infodriver.readyAckDuringDone = 5;
    InfodriverClient client;
    ASSERT_EQ(client.connect(10), kStatusConnected);
    EXPECT_EQ(messageOrder(), (std::vector<std::string>{"B49154", "S2729", "B49153", "S2032"}));
}

TEST_F(ClientConnect, ZeroReadyAckLeavesTheReadyBroadcast) {
    infodriver.readyAckDuringRequest = 0;
    InfodriverClient client;
    ASSERT_EQ(client.connect(10), kStatusConnected);
    EXPECT_FALSE(client.readyAcknowledged());
    EXPECT_EQ(messageOrder().back(), "B2031");
}

TEST_F(ClientConnect, DeviceInUseDuringTheHandshakeStillReturns15) {
    infodriver.deviceInUseDuringRequest = 65537;
    InfodriverClient client;
    client.setEventCallback(&recordEvent);
    EXPECT_EQ(client.connect(10), kStatusConnected);
    EXPECT_EQ(client.status(), kStatusDeviceInUse);
    ASSERT_EQ(events().size(), 1u);
    EXPECT_EQ(events()[0].code, 1);
    EXPECT_EQ(events()[0].text, "Device ID in use");
}

TEST_F(ClientConnect, HeaderMismatchShowsOneErrorAndTheClientWorks) {
    InfodriverClient matching;
    EXPECT_TRUE(world.errors.empty());

    InfodriverClient client(108);
    ASSERT_EQ(world.errors.size(), 1u);
    EXPECT_EQ(world.errors[0], "Header doesn't match library");
    EXPECT_EQ(client.connect(10), kStatusConnected);
}

TEST_F(ClientConnect, ReleaseSaysGoodbyeOnceWithTheDeviceNumber) {
    {
        InfodriverClient client;
        ASSERT_EQ(client.connect(10), kStatusConnected);
        const WindowHandle own = client.ownWindow();
        client.release();
        EXPECT_EQ(client.ownWindow(), own);  // the handle stays readable
        EXPECT_FALSE(world.windowExists(own));
        client.release();
    }  // and the destructor does not say it again
    ASSERT_EQ(infodriver.count(IFMSG_CLIENTGONE), 1);
    for (const auto& r : infodriver.received) {
        if (r.message != IFMSG_CLIENTGONE) continue;
        EXPECT_EQ(r.wParam, 0u);
        EXPECT_EQ(r.lParam, 10);
    }
}

// The session's end says goodbye while a call of the client may still be on the stack.
TEST_F(ClientConnect, AnEarlyGoodbyeIsSaidOnceAndTheClientStaysUsable) {
    {
        InfodriverClient client;
        ASSERT_EQ(client.connect(10), kStatusConnected);
        client.sayGoodbye();
        EXPECT_EQ(infodriver.count(IFMSG_CLIENTGONE), 1);
        EXPECT_FALSE(world.windowExists(client.ownWindow()));
        client.writeSlot(3, "%s", "0,0,");
        EXPECT_FALSE(client.peerGone());
    }
    EXPECT_EQ(infodriver.count(IFMSG_CLIENTGONE), 1);
}

TEST_F(ClientConnect, DestroyingAConnectedClientReleasesIt) {
    {
        InfodriverClient client;
        ASSERT_EQ(client.connect(10), kStatusConnected);
    }
    EXPECT_EQ(infodriver.count(IFMSG_CLIENTGONE), 1);
}

TEST_F(ClientConnect, ASecondConnectReplacesTheWindowAfterAGoodbye) {
    InfodriverClient client;
    ASSERT_EQ(client.connect(10), kStatusConnected);
    const WindowHandle first = client.ownWindow();
    ASSERT_EQ(client.connect(10), kStatusConnected);
    EXPECT_FALSE(world.windowExists(first));
    EXPECT_TRUE(world.windowExists(client.ownWindow()));
    EXPECT_EQ(infodriver.count(IFMSG_CLIENTGONE), 1);
}

}  // namespace
}  // namespace korvel::infodriver::testing
