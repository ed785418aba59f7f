#include <gtest/gtest.h>

#include <vector>

#include "comms/serial_registry.h"
#include "infodriver/dispatch_registry.h"

namespace korvel {
namespace {

struct CountingListener final : comms::SerialListener {
    void onSerialData(comms::SerialPort* port) override { ports.push_back(port); }
    std::vector<comms::SerialPort*> ports;
};

struct CountingSink final : infodriver::InfodriverSink {
    void onInfodriverEvent(infodriver::InfodriverClient* client, std::int32_t code,
                           const char* text) override {
        clients.push_back(client);
        codes.push_back(code);
        texts.emplace_back(text);
    }
    std::vector<infodriver::InfodriverClient*> clients;
    std::vector<std::int32_t> codes;
    std::vector<std::string> texts;
};

class Registries : public ::testing::Test {
  protected:
    void SetUp() override {
        comms::serialRegistry().clear();
        infodriver::dispatchRegistry().clear();
    }
    void TearDown() override { SetUp(); }
};

TEST_F(Registries, TheFirstListenerOfAKeyKeepsItAndUnknownKeysReachNobody) {
    CountingListener first, second;
    comms::serialRegister(&first, 0x1000);
    comms::serialRegister(&second, 0x1000);
    comms::serialDispatch(0x1000);
    comms::serialDispatch(0x2000);
    EXPECT_EQ(first.ports, std::vector<comms::SerialPort*>{
                               reinterpret_cast<comms::SerialPort*>(std::uintptr_t{0x1000})});
    EXPECT_TRUE(second.ports.empty());
}

TEST_F(Registries, RemovalTakesTheListenersFirstEntryInKeyOrder) {
    CountingListener listener;
    comms::serialRegister(&listener, 0x3000);
    comms::serialRegister(&listener, 0x1000);
    comms::serialUnregister(&listener);
    EXPECT_EQ(comms::serialRegistry().find(0x1000), nullptr);
    EXPECT_EQ(comms::serialRegistry().find(0x3000), &listener);
}

TEST_F(Registries, KeysKeepEveryBitOfAnAddress) {
    CountingListener low, high;
    const std::uintptr_t lowKey = 0x12345678;
    // The top bit of a pointer-sized key: bit 63 on 64 bits, bit 31 on 32.
    const std::uintptr_t highKey = lowKey | (std::uintptr_t{1} << (8 * sizeof(std::uintptr_t) - 1));
    comms::serialRegister(&low, lowKey);
    comms::serialRegister(&high, highKey);
    comms::serialDispatch(highKey);
    EXPECT_TRUE(low.ports.empty());
    EXPECT_EQ(high.ports.size(), 1u);
}

TEST_F(Registries, ClientEventsReachTheirSinkWithCodeAndText) {
    CountingSink sink;
    int clientA = 0, clientB = 0;  // any two distinct addresses
    auto* a = reinterpret_cast<infodriver::InfodriverClient*>(&clientA);
    auto* b = reinterpret_cast<infodriver::InfodriverClient*>(&clientB);
    infodriver::registerClient(&sink, a);
    infodriver::dispatchEvent(a, 12, "01.02.03.04");
    infodriver::dispatchEvent(b, 1, "2");  // a client nobody registered: dropped
    EXPECT_EQ(sink.clients, std::vector<infodriver::InfodriverClient*>{a});
    EXPECT_EQ(sink.codes, std::vector<std::int32_t>{12});
    EXPECT_EQ(sink.texts, std::vector<std::string>{"01.02.03.04"});
}

}  // namespace
}  // namespace korvel
