#include "comms/serial_registry.h"

#include <gtest/gtest.h>

#include <vector>

#include "comms/serial_port.h"

namespace korvel::comms {
namespace {

class RecordingListener final : public SerialListener {
  public:
    void onSerialData(SerialPort* port) override { calls.push_back(port); }
    std::vector<SerialPort*> calls;
};

class SerialRegistryTest : public ::testing::Test {
  protected:
    void SetUp() override { serialRegistry().clear(); }
    void TearDown() override { serialRegistry().clear(); }

    static SerialRegistry::Key keyOf(const SerialPort& port) {
        return SerialRegistry::keyOf(&port);
    }
};

TEST_F(SerialRegistryTest, ANotificationReachesTheListenerOfItsPortOnly) {
    SerialPort first, second;
    RecordingListener vt1, vt2;
    serialRegister(&vt1, keyOf(first));
    serialRegister(&vt2, keyOf(second));

    serialDispatch(keyOf(second));
    serialDispatch(keyOf(second) + 1);  // nobody's port: ignored
    EXPECT_TRUE(vt1.calls.empty());
    ASSERT_EQ(vt2.calls.size(), 1u);
    EXPECT_EQ(vt2.calls[0], &second);
}

TEST_F(SerialRegistryTest, TheFirstListenerOfAPortKeepsIt) {
    SerialPort port;
    RecordingListener owner, latecomer;
    serialRegister(&owner, keyOf(port));
    serialRegister(&latecomer, keyOf(port));
    serialDispatch(keyOf(port));
    EXPECT_EQ(owner.calls.size(), 1u);
    EXPECT_TRUE(latecomer.calls.empty());
}

TEST_F(SerialRegistryTest, UnregisterRemovesTheListenersLowestKeyOnly) {
    SerialPort ports[2];
    RecordingListener listener;
    serialRegister(&listener, keyOf(ports[0]));
    serialRegister(&listener, keyOf(ports[1]));
    serialUnregister(&listener);
    serialDispatch(keyOf(ports[0]));
    serialDispatch(keyOf(ports[1]));
    ASSERT_EQ(listener.calls.size(), 1u);
    EXPECT_EQ(listener.calls[0], &ports[1]);
}

}  // namespace
}  // namespace korvel::comms
