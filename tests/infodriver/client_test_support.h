#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "infodriver/dispatch_registry.h"
#include "tests/support/in_process_infodriver.h"
#include "tests/support/in_process_transport.h"
#include "infodriver/infodriver_client.h"
#include "infodriver/infodriver_state.h"

namespace korvel::infodriver::testing {

// One call of a client's event callback, with the status the client had then.
struct Event {
    InfodriverClient* client;
    std::int32_t code;
    std::string text;
    std::int32_t status;
};

inline std::vector<Event>& events() {
    static std::vector<Event> recorded;
    return recorded;
}

inline void recordEvent(InfodriverClient* client, std::int32_t code, const char* text) {
    events().push_back({client, code, text ? text : "(null)", client->status()});
}

// A clean infodriver state (from construction to destruction) whose clients live in an in-process
// world with one infodriver serving device 10.
class InProcessClientTest : public ::testing::Test {
  protected:
    // Before the members of a test's fixture, so that clients among them use the world.
    InProcessClientTest() {
        infodriverState() = InfodriverState{};
        infodriverState().transport = &world;
        dispatchRegistry().clear();
        events().clear();
    }
    ~InProcessClientTest() override {
        infodriverState() = InfodriverState{};
        dispatchRegistry().clear();
        events().clear();
    }

    // The calls of one kind, in order.
    std::vector<InProcessTransport::Call> callsOf(InProcessTransport::Call::Kind kind) const {
        std::vector<InProcessTransport::Call> found;
        for (const auto& call : world.calls) {
            if (call.kind == kind) found.push_back(call);
        }
        return found;
    }

    InProcessTransport world;
    InProcessInfodriver infodriver{world, 10};
};

}  // namespace korvel::infodriver::testing
