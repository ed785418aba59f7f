#include "tools/decode/traffic_decoder.h"

#include <array>
#include <cstdio>
#include <deque>
#include <limits>
#include <set>

#include "engine/command_table.h"
#include "engine/frame.h"
#include "engine/reply_meaning.h"
#include "tools/decode/frame_text.h"

namespace korvel::tools::decode {
namespace {

constexpr std::size_t kMaxLineShown = 1024;

// Lines held while a command waits for its reply, at most: beyond this the oldest command is
// taken as unanswered, so that a log whose clock stands still or runs back is read in the
// same memory. A day of nine VTs holds about a hundred lines at a time.
constexpr std::size_t kMaxHeldLines = 4096;

// Frames explained and kept for their next appearance, at most.
constexpr std::size_t kMaxMeanings = 4096;

constexpr std::size_t kReplyGroups = static_cast<std::size_t>(engine::ReplyGroup::kUnrecognised);

// A trace's running clock stops at the largest time rather than wrap.
std::int64_t saturatingAdd(std::int64_t a, std::int64_t b) {
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    return b > kMax - a ? kMax : a + b;
}

// How far apart two times are at least, given how far each may be off (0 when they may be
// the same). Times are never negative, so the difference cannot overflow.
std::int64_t distanceAtLeast(std::int64_t a, std::int64_t aResolution, std::int64_t b,
                             std::int64_t bResolution) {
    const std::int64_t distance = a > b ? a - b : b - a;
    return distance - aResolution - bResolution;
}

std::string masked(std::string_view line) {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
    std::string text(line.substr(0, kMaxLineShown));
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return text;
}

// The reply group a command asks for.
engine::ReplyGroup expectedReply(const DecodedFrame& command) {
    if (!command.checksumOk) return engine::ReplyGroup::kNegative;
    const engine::FrameCommand c =
        engine::commandOfFrame(command.bytes.data(), static_cast<int>(command.bytes.size()));
    const engine::CommandRow* row = engine::commandRow(c.number);
    return row != nullptr ? row->reply : engine::ReplyGroup::kAcknowledge;
}

// The meaning of a frame (its bytes and direction given): checksum, explanation, what the
// summary counts it as, and for a command the reply it asks for.
DecodedFrame explain(DecodedFrame frame) {
    frame.checksumOk = checksumHolds(frame.bytes);
    const bool command = frame.direction == Direction::kCommand;
    frame.text = command ? explainCommand(frame.bytes) : explainReply(frame.bytes);
    if (!frame.checksumOk) {
        frame.key = frame.text == "incomplete frame" ? frame.text : "checksum error";
    } else if (command) {
        const engine::FrameCommand c =
            engine::commandOfFrame(frame.bytes.data(), static_cast<int>(frame.bytes.size()));
        frame.key = c.number != 0 ? engine::commandName(c.number) : "unknown command";
    } else {
        // The reply's meaning up to its first blank or colon: "ACK", "NAK", "STATUS", ...
        frame.key = frame.text.substr(0, frame.text.find_first_of(":"));
        if (frame.key.starts_with("TIMECODE")) frame.key = "TIMECODE";
        if (frame.key.starts_with("unrecognised")) frame.key = "unrecognised";
    }
    if (command) frame.expects = expectedReply(frame);
    return frame;
}

std::string vtLabel(int vt) {
    return vt == 0 ? "VT?" : "VT" + std::to_string(vt);
}

std::string seconds(std::int64_t micros) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f s", static_cast<double>(micros) / 1e6);
    return text;
}

// "PLAY 2, STATUS SENSE 40"
std::string counts(const std::map<std::string, std::int64_t>& byName) {
    std::string text;
    for (const auto& [name, count] : byName)
        text += (text.empty() ? "" : ", ") + name + " " + std::to_string(count);
    return text.empty() ? "none" : text;
}

}  // namespace

