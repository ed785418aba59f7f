#pragma once

#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

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
    std::map<std::string, int> commands;  // by name
    std::map<std::string, int> replies;   // by meaning
    int commandCount = 0;
    int replyCount = 0;
    int naks = 0;
    int checksumErrors = 0;
    int lateReplies = 0;               // came later than the transmit time-out after their command
    int unanswered = 0;                // the next frame was another command, or none came
    std::int64_t longestSilence = -1;  // microseconds between two frames of the VT; -1 none
    std::string silenceFrom;           // the line that began it
};

// Reads a whole log, then tells each "TX:" frame's VT (the driver's disk log and trace do not
// say it) by the reply that answers it: the VT whose next reply is of the kind the command asks
// for. A command never answered is the only VT's when the log shows one, else unknown.
class TrafficDecoder {
  public:
    explicit TrafficDecoder(std::int64_t timeoutMicros) : timeout_(timeoutMicros) {}

    void addLine(std::string_view line);
    void finish();

    // Every line (traffic of VT `vt` only, when vt is not 0), each frame explained below it.
    void print(std::ostream& out, int vt) const;
    void printSummary(std::ostream& out, int vt) const;

    const std::vector<DecodedLine>& lines() const { return lines_; }
    const std::map<int, VtSummary>& summaries() const { return summaries_; }
    int skippedLines() const { return skipped_; }
    int trafficLines() const { return traffic_; }

  private:
    void assemble(const LogLine& line, DecodedLine& decoded);
    DecodedFrame makeFrame(Direction direction, int vt, std::vector<std::uint8_t> bytes) const;
    void attributeCommands();
    void summarise();

    std::int64_t timeout_;
    std::vector<DecodedLine> lines_;
    std::map<std::pair<int, Direction>, std::vector<std::uint8_t>> partial_;  // frames in pieces
    std::map<int, VtSummary> summaries_;
    std::int64_t traceClock_ = 0;
    int skipped_ = 0;
    int traffic_ = 0;
};

}  // namespace korvel::tools::decode
