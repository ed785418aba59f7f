#pragma once

#include <cstdint>

namespace korvel::config {

// The C library's decimal conversion, made safe: leading blanks are skipped, one sign is
// allowed, conversion stops at the first non-digit, and text without digits gives 0.
// A number beyond the 32-bit range gives the nearest limit (as the Windows runtime's atoi
// does) instead of undefined behaviour.
std::int32_t decimalValue(const char* text);

}  // namespace korvel::config
