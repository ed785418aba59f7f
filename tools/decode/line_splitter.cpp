#include "tools/decode/line_splitter.h"

#include <cstring>

namespace korvel::tools::decode {

void LineSplitter::add(const char* bytes, std::size_t count) {
    const char* end = bytes + count;
    while (bytes < end) {
        const char* newline = static_cast<const char*>(
            std::memchr(bytes, '\n', static_cast<std::size_t>(end - bytes)));
        const char* stop = newline != nullptr ? newline : end;
        const std::size_t room = kMaxLine - line_.size();
        const std::size_t length = static_cast<std::size_t>(stop - bytes);
        line_.append(bytes, length < room ? length : room);
        overlong_ = overlong_ || length > room;
        if (newline == nullptr) return;
        takeLine();
        bytes = newline + 1;
    }
}

void LineSplitter::endOfInput() {
    if (!line_.empty() || overlong_) takeLine();
}

void LineSplitter::takeLine() {
    decoder_.addLine(overlong_ ? std::string_view("\x01") : std::string_view(line_));
    line_.clear();
    overlong_ = false;
}

}  // namespace korvel::tools::decode
