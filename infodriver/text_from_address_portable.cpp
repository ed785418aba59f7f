#include <cstring>

#include "infodriver/text_from_address.h"

namespace korvel::infodriver {

// Off Windows the messages come from the in-process world alone, whose texts are its own.
bool copyTextFromAddress(std::uintptr_t address, char* out, std::size_t capacity) {
    if (address == 0 || out == nullptr || capacity == 0) return false;
    const char* text = reinterpret_cast<const char*>(address);
    std::size_t length = 0;
    while (length < capacity - 1 && text[length] != '\0') ++length;
    std::memcpy(out, text, length);
    out[length] = '\0';
    return true;
}

}  // namespace korvel::infodriver
