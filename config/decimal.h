#pragma once

#include <cstdint>
#include <limits>

namespace korvel::config {

// The C library's decimal conversion, made safe: leading blanks are skipped, one sign is
// allowed, conversion stops at the first non-digit, and text without digits gives 0.
// A number beyond the 32-bit range gives the nearest limit (as the Windows runtime's atoi
// does) instead of undefined behaviour. Constant-evaluated for the settings' defaults.
constexpr std::int32_t decimalValue(const char* text) {
    if (text == nullptr) return 0;
    const auto isBlank = [](char c) {
        return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
    };
    while (isBlank(*text)) ++text;
    bool negative = false;
    if (*text == '+' || *text == '-') {
        negative = *text == '-';
        ++text;
    }
    constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
    constexpr std::int64_t kMin = std::numeric_limits<std::int32_t>::min();
    std::int64_t magnitude = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        magnitude = magnitude * 10 + (*text - '0');
        if (magnitude > kMax + 1) magnitude = kMax + 1;  // saturate, keep looping over digits
    }
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (value > kMax) return static_cast<std::int32_t>(kMax);
    if (value < kMin) return static_cast<std::int32_t>(kMin);
    return static_cast<std::int32_t>(value);
}

}  // namespace korvel::config
