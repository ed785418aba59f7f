#include "sim/infodriver/line_protocol.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace korvel::sim {
namespace {

TEST(CommandLine, ParsesEveryCommand) {
    auto parsed = parseCommand("write 101 3 1,2,");
    ASSERT_TRUE(parsed.ok()) << parsed.error;
    EXPECT_EQ(parsed.command.kind, CommandKind::Write);
    EXPECT_EQ(parsed.command.device, 101u);
    EXPECT_EQ(parsed.command.slot, 3u);
    EXPECT_EQ(parsed.command.text, "1,2,");

    parsed = parseCommand("read 101 4294967295");
    ASSERT_TRUE(parsed.ok()) << parsed.error;
    EXPECT_EQ(parsed.command.kind, CommandKind::Read);
    EXPECT_EQ(parsed.command.slot, 4294967295u);

    const struct {
        const char* line;
        CommandKind kind;
        std::uint32_t message;
    } requests[] = {
        {"dump 7", CommandKind::Dump, 0},
        {"disconnect 7", CommandKind::Disconnect, 2175},
        {"rxonly 7", CommandKind::RequestRxOnly, 2179},
        {"txrx 7", CommandKind::RequestTxRx, 2180},
        {"inquire 7", CommandKind::Inquire, 2181},
        {"inuse 7", CommandKind::DeviceInUse, 2190},
    };
    for (const auto& request : requests) {
        parsed = parseCommand(request.line);
        ASSERT_TRUE(parsed.ok()) << request.line << ": " << parsed.error;
        EXPECT_EQ(parsed.command.kind, request.kind) << request.line;
        EXPECT_EQ(parsed.command.device, 7u) << request.line;
        EXPECT_EQ(messageOf(parsed.command.kind), request.message) << request.line;
    }
    EXPECT_FALSE(parseCommand("inuse 7").command.code);
    EXPECT_EQ(parseCommand("inuse 7 65537").command.code, 65537u);
    parsed = parseCommand("hang 7 2725 1500");
    ASSERT_TRUE(parsed.ok()) << parsed.error;
    EXPECT_EQ(parsed.command.kind, CommandKind::Hang);
    EXPECT_EQ(parsed.command.message, 2725u);
    EXPECT_EQ(parsed.command.milliseconds, 1500u);
    EXPECT_EQ(parseCommand("hang 7 2726").command.milliseconds, kDefaultHangMs);

    EXPECT_EQ(parseCommand("quit").command.kind, CommandKind::Quit);
    parsed = parseCommand("ping after writes");
    EXPECT_EQ(parsed.command.kind, CommandKind::Ping);
    EXPECT_EQ(parsed.command.text, "after writes");
    EXPECT_EQ(parseCommand("").command.kind, CommandKind::None);
    EXPECT_EQ(parseCommand("   ").command.kind, CommandKind::None);
    EXPECT_EQ(parseCommand("# a comment").command.kind, CommandKind::None);
}

TEST(CommandLine, AWrittenTextIsTheRestOfTheLineWithItsSpacesAndEscapes) {
    EXPECT_EQ(parseCommand("write 1 2").command.text, "");
    EXPECT_EQ(parseCommand("write 1 2 ").command.text, "");
    EXPECT_EQ(parseCommand("write 1 2  two  spaces ").command.text, " two  spaces ");
    EXPECT_EQ(parseCommand("write 1 2 a\\nb\\\\c\\x7F").command.text, "a\nb\\c\x7F");
    EXPECT_EQ(parseCommand("write   1   2 x").command.text, "x");
}

TEST(CommandLine, RefusesWhatItCannotRunWithAReason) {
    const char* bad[] = {
        "wrte 1 2 x",         // unknown command
        "WRITE 1 2 x",        // commands are lower case
        "write 0 2 x",        // there is no device 0
        "write 1",            // no slot
        "write 1 -5 x",       // slots are given as the store keys them
        "read 1 4294967296",  // over 32 bits
        "read 1 +3",
        "read 1 3x",
        "read 1 3 4",  // too many arguments
        "dump",
        "dump 1 2",
        "disconnect x",
        "inuse 1 -1",
        "inuse 1 2 3",
        "hang 1",       // no message
        "hang 1 0",     // no such message
        "hang 1 2725 -1",
        "hang 1 2725 5 6",
        "quit now",
        "write 1 2 bad\\q",  // bad escape
        "write 1 2 \\x00",   // a NUL cannot be in a slot
    };
    for (const char* line : bad) {
        const ParsedCommand parsed = parseCommand(line);
        EXPECT_FALSE(parsed.ok()) << line;
        EXPECT_FALSE(parsed.error.empty()) << line;
    }
    EXPECT_FALSE(parseCommand(std::string("write 1 2 a\0b", 13)).ok());
}

TEST(TextEscapes, EveryByteButNulSurvivesTheRoundTripOnOneLine) {
    std::string all;
    for (int byte = 1; byte < 256; ++byte) all += static_cast<char>(byte);
    const std::string escaped = escapeText(all);
    EXPECT_EQ(escaped.find('\n'), std::string::npos);
    EXPECT_EQ(escaped.find('\r'), std::string::npos);
    for (char c : escaped) {
        EXPECT_TRUE(c >= 0x20 && c < 0x7F) << static_cast<int>(static_cast<unsigned char>(c));
    }
    EXPECT_EQ(unescapeText(escaped), all);
    EXPECT_EQ(escapeText("a b\\"), "a b\\\\");
}

TEST(TextEscapes, BrokenEscapesAreRefused) {
    for (const char* bad : {"\\", "ab\\", "\\x", "\\x4", "\\xG0", "\\x00", "\\u0041"}) {
        EXPECT_FALSE(unescapeText(bad)) << bad;
    }
    EXPECT_EQ(unescapeText("\\x41\\x7e"), "A~");
}

TEST(DeviceArguments, TakesNumbersAndRangesInOrderWithoutRepeats) {
    std::string error;
    auto devices = parseDeviceArguments({"105", "101-103", "102"}, error);
    ASSERT_TRUE(devices) << error;
    EXPECT_EQ(*devices, (std::vector<std::uint32_t>{105, 101, 102, 103}));

    // The most a range may hold, ending at the largest number without wrapping round.
    devices = parseDeviceArguments({"4294967040-4294967295"}, error);
    ASSERT_TRUE(devices) << error;
    EXPECT_EQ(devices->size(), kMaxServedDevices);
    EXPECT_EQ(devices->back(), 4294967295u);
}

TEST(DeviceArguments, RefusesNumbersTheConnectBroadcastCouldNotTellApart) {
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"0"},
        {"0-3"},
        {"x"},
        {"5-3"},
        {"1-"},
        {"-3"},
        {"1", "65537"},  // same low 16 bits
        {"1-257"},       // more windows than the emulator opens
        {"1-200", "301-400"},
    };
    for (const auto& arguments : bad) {
        std::string error;
        EXPECT_FALSE(parseDeviceArguments(arguments, error))
            << (arguments.empty() ? "(none)" : arguments.front());
        EXPECT_FALSE(error.empty());
    }
}

