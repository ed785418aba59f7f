#include "tools/decode/traffic_decoder.h"

#include <cstdio>
#include <set>

#include "engine/command_table.h"
#include "engine/frame.h"
#include "engine/reply_meaning.h"
#include "tools/decode/frame_text.h"

namespace korvel::tools::decode {
namespace {

constexpr std::size_t kMaxLineShown = 1024;

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

bool answers(const DecodedFrame& reply, const DecodedFrame& command) {
    if (!reply.checksumOk) return false;
    const engine::ReplyGroup group = engine::replyGroup(reply.bytes.data());
    return group == engine::ReplyGroup::kNegative || group == expectedReply(command);
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
std::string counts(const std::map<std::string, int>& byName) {
    std::string text;
    for (const auto& [name, count] : byName)
        text += (text.empty() ? "" : ", ") + name + " " + std::to_string(count);
    return text.empty() ? "none" : text;
}

}  // namespace

DecodedFrame TrafficDecoder::makeFrame(Direction direction, int vt,
                                       std::vector<std::uint8_t> bytes) const {
    DecodedFrame frame;
    frame.direction = direction;
    frame.vt = vt;
    frame.bytes = std::move(bytes);
    frame.checksumOk = checksumHolds(frame.bytes);
    const bool command = direction == Direction::kCommand;
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
    return frame;
}

void TrafficDecoder::addLine(std::string_view text) {
    const LogLine line = parseLogLine(text);
    DecodedLine decoded;
    decoded.text = masked(text);
    decoded.kind = line.kind;
    if (line.kind == LogLine::Kind::kSkipped) {
        ++skipped_;
        return;
    }
    if (line.clock == LogLine::Clock::kDelta) {
        traceClock_ += line.time;
        decoded.time = traceClock_;
    } else {
        decoded.time = line.time;
    }
    decoded.timed = line.clock != LogLine::Clock::kNone;
    decoded.resolution = line.resolution;
    if (line.kind == LogLine::Kind::kTraffic) {
        ++traffic_;
        assemble(line, decoded);
    }
    lines_.push_back(std::move(decoded));
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

void TrafficDecoder::finish() {
    attributeCommands();
    summarise();
}

void TrafficDecoder::attributeCommands() {
    std::vector<DecodedFrame*> pending;  // commands whose VT is not known yet, oldest first
    std::set<int> vts;
    for (DecodedLine& line : lines_) {
        for (DecodedFrame& frame : line.frames) {
            if (frame.vt != 0) vts.insert(frame.vt);
            if (frame.direction == Direction::kCommand) {
                if (frame.vt == 0) pending.push_back(&frame);
                continue;
            }
            if (pending.empty() || frame.vt == 0) continue;
            // The newest command of the kind this reply answers: a machine that stays silent
            // leaves its command behind, and it must not take another VT's reply.
            auto chosen = pending.end() - 1;
            for (auto it = pending.end(); it != pending.begin();) {
                --it;
                if (answers(frame, **it)) {
                    chosen = it;
                    break;
                }
            }
            (*chosen)->vt = frame.vt;
            pending.erase(chosen);
        }
    }
    if (vts.size() == 1)
        for (DecodedFrame* frame : pending) frame->vt = *vts.begin();
}

void TrafficDecoder::summarise() {
    struct Last {
        const DecodedLine* line = nullptr;
        const DecodedFrame* command = nullptr;  // waiting for its reply
        const DecodedLine* commandLine = nullptr;
    };
    std::map<int, Last> last;
    for (const DecodedLine& line : lines_) {
        for (const DecodedFrame& frame : line.frames) {
            VtSummary& summary = summaries_[frame.vt];
            Last& previous = last[frame.vt];
            if (line.timed && previous.line != nullptr && previous.line->timed) {
                const std::int64_t silence = line.time - previous.line->time;
                if (silence > summary.longestSilence) {
                    summary.longestSilence = silence;
                    summary.silenceFrom = previous.line->text;
                }
            }
            previous.line = &line;
            if (!frame.checksumOk && !frame.junk) ++summary.checksumErrors;
            if (frame.junk) continue;
            if (frame.direction == Direction::kCommand) {
                ++summary.commandCount;
                ++summary.commands[frame.key];
                if (previous.command != nullptr) ++summary.unanswered;
                previous.command = &frame;
                previous.commandLine = &line;
                continue;
            }
            ++summary.replyCount;
            ++summary.replies[frame.key];
            if (frame.checksumOk && engine::isNegativeAcknowledge(frame.bytes.data()))
                ++summary.naks;
            if (previous.command != nullptr && line.timed && previous.commandLine->timed) {
                const std::int64_t slack = line.resolution + previous.commandLine->resolution;
                if (line.time - previous.commandLine->time - slack > timeout_)
                    ++summary.lateReplies;
            }
            previous.command = nullptr;
        }
    }
    // A command the log ends on got no reply in it either.
    for (const auto& [vt, previous] : last)
        if (previous.command != nullptr) ++summaries_[vt].unanswered;
}

void TrafficDecoder::print(std::ostream& out, int vt) const {
    for (const DecodedLine& line : lines_) {
        bool shown = vt == 0;
        for (const DecodedFrame& frame : line.frames) shown = shown || frame.vt == vt;
        if (!shown) continue;
        out << line.text << '\n';
        for (const DecodedFrame& frame : line.frames) {
            out << "    " << vtLabel(frame.vt)
                << (frame.direction == Direction::kCommand ? " -> " : " <- ") << frame.text << '\n';
        }
    }
}

void TrafficDecoder::printSummary(std::ostream& out, int vt) const {
    for (const auto& [number, summary] : summaries_) {
        if (vt != 0 && number != vt) continue;
        out << vtLabel(number) << ": " << summary.commandCount << " commands, "
            << summary.replyCount << " replies, " << summary.naks << " NAKs, "
            << summary.checksumErrors << " checksum errors, " << summary.lateReplies
            << " replies later than " << timeout_ / 1000 << " ms, " << summary.unanswered
            << " commands unanswered\n";
        out << "  commands: " << counts(summary.commands)
            << "\n  replies: " << counts(summary.replies) << '\n';
        if (summary.longestSilence >= 0)
            out << "  longest silence: " << seconds(summary.longestSilence) << " after \""
                << summary.silenceFrom << "\"\n";
    }
    out << "lines: " << lines_.size() + static_cast<std::size_t>(skipped_) << " read, " << traffic_
        << " with traffic, " << skipped_ << " skipped\n";
}

}  // namespace korvel::tools::decode
