#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace korvel::sim {

// The slots of one emulated device: sparse, any index a 32-bit unsigned number, each text at
// most 511 characters. A slot that was never written reads as an empty text.
class SlotStore {
  public:
    using Slots = std::map<std::uint32_t, std::string>;

    // Stores the text, cut to 511 characters and at a NUL; returns what was stored.
    const std::string& write(std::uint32_t slot, std::string_view text);

    std::string read(std::uint32_t slot) const;

    // Every slot written so far, in index order.
    const Slots& slots() const { return slots_; }

  private:
    Slots slots_;
};

}  // namespace korvel::sim
