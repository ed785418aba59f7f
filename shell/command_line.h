#pragma once

namespace korvel::shell {

// The longest command line the driver looks at; the rest is ignored.
inline constexpr int kMaxCommandLine = 254;

// The base infodriver device number from the command line: its leading decimal number by
// the C library's text-to-integer rules (blanks skipped, a sign allowed, 0 without digits),
// looking at the first 254 characters only. Numbers beyond the range of int give its
// nearest end instead of an undefined value. Below 1 the start is refused.
int deviceNumberFromCommandLine(const char* commandLine);

}  // namespace korvel::shell