struct TrafficDecoder::Window {
    struct Line {
        DecodedLine line;
        int waiting = 0;  // commands of the line whose VT is not decided yet
    };
    // A command whose VT is not known yet: frame `frame` of line number `line`.
    struct Waiting {
        std::uint64_t line = 0;
        std::size_t frame = 0;
        bool decided = false;
    };
    // What the summary needs of the last frame of a VT, kept after its line is handed on.
    struct LastSeen {
        bool seen = false;
        bool timed = false;
        std::int64_t time = 0;
        std::string text;
        bool commandWaiting = false;  // its last command has had no reply yet
        bool commandTimed = false;
        std::int64_t commandTime = 0;
        std::int64_t commandResolution = 0;
    };

    std::deque<Line> lines;  // read and not yet handed on, oldest first
    std::uint64_t firstLine = 0;
    std::deque<Waiting> waiting;  // commands by number, from firstWaiting on
    std::uint64_t firstWaiting = 0;
    std::size_t undecided = 0;
    // Numbers of waiting commands by the reply group they ask for, oldest first: the newest
    // command a reply can answer is found without looking at the others.
    std::array<std::deque<std::uint64_t>, kReplyGroups> byGroup;
    std::set<int> vts;  // every VT seen so far
    std::map<int, LastSeen> last;

    Line& lineOf(const Waiting& w) { return lines[w.line - firstLine]; }
    bool isDecided(std::uint64_t number) const {
        return number < firstWaiting || waiting[number - firstWaiting].decided;
    }
    int onlyVt() const { return vts.size() == 1 ? *vts.begin() : 0; }

    void add(std::uint64_t lineNumber, std::size_t frame, engine::ReplyGroup expects) {
        byGroup[static_cast<std::size_t>(expects)].push_back(firstWaiting + waiting.size());
        waiting.push_back({lineNumber, frame, false});
        ++lines[lineNumber - firstLine].waiting;
        ++undecided;
    }

    void decide(Waiting& w, int vt) {
        Line& line = lineOf(w);
        line.line.frames[w.frame].vt = vt;
        --line.waiting;
        w.decided = true;
        --undecided;
    }

    Waiting* newestIn(std::size_t group) {
        std::deque<std::uint64_t>& numbers = byGroup[group];
        while (!numbers.empty() && isDecided(numbers.back())) numbers.pop_back();
        return numbers.empty() ? nullptr : &waiting[numbers.back() - firstWaiting];
    }

    Waiting* newest() {
        std::size_t found = kReplyGroups;
        for (std::size_t group = 0; group < kReplyGroups; ++group)
            if (newestIn(group) != nullptr &&
                (found == kReplyGroups || byGroup[group].back() > byGroup[found].back()))
                found = group;
        return found == kReplyGroups ? nullptr : newestIn(found);
    }

    Waiting* oldest() {
        dropDecided();
        return waiting.empty() ? nullptr : &waiting.front();
    }

    // The newest waiting command of the kind this reply answers (a NAK answers any); a reply
    // that answers none of them, a damaged one included, takes the newest command.
    Waiting* answeredBy(const DecodedFrame& reply) {
        if (reply.checksumOk) {
            const engine::ReplyGroup group = engine::replyGroup(reply.bytes.data());
            if (group != engine::ReplyGroup::kNegative &&
                group != engine::ReplyGroup::kUnrecognised)
                if (Waiting* w = newestIn(static_cast<std::size_t>(group))) return w;
        }
        return newest();
    }

    // Commands that no reply from here on can answer in time are unanswered.
    void expireBefore(const DecodedLine& now, std::int64_t window) {
        if (!now.timed) return;
        while (undecided > 0) {
            Waiting& w = *oldest();
            const DecodedLine& sent = lineOf(w).line;
            if (!sent.timed ||
                distanceAtLeast(now.time, now.resolution, sent.time, sent.resolution) <= window)
                return;
            decide(w, onlyVt());
        }
    }

    void dropDecided() {
        while (!waiting.empty() && waiting.front().decided) {
            waiting.pop_front();
            ++firstWaiting;
        }
        for (std::deque<std::uint64_t>& numbers : byGroup)
            while (!numbers.empty() && numbers.front() < firstWaiting) numbers.pop_front();
    }
};

