// A cued deck cannot read LTC from a still tape: it answers the time request with 74 14, the
// time carried on from the control track. The driver must take that as timecode, or slot 11
// freezes at the position the cue started from.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>

#include "tests/e2e/e2e_support.h"
#include "tests/sim/emulator_process.h"

namespace korvel::e2e {
namespace {

using sim::EventRecord;
using sim::testing::EmulatorProcess;

constexpr int kDevice = 101;
constexpr int kFramesPerDay = 24 * 60 * 60 * 25;

// The tape position in the deck's "state" line ("... tc=10:03:12:05 ..."), in frames.
std::optional<int> positionOf(const std::string& state) {
    const std::size_t at = state.find(" tc=");
    int h = 0, m = 0, s = 0, f = 0;
    if (at == std::string::npos ||
        std::sscanf(state.c_str() + at, " tc=%d:%d:%d:%d", &h, &m, &s, &f) != 4) {
        return std::nullopt;
    }
    return ((h * 60 + m) * 60 + s) * 25 + f;
}

// "hh.mm.ss.ff" for slot 12 and slot 11, or, with a space between, the BCD bytes of a time
// reply in wire order ("ff ss mm hh": BCD prints as its decimal digits).
std::string timecodeText(int frames, bool wireOrder) {
    const int f = frames % 25, s = frames / 25 % 60, m = frames / 1500 % 60, h = frames / 90000;
    char text[16];
    if (wireOrder) {
        std::snprintf(text, sizeof text, "%02d %02d %02d %02d", f, s, m, h);
    } else {
        std::snprintf(text, sizeof text, "%02d.%02d.%02d.%02d", h, m, s, f);
    }
    return text;
}

TEST(CuedTimecodeTest, SlotElevenFollowsADeckThatAnswersCarriedOnTimeWhileCued) {
    ASSERT_EQ(Decks::unavailableReason(), "");
    Decks decks;
    for (const char* line :
         {"deck 1 clear", "deck 1 local off", "deck 1 tape in", "deck 1 inhibit off"}) {
        ASSERT_TRUE(decks.control(line)) << line;
    }
    SettingsTree tree;
    tree.set(kDevice, "VT1", "Port", std::to_string(Decks::kPort1));
    tree.set(kDevice, "VT1", "Parity", "N");
    tree.apply();
    EmulatorProcess infodriver(std::to_string(kDevice));
    ASSERT_TRUE(infodriver.ready());
    DriverProcess driver(std::to_string(kDevice));
    ASSERT_TRUE(driver.window()) << "no driver window";
    const auto slotWrite = [&](int slot, const std::optional<std::string>& text,
                               DWORD timeoutMs = 5000) {
        return infodriver
            .waitFor(
                "write",
                [&](const EventRecord& r) {
                    return r.field("dev") == std::to_string(kDevice) &&
                           r.field("slot") == std::to_string(slot) &&
                           (!text || r.text.value_or("") == *text);
                },
                timeoutMs)
            .has_value();
    };
    ASSERT_TRUE(slotWrite(3, "0,0,"));

    // Stop the tape and read where it stands.
    std::size_t mark = decks.mark();
    infodriver.send("write 101 10 100");
    infodriver.send("write 101 1 1");
    ASSERT_TRUE(eventually([&] {
        for (const std::string& frame : decks.framesReceived(mark, 1)) {
            if (frame == "20 00 20") return true;
        }
        return false;
    }));
    mark = decks.mark();
    ASSERT_TRUE(decks.control("deck 1 show"));
    std::optional<int> stopped;
    for (const DeckEvent& event : decks.since(mark)) {
        if (event.deck == 1 && event.event == "state") stopped = positionOf(event.detail);
    }
    ASSERT_TRUE(stopped) << "no state line of deck 1";

    // Cue ten seconds on: a short wind, then cued there.
    const int target = *stopped + 250 < kFramesPerDay ? *stopped + 250 : *stopped - 250;
    mark = decks.mark();
    infodriver.send("write 101 12 " + timecodeText(target, false));
    infodriver.send("write 101 1 21");
    EXPECT_TRUE(slotWrite(2, "21", 10000));
    EXPECT_TRUE(slotWrite(11, timecodeText(target, false), 10000));

    // The deck gave the target as carried-on time, and never LTC it read: slot 11 moved on
    // 74 14 replies alone.
    const auto replied = [&](const std::string& start) {
        for (const DeckEvent& event : decks.since(mark)) {
            if (event.deck == 1 && event.event == "tx" && event.detail.rfind(start, 0) == 0) {
                return true;
            }
        }
        return false;
    };
    EXPECT_TRUE(eventually([&] { return replied("74 14 " + timecodeText(target, true)); }));
    EXPECT_FALSE(replied("74 04 "));
    // The VT never failed on the way.
    EXPECT_FALSE(slotWrite(3, "1,0,", 0));
}

}  // namespace
}  // namespace korvel::e2e
