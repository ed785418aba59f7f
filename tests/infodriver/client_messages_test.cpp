#include <gtest/gtest.h>

#include <string>

#include "client_test_support.h"

namespace korvel::infodriver::testing {
namespace {

using Kind = InProcessTransport::Call::Kind;

class ClientMessages : public InProcessClientTest {
  protected:
    void SetUp() override {
        InProcessClientTest::SetUp();
        client.setEventCallback(&recordEvent);
        ASSERT_EQ(client.connect(10), kStatusConnected);
        world.calls.clear();
    }

    InfodriverClient client;
};

TEST_F(ClientMessages, SlotChangeCountsSetsConnectedAndCallsBack) {
    std::uint32_t tx = 0;
    std::uint32_t rx = 0;
    client.setCounters(&tx, &rx);
    infodriver.sendToClient(XJQ_INQDEVGOTXRX);  // status 8 first
    events().clear();

    EXPECT_EQ(infodriver.changeSlot(1, "15"), 1);
    EXPECT_EQ(rx, 1u);
    EXPECT_EQ(client.ownReceiveCounter(), 0u);
    ASSERT_EQ(events().size(), 1u);
    EXPECT_EQ(events()[0].client, &client);
    EXPECT_EQ(events()[0].code, 1);
    EXPECT_EQ(events()[0].text, "15");
    EXPECT_EQ(events()[0].status, kStatusConnected);  // set before the callback

    infodriver.changeSlot(-3, "x");
    EXPECT_EQ(rx, 2u);
    EXPECT_EQ(events()[1].code, -3);
    EXPECT_EQ(tx, 0u);
}

TEST_F(ClientMessages, SlotChangeWithoutATextGivesAnEmptyOne) {
    EXPECT_EQ(infodriver.sendToClient(IFMSG_SLOTCHANGED, 4, 0), 1);
    ASSERT_EQ(events().size(), 1u);
    EXPECT_EQ(events()[0].text, "");
}

TEST_F(ClientMessages, DisconnectedSetsStatus3AndSaysSo) {
    EXPECT_EQ(infodriver.sendToClient(IFMSG_DISCONNECTED, 9, 9), 0);
    EXPECT_EQ(client.status(), kStatusNotConnected);
    ASSERT_EQ(events().size(), 1u);
    EXPECT_EQ(events()[0].code, 0);
    EXPECT_EQ(events()[0].text, "Infodriver has disconnected");
    EXPECT_EQ(events()[0].status, kStatusNotConnected);
}

TEST_F(ClientMessages, DeviceInUsePassesTheLow16BitsOfWParam) {
    EXPECT_EQ(infodriver.sendToClient(IFMSG_DEVICEINUSE, 0x1FFFF), 0);
    EXPECT_EQ(client.status(), kStatusDeviceInUse);
    ASSERT_EQ(events().size(), 1u);
    EXPECT_EQ(events()[0].code, 0xFFFF);
    EXPECT_EQ(events()[0].text, "Device ID in use");
}

TEST_F(ClientMessages, ModeRequestsInTheDriversModeAnswerAsTxRx) {
    EXPECT_EQ(infodriver.sendToClient(XJQ_REQDEVGORXONLY), 0);
    EXPECT_EQ(client.status(), kStatusTxRx);
    EXPECT_EQ(infodriver.sendToClient(XJQ_REQDEVGOTXRX), 1);
    EXPECT_EQ(client.status(), kStatusTxRx);
    EXPECT_EQ(infodriver.sendToClient(XJQ_INQDEVGOTXRX), 1);
    EXPECT_EQ(client.status(), kStatusInquiryAnswered);
    EXPECT_EQ(client.mode(), IFMODE_TXRX);
    ASSERT_EQ(events().size(), 3u);
    EXPECT_EQ(events()[0].text,
              "XJQ_REQDEVGORXONLY Device=10 Mode=IFMODE_TXRX ~ Denying request to go RX Only");
    EXPECT_EQ(events()[0].status, kStatusTxRx);
    EXPECT_EQ(events()[1].text,
              "XJQ_REQDEVGOTXRX Device=10 Mode=IFMODE_TXRX ~ Accepting request to go TXRX");
    EXPECT_EQ(events()[2].text,
              "XJQ_INQDEVGOTXRX Device=10 Mode=IFMODE_TXRX ~ Accepting inquiry to go TXRX");
    for (const auto& e : events()) EXPECT_EQ(e.code, 0);
}

TEST_F(ClientMessages, ReadyAckStoresWhetherWParamWasNonZero) {
    EXPECT_EQ(infodriver.sendToClient(IFMSG_READYACK, 3), 0);
    EXPECT_TRUE(client.readyAcknowledged());
    EXPECT_EQ(infodriver.sendToClient(IFMSG_READYACK, 0), 0);
    EXPECT_FALSE(client.readyAcknowledged());
    EXPECT_TRUE(events().empty());
}

TEST_F(ClientMessages, PeerWindowMessageRetargetsSlotTraffic) {
    EXPECT_EQ(infodriver.sendToClient(IFMSG_PEERWINDOW, 0x777), 0);
    EXPECT_EQ(client.peerWindow(), 0x777u);
    client.writeSlot(1, "a");
    EXPECT_EQ(callsOf(Kind::slotTraffic).back().window, 0x777u);
}

TEST_F(ClientMessages, LibraryDataGoesToOrdinal1AndItsAnswerBack) {
    world.libraryDataProcedure = [](WindowHandle, MessageWord w, MessageLong l) {
        return static_cast<MessageResult>(w) + l;
    };
    EXPECT_EQ(infodriver.sendToClient(IFMSG_LIBRARYDATA, 40, 2), 42);
    const auto calls = callsOf(Kind::libraryData);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].window, client.ownWindow());
    EXPECT_EQ(calls[0].wParam, 40u);
    EXPECT_EQ(calls[0].lParam, 2);
}

