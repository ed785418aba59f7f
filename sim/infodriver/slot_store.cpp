#include "sim/infodriver/slot_store.h"

#include "sim/vraxif32/slot_wire.h"

namespace korvel::sim {

const std::string& SlotStore::write(std::uint32_t slot, std::string_view text) {
    text = text.substr(0, text.find('\0'));
    if (text.size() > kMaxSlotTextLength) text = text.substr(0, kMaxSlotTextLength);
    std::string& stored = slots_[slot];
    stored.assign(text);
    return stored;
}

std::string SlotStore::read(std::uint32_t slot) const {
    auto it = slots_.find(slot);
    return it == slots_.end() ? std::string() : it->second;
}

}  // namespace korvel::sim