TrafficDecoder::TrafficDecoder(std::int64_t timeoutMicros, LineHandler onLine)
    : timeout_(timeoutMicros), onLine_(std::move(onLine)), window_(std::make_unique<Window>()) {}

TrafficDecoder::~TrafficDecoder() = default;

std::size_t TrafficDecoder::heldLines() const {
    return window_->lines.size();
}

DecodedFrame TrafficDecoder::makeFrame(Direction direction, int vt,
                                       std::vector<std::uint8_t> bytes) {
    DecodedFrame frame;
    frame.direction = direction;
    frame.vt = vt;
    frame.bytes = std::move(bytes);
    // A log repeats the same few frames millions of times: each is explained once. Timecodes
    // differ every time and are not kept.
    const bool timecode = direction == Direction::kReply && frame.bytes.size() >= 2 &&
                          engine::isTimecodeReply(frame.bytes.data());
    if (timecode) return explain(std::move(frame));
    std::string key(1, direction == Direction::kCommand ? '>' : '<');
    key.append(frame.bytes.begin(), frame.bytes.end());
    auto known = meanings_.find(key);
    if (known == meanings_.end()) {
        if (meanings_.size() >= kMaxMeanings) meanings_.clear();
        known = meanings_.emplace(std::move(key), explain(frame)).first;
    }
    const DecodedFrame& meaning = known->second;
    frame.checksumOk = meaning.checksumOk;
    frame.key = meaning.key;
    frame.text = meaning.text;
    frame.expects = meaning.expects;
    return frame;
}

void TrafficDecoder::addLine(std::string_view text) {
    ++read_;
    const LogLine line = parseLogLine(text);
    if (line.kind == LogLine::Kind::kSkipped) {
        ++skipped_;
        return;
    }
    Window& window = *window_;
    window.lines.emplace_back();
    const std::uint64_t lineNumber = window.firstLine + window.lines.size() - 1;
    DecodedLine& decoded = window.lines.back().line;
    decoded.text = masked(text);
    decoded.kind = line.kind;
    if (line.clock == LogLine::Clock::kDelta) {
        traceClock_ = saturatingAdd(traceClock_, line.time);
        decoded.time = traceClock_;
    } else {
        decoded.time = line.time;
    }
    decoded.timed = line.clock != LogLine::Clock::kNone;
    decoded.resolution = line.resolution;
    window.expireBefore(decoded, 2 * timeout_);
    if (line.kind == LogLine::Kind::kTraffic) {
        ++traffic_;
        assemble(line, decoded);
    }

    for (std::size_t i = 0; i < decoded.frames.size(); ++i) {
        DecodedFrame& frame = decoded.frames[i];
        if (frame.vt != 0) window.vts.insert(frame.vt);
        if (frame.junk) continue;
        if (frame.direction == Direction::kCommand) {
            if (frame.vt == 0) window.add(lineNumber, i, frame.expects);
        } else if (frame.vt != 0 && window.undecided > 0) {
            window.decide(*window.answeredBy(frame), frame.vt);
        }
    }
    handOnSettled();
    while (window.lines.size() > kMaxHeldLines && window.undecided > 0) {
        window.decide(*window.oldest(), window.onlyVt());
        handOnSettled();
    }
}

// Whole frames as they are; a stream is cut into frames by the length nibble of each first
// byte, as the driver cuts what it reads, so a frame may end on a later line.
void TrafficDecoder::assemble(const LogLine& line, DecodedLine& decoded) {
    if (line.junk) {
        DecodedFrame frame;
        frame.vt = line.vt;
        frame.junk = true;
        frame.bytes = line.bytes;
        frame.key = "skipped bytes";
        frame.text = "skipped by the machine: " + std::to_string(line.bytes.size()) + " bytes";
        decoded.frames.push_back(std::move(frame));
        return;
    }
    if (line.wholeFrame) {
        decoded.frames.push_back(makeFrame(line.direction, line.vt, line.bytes));
        return;
    }
    std::vector<std::uint8_t>& partial = partial_[{line.vt, line.direction}];
    for (std::uint8_t byte : line.bytes) {
        partial.push_back(byte);
        if (static_cast<int>(partial.size()) == engine::frameLength(partial[0])) {
            decoded.frames.push_back(makeFrame(line.direction, line.vt, std::move(partial)));
            partial.clear();
        }
    }
}

