#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "tools/decode/line_splitter.h"
#include "tools/decode/log_follower.h"
#include "tools/decode/traffic_decoder.h"

namespace korvel::tools::decode {
namespace {

namespace fs = std::filesystem;

struct Collected {
    std::ostringstream text;
    std::int64_t lines = 0;
    TrafficDecoder decoder{250'000, [this](const DecodedLine& line) {
                               printDecodedLine(text, line, 0);
                               ++lines;
                           }};
};

// A TX line waits for its reply, and only as long as a reply could still answer it: twice the
// time-out beyond the log's one-second clock. Then it goes on as unanswered, before the line that
// showed its time was up.
TEST(DecodeStream, CommandsWaitForTheirReplyOnlyWithinTheWindow) {
    Collected out;
    for (const char* line : {
             "07/12/2026 09:05:02 TX: 20 01 21 ",
             "07/12/2026 09:05:02 Read[vt2] 10 01 11 ",
             "07/12/2026 09:05:03 TX: 61 20 05 86 ",  // to VT2, which has gone silent
             "07/12/2026 09:05:03 TX: 61 0c 01 6e ",
             "07/12/2026 09:05:03 Read[vt1] 74 04 45 59 59 A3 12 ",
             "07/12/2026 09:05:05 TX: 20 01 21 ",
         })
        out.decoder.addLine(line);
    EXPECT_EQ(out.lines, 2);
    EXPECT_EQ(out.decoder.heldLines(), 4u);

    out.decoder.addLine("07/12/2026 09:05:06 Read[vt1] 10 01 11 ");
    EXPECT_EQ(out.lines, 7);
    EXPECT_EQ(out.decoder.heldLines(), 0u);
    EXPECT_NE(out.text.str().find("TX: 61 20 05 86 \n    VT? -> STATUS SENSE\n"
                                  "07/12/2026 09:05:03 TX: 61 0c 01 6e \n    VT1 -> CURRENT"),
              std::string::npos)
        << out.text.str();
    EXPECT_NE(out.text.str().find("09:05:05 TX: 20 01 21 \n    VT1 -> PLAY"), std::string::npos);
}

// What makes a log big or hostile costs neither memory nor overflow: 45,000 requests that a
// stopped clock keeps waiting, then 2,000 replies that answer none of them; numbers of the most
// digits taken, one more refused; a trace clock run to its end; dates before 1970.
TEST(DecodeStream, HostileLogsStayBounded) {
    Collected out;
    std::size_t mostHeld = 0;
    for (int i = 0; i < 45'000; ++i) {
        out.decoder.addLine("07/12/2026 09:05:03 TX: 61 20 05 86 ");
        mostHeld = std::max(mostHeld, out.decoder.heldLines());
    }
    for (int i = 0; i < 2'000; ++i) out.decoder.addLine("07/12/2026 09:05:03 Read[vt1] 10 01 11 ");
    EXPECT_LE(mostHeld, 4097u);
    for (int i = 0; i < 20'000; ++i) out.decoder.addLine("999999999999:   TX: 20 01 21 ");
    out.decoder.addLine("000001:   Read[vt1] 10 01 11 ");
    out.decoder.addLine("999999999999.999999 2 rx 20 01 21");
    out.decoder.addLine("999999999999.999999 2 tx 10 01 11");
    out.decoder.addLine("1000000000000.000000 2 rx 20 01 21");  // 13 digits
    out.decoder.addLine("31/12/1969 23:59:59 TX: 20 01 21 ");
    out.decoder.settle();
    EXPECT_EQ(out.lines, 45'000 + 2'000 + 20'000 + 3);
    EXPECT_EQ(out.decoder.skippedLines(), 2);
    std::ostringstream summary;
    out.decoder.printSummary(summary, 2);
    EXPECT_NE(summary.str().find("VT2: 1 commands, 1 replies"), std::string::npos) << summary.str();
}

fs::path freshFolder(const char* name) {
    const fs::path folder =
        fs::temp_directory_path() / (name + std::to_string(std::random_device{}()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

void append(const fs::path& file, const std::string& text) {
    std::ofstream(file, std::ios::binary | std::ios::app) << text;
}

// A followed log hands on what is added, a line cut at the end once it is whole; a file replaced
// under its name is read from its start; the next day's file takes over when it appears.
TEST(DecodeStream, FollowedLogIsReadAsItGrowsIsReplacedAndMovesToTheNextDay) {
    const fs::path folder = freshFolder("korvel-follow-");
    const fs::path today = folder / "20261207.log";
    Collected out;
    LineSplitter lines(out.decoder);
    LogFollower log(today.string(), lines);
    EXPECT_FALSE(log.readNew());
    EXPECT_FALSE(log.exists());

    append(today, "07/12/2026 23:59:58 Read[vt1] 10 01 11 \r\n07/12/2026 23:59:58 Read[vt2] 10 ");
    EXPECT_TRUE(log.readNew());
    EXPECT_EQ(out.lines, 1);
    EXPECT_FALSE(log.readNew());
    EXPECT_FALSE(log.moveToNextFile());
    append(today, "01 11 \r\n");
    EXPECT_TRUE(log.readNew());
    EXPECT_EQ(out.lines, 2);

    const fs::path replacement = folder / "new";
    append(replacement, "07/12/2026 23:59:59 Read[vt3] 10 01 11 \r\n");
    fs::rename(replacement, today);
    EXPECT_TRUE(log.readNew());
    EXPECT_EQ(out.lines, 3);

    append(folder / "20261209.log", "09/12/2026 00:00:00 Read[vt5] 10 01 11 \r\n");
    append(folder / "20261208.log", "08/12/2026 00:00:00 Read[vt4] 10 01 11 \r\n");
    append(folder / "2026120.log", "not a dated log\r\n");
    append(today, "07/12/2026 23:59:59 Read[vt3] 10 01 11");  // the old day's last, cut line
    EXPECT_TRUE(log.moveToNextFile());
    EXPECT_EQ(log.path(), (folder / "20261208.log").string());
    EXPECT_TRUE(log.readNew());
    EXPECT_TRUE(log.moveToNextFile());
    EXPECT_TRUE(log.readNew());
    EXPECT_FALSE(log.moveToNextFile());
    EXPECT_EQ(out.lines, 6);
    const std::string text = out.text.str();
    for (const char* vt : {"VT1 <-", "VT2 <-", "VT3 <-", "VT4 <-", "VT5 <-"})
        EXPECT_NE(text.find(vt), std::string::npos) << vt << "\n" << text;
    EXPECT_LT(text.rfind("VT3 <-"), text.find("VT4 <-"));
    fs::remove_all(folder);
}

}  // namespace
}  // namespace korvel::tools::decode
