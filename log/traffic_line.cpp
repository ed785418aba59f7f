#include "log/traffic_line.h"

#include <cstdio>

namespace korvel::log {
namespace {

int appendHex(char* out, const std::uint8_t* bytes, int count, const char* digits) {
    char* next = out;
    for (int i = 0; i < count; ++i) {
        *next++ = digits[bytes[i] >> 4];
        *next++ = digits[bytes[i] & 0x0F];
        *next++ = ' ';
    }
    *next = '\0';
    return static_cast<int>(next - out);
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Exactly width digits, then the separator (none when it is '\0').
bool takeField(std::string_view& text, std::size_t width, char separator, int& value) {
    if (text.size() < width + (separator ? 1 : 0)) return false;
    value = 0;
    for (std::size_t i = 0; i < width; ++i) {
        if (!isDigit(text[i])) return false;
        value = value * 10 + (text[i] - '0');
    }
    if (separator && text[width] != separator) return false;
    text.remove_prefix(width + (separator ? 1 : 0));
    return true;
}

bool takeText(std::string_view& text, std::string_view expected) {
    if (!text.starts_with(expected)) return false;
    text.remove_prefix(expected.size());
    return true;
}

}  // namespace

bool parseHexBytes(std::string_view text, std::vector<std::uint8_t>& bytes) {
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] == ' ' || text[i] == '\r') {
            ++i;
            continue;
        }
        if (i + 1 >= text.size()) return false;
        const int high = hexDigit(text[i]);
        const int low = hexDigit(text[i + 1]);
        if (high < 0 || low < 0) return false;
        if (i + 2 < text.size() && text[i + 2] != ' ' && text[i + 2] != '\r') return false;
        if (bytes.size() >= kMaxTrafficLineBytes) return false;
        bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
        i += 2;
    }
    return !bytes.empty();
}

int formatTransmitLine(char* out, const std::uint8_t* bytes, int count) {
    constexpr std::string_view kPrefix = "TX: ";
    kPrefix.copy(out, kPrefix.size());
    return static_cast<int>(kPrefix.size()) +
           appendHex(out + kPrefix.size(), bytes, count, "0123456789abcdef");
}

int formatReceiveLine(char* out, int vtNumber, const std::uint8_t* bytes, int count) {
    const int prefix = std::snprintf(out, kTrafficPrefixSize, "Read[vt%d] ", vtNumber);
    return prefix + appendHex(out + prefix, bytes, count, "0123456789ABCDEF");
}

int formatLogStamp(char* out, std::size_t size, const LogTime& time) {
    return std::snprintf(out, size, "%02d/%02d/%04d %02d:%02d:%02d ", time.day, time.month,
                         time.year, time.hour, time.minute, time.second);
}

bool takeLogStamp(std::string_view& text, LogTime& time) {
    std::string_view rest = text;
    if (!(takeField(rest, 2, '/', time.day) && takeField(rest, 2, '/', time.month) &&
          takeField(rest, 4, ' ', time.year) && takeField(rest, 2, ':', time.hour) &&
          takeField(rest, 2, ':', time.minute) && takeField(rest, 2, ' ', time.second))) {
        return false;
    }
    text = rest;
    return true;
}

TrafficParse parseTrafficLine(std::string_view text, TrafficLine& line) {
    line.bytes.clear();
    if (takeText(text, "TX: ")) {
        line.received = false;
        line.vtNumber = 0;
    } else if (takeText(text, "Read[vt")) {
        int vt = 0;
        if (!takeField(text, 1, '\0', vt) || vt < 1 || !takeText(text, "] ")) {
            return TrafficParse::kDamaged;
        }
        line.received = true;
        line.vtNumber = vt;
    } else {
        return TrafficParse::kNotTraffic;
    }
    return parseHexBytes(text, line.bytes) ? TrafficParse::kTraffic : TrafficParse::kDamaged;
}

}  // namespace korvel::log
