#pragma once

#include <deque>
#include <string>
#include <vector>

#include "engine/vt_device.h"
#include "sim/vtr/deck.h"
#include "support/engine_fakes.h"

namespace korvel::testing {

// A Sony 9-pin machine on the far end of a VT's fake port. Every frame the engine writes is
// answered at once, through the real assembler and decoder, by the deck emulator's model
// (transport, status bits, timecode) unless the test has scripted the next replies. Time is
// the fake host's manual clock, so replies, time-outs and polls interleave as on a line.
class ScriptedDeck {
  public:
    ScriptedDeck(FakeHost& host, engine::VtDevice& device)
        : host_(host),
          device_(device),
          serial_(static_cast<FakeSerial&>(*device.port)),
          model_(sim::vtr::DeckSettings{}, now()) {}

    // The next frames are answered with these bytes instead, in order; an empty entry
    // leaves its frame unanswered.
    void script(std::vector<Bytes> replies) {
        scripted_.insert(scripted_.end(), replies.begin(), replies.end());
    }
    // A silent deck hears every frame and answers none.
    void setSilent(bool on) { silent_ = on; }

    // Bytes arriving on the port outside any exchange, handed to the engine at once.
    void send(const Bytes& bytes) {
        serial_.receive(bytes);
        device_.onSerialData(nullptr);
    }

    // Answers every frame written so far, and those the answers cause in turn.
    void answerAll() {
        for (int guard = 0; guard < 1000 && answered_ < serial_.written.size(); ++guard) {
            const Bytes frame = serial_.written[answered_++];
            heard.push_back(frame);
            Bytes reply;
            if (!scripted_.empty()) {
                reply = scripted_.front();
                scripted_.pop_front();
            } else if (!silent_) {
                reply = model_.answer(frame, now());
            }
            if (!reply.empty()) send(reply);
        }
    }

    // Lets ms of line time pass a millisecond at a time: timers fire, frames are answered.
    void run(std::uint32_t ms) {
        answerAll();
        for (std::uint32_t i = 0; i < ms; ++i) {
            host_.advance(1);
            answerAll();
        }
    }

    sim::vtr::Transport& transport() { return model_.transport(); }

    std::vector<Bytes> heard;  // every frame the deck received, in order

  private:
    sim::vtr::Instant now() const { return sim::vtr::Instant{host_.nowMs * 1000}; }

    FakeHost& host_;
    engine::VtDevice& device_;
    FakeSerial& serial_;
    sim::vtr::Deck model_;
    std::deque<Bytes> scripted_;
    bool silent_ = false;
    std::size_t answered_ = 0;
};

}  // namespace korvel::testing
