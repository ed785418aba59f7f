#pragma once

#include <cstddef>
#include <cstdint>

namespace korvel::infodriver {

// Copies the terminated text at an address that arrived in a message into out: at most
// capacity - 1 characters and a terminator. Any program of the session can send the hidden
// windows a message, so the address is taken only when the text lies in readable memory of
// this process up to its terminator or the bound. False, with out untouched, when it does not
// (a null address included).
bool copyTextFromAddress(std::uintptr_t address, char* out, std::size_t capacity);

}  // namespace korvel::infodriver
