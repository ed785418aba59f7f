#pragma once

#include <cstddef>
#include <string>

#include "tools/decode/traffic_decoder.h"

namespace korvel::tools::decode {

// Cuts the bytes of a log into lines for the decoder, in pieces as they are read: a line may
// end in a later piece. A line longer than kMaxLine is no line of a traffic log; it goes on as
// a line of junk, so that binary junk without line ends cannot fill the memory.
class LineSplitter {
  public:
    static constexpr std::size_t kMaxLine = 4096;

    explicit LineSplitter(TrafficDecoder& decoder) : decoder_(decoder) {}

    void add(const char* bytes, std::size_t count);
    // The input (or one file of it) has ended: a last line without its line end is a line.
    void endOfInput();

  private:
    void takeLine();

    TrafficDecoder& decoder_;
    std::string line_;
    bool overlong_ = false;
};

}  // namespace korvel::tools::decode
