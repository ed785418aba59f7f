#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvel::tools::portcheck {

// A serial line's framing, as the driver's VT sections give it.
struct LineSetting {
    int speed = 38400;
    int dataBits = 8;
    char parity = 'O';  // N, O, E or M
    int stopBits = 1;

    bool operator==(const LineSetting&) const = default;
};

// "38400,8,O,1".
std::string lineText(const LineSetting& line);
// The serial library's parity code of a letter.
int parityCode(char parity);
// "N", "O", "E" or "M", any case; none for anything else.
std::optional<char> parityLetter(std::string_view text);

// The settings a deck is most likely to be set to, for finding the one a deck that does not
// understand us is on: the given speed first, then the usual 9-pin speeds, each with odd, even
// and no parity; 8 data bits and 1 stop bit. The given setting itself is left out.
std::vector<LineSetting> settingsToTry(const LineSetting& given);

}  // namespace korvel::tools::portcheck
