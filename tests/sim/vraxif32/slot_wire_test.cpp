#include "sim/vraxif32/slot_wire.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace korvel::sim {
namespace {

TEST(SlotPacket, CarriesATextAndCutsOneLongerThanASlot) {
    SlotPacket packet;
    fillPacket(packet, 3, 77, 9, "1,2,", 512);
    auto value = readPacket(&packet, sizeof packet);
    ASSERT_TRUE(value);
    EXPECT_EQ(value->slot, 3u);
    EXPECT_EQ(value->process, 77u);
    EXPECT_EQ(value->sequence, 9u);
    EXPECT_EQ(value->text, "1,2,");

    const std::string longText(600, 'a');
    fillPacket(packet, 1, 0, 0, longText.c_str(), 100000);
    EXPECT_EQ(packet.length, 511u);
    EXPECT_EQ(packet.text[511], '\0');
    value = readPacket(&packet, sizeof packet);
    ASSERT_TRUE(value);
    EXPECT_EQ(value->text, std::string(511, 'a'));
}

TEST(SlotPacket, ReadsNoFurtherThanTheCallerAllowsAndTakesNullAsEmpty) {
    // A source of exactly four bytes without a terminator: nothing past them is touched.
    const char source[4] = {'a', 'b', 'c', 'd'};
    SlotPacket packet;
    fillPacket(packet, 0, 0, 0, source, sizeof source);
    EXPECT_EQ(readPacket(&packet, sizeof packet)->text, "abcd");

    fillPacket(packet, 0, 0, 0, "abcdef", 2);
    EXPECT_EQ(readPacket(&packet, sizeof packet)->text, "ab");

    fillPacket(packet, 0, 0, 0, nullptr, 512);
    EXPECT_EQ(readPacket(&packet, sizeof packet)->text, "");
}

TEST(SlotPacket, RefusesWhatAnotherProcessGotWrongAndReadsLiesSafely) {
    SlotPacket packet;
    fillPacket(packet, 5, 0, 0, "text", 512);
    EXPECT_FALSE(readPacket(nullptr, sizeof packet));
    EXPECT_FALSE(readPacket(&packet, sizeof packet - 1));
    EXPECT_FALSE(readPacket(&packet, 0));

    SlotPacket wrongMagic = packet;
    wrongMagic.magic ^= 1;
    EXPECT_FALSE(readPacket(&wrongMagic, sizeof wrongMagic));

    SlotPacket tooLong = packet;
    tooLong.length = 512;
    EXPECT_FALSE(readPacket(&tooLong, sizeof tooLong));

    // A length beyond the terminator ends at the terminator...
    SlotPacket lying = packet;
    lying.length = 300;
    EXPECT_EQ(readPacket(&lying, sizeof lying)->text, "text");
    // ...and a full, unterminated text ends at the length.
    SlotPacket unterminated = packet;
    std::memset(unterminated.text, 'x', sizeof unterminated.text);
    unterminated.length = 511;
    EXPECT_EQ(readPacket(&unterminated, sizeof unterminated)->text, std::string(511, 'x'));
}

TEST(SlotKey, ANegativeIndexAddressesItsAbsoluteValueWhateverTheUpperBits) {
    EXPECT_EQ(slotKeyOf(7), 7u);
    EXPECT_EQ(slotKeyOf(0), 0u);
    // -5 as a sign-extended 64-bit wParam and as a 32-bit value.
    EXPECT_EQ(slotKeyOf(static_cast<std::uint64_t>(std::int64_t{-5})), 5u);
    EXPECT_EQ(slotKeyOf(0xFFFFFFFBull), 5u);
    EXPECT_EQ(slotKeyOf(0x0000000100000003ull), 3u);
    EXPECT_EQ(slotKeyOf(0x80000000ull), 0x80000000u);  // the most negative index
    EXPECT_EQ(slotKeyOf(0x7FFFFFFFull), 0x7FFFFFFFu);
}

TEST(Mailbox, NamesDifferByKindOwnerAndNumber) {
    EXPECT_EQ(mailboxName(MailboxKind::ReadAnswer, 12, 3), "VRAXIF32.read.12.3");
    EXPECT_EQ(mailboxName(MailboxKind::SlotChange, 12, 3), "VRAXIF32.change.12.3");
    EXPECT_NE(mailboxName(MailboxKind::ReadAnswer, 1, 23),
              mailboxName(MailboxKind::ReadAnswer, 12, 3));
}

}  // namespace
}  // namespace korvel::sim
