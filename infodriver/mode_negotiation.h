#pragma once

#include <cstdint>

#include "infodriver/infodriver_messages.h"

namespace korvel::infodriver {

// The name of an interface mode, or null for a mode that has none (6, 7 and invalid ones).
const char* modeName(std::int32_t mode);

// How a client answers an infodriver's request to go RX only or TXRX, or its inquiry. The
// answer depends on the client's mode alone; the mode never changes.
struct NegotiationAnswer {
    bool setsStatus = false;
    std::int32_t status = 0;         // the client's new status, when setsStatus
    bool callsBack = false;          // the event callback gets code 0 and the text
    char text[kSlotReadBytes] = {};  // the callback's text
    int result = 0;                  // to the infodriver: 1 accept, 0 deny
};

// request is XJQ_REQDEVGORXONLY, XJQ_REQDEVGOTXRX or XJQ_INQDEVGOTXRX; any other gives
// an answer of 0 with no status and no callback.
NegotiationAnswer answerNegotiation(std::uint32_t request, std::int32_t mode, std::uint32_t device);

}  // namespace korvel::infodriver
