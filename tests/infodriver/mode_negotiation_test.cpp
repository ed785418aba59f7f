#include "infodriver/mode_negotiation.h"

#include <gtest/gtest.h>

#include <string>

namespace korvel::infodriver {
namespace {

// One row of a negotiation table: no status is -1, no callback is a null text.
struct Row {
    std::int32_t mode;
    std::int32_t status;
    const char* text;
    int result;
};

void expectRow(std::uint32_t request, const Row& row) {
    SCOPED_TRACE("request " + std::to_string(request) + " mode " + std::to_string(row.mode));
    const NegotiationAnswer a = answerNegotiation(request, row.mode, 42);
    EXPECT_EQ(a.result, row.result);
    EXPECT_EQ(a.setsStatus, row.status >= 0);
    if (row.status >= 0) {
        EXPECT_EQ(a.status, row.status);
    }
    EXPECT_EQ(a.callsBack, row.text != nullptr);
    if (row.text != nullptr) {
        EXPECT_STREQ(a.text, row.text);
    }
}

TEST(ModeNegotiation, RequestToGoRxOnly) {
    const char* accept = "~ Accepting request to go RX Only";
    const char* deny = "~ Denying request to go RX Only";
    auto text = [](const char* name, const char* verdict) {
        static std::string s;
        s = std::string("XJQ_REQDEVGORXONLY Device=42 Mode=") + name + " " + verdict;
        return s;
    };
    const std::pair<std::int32_t, const char*> named[] = {
        {0, "IFMODE_NONE"}, {1, "IFMODE_RXONLY"}, {5, "IFMODE_RXONLYBROKEN"}};
    for (auto [mode, name] : named) {
        expectRow(XJQ_REQDEVGORXONLY, {mode, kStatusRxOnly, text(name, accept).c_str(), 1});
    }
    const std::pair<std::int32_t, const char*> transmitting[] = {
        {2, "IFMODE_TXRX"}, {3, "IFMODE_FORCETXRX"}, {4, "IFMODE_TXRXINQ"}};
    for (auto [mode, name] : transmitting) {
        expectRow(XJQ_REQDEVGORXONLY, {mode, kStatusTxRx, text(name, deny).c_str(), 0});
    }
    for (std::int32_t mode : {6, 7}) {
        expectRow(XJQ_REQDEVGORXONLY, {mode, kStatusRxOnly, "Accepting request to go RX Only", 1});
    }
    for (std::int32_t mode : {8, -1, 1000}) {
        expectRow(XJQ_REQDEVGORXONLY, {mode, -1, nullptr, 1});
    }
}

TEST(ModeNegotiation, RequestToGoTxRx) {
    const std::pair<std::int32_t, const char*> modes[] = {{1, "IFMODE_RXONLY"},
                                                          {2, "IFMODE_TXRX"},
                                                          {3, "IFMODE_FORCETXRX"},
                                                          {4, "IFMODE_TXRXINQ"},
                                                          {5, "IFMODE_RXONLYBROKEN"}};
    for (auto [mode, name] : modes) {
        const std::string text = std::string("XJQ_REQDEVGOTXRX Device=42 Mode=") + name +
                                 " ~ Accepting request to go TXRX";
        expectRow(XJQ_REQDEVGOTXRX, {mode, kStatusTxRx, text.c_str(), 1});
    }
    for (std::int32_t mode : {6, 7}) {
        expectRow(XJQ_REQDEVGOTXRX, {mode, kStatusTxRx, "Accepting request to go TXRX", 1});
    }
    for (std::int32_t mode : {0, 8, -2}) {
        expectRow(XJQ_REQDEVGOTXRX, {mode, -1, nullptr, 0});
    }
}

TEST(ModeNegotiation, InquiryToGoTxRx) {
    const std::pair<std::int32_t, const char*> denying[] = {
        {0, "IFMODE_NONE"}, {1, "IFMODE_RXONLY"}, {5, "IFMODE_RXONLYBROKEN"}};
    for (auto [mode, name] : denying) {
        const std::string text = std::string("XJQ_INQDEVGOTXRX Device=42 Mode=") + name +
                                 " ~ Denying inquiry to go TXRX";
        expectRow(XJQ_INQDEVGOTXRX, {mode, kStatusInquiryAnswered, text.c_str(), 0});
    }
    const std::pair<std::int32_t, const char*> accepting[] = {
        {2, "IFMODE_TXRX"}, {3, "IFMODE_FORCETXRX"}, {4, "IFMODE_TXRXINQ"}};
    for (auto [mode, name] : accepting) {
        const std::string text = std::string("XJQ_INQDEVGOTXRX Device=42 Mode=") + name +
                                 " ~ Accepting inquiry to go TXRX";
        expectRow(XJQ_INQDEVGOTXRX, {mode, kStatusInquiryAnswered, text.c_str(), 1});
    }
    for (std::int32_t mode : {6, 7}) expectRow(XJQ_INQDEVGOTXRX, {mode, -1, nullptr, 1});
    for (std::int32_t mode : {8, -1}) expectRow(XJQ_INQDEVGOTXRX, {mode, -1, nullptr, 0});
}

TEST(ModeNegotiation, TheDeviceNumberIsUnsignedDecimal) {
    const NegotiationAnswer a = answerNegotiation(XJQ_INQDEVGOTXRX, IFMODE_TXRX, 4000000000u);
    EXPECT_STREQ(a.text,
                 "XJQ_INQDEVGOTXRX Device=4000000000 Mode=IFMODE_TXRX ~ Accepting inquiry to go "
                 "TXRX");
}

}  // namespace
}  // namespace korvel::infodriver
