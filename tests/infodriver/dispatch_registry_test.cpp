#include "infodriver/dispatch_registry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "client_test_support.h"

namespace korvel::infodriver::testing {
namespace {

// A device that records the events routed to it.
class RecordingDevice final : public InfodriverSink {
  public:
    void onInfodriverEvent(InfodriverClient* client, std::int32_t code, const char* text) override {
        seen.push_back({client, code, text, client->status()});
    }
    std::vector<Event> seen;
};

class Dispatch : public InProcessClientTest {};

TEST_F(Dispatch, SlotChangesReachTheRegisteredDeviceOnly) {
    InProcessInfodriver second(world, 11);
    InfodriverClient a;
    InfodriverClient b;
    a.setEventCallback(&dispatchEvent);
    b.setEventCallback(&dispatchEvent);
    ASSERT_EQ(a.connect(10), kStatusConnected);
    ASSERT_EQ(b.connect(11), kStatusConnected);
    RecordingDevice vt1;
    RecordingDevice vt2;
    registerClient(&vt1, &a);
    registerClient(&vt2, &b);

    infodriver.changeSlot(1, "15");
    second.changeSlot(9, "2");
    ASSERT_EQ(vt1.seen.size(), 1u);
    EXPECT_EQ(vt1.seen[0].client, &a);
    EXPECT_EQ(vt1.seen[0].code, 1);
    EXPECT_EQ(vt1.seen[0].text, "15");
    EXPECT_EQ(vt1.seen[0].status, kStatusConnected);
    ASSERT_EQ(vt2.seen.size(), 1u);
    EXPECT_EQ(vt2.seen[0].code, 9);
}

TEST_F(Dispatch, EventsOfAnUnregisteredClientAreDropped) {
    InfodriverClient client;
    client.setEventCallback(&dispatchEvent);
    ASSERT_EQ(client.connect(10), kStatusConnected);
    RecordingDevice other;
    InfodriverClient neighbour;
    registerClient(&other, &neighbour);

    EXPECT_EQ(infodriver.changeSlot(1, "15"), 1);  // still answered
    EXPECT_EQ(client.ownReceiveCounter(), 1u);     // and counted
    EXPECT_TRUE(other.seen.empty());
}

TEST_F(Dispatch, TheFirstRegistrationOfAClientKeepsIt) {
    InfodriverClient client;
    RecordingDevice first;
    RecordingDevice second;
    registerClient(&first, &client);
    registerClient(&second, &client);
    dispatchEvent(&client, 0, "Infodriver has disconnected");
    EXPECT_EQ(first.seen.size(), 1u);
    EXPECT_TRUE(second.seen.empty());
}

TEST_F(Dispatch, RemovalTakesTheFirstEntryOfADevice) {
    InfodriverClient a;
    InfodriverClient b;
    RecordingDevice device;
    registerClient(&device, &a);
    registerClient(&device, &b);
    dispatchRegistry().removeFirst(&device);
    EXPECT_EQ(dispatchRegistry().size(), 1u);
    dispatchRegistry().removeFirst(&device);
    dispatchEvent(&a, 1, "x");
    dispatchEvent(&b, 1, "x");
    EXPECT_TRUE(device.seen.empty());
}

TEST_F(Dispatch, KeysKeepTheWholeAddress) {
    // Two addresses equal in their low 32 bits are two clients.
    static_assert(sizeof(DispatchRegistry::Key) == sizeof(void*));
    if constexpr (sizeof(void*) == 8) {
        RecordingDevice low;
        RecordingDevice high;
        const auto base = std::uintptr_t{0x1000};
        const auto far = base | (std::uintptr_t{1} << 40);
        dispatchRegistry().add(base, &low);
        dispatchRegistry().add(far, &high);
        EXPECT_EQ(dispatchRegistry().find(base), &low);
        EXPECT_EQ(dispatchRegistry().find(far), &high);
    }
}

}  // namespace
}  // namespace korvel::infodriver::testing
