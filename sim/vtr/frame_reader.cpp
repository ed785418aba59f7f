#include "sim/vtr/frame_reader.h"

namespace korvel::sim::vtr {

std::vector<ReceivedEvent> FrameReader::feed(std::span<const std::uint8_t> bytes, Instant now) {
    std::vector<ReceivedEvent> events = expire(now);
    if (bytes.empty()) return events;
    pending_.insert(pending_.end(), bytes.begin(), bytes.end());
    lastByte_ = now;
    scan(events);
    return events;
}

std::vector<ReceivedEvent> FrameReader::expire(Instant now) {
    std::vector<ReceivedEvent> events;
    if (pending_.empty() || now - lastByte_ < byteTimeout_) return events;
    events.push_back(
        {resynchronising_ ? ReceivedEvent::Kind::kDiscarded : ReceivedEvent::Kind::kTimedOut,
         std::move(pending_)});
    pending_.clear();
    resynchronising_ = false;
    return events;
}

std::optional<Instant> FrameReader::deadline() const {
    if (pending_.empty()) return std::nullopt;
    return lastByte_ + byteTimeout_;
}

void FrameReader::scan(std::vector<ReceivedEvent>& events) {
    std::size_t start = 0;
    while (start < pending_.size()) {
        const std::size_t length = frameLengthFor(pending_[start]);
        if (pending_.size() - start < length) break;
        const std::span<const std::uint8_t> candidate(pending_.data() + start, length);
        if (hasValidChecksum(candidate)) {
            events.push_back(
                {ReceivedEvent::Kind::kFrame, Bytes(candidate.begin(), candidate.end())});
            start += length;
            resynchronising_ = false;
            continue;
        }
        if (!resynchronising_) {
            events.push_back(
                {ReceivedEvent::Kind::kBadChecksum, Bytes(candidate.begin(), candidate.end())});
            resynchronising_ = true;
            ++start;  // the rest of the bad frame may hide the start of a good one
            continue;
        }
        // Resynchronising: skip one byte, merging a run of skipped bytes into one event.
        if (!events.empty() && events.back().kind == ReceivedEvent::Kind::kDiscarded)
            events.back().bytes.push_back(pending_[start]);
        else
            events.push_back({ReceivedEvent::Kind::kDiscarded, Bytes{pending_[start]}});
        ++start;
    }
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(start));
}

}  // namespace korvel::sim::vtr
