#pragma once

// What our interface library and the infodriver emulator exchange between processes: one
// fixed-size packet, carried by WM_COPYDATA (driver to infodriver) or left in a named
// shared-memory mailbox (answers to reads, and slot changes for ordinal 1). Portable, so the
// encoding and its checks are tested natively; the window and mapping calls live elsewhere.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The message numbers the library and the infodriver share with the driver's hidden window.
#include "infodriver/infodriver_messages.h"

namespace korvel::sim {

// A slot holds at most 511 characters and a terminator.
inline constexpr std::size_t kSlotTextCapacity = 512;
inline constexpr std::size_t kMaxSlotTextLength = kSlotTextCapacity - 1;

// "KSLT": marks a packet as ours, so stray WM_COPYDATA traffic is refused.
inline constexpr std::uint32_t kSlotPacketMagic = 0x544C534Bu;

// The packet, identical in both processes whatever their bitness (a 32-bit driver's library
// talks to a 64-bit infodriver): fixed-size fields only, no pointers, no padding.
// For WM_COPYDATA the message number travels in the COPYDATASTRUCT's dwData.
struct SlotPacket {
    std::uint32_t magic;
    std::uint32_t slot;      // the slot as the store keys it: never negative
    std::uint32_t process;   // process id that owns the mailbox this packet names
    std::uint32_t sequence;  // the mailbox's number within that process
    std::uint32_t length;    // text bytes, the terminator not counted; at most 511
    char text[kSlotTextCapacity];
};
static_assert(sizeof(SlotPacket) == 5 * sizeof(std::uint32_t) + kSlotTextCapacity);

// A slot and its text, as taken out of a packet that passed every check.
struct SlotValue {
    std::uint32_t slot = 0;
    std::uint32_t process = 0;
    std::uint32_t sequence = 0;
    std::string text;
};

// Fills a packet. The text is read up to its terminator, but never more than maxBytes bytes
// and never more than 511: a longer text is cut, the packet always terminated.
void fillPacket(SlotPacket& packet, std::uint32_t slot, std::uint32_t process,
                std::uint32_t sequence, const char* text, std::size_t maxBytes);

// Checks a packet received from another process: size, magic and length must agree. The text
// ends at the first NUL within its length, so an unterminated or lying packet reads safely.
std::optional<SlotValue> readPacket(const void* bytes, std::size_t size);

// The store key of a slot index as it arrives in a wParam: the low 32 bits are the signed
// index, and a negative index addresses the slot of its absolute value.
std::uint32_t slotKeyOf(std::uint64_t slotIndex);

// Mailboxes are named shared-memory sections, named from their owner and number.
enum class MailboxKind { ReadAnswer, SlotChange };
std::string mailboxName(MailboxKind kind, std::uint32_t process, std::uint32_t sequence);

}  // namespace korvel::sim
