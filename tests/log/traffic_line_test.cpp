#include "log/traffic_line.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <tuple>

namespace korvel::log {
namespace {

// Random traffic lines, as the disk log writes them (time stamp, line, line end), read back
// whole: the time, the direction, the VT and every byte.
TEST(TrafficLine, RandomLinesReadBackAsTheyWereWritten) {
    std::mt19937 random(26);
    auto pick = [&](int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(random);
    };
    for (int i = 0; i < 2000; ++i) {
        const LogTime time{pick(1970, 9999), pick(1, 12), pick(1, 31),
                           pick(0, 23),      pick(0, 59), pick(0, 59)};
        const bool received = pick(0, 1) == 1;
        const int vt = received ? pick(1, 9) : 0;
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(pick(1, 32)));
        for (auto& byte : bytes) byte = static_cast<std::uint8_t>(pick(0, 255));
        const int count = static_cast<int>(bytes.size());

        char stamp[kLogStampSize];
        char traffic[trafficLineSize(32)];
        ASSERT_EQ(formatLogStamp(stamp, sizeof stamp, time), 20);
        const int length = received ? formatReceiveLine(traffic, vt, bytes.data(), count)
                                    : formatTransmitLine(traffic, bytes.data(), count);
        ASSERT_LT(length, trafficLineSize(count));
        ASSERT_EQ(length, static_cast<int>(std::string(traffic).size()));
        const std::string written = std::string(stamp) + traffic + "\r";

        std::string_view text = written;
        LogTime read{};
        ASSERT_TRUE(takeLogStamp(text, read)) << written;
        EXPECT_EQ(std::tie(read.year, read.month, read.day, read.hour, read.minute, read.second),
                  std::tie(time.year, time.month, time.day, time.hour, time.minute, time.second))
            << written;
        TrafficLine line;
        ASSERT_EQ(parseTrafficLine(text, line), TrafficParse::kTraffic) << written;
        EXPECT_EQ(line.received, received) << written;
        EXPECT_EQ(line.vtNumber, vt) << written;
        EXPECT_EQ(line.bytes, bytes) << written;

        // A line cut inside a byte is damaged, never read as a shorter one.
        const std::string cut(traffic, static_cast<std::size_t>(length - 2));
        EXPECT_EQ(parseTrafficLine(cut, line), TrafficParse::kDamaged) << cut;
    }
}

TEST(TrafficLine, TheDriversOwnWords) {
    const std::uint8_t command[] = {0x20, 0x01, 0x21};
    const std::uint8_t reply[] = {0x1A, 0x01};
    char text[trafficLineSize(3)];
    formatTransmitLine(text, command, 3);
    EXPECT_STREQ(text, "TX: 20 01 21 ");
    formatReceiveLine(text, 1, reply, 2);
    EXPECT_STREQ(text, "Read[vt1] 1A 01 ");
    char stamp[kLogStampSize];
    formatLogStamp(stamp, sizeof stamp, LogTime{2026, 12, 7, 9, 5, 3});
    EXPECT_STREQ(stamp, "07/12/2026 09:05:03 ");

    TrafficLine line;
    EXPECT_EQ(parseTrafficLine("Disk log paused: 900 MB free", line), TrafficParse::kNotTraffic);
    for (const char* damaged : {"Read[vt0] 10 01 11", "Read[vt12] 10", "TX: ", "TX: 2G 01"}) {
        EXPECT_EQ(parseTrafficLine(damaged, line), TrafficParse::kDamaged) << damaged;
    }
}

}  // namespace
}  // namespace korvel::log