void TrafficDecoder::settle() {
    Window& window = *window_;
    while (window.undecided > 0) window.decide(*window.oldest(), window.onlyVt());
    handOnSettled();
}

// Lines whose every command has its VT go on, in order.
void TrafficDecoder::handOnSettled() {
    Window& window = *window_;
    while (!window.lines.empty() && window.lines.front().waiting == 0) {
        const DecodedLine& line = window.lines.front().line;
        summarise(line);
        if (onLine_) onLine_(line);
        window.lines.pop_front();
        ++window.firstLine;
    }
    window.dropDecided();
}

void TrafficDecoder::summarise(const DecodedLine& line) {
    for (const DecodedFrame& frame : line.frames) {
        VtSummary& summary = summaries_[frame.vt];
        Window::LastSeen& previous = window_->last[frame.vt];
        if (line.timed && previous.seen && previous.timed) {
            const std::int64_t silence = line.time - previous.time;
            if (silence > summary.longestSilence) {
                summary.longestSilence = silence;
                summary.silenceFrom = previous.text;
            }
        }
        previous.seen = true;
        previous.timed = line.timed;
        previous.time = line.time;
        previous.text = line.text;
        if (!frame.checksumOk && !frame.junk) ++summary.checksumErrors;
        if (frame.junk) continue;
        if (frame.direction == Direction::kCommand) {
            ++summary.commandCount;
            ++summary.commands[frame.key];
            if (previous.commandWaiting) ++summary.unanswered;
            previous.commandWaiting = true;
            previous.commandTimed = line.timed;
            previous.commandTime = line.time;
            previous.commandResolution = line.resolution;
            continue;
        }
        ++summary.replyCount;
        ++summary.replies[frame.key];
        if (frame.checksumOk && engine::isNegativeAcknowledge(frame.bytes.data())) ++summary.naks;
        if (previous.commandWaiting && line.timed && previous.commandTimed) {
            const std::int64_t slack = line.resolution + previous.commandResolution;
            if (line.time - previous.commandTime - slack > timeout_) ++summary.lateReplies;
        }
        previous.commandWaiting = false;
    }
}

void printDecodedLine(std::ostream& out, const DecodedLine& line, int vt) {
    bool shown = vt == 0;
    for (const DecodedFrame& frame : line.frames) shown = shown || frame.vt == vt;
    if (!shown) return;
    out << line.text << '\n';
    for (const DecodedFrame& frame : line.frames) {
        out << "    " << vtLabel(frame.vt)
            << (frame.direction == Direction::kCommand ? " -> " : " <- ") << frame.text << '\n';
    }
}

void TrafficDecoder::printSummary(std::ostream& out, int vt) const {
    for (const auto& [number, summary] : summaries_) {
        if (vt != 0 && number != vt) continue;
        // A command the log ends on got no reply in it either.
        const auto previous = window_->last.find(number);
        const bool endsWaiting = previous != window_->last.end() && previous->second.commandWaiting;
        out << vtLabel(number) << ": " << summary.commandCount << " commands, "
            << summary.replyCount << " replies, " << summary.naks << " NAKs, "
            << summary.checksumErrors << " checksum errors, " << summary.lateReplies
            << " replies later than " << timeout_ / 1000 << " ms, "
            << summary.unanswered + (endsWaiting ? 1 : 0) << " commands unanswered\n";
        out << "  commands: " << counts(summary.commands)
            << "\n  replies: " << counts(summary.replies) << '\n';
        if (summary.longestSilence >= 0)
            out << "  longest silence: " << seconds(summary.longestSilence) << " after \""
                << summary.silenceFrom << "\"\n";
    }
    out << "lines: " << read_ << " read, " << traffic_ << " with traffic, " << skipped_
        << " skipped\n";
}

}  // namespace korvel::tools::decode
