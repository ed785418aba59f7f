#pragma once

// Helpers of the randomized engine tests: a seeded source of choices, frames with their
// checksums, the texts a careless control system may write, and what a deck answers.

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>

#include "support/engine_fakes.h"

namespace korvel::testing {

// Every choice of a randomized test comes from here; a fixed seed makes a failure repeat.
class Chooser {
  public:
    explicit Chooser(std::uint32_t seed) : generator_(seed) {}

    int between(int lowest, int highest) {
        return std::uniform_int_distribution<int>(lowest, highest)(generator_);
    }
    bool percent(int chance) { return between(0, 99) < chance; }
    std::uint8_t byte() { return static_cast<std::uint8_t>(between(0, 255)); }
    template <typename T, std::size_t N>
    const T& oneOf(const T (&items)[N]) {
        return items[static_cast<std::size_t>(between(0, static_cast<int>(N) - 1))];
    }

  private:
    std::mt19937 generator_;
};

// Low byte of the sum of the bytes: the 9-pin checksum.
inline std::uint8_t sum8(const std::uint8_t* bytes, std::size_t count) {
    unsigned sum = 0;
    for (std::size_t i = 0; i < count; ++i) sum += bytes[i];
    return static_cast<std::uint8_t>(sum);
}

// The frame with its checksum appended.
inline Bytes framed(Bytes body) {
    body.push_back(sum8(body.data(), body.size()));
    return body;
}

// True when the frame's length agrees with its first byte and its checksum is right.
inline bool wellFormed(const Bytes& frame) {
    return !frame.empty() && frame.size() == (frame[0] & 0x0Fu) + 3u &&
           frame.back() == sum8(frame.data(), frame.size() - 1);
}

// A text of the kind a control system may write into a slot: hostile ones known to trip
// parsers, texts over the parsers' alphabet, printable and binary junk, over-long texts,
// and well-shaped numbers and timecodes with random values.
inline std::string randomSlotText(Chooser& choose) {
    static const char* const kHostile[] = {
        "",
        "--5",
        "2,",
        ",7",
        "99999999999",
        "1.2.3",
        "RESET ",
        "RESET",
        "reset",
        " RESET",
        "-2147483648",
        "2147483647",
        "2147483648",
        "-0",
        "+7",
        " 8,-20",
        "-8,20",
        "8,-2147483648",
        "51,1000",
        "52,258",
        "1.2.3.",
        ".1.2.3",
        "1..2.3",
        "99.99.99.99",
        "-1.-2.-3.-4",
        "01.02.03.04",
        "1.2.3.4.5",
        "\xff\xfe\x80",
        "-5",
        "10",
        "39",
        "40",
        "\t 12abc",
        "7,",
        "-9",
        "22",
        "0",
        "100",
        "1,2,3",
        "-99999999999",
        "4294967336",
        "1.2.3..5",
        "+-3",
        "9,,",
        "  \n-7",
    };
    std::string text;
    switch (choose.between(0, 5)) {
        case 0:
            return choose.oneOf(kHostile);
        case 1: {
            static const char kParserAlphabet[] = "0123456789-+,. ";
            const int length = choose.between(0, 24);
            for (int i = 0; i < length; ++i) {
                text += kParserAlphabet[choose.between(0, sizeof kParserAlphabet - 2)];
            }
            return text;
        }
        case 2: {
            const int length = choose.between(0, 80);
            for (int i = 0; i < length; ++i) text += static_cast<char>(choose.between(32, 126));
            return text;
        }
        case 3: {
            const int length = choose.between(0, 40);
            for (int i = 0; i < length; ++i) text += static_cast<char>(choose.between(1, 255));
            return text;
        }
        case 4: {
            // Around the longest slot value (511) and the parsers' 255-character copy.
            static const int kLengths[] = {254, 255, 256, 300, 510, 511, 512, 600};
            const int length = choose.oneOf(kLengths);
            const bool digits = choose.percent(50);
            for (int i = 0; i < length; ++i) {
                text += digits ? static_cast<char>('0' + choose.between(0, 9))
                               : static_cast<char>(choose.between(1, 255));
            }
            return text;
        }
        default:
            if (choose.percent(50)) {
                return std::to_string(choose.between(-120, 120)) + "," +
                       std::to_string(choose.between(-70000, 70000));
            }
            return std::to_string(choose.between(0, 120)) + "." +
                   std::to_string(choose.between(0, 120)) + "." +
                   std::to_string(choose.between(0, 120)) + "." +
                   std::to_string(choose.between(0, 120));
    }
}

// What a well-behaved deck answers to a command: the stopped status to a status request,
// the extended status, the timecode 01:00:00:00, and an acknowledgement to anything else.
inline Bytes deckAnswerTo(const Bytes& command) {
    if (command.size() >= 3 && command[0] == 0x61 && command[1] == 0x20) {
        if (command[2] == 0x05) return framed({0x75, 0x20, 0x00, 0x20, 0x00, 0x00, 0x00});
        if (command[2] == 0x09) return framed({0x79, 0x20, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    }
    if (command.size() >= 3 && command[0] == 0x61 && command[1] == 0x0C) {
        return framed({0x74, 0x04, 0x00, 0x00, 0x00, 0x01});
    }
    return {0x10, 0x01, 0x11};
}

}  // namespace korvel::testing
