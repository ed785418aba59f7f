#include "engine/frame.h"

#include <cstdio>

namespace korvel::engine {

std::uint8_t frameChecksum(const std::uint8_t* bytes, int count) {
    unsigned sum = 0;
    for (int i = 0; i < count; ++i) sum += bytes[i];
    return static_cast<std::uint8_t>(sum);
}

int completeFrame(FrameRecord& frame) {
    const int length = frameLength(frame[0]);
    frame[length - 1] = frameChecksum(frame.data(), length - 1);
    return length;
}

int appendHexBytes(char* out, const std::uint8_t* bytes, int count, bool upperCase) {
    const char* digits = upperCase ? "0123456789ABCDEF" : "0123456789abcdef";
    char* next = out;
    for (int i = 0; i < count; ++i) {
        *next++ = digits[bytes[i] >> 4];
        *next++ = digits[bytes[i] & 0x0F];
        *next++ = ' ';
    }
    *next = '\0';
    return static_cast<int>(next - out);
}

std::uint8_t toBcd(std::uint32_t decimal) {
    return static_cast<std::uint8_t>((decimal / 10) * 16 + decimal % 10);
}

Timecode withoutFlagBits(const Timecode& timecode) {
    return Timecode{static_cast<std::uint8_t>(timecode.frames & 0x3F),
                    static_cast<std::uint8_t>(timecode.seconds & 0x7F),
                    static_cast<std::uint8_t>(timecode.minutes & 0x7F),
                    static_cast<std::uint8_t>(timecode.hours & 0x3F)};
}

TimecodeText formatTimecode(const Timecode& timecode) {
    TimecodeText result{};
    std::snprintf(result.text, sizeof result.text, "%02x.%02x.%02x.%02x", timecode.hours,
                  timecode.minutes, timecode.seconds, timecode.frames);
    return result;
}

}  // namespace korvel::engine