TEST(EventLines, ReadBackAsWritten) {
    EventLine line(1234, "write");
    line.add("dev", 101).add("slot", 3).addHex("client", 0x1A2B).text("a text=with\nall");
    EXPECT_EQ(line.str(), "1234 write dev=101 slot=3 client=0x1A2B text=a text=with\\nall");

    const auto record = parseEventLine(line.str() + "\r");
    ASSERT_TRUE(record);
    EXPECT_EQ(record->milliseconds, 1234u);
    EXPECT_EQ(record->event, "write");
    EXPECT_EQ(record->field("dev"), "101");
    EXPECT_EQ(record->field("client"), "0x1A2B");
    EXPECT_EQ(record->field("missing"), "");
    EXPECT_EQ(record->text, "a text=with\nall");

    const auto bare = parseEventLine(EventLine(0, "bye").str());
    ASSERT_TRUE(bare);
    EXPECT_EQ(bare->event, "bye");
    EXPECT_FALSE(bare->text);
    EXPECT_EQ(parseEventLine(EventLine(5, "pong").text("").str())->text, "");

    for (const char* bad : {"", "x ready", "12", "12 write dev", "12 write =1", "1 e text=\\"}) {
        EXPECT_FALSE(parseEventLine(bad)) << bad;
    }
}

TEST(EventLines, PreciseTimesFormatAndReadBack) {
    EXPECT_EQ(formatPreciseTime(96910104066, 10000000), "9691.010406");
    EXPECT_EQ(formatPreciseTime(0, 10000000), "0.000000");
    EXPECT_EQ(formatPreciseTime(2999999, 3000000), "0.999999");  // cut, never "1.000000"
    EXPECT_EQ(formatPreciseTime(3000000, 3000000), "1.000000");
    EXPECT_EQ(formatPreciseTime(UINT64_MAX, 1000000), "18446744073709.551615");
    EXPECT_EQ(formatPreciseTime(UINT64_MAX, 0), "0.000000");

    const auto record =
        parseEventLine(EventLine(formatPreciseTime(96910104066, 10000000), "change").str());
    ASSERT_TRUE(record);
    EXPECT_EQ(record->microseconds, 9691010406u);
    EXPECT_EQ(record->milliseconds, 9691010u);
    EXPECT_EQ(record->event, "change");
    EXPECT_EQ(parseEventLine("7 bye")->microseconds, 7000u);
    EXPECT_EQ(parseEventLine("0.000001 bye")->microseconds, 1u);
    EXPECT_EQ(parseEventLine("18446744073709.551615 bye")->microseconds, UINT64_MAX);

    for (const char* bad : {"1.5 bye", "1.0000001 bye", ".000001 bye", "1. bye", "1.-00001 bye",
                            "1.00000x bye", "18446744073709.551616 bye", "18446744073709552 bye"}) {
        EXPECT_FALSE(parseEventLine(bad)) << bad;
    }
}

}  // namespace
}  // namespace korvel::sim
