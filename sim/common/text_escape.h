#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace korvel::sim {

// The one-line escaping the tools' line protocols share: backslash, \n, \r, \t, and \xHH
// (capital hex) for every other byte below 0x20 and for 0x7F; bytes from 0x80 up as well
// when escapeHighBytes is set.
std::string escapeLine(std::string_view text, bool escapeHighBytes);

// Undoes escapeLine; nullopt for a bad escape, and for a NUL (raw or \x00) unless allowed.
std::optional<std::string> unescapeLine(std::string_view text, bool allowNul);

}  // namespace korvel::sim
