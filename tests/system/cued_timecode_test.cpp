// A cued deck cannot read LTC from a still tape: it answers the time request with 74 14, the
// time carried on from the control track. The driver must take that as timecode, or slot 11
// freezes where the cue started.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "tests/support/emulator_process.h"
#include "tests/system/e2e_support.h"

namespace korvel::e2e {
namespace {

TEST(CuedTimecodeTest, SlotElevenFollowsADeckThatAnswersCarriedOnTimeWhileCued) {
    ASSERT_EQ(Decks::unavailableReason(), "");
    Decks decks;
    ASSERT_TRUE(decks.control("deck 1 clear") && decks.control("deck 1 local off") &&
                decks.control("deck 1 tape in"));
    SettingsTree tree;
    tree.set(101, "VT1", "Port", std::to_string(Decks::kPort1));
    tree.set(101, "VT1", "Parity", "N");
    tree.apply();
    sim::testing::EmulatorProcess infodriver("101");
    ASSERT_TRUE(infodriver.ready());
    DriverProcess driver("101");
    ASSERT_TRUE(driver.window()) << "no driver window";
    const auto written = [&](const std::string& slot, const std::string& text, DWORD ms = 10000) {
        return infodriver
            .waitFor(
                "write",
                [&](const sim::EventRecord& r) {
                    return r.field("slot") == slot && r.text.value_or("") == text;
                },
                ms)
            .has_value();
    };
    ASSERT_TRUE(written("3", "0,0,"));

    // Stopped (through the driver), the tape stays where the deck's state line says.
    std::size_t mark = decks.mark();
    infodriver.send("write 101 10 100");
    infodriver.send("write 101 1 1");
    ASSERT_TRUE(eventually([&] {
        const auto frames = decks.framesReceived(mark, 1);
        return std::find(frames.begin(), frames.end(), "20 00 20") != frames.end();
    }));
    mark = decks.mark();
    ASSERT_TRUE(decks.control("deck 1 show"));
    int h = -1, m = 0, s = 0, f = 0;
    for (const DeckEvent& event : decks.since(mark)) {
        const std::size_t tc = event.detail.find(" tc=");
        if (event.event == "state" && event.deck == 1 && tc != std::string::npos)
            std::sscanf(event.detail.c_str() + tc, " tc=%d:%d:%d:%d", &h, &m, &s, &f);
    }
    ASSERT_GE(h, 0) << "no state line of deck 1";

    // Cue ten seconds away: a short wind, then cued there.
    s = (s + 10) % 60;
    char point[16], wire[16];
    std::snprintf(point, sizeof point, "%02d.%02d.%02d.%02d", h, m, s, f);
    std::snprintf(wire, sizeof wire, "74 14 %02d %02d %02d %02d", f, s, m, h);  // BCD
    mark = decks.mark();
    infodriver.send(std::string("write 101 12 ") + point);
    infodriver.send("write 101 1 21");
    EXPECT_TRUE(written("2", "21"));
    EXPECT_TRUE(written("11", point));
    // The deck gave the point as carried-on time and never LTC it read: slot 11 moved on 74 14
    // alone. The VT never failed on the way.
    const auto replied = [&](const std::string& start) {
        for (const DeckEvent& event : decks.since(mark)) {
            if (event.deck == 1 && event.event == "tx" && event.detail.rfind(start, 0) == 0)
                return true;
        }
        return false;
    };
    EXPECT_TRUE(eventually([&] { return replied(wire); }));
    EXPECT_FALSE(replied("74 04 "));
    EXPECT_FALSE(written("3", "1,0,", 0));
}

}  // namespace
}  // namespace korvel::e2e
