#include <gtest/gtest.h>

#include "deck_test_support.h"
#include "sim/vtr/frame_reader.h"

namespace korvel::sim::vtr {
namespace {

using namespace testing;
using Kind = ReceivedEvent::Kind;

TEST(Frame, ChecksumIsTheLowByteOfTheSum) {
    const std::uint8_t data[] = {0x2C};
    EXPECT_EQ(makeFrame(0x20, 0x21, data), (Bytes{0x21, 0x21, 0x2C, 0x6E}));
    EXPECT_EQ(makeAck(), (Bytes{0x10, 0x01, 0x11}));
    EXPECT_EQ(makeNak(0x01), (Bytes{0x11, 0x12, 0x01, 0x24}));
    EXPECT_TRUE(hasValidChecksum(Bytes{0x22, 0xAC, 0x01, 0x02, 0xD1}));
    EXPECT_FALSE(hasValidChecksum(Bytes{0x10, 0x01, 0x12}));
    EXPECT_FALSE(hasValidChecksum(Bytes{0x00}));
    const Bytes sixteen(16, 0xFF);
    EXPECT_EQ(makeFrame(0x70, 0x20, sixteen).size(), kMaxFrameLength);  // cut to 15 data bytes
}

TEST(FrameReader, FrameSplitOverSeveralReadsCompletesAtItsLastByte) {
    FrameReader reader(50ms);
    EXPECT_TRUE(reader.feed(Bytes{0x61}, at(0ms)).empty());
    EXPECT_TRUE(reader.feed(Bytes{0x20, 0x05}, at(5ms)).empty());
    const auto events = reader.feed(Bytes{0x86}, at(10ms));
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, Kind::kFrame);
    EXPECT_EQ(events[0].bytes, (Bytes{0x61, 0x20, 0x05, 0x86}));
    EXPECT_FALSE(reader.deadline());
}

TEST(FrameReader, SeveralFramesInOneReadComeOutInOrder) {
    FrameReader reader(50ms);
    Bytes stream = command({0x20, 0x01});
    const Bytes second = command({0x24, 0x31, 1, 2, 3, 4});
    stream.insert(stream.end(), second.begin(), second.end());
    Bytes longest = {0x7F, 0x20};
    longest.resize(17, 0x11);
    longest.push_back(checksumOf(longest));  // 18 bytes: the largest frame
    stream.insert(stream.end(), longest.begin(), longest.end());
    const auto events = reader.feed(stream, at(0ms));
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].bytes, command({0x20, 0x01}));
    EXPECT_EQ(events[1].bytes, second);
    EXPECT_EQ(events[2].bytes, longest);
}

TEST(FrameReader, AfterABadChecksumItSlidesSilentlyToTheNextGoodFrame) {
    FrameReader reader(50ms);
    // Two stray bytes before a status sense: 00 62 61 fails as a frame of three.
    Bytes stream = {0x00, 0x62};
    const Bytes good = command({0x61, 0x20, 0x05});
    stream.insert(stream.end(), good.begin(), good.end());
    const auto events = reader.feed(stream, at(0ms));
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].kind, Kind::kBadChecksum);
    EXPECT_EQ(events[0].bytes, (Bytes{0x00, 0x62, 0x61}));
    EXPECT_EQ(events[1].kind, Kind::kDiscarded);
    EXPECT_EQ(events[1].bytes, (Bytes{0x62}));
    EXPECT_EQ(events[2].kind, Kind::kFrame);
    EXPECT_EQ(events[2].bytes, good);

    // A good frame ends the search: the next bad one is reported again.
    EXPECT_EQ(reader.feed(Bytes{0x10, 0x01, 0x12}, at(1ms)).at(0).kind, Kind::kBadChecksum);
}

TEST(FrameReader, APauseAbandonsAnIncompleteFrameSoTheNextOneStartsClean) {
    FrameReader reader(50ms);
    // FF announces 18 bytes that never come.
    EXPECT_TRUE(reader.feed(Bytes{0xFF, 0x61, 0x20}, at(0ms)).empty());
    EXPECT_EQ(reader.deadline(), at(50ms));
    EXPECT_TRUE(reader.expire(at(49ms)).empty());
    const auto events = reader.feed(command({0x61, 0x20, 0x05}), at(300ms));
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].kind, Kind::kTimedOut);
    EXPECT_EQ(events[0].bytes, (Bytes{0xFF, 0x61, 0x20}));
    EXPECT_EQ(events[1].kind, Kind::kFrame);

    // Leftovers of a search are dropped quietly, not reported as a timed-out frame.
    reader.feed(Bytes{0x10, 0x01, 0x12, 0x05}, at(400ms));
    const auto later = reader.expire(at(500ms));
    ASSERT_EQ(later.size(), 1u);
    EXPECT_EQ(later[0].kind, Kind::kDiscarded);
    EXPECT_FALSE(reader.deadline());
}

TEST(FrameReader, LongRunOfGarbageNeverHoldsMoreThanAFrame) {
    FrameReader reader(50ms);
    Bytes garbage(1000);
    for (std::size_t i = 0; i < garbage.size(); ++i)
        garbage[i] = static_cast<std::uint8_t>(i * 7 + 3);
    std::size_t accounted = 0;
    for (const auto& e : reader.feed(garbage, at(0ms))) {
        accounted += e.kind == Kind::kBadChecksum ? 1 : e.bytes.size();
    }
    for (const auto& e : reader.expire(at(1s))) accounted += e.bytes.size();
    EXPECT_EQ(accounted, garbage.size());  // every byte is reported once, none twice
    EXPECT_FALSE(reader.deadline());
    EXPECT_EQ(reader.feed(command({0x20, 0x00}), at(2s)).at(0).kind, Kind::kFrame);
}

}  // namespace
}  // namespace korvel::sim::vtr
