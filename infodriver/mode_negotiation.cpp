#include "infodriver/mode_negotiation.h"

#include <cstdio>

namespace korvel::infodriver {

namespace {

enum class ModeGroup { rxOnly, txRx, unnamed, invalid };

// Modes that prefer receiving only, those that transmit, and the two unnamed ones.
ModeGroup groupOf(std::int32_t mode) {
    switch (mode) {
        case IFMODE_NONE:
        case IFMODE_RXONLY:
        case IFMODE_RXONLYBROKEN:
            return ModeGroup::rxOnly;
        case IFMODE_TXRX:
        case IFMODE_FORCETXRX:
        case IFMODE_TXRXINQ:
            return ModeGroup::txRx;
        case 6:
        case 7:
            return ModeGroup::unnamed;
        default:
            return ModeGroup::invalid;
    }
}

void answer(NegotiationAnswer& a, std::int32_t status, int result) {
    a.setsStatus = true;
    a.status = status;
    a.callsBack = true;
    a.result = result;
}

void describe(NegotiationAnswer& a, const char* request, std::uint32_t device, std::int32_t mode,
              const char* verdict) {
    std::snprintf(a.text, sizeof a.text, "%s Device=%u Mode=%s ~ %s", request,
                  static_cast<unsigned>(device), modeName(mode), verdict);
}

NegotiationAnswer goRxOnly(std::int32_t mode, std::uint32_t device) {
    NegotiationAnswer a;
    switch (groupOf(mode)) {
        case ModeGroup::rxOnly:
            answer(a, kStatusRxOnly, 1);
            describe(a, "XJQ_REQDEVGORXONLY", device, mode, "Accepting request to go RX Only");
            break;
        case ModeGroup::txRx:
            answer(a, kStatusTxRx, 0);
            describe(a, "XJQ_REQDEVGORXONLY", device, mode, "Denying request to go RX Only");
            break;
        case ModeGroup::unnamed:
            answer(a, kStatusRxOnly, 1);
            std::snprintf(a.text, sizeof a.text, "Accepting request to go RX Only");
            break;
        case ModeGroup::invalid:
            a.result = 1;
            break;
    }
    return a;
}

NegotiationAnswer goTxRx(std::int32_t mode, std::uint32_t device) {
    NegotiationAnswer a;
    if (mode == IFMODE_NONE) return a;  // never transmits: denied without a word
    switch (groupOf(mode)) {
        case ModeGroup::rxOnly:
        case ModeGroup::txRx:
            answer(a, kStatusTxRx, 1);
            describe(a, "XJQ_REQDEVGOTXRX", device, mode, "Accepting request to go TXRX");
            break;
        case ModeGroup::unnamed:
            answer(a, kStatusTxRx, 1);
            std::snprintf(a.text, sizeof a.text, "Accepting request to go TXRX");
            break;
        case ModeGroup::invalid:
            break;
    }
    return a;
}

NegotiationAnswer inquireTxRx(std::int32_t mode, std::uint32_t device) {
    NegotiationAnswer a;
    switch (groupOf(mode)) {
        case ModeGroup::rxOnly:
            answer(a, kStatusInquiryAnswered, 0);
            describe(a, "XJQ_INQDEVGOTXRX", device, mode, "Denying inquiry to go TXRX");
            break;
        case ModeGroup::txRx:
            answer(a, kStatusInquiryAnswered, 1);
            describe(a, "XJQ_INQDEVGOTXRX", device, mode, "Accepting inquiry to go TXRX");
            break;
        case ModeGroup::unnamed:
            a.result = 1;
            break;
        case ModeGroup::invalid:
            break;
    }
    return a;
}

}  // namespace

const char* modeName(std::int32_t mode) {
    switch (mode) {
        case IFMODE_NONE:
            return "IFMODE_NONE";
        case IFMODE_RXONLY:
            return "IFMODE_RXONLY";
        case IFMODE_TXRX:
            return "IFMODE_TXRX";
        case IFMODE_FORCETXRX:
            return "IFMODE_FORCETXRX";
        case IFMODE_TXRXINQ:
            return "IFMODE_TXRXINQ";
        case IFMODE_RXONLYBROKEN:
            return "IFMODE_RXONLYBROKEN";
        default:
            return nullptr;
    }
}

NegotiationAnswer answerNegotiation(std::uint32_t request, std::int32_t mode,
                                    std::uint32_t device) {
    switch (request) {
        case XJQ_REQDEVGORXONLY:
            return goRxOnly(mode, device);
        case XJQ_REQDEVGOTXRX:
            return goTxRx(mode, device);
        case XJQ_INQDEVGOTXRX:
            return inquireTxRx(mode, device);
        default:
            return NegotiationAnswer{};
    }
}

}  // namespace korvel::infodriver