TEST_F(ClientMessages, PeerTextIsKeptUpTo299Characters) {
    const std::string exact(299, 'a');
    infodriver.sendToClient(IFMSG_PEERTEXT, 0, reinterpret_cast<MessageLong>(exact.c_str()));
    EXPECT_EQ(client.peerText(), exact);

    const std::string longer = std::string(299, 'b') + "OVERFLOW";
    EXPECT_EQ(
        infodriver.sendToClient(IFMSG_PEERTEXT, 0, reinterpret_cast<MessageLong>(longer.c_str())),
        0);
    EXPECT_EQ(client.peerText(), std::string(299, 'b'));

    infodriver.sendToClient(IFMSG_PEERTEXT, 0, reinterpret_cast<MessageLong>("short"));
    EXPECT_STREQ(client.peerText(), "short");
    infodriver.sendToClient(IFMSG_PEERTEXT, 0, 0);
    EXPECT_STREQ(client.peerText(), "");
    EXPECT_TRUE(events().empty());
}

TEST_F(ClientMessages, UnknownMessagesGoToTheDefaultHandling) {
    world.defaultResult = 77;
    for (std::uint32_t message : {IFMSG_CLIENTREADY, IFMSG_SLOTWRITE, IFMSG_CONNECTREQ, 1234u}) {
        world.calls.clear();
        EXPECT_EQ(infodriver.sendToClient(message, 5, 6), 77);
        const auto calls = callsOf(Kind::defaultHandling);
        ASSERT_EQ(calls.size(), 1u) << message;
        EXPECT_EQ(calls[0].window, client.ownWindow());
        EXPECT_EQ(calls[0].message, message);
        EXPECT_EQ(calls[0].wParam, 5u);
        EXPECT_EQ(calls[0].lParam, 6);
    }
    EXPECT_TRUE(events().empty());
    EXPECT_EQ(client.status(), kStatusConnected);
}

TEST_F(ClientMessages, AfterReleaseNoMessageReachesTheClient) {
    client.release();
    EXPECT_EQ(infodriver.changeSlot(1, "15"), 0);
    EXPECT_TRUE(events().empty());
    EXPECT_EQ(client.ownReceiveCounter(), 0u);
}

// A device that lets go of its client when told the infodriver has gone.
void releaseOnDisconnect(InfodriverClient* client, std::int32_t, const char*) {
    if (client->status() == kStatusNotConnected) client->release();
}

TEST_F(ClientMessages, TheCallbackMayReleaseItsClient) {
    client.setEventCallback(&releaseOnDisconnect);
    EXPECT_EQ(infodriver.sendToClient(IFMSG_DISCONNECTED), 0);
    EXPECT_FALSE(world.windowExists(client.ownWindow()));
    EXPECT_EQ(infodriver.count(IFMSG_CLIENTGONE), 1);
}

}  // namespace
}  // namespace korvel::infodriver::testing
