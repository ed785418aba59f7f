#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <initializer_list>
#include <string>

#include "sim/vtr/deck.h"
#include "sim/vtr/frame.h"

namespace korvel::sim::vtr::testing {

using namespace std::chrono_literals;

inline Instant at(std::chrono::microseconds t) {
    return Instant(t);
}

// A command as a controller sends it: CMD1, CMD2 and data, with the checksum added.
inline Bytes command(std::initializer_list<std::uint8_t> bytes) {
    Bytes frame(bytes);
    frame.push_back(checksumOf(frame));
    return frame;
}

// Sends one command and returns everything the deck writes for it, joined.
inline Bytes exchange(Deck& deck, std::initializer_list<std::uint8_t> bytes, Instant now) {
    const DeckReaction reaction = deck.receive(command(bytes), now);
    Bytes out;
    for (const Transmission& t : reaction.writes)
        out.insert(out.end(), t.bytes.begin(), t.bytes.end());
    return out;
}

inline Bytes reply(std::initializer_list<std::uint8_t> bytes) {
    return command(bytes);
}

inline StatusBytes statusOf(Deck& deck, Instant now) {
    const Bytes r = exchange(deck, {0x61, 0x20, 0x0A}, now);  // ten bytes from byte 0
    StatusBytes s{};
    if (r.size() == 13 && r[0] == 0x7A && r[1] == 0x20)
        for (std::size_t i = 0; i < 10; ++i) s[i] = r[2 + i];
    else
        ADD_FAILURE() << "no status reply";
    return s;
}

// A deck whose play locks at once and whose cues take half a second whatever the distance.
inline DeckSettings quickSettings() {
    DeckSettings settings;
    settings.transport.startFrames = 10 * 3600 * 25;
    settings.transport.cueTime = 500ms;
    settings.transport.cueSpeed = 0;
    settings.transport.lockFrames = 0;
    settings.byteTimeout = 50ms;
    return settings;
}

}  // namespace korvel::sim::vtr::testing

namespace korvel::sim::vtr::testing {
inline std::string hexOf(const Bytes& bytes) {
    std::string text;
    for (auto b : bytes) {
        char part[4];
        std::snprintf(part, sizeof part, "%02x ", b);
        text += part;
    }
    return text;
}
}  // namespace korvel::sim::vtr::testing
