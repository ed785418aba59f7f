#include "sim/vraxif32/slot_wire.h"

#include <algorithm>
#include <cstring>

namespace korvel::sim {

void fillPacket(SlotPacket& packet, std::uint32_t slot, std::uint32_t process,
                std::uint32_t sequence, const char* text, std::size_t maxBytes) {
    std::memset(&packet, 0, sizeof packet);
    packet.magic = kSlotPacketMagic;
    packet.slot = slot;
    packet.process = process;
    packet.sequence = sequence;
    std::size_t length = 0;
    if (text != nullptr) {
        const std::size_t limit = std::min(maxBytes, kMaxSlotTextLength);
        while (length < limit && text[length] != '\0') ++length;
        std::memcpy(packet.text, text, length);
    }
    packet.text[length] = '\0';
    packet.length = static_cast<std::uint32_t>(length);
}

std::optional<SlotValue> readPacket(const void* bytes, std::size_t size) {
    if (bytes == nullptr || size != sizeof(SlotPacket)) return std::nullopt;
    SlotPacket packet;
    std::memcpy(&packet, bytes, sizeof packet);  // one snapshot: the sender may still write
    if (packet.magic != kSlotPacketMagic || packet.length > kMaxSlotTextLength) {
        return std::nullopt;
    }
    SlotValue value;
    value.slot = packet.slot;
    value.process = packet.process;
    value.sequence = packet.sequence;
    const char* begin = packet.text;
    const char* end = std::find(begin, begin + packet.length, '\0');
    value.text.assign(begin, end);
    return value;
}

std::uint32_t slotKeyOf(std::uint64_t slotIndex) {
    const auto index = static_cast<std::int32_t>(static_cast<std::uint32_t>(slotIndex));
    // Through 64 bits, so that the most negative index has a magnitude too.
    const std::int64_t wide = index;
    return static_cast<std::uint32_t>(wide < 0 ? -wide : wide);
}

std::string mailboxName(MailboxKind kind, std::uint32_t process, std::uint32_t sequence) {
    const char* what = kind == MailboxKind::ReadAnswer ? "read" : "change";
    return "VRAXIF32." + std::string(what) + "." + std::to_string(process) + "." +
           std::to_string(sequence);
}

}  // namespace korvel::sim
