#include "tools/portcheck/line_setting.h"

#include <cctype>

#include "config/device_settings.h"

namespace korvel::tools::portcheck {

std::string lineText(const LineSetting& line) {
    return std::to_string(line.speed) + "," + std::to_string(line.dataBits) + "," + line.parity +
           "," + std::to_string(line.stopBits);
}

int parityCode(char parity) {
    const char letter[2] = {parity, '\0'};
    return config::parityCode(letter);  // as the driver reads a VT's Parity
}

std::optional<char> parityLetter(std::string_view text) {
    if (text.size() != 1) return std::nullopt;
    const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    if (letter == 'N' || letter == 'O' || letter == 'E' || letter == 'M') return letter;
    return std::nullopt;
}

std::vector<LineSetting> settingsToTry(const LineSetting& given) {
    std::vector<int> speeds{given.speed};
    for (int speed : {38400, 19200, 9600, 57600, 115200})
        if (speed != given.speed) speeds.push_back(speed);
    std::vector<LineSetting> settings;
    for (int speed : speeds)
        for (char parity : {'O', 'E', 'N'}) {
            const LineSetting candidate{speed, 8, parity, 1};
            if (candidate != given) settings.push_back(candidate);
        }
    return settings;
}

}  // namespace korvel::tools::portcheck
