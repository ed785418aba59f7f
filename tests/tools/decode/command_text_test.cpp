#include <gtest/gtest.h>

#include <random>
#include <string>

#include "engine/command_table.h"
#include "tools/decode/frame_text.h"

namespace korvel::tools::decode {
namespace {

using engine::ArgumentKind;

// What the decoder should say of a command's argument, worked out from the values put in,
// not from the frame.
std::string argumentWords(const engine::CommandRow& row, std::int32_t value,
                          const engine::Timecode& cue) {
    const auto magnitude = static_cast<std::uint8_t>(
        value < 0 ? 0u - static_cast<std::uint32_t>(value) : static_cast<std::uint32_t>(value));
    switch (row.argument) {
        case ArgumentKind::kSpeed:
            return std::string(value < 0 ? " reverse" : " forward") + " speed " +
                   std::to_string(magnitude);
        case ArgumentKind::kCuePoint:
            return std::string(" ") + engine::formatTimecode(engine::withoutFlagBits(cue)).text;
        case ArgumentKind::kValue16:
            return " value " + std::to_string(static_cast<std::uint32_t>(value) & 0xFFFF);
        case ArgumentKind::kNone:
            break;
    }
    return "";
}

// Every row, with random arguments of its kind, is explained as its name and its argument.
TEST(CommandText, EveryRowIsExplainedWithItsArgument) {
    std::mt19937 random(22);
    for (const engine::CommandRow& row : engine::commandTable()) {
        for (int i = 0; i < 50; ++i) {
            const auto value = static_cast<std::int32_t>(random());
            const engine::Timecode cue{
                static_cast<std::uint8_t>(random()), static_cast<std::uint8_t>(random()),
                static_cast<std::uint8_t>(random()), static_cast<std::uint8_t>(random())};
            engine::CommandPlan plan = engine::planCommand(row.number, value, cue);
            if (!plan.sendsFrame) break;
            const int length = engine::completeFrame(plan.frame);
            EXPECT_EQ(explainCommand({plan.frame.data(), static_cast<std::size_t>(length)}),
                      row.name + argumentWords(row, value, cue))
                << row.number;
        }
    }
}

}  // namespace
}  // namespace korvel::tools::decode
