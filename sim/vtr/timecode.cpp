#include "sim/vtr/timecode.h"

#include <cstdio>

namespace korvel::sim::vtr {

namespace {

std::uint8_t bcdByte(std::int64_t value) {
    return static_cast<std::uint8_t>(((value / 10) << 4) | (value % 10));
}

std::optional<int> bcdValue(std::uint8_t byte, int limit) {
    const int high = byte >> 4;
    const int low = byte & 0x0F;
    if (high > 9 || low > 9) return std::nullopt;
    const int value = high * 10 + low;
    if (value >= limit) return std::nullopt;
    return value;
}

}  // namespace

BcdTimecode toBcd(std::int64_t frames) {
    frames %= kFramesPerDay;
    if (frames < 0) frames += kFramesPerDay;
    const std::int64_t seconds = frames / kFramesPerSecond;
    return {bcdByte(frames % kFramesPerSecond), bcdByte(seconds % 60), bcdByte(seconds / 60 % 60),
            bcdByte(seconds / 3600)};
}

std::optional<std::int64_t> fromBcd(const BcdTimecode& bcd) {
    const auto frames = bcdValue(bcd[0] & 0x3F, kFramesPerSecond);
    const auto seconds = bcdValue(bcd[1] & 0x7F, 60);
    const auto minutes = bcdValue(bcd[2] & 0x7F, 60);
    const auto hours = bcdValue(bcd[3] & 0x3F, 24);
    if (!frames || !seconds || !minutes || !hours) return std::nullopt;
    return ((*hours * 60 + *minutes) * 60 + *seconds) * kFramesPerSecond + *frames;
}

std::optional<std::int64_t> parseTimecode(std::string_view text) {
    int fields[4] = {};
    std::size_t pos = 0;
    for (int i = 0; i < 4; ++i) {
        if (i > 0) {
            if (pos >= text.size() || (text[pos] != ':' && text[pos] != '.' && text[pos] != ';'))
                return std::nullopt;
            ++pos;
        }
        int digits = 0;
        int value = 0;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && digits < 2) {
            value = value * 10 + (text[pos] - '0');
            ++pos;
            ++digits;
        }
        if (digits == 0) return std::nullopt;
        fields[i] = value;
    }
    if (pos != text.size()) return std::nullopt;
    if (fields[0] >= 24 || fields[1] >= 60 || fields[2] >= 60 || fields[3] >= kFramesPerSecond)
        return std::nullopt;
    return ((fields[0] * 60 + fields[1]) * 60 + fields[2]) * kFramesPerSecond + fields[3];
}

std::string formatTimecode(std::int64_t frames) {
    const BcdTimecode bcd = toBcd(frames);
    char text[16];
    std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x", bcd[3], bcd[2], bcd[1], bcd[0]);
    return text;
}

}  // namespace korvel::sim::vtr
