#include "shell/command_line.h"

#include <climits>
#include <cstring>

namespace korvel::shell {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

int deviceNumberFromCommandLine(const char* commandLine) {
    if (commandLine == nullptr) return 0;
    char text[kMaxCommandLine + 1] = {};
    std::strncpy(text, commandLine, kMaxCommandLine);

    const char* p = text;
    while (isBlank(*p)) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';

    // Accumulated as a negative number, whose range holds INT_MIN as well.
    long long value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        value = value * 10 - (*p - '0');
        if (value < INT_MIN) {
            value = INT_MIN;
            break;
        }
    }
    if (negative) return static_cast<int>(value);
    return value < -static_cast<long long>(INT_MAX) ? INT_MAX : static_cast<int>(-value);
}

}  // namespace korvel::shell
