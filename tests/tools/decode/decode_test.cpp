#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>

#include "tools/decode/traffic_decoder.h"

namespace korvel::tools::decode {
namespace {

std::string decode(const std::vector<std::string>& lines, bool summary = false, int vt = 0) {
    std::ostringstream out;
    TrafficDecoder decoder(250'000, [&out, summary, vt](const DecodedLine& line) {
        if (!summary) printDecodedLine(out, line, vt);
    });
    for (const std::string& line : lines) decoder.addLine(line);
    decoder.settle();
    if (summary) decoder.printSummary(out, vt);
    return out.str();
}

// Two VTs polled at once in the driver's log: each TX goes to the VT whose reply answers it, a
// reply cut across two reads is one frame, and every kind of frame is explained.
TEST(Decode, DriverLogFramesAreExplainedAndGivenTheirVt) {
    const std::string out = decode({
        "07/12/2026 09:05:03 TX: 61 20 05 86 ",
        "07/12/2026 09:05:03 TX: 61 0c 01 6e ",
        "07/12/2026 09:05:03 Read[vt2] 74 04 45 59 59 A3 ",  // cut: the checksum comes later
        "07/12/2026 09:05:03 Read[vt1] 75 20 00 01 80 00 00 16 ",
        "07/12/2026 09:05:03 Read[vt2] 12 ",
        "07/12/2026 09:05:04 TX: 21 21 2c 6e ",
        "07/12/2026 09:05:04 Read[vt2] 11 12 84 A7 ",
        "07/12/2026 09:05:04 TX: 24 31 00 00 01 00 56 ",
        "07/12/2026 09:05:04 Read[vt2] 10 01 11 ",
        "07/12/2026 09:05:04 TX: 20 01 22 ",
        "07/12/2026 09:05:05 Read[vt2] 79 20 00 00 00 00 00 00 00 00 01 9A ",
    });
    EXPECT_NE(out.find("TX: 61 20 05 86 \n    VT1 -> STATUS SENSE\n"), std::string::npos) << out;
    EXPECT_NE(out.find("    VT2 -> CURRENT TIME SENSE\n"), std::string::npos) << out;
    EXPECT_NE(out.find("    VT1 <- STATUS: play, servo lock (Play)\n"), std::string::npos) << out;
    // 74 04 45 59 59 A3 12: the checksum 12 comes, the frame ends on the third read.
    EXPECT_NE(out.find("Read[vt2] 12 \n    VT2 <- TIMECODE 23.59.59.05 drop frame\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("VT2 -> JOG reverse speed 44"), std::string::npos) << out;
    EXPECT_NE(out.find("VT2 <- NAK: checksum error, time-out"), std::string::npos) << out;
    EXPECT_NE(out.find("VT2 -> CUE UP WITH DATA 00.01.00.00"), std::string::npos) << out;
    EXPECT_NE(out.find("-> checksum error (22, should be 21)"), std::string::npos) << out;
    EXPECT_NE(out.find("VT2 <- STATUS 9: record inhibit"), std::string::npos) << out;

    const std::string summary = decode(
        {
            "000010:   TX: 20 01 21 ",
            "000300:   Read[vt1] 11 12 04 27 ",  // 300 ms after its command: late
            "trace.2 000005:   TX: 20 01 21 ",   // as the probe saves the trace
            "000004:   Read[vt1] 10 01 11 ",
            "000100:   TX: 61 20 05 86 ",  // never answered
            "002000:   TX: 61 20 05 86 ",
            "000003:   Read[vt1] 75 20 00 01 00 00 00 00 ",  // bad checksum
            "000001:   Checksum Error",
        },
        true);
    EXPECT_NE(summary.find("VT1: 4 commands, 3 replies, 1 NAKs, 1 checksum errors, 1 replies "
                           "later than 250 ms, 1 commands unanswered\n"
                           "  commands: PLAY 2, STATUS SENSE 2\n"
                           "  replies: ACK 1, NAK 1, checksum error 1\n"
                           "  longest silence: 2.000 s after \"000100:   TX: 61 20 05 86 \"\n"),
              std::string::npos)
        << summary;
    EXPECT_NE(summary.find("lines: 8 read, 7 with traffic, 0 skipped"), std::string::npos)
        << summary;
}

TEST(Decode, EmulatorLogNamesItsDecks) {
    const std::string out =
        decode({"12.000100 2 rx 20 01 21", "12.000900 2 tx 10 01 11",
                "12.001000 0 ctl deck 2 fault silent", "13.000000 1 drop 00 ff"},
               false, 2);
    EXPECT_EQ(
        out, "12.000100 2 rx 20 01 21\n    VT2 -> PLAY\n12.000900 2 tx 10 01 11\n    VT2 <- ACK\n");
}

// Junk of every kind: random bytes, real lines cut or with bytes changed, other logs. Nothing
// crashes, and every line is either kept or counted as skipped.
TEST(Decode, JunkIsSkippedAndCounted) {
    const std::vector<std::string> real = {
        "07/12/2026 09:05:03 TX: 24 31 00 00 01 00 56 ",
        "07/12/2026 09:05:03 Read[vt1] 75 20 00 01 80 00 00 16 10 01 11 ",
        "000125:   Read[vt3] 79 20 00 00 00 00 00 00 00 00 01 9A ",
        "12.000100 2 tx 11 12 84 a7",
    };
    std::mt19937 random(17);
    std::ostringstream out;
    std::int64_t handedOn = 0;
    TrafficDecoder decoder(250'000, [&](const DecodedLine& line) {
        printDecodedLine(out, line, 0);
        ++handedOn;
    });
    int lines = 0;
    int junk = 0;
    for (int i = 0; i < 20000; ++i) {
        std::string line = real[random() % real.size()];
        switch (random() % 5) {
            case 0:  // cut anywhere
                line.resize(random() % (line.size() + 1));
                break;
            case 1:  // a byte changed
                line[random() % line.size()] = static_cast<char>(random());
                break;
            case 2:  // binary junk, which never looks like a log line
                line = "\x01";
                for (std::size_t n = random() % 200; n > 0; --n)
                    line += static_cast<char>(random());
                ++junk;
                break;
            case 3:  // a run of digits, up to far more than any number of a log holds
                line.insert(random() % line.size(), std::string(1 + random() % 20, '9'));
                break;
            default:
                break;
        }
        decoder.addLine(line);
        ++lines;
    }
    decoder.settle();
    decoder.printSummary(out, 0);
    EXPECT_EQ(handedOn + decoder.skippedLines(), lines);
    EXPECT_GE(decoder.skippedLines(), junk);
    EXPECT_GT(decoder.trafficLines(), lines / 4);
}

}  // namespace
}  // namespace korvel::tools::decode
