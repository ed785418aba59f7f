#pragma once

#include "sim/vtr/deck_port.h"

namespace korvel::sim::vtr {

// A port behind a non-blocking descriptor: reads and writes are the system's.
class PosixDeckPort : public DeckPort {
  public:
    int read(std::uint8_t* buffer, int size) override;
    int write(const std::uint8_t* bytes, int length, std::string& error) override;
};

}  // namespace korvel::sim::vtr
