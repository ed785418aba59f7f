#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/reply_meaning.h"
#include "tools/decode/log_line.h"

namespace korvel::tools::decode {

// A frame found in a log line.
struct DecodedFrame {
    Direction direction = Direction::kCommand;
    int vt = 0;  // 0: no VT could be told
    std::vector<std::uint8_t> bytes;
    bool checksumOk = false;
    bool junk = false;
    std::string key;   // what the summary counts it as: "PLAY", "ACK", "checksum error", ...
    std::string text;  // the explanation
    // For a command: the kind of reply that answers it.
    engine::ReplyGroup expects = engine::ReplyGroup::kAcknowledge;
};

struct DecodedLine {
    std::string text;  // the line as read, control characters masked
    LogLine::Kind kind = LogLine::Kind::kSkipped;
    bool timed = false;
    std::int64_t time = 0;  // microseconds
    std::int64_t resolution = 0;
    std::vector<DecodedFrame> frames;
};

// Per VT: what the summary prints.
struct VtSummary {
    std::map<std::string, std::int64_t> commands;  // by name
    std::map<std::string, std::int64_t> replies;   // by meaning
    std::int64_t commandCount = 0;
    std::int64_t replyCount = 0;
    std::int64_t naks = 0;
    std::int64_t checksumErrors = 0;
    std::int64_t lateReplies = 0;      // came later than the transmit time-out after their command
    std::int64_t unanswered = 0;       // the next frame was another command, or none came
    std::int64_t longestSilence = -1;  // microseconds between two frames of the VT; -1 none
    std::string silenceFrom;           // the line that began it
};

// Decodes a log line by line and hands each line on, its frames explained, as soon as it is
// settled: every "TX:" frame of the driver's disk log and trace (which do not say their VT) is
// given the VT whose reply answers it, the newest command of the kind that reply answers. A
// command waits for that reply for twice the transmit time-out (beyond the clocks' resolution);
// a command nothing answered in that window is the only VT's when the log has shown one so far,
// else unknown. So the decoder holds only the lines of that window, whatever the log's length.
class TrafficDecoder {
  public:
    using LineHandler = std::function<void(const DecodedLine&)>;

    // onLine gets every line read, in order (none when it is empty: a summary only).
    explicit TrafficDecoder(std::int64_t timeoutMicros, LineHandler onLine = {});
    ~TrafficDecoder();
    TrafficDecoder(const TrafficDecoder&) = delete;
    TrafficDecoder& operator=(const TrafficDecoder&) = delete;

    void addLine(std::string_view line);
    // Takes every command still waiting as unanswered and hands on every line held: the end of
    // the input, or a followed log that has gone quiet.
    void settle();

    void printSummary(std::ostream& out, int vt) const;

    std::int64_t linesRead() const { return read_; }
    std::int64_t skippedLines() const { return skipped_; }
    std::int64_t trafficLines() const { return traffic_; }
    // Lines read but not yet handed on: what the decoder holds in memory.
    std::size_t heldLines() const;

  private:
    struct Window;

    void assemble(const LogLine& line, DecodedLine& decoded);
    DecodedFrame makeFrame(Direction direction, int vt, std::vector<std::uint8_t> bytes);
    void summarise(const DecodedLine& line);
    void handOnSettled();

    std::int64_t timeout_;
    LineHandler onLine_;
    std::map<std::pair<int, Direction>, std::vector<std::uint8_t>> partial_;  // frames in pieces
    std::unique_ptr<Window> window_;
    std::unordered_map<std::string, DecodedFrame> meanings_;  // by direction and bytes
    std::map<int, VtSummary> summaries_;
    std::int64_t traceClock_ = 0;
    std::int64_t read_ = 0;
    std::int64_t skipped_ = 0;
    std::int64_t traffic_ = 0;
};

// The line as read, then each frame explained below it; nothing when vt is not 0 and no frame
// of the line is that VT's.
void printDecodedLine(std::ostream& out, const DecodedLine& line, int vt);

}  // namespace korvel::tools::decode
