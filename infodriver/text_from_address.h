#pragma once

#include <cstddef>
#include <cstdint>

namespace korvel::infodriver {

// Copies the terminated text at an address that arrived in a message into out: at most
// capacity - 1 characters and a terminator. Any program of the session can send the hidden
// windows a message, and a thread of the interface library may free the memory meanwhile, so
// the text is copied out of this process's memory (never read in place) and taken only when
// every byte up to its terminator or the bound could be copied. False, with out untouched, when it
// does not (a null address included).
bool copyTextFromAddress(std::uintptr_t address, char* out, std::size_t capacity);

}  // namespace korvel::infodriver
