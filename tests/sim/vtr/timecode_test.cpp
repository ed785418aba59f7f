#include <gtest/gtest.h>

#include "sim/vtr/timecode.h"
#include "sim/vtr/wire_log.h"

namespace korvel::sim::vtr {
namespace {

TEST(Timecode, BcdRoundTripsAndIgnoresFlagBits) {
    const std::int64_t last = kFramesPerDay - 1;
    EXPECT_EQ(toBcd(last), (BcdTimecode{0x24, 0x59, 0x59, 0x23}));
    EXPECT_EQ(toBcd(0), (BcdTimecode{0, 0, 0, 0}));
    EXPECT_EQ(toBcd(kFramesPerDay), toBcd(0));  // a day wraps
    for (std::int64_t f :
         {std::int64_t{0}, std::int64_t{24}, std::int64_t{25}, std::int64_t{90061}, last})
        EXPECT_EQ(fromBcd(toBcd(f)), f);
    EXPECT_EQ(fromBcd({0x45 | 0xC0, 0x59 | 0x80, 0x59 | 0x80, 0x23 | 0xC0}),
              fromBcd({0x05 | 0x40, 0x59, 0x59, 0x23}));
    EXPECT_FALSE(fromBcd({0x25, 0, 0, 0}));  // 25 frames
    EXPECT_FALSE(fromBcd({0x0A, 0, 0, 0}));  // not a decimal digit
    EXPECT_FALSE(fromBcd({0, 0x60, 0, 0}));
    EXPECT_FALSE(fromBcd({0, 0, 0, 0x24}));
}

TEST(Timecode, TextParsesAndFormats) {
    EXPECT_EQ(parseTimecode("10:00:00:00"), 10 * 3600 * 25);
    EXPECT_EQ(parseTimecode("23.59.59.24"), kFramesPerDay - 1);
    EXPECT_EQ(parseTimecode("1:2:3;4"), ((1 * 60 + 2) * 60 + 3) * 25 + 4);
    for (const char* bad : {"", "10:00:00", "10:00:00:25", "24:00:00:00", "10:00:00:00:00",
                            "100:00:00:00", "aa:00:00:00"})
        EXPECT_FALSE(parseTimecode(bad)) << bad;
    EXPECT_EQ(formatTimecode(kFramesPerDay - 1), "23:59:59:24");
}

TEST(WireLogLine, TimeDeckEventAndBytesOnOneLine) {
    const std::uint8_t bytes[] = {0x75, 0x20, 0x0A};
    EXPECT_EQ(formatLogLine(Instant(12'000'345), 2, "tx", hexBytes(bytes)),
              "12.000345 2 tx 75 20 0a");
    EXPECT_EQ(formatLogLine(Instant(1), 0, "stop", ""), "0.000001 0 stop");
    EXPECT_EQ(formatLogLine(Instant(0), 0, "ctl", "a\nb"), "0.000000 0 ctl a?b");
}

}  // namespace
}  // namespace korvel::sim::vtr
