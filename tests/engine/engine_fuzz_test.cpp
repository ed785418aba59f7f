// Randomized robustness of the engine. A machine may send anything (noise, cut and glued
// frames, bad checksums, the longest length nibble, replies nobody asked for, line errors)
// at any time, and a control system may write anything into any slot. Nothing of it may
// break the engine's own rules, and the next good exchange must work as on a fresh VT.
// The seeds are fixed, so a failure repeats; the step number says where.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "config/decimal.h"
#include "engine/device_list.h"
#include "engine/slot_layout.h"
#include "engine/vt_timers.h"
#include "infodriver/infodriver_messages.h"
#include "support/engine_fixture.h"
#include "support/fuzz_inputs.h"

namespace korvel::engine {
namespace {

using testing::Bytes;
using testing::Chooser;
using testing::framed;
using testing::hex;
using testing::sum8;
using Result = ::testing::AssertionResult;

constexpr std::size_t kAssembledBytes = 1'200'000;
constexpr std::uint32_t kMinimumPeriodMs = 40;

// The single line errors with which the drain drops the chunk it has just read.
bool dropsChunk(std::uint32_t word) {
    static const std::uint32_t kDropping[] = {0x0001, 0x0002, 0x0004, 0x0008,
                                              0x0010, 0x0100, 0x0400};
    return std::find(std::begin(kDropping), std::end(kDropping), word) != std::end(kDropping);
}

std::string readLine(int vt, const std::uint8_t* bytes, std::size_t count) {
    std::string line = "Read[vt" + std::to_string(vt) + "] ";
    for (std::size_t i = 0; i < count; ++i) {
        char digits[4];
        std::snprintf(digits, sizeof digits, "%02X ", bytes[i]);
        line += digits;
    }
    return line;
}

std::string slotValue(const testing::FakeSlots& slots, std::int32_t index) {
    const auto found = slots.slots.find(index);
    return found == slots.slots.end() ? std::string() : found->second;
}

bool startsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

// Transport state a five-byte status reply gives: the first bit set in this order wins.
std::int32_t transportStateOf(const Bytes& frame, std::int32_t previous) {
    struct Rule {
        std::size_t dataByte;
        std::uint8_t mask;
        std::int32_t state;
    };
    static const Rule kRules[] = {{2, 0x01, 21}, {4, 0x01, 10}, {2, 0x20, 8}, {2, 0x10, 9},
                                  {2, 0x08, 7},  {1, 0x02, 3},  {1, 0x01, 2}, {1, 0x04, 5},
                                  {1, 0x08, 4},  {1, 0x20, 1}};
    for (const Rule& rule : kRules) {
        if (frame[2 + rule.dataByte] & rule.mask) return rule.state;
    }
    return previous;
}

std::string timecodeText(std::uint8_t hours, std::uint8_t minutes, std::uint8_t seconds,
                         std::uint8_t frames) {
    char text[16];
    std::snprintf(text, sizeof text, "%02x.%02x.%02x.%02x", hours, minutes, seconds, frames);
    return text;
}

// A reply of one of the kinds a machine sends, or of a kind it should not, with random
// contents and a right checksum.
Bytes randomReply(Chooser& choose) {
    auto withData = [&](std::uint8_t cmd1, std::uint8_t cmd2) {
        Bytes body{cmd1, cmd2};
        for (int i = 0; i < (cmd1 & 0x0F); ++i) {
            // Sparse bits, so that the lower transport rules get their turn too.
            body.push_back(
                choose.percent(50) ? 0 : static_cast<std::uint8_t>(1u << choose.between(0, 7)));
        }
        return framed(body);
    };
    switch (choose.between(0, 11)) {
        case 0:
        case 1:
            return {0x10, 0x01, 0x11};
        case 2:
            return framed({0x10, choose.byte()});
        case 3:
            return framed({0x11, 0x12, choose.percent(50) ? std::uint8_t{0} : choose.byte()});
        case 4:
            return framed({0x11, choose.byte(), choose.byte()});
        case 5:
            return framed({0x74, static_cast<std::uint8_t>(choose.percent(50) ? 0x04 : 0x14),
                           choose.byte(), choose.byte(), choose.byte(), choose.byte()});
        case 6:
            return withData(0x74, choose.byte());
        case 7:
        case 8:
            return withData(0x75, choose.percent(80) ? 0x20 : choose.byte());
        case 9:
            return withData(0x79, choose.percent(80) ? 0x20 : choose.byte());
        default: {
            // Any first byte, the longest length nibble among them.
            const std::uint8_t cmd1 = choose.percent(30)
                                          ? static_cast<std::uint8_t>(choose.byte() | 0x0F)
                                          : choose.byte();
            Bytes body{cmd1, choose.byte()};
            for (int i = 0; i < (cmd1 & 0x0F); ++i) body.push_back(choose.byte());
            return framed(body);
        }
    }
}

// An error word as the port reports it after a read: one of the dropping single flags,
// no error, two flags together, or flags the drain does not look at.
std::uint32_t randomErrorWord(Chooser& choose) {
    static const std::uint32_t kWords[] = {0x0001, 0x0002, 0x0004, 0x0008, 0x0010, 0x0100,
                                           0x0400, 0x0000, 0x0003, 0x0110, 0x0020, 0x0040,
                                           0x0080, 0x0200, 0x8000, 0x0401};
    if (choose.percent(10)) return static_cast<std::uint32_t>(choose.between(0, 0xFFFF));
    return choose.oneOf(kWords);
}

// Texts for the command slot: mostly real command numbers, some with values.
std::string randomCommandText(Chooser& choose) {
    static const char* const kCommands[] = {
        "1",  "2",  "3",       "4",     "5",      "6",      "7",     "8",      "9",
        "-7", "-8", "-9",      "8,-20", "7,100",  "11",     "12",    "20",     "21",
        "22", "23", "31",      "32",    "33",     "34",     "41",    "42",     "43",
        "44", "51", "51,1000", "-51,7", "52,258", "-52,-3", "9,300", "-8,-20", "7,-2147483648",
        "93", "96", "97",      "98",    "99",     "RESET",  "10",    "0"};
    return choose.percent(80) ? choose.oneOf(kCommands) : testing::randomSlotText(choose);
}

class EngineFuzz : public testing::EngineTest {
  protected:
    Chooser choose{0x4B52564C};

    // The engine's own rules, which no input may break.
    Result invariantsHold(VtDevice& vt) {
        const int n = vt.vtIndex;
        if (vt.rxIndex < 0 || vt.rxIndex >= static_cast<std::int32_t>(kMaxFrameLength)) {
            return ::testing::AssertionFailure() << "VT" << n << " rxIndex " << vt.rxIndex;
        }
        if (vt.rxLength < 0 || vt.rxLength > static_cast<std::int32_t>(kMaxFrameLength)) {
            return ::testing::AssertionFailure() << "VT" << n << " rxLength " << vt.rxLength;
        }
        if (vt.txQueueCount > VtDevice::kQueueEntries ||
            vt.txQueueWrite >= VtDevice::kQueueEntries) {
            return ::testing::AssertionFailure() << "VT" << n << " queue count " << vt.txQueueCount
                                                 << " write " << vt.txQueueWrite;
        }
        for (std::uint32_t k = 0; k < vt.txQueueCount; ++k) {
            const auto& entry = vt.txQueue[(vt.oldestEntry() + k) % VtDevice::kQueueEntries];
            const std::size_t length = (entry[0] & 0x0Fu) + 3u;
            if (entry[length - 1] != sum8(entry.data(), length - 1)) {
                return ::testing::AssertionFailure()
                       << "VT" << n << " queued frame " << k << " has a bad checksum";
            }
        }
        // A command on the line always has its time-out running, and only then.
        if (vt.awaitingReply != host.hasTimer(vt.txTimerId())) {
            return ::testing::AssertionFailure()
                   << "VT" << n << " awaiting " << vt.awaitingReply << " but time-out timer "
                   << host.hasTimer(vt.txTimerId());
        }
        // A VT that answers keeps its timecode poll; no period is below the minimum.
        if (!vt.commsFailed && !host.hasTimer(vt.timecodeTimerId())) {
            return ::testing::AssertionFailure()
                   << "VT" << n << " answers but has no timecode timer";
        }
        if (vt.tcUpdatePeriod < kMinimumPeriodMs ||
            (host.hasTimer(vt.timecodeTimerId()) &&
             host.periodOf(vt.timecodeTimerId()) < kMinimumPeriodMs)) {
            return ::testing::AssertionFailure()
                   << "VT" << n << " timecode period " << vt.tcUpdatePeriod;
        }
        // The panel and slot 3 tell the comms state as it is.
        const std::string comms = host.panelOf(engine::kCommsField, n);
        if ((comms == "OK") == vt.commsFailed) {
            return ::testing::AssertionFailure() << "VT" << n << " failed " << vt.commsFailed
                                                 << " but panel shows '" << comms << "'";
        }
        const testing::FakeSlots& slots = slotsOf(vt);
        const std::string slot3 = slotValue(slots, kCommsStateSlot);
        if (vt.commsFailed ? !(slot3.empty() || startsWith(slot3, "1,"))
                           : !startsWith(slot3, "0,")) {
            return ::testing::AssertionFailure() << "VT" << n << " failed " << vt.commsFailed
                                                 << " but slot 3 is '" << slot3 << "'";
        }
        // Published values agree with what the device holds.
        if (vt.transportState != 0 &&
            slotValue(slots, kTransportStateSlot) != std::to_string(vt.transportState)) {
            return ::testing::AssertionFailure()
                   << "VT" << n << " state " << vt.transportState << " but slot 2 is '"
                   << slotValue(slots, kTransportStateSlot) << "'";
        }
        const std::string slot4 = slotValue(slots, kStatusFlagsSlot);
        const std::string flags4 = std::to_string(vt.status0Bit0 ? 1 : 0) + "," +
                                   std::to_string(vt.status0Bit5 ? 1 : 0) + ",";
        if (!slot4.empty() && slot4 != flags4) {
            return ::testing::AssertionFailure()
                   << "VT" << n << " slot 4 '" << slot4 << "' vs " << flags4;
        }
        if (vt.rxCount < rxCountSeen_[n]) {
            return ::testing::AssertionFailure() << "VT" << n << " rxCount went back";
        }
        rxCountSeen_[n] = vt.rxCount;
        // Whatever goes on the wire is a whole command frame with its checksum.
        const auto& written = serialOf(vt).written;
        for (std::size_t i = wireChecked_[n]; i < written.size(); ++i) {
            static const std::uint8_t kGroups[] = {0x20, 0x21, 0x22, 0x24, 0x25,
                                                   0x40, 0x44, 0x61, 0xA3};
            const Bytes& frame = written[i];
            if (!testing::wellFormed(frame) ||
                std::find(std::begin(kGroups), std::end(kGroups), frame[0]) == std::end(kGroups)) {
                return ::testing::AssertionFailure()
                       << "VT" << n << " wrote '" << hex(frame) << "'";
            }
        }
        wireChecked_[n] = written.size();
        return ::testing::AssertionSuccess();
    }

    // Hands the bytes over as the port would, in chunks of 1 to 64 bytes with one
    // notification each, some reads with an error word. The drain must take every byte,
    // trace and log exactly the chunks it keeps, and drop the others. Counts the bytes
    // that reach the assembler; dropped tells whether any chunk was lost.
    Result deliver(VtDevice& vt, const Bytes& bytes, int errorPercent, std::size_t& assembled,
                   bool& dropped) {
        testing::FakeSerial& serial = serialOf(vt);
        std::size_t at = 0;
        while (at < bytes.size()) {
            const std::size_t count =
                std::min(bytes.size() - at, static_cast<std::size_t>(choose.between(1, 64)));
            std::vector<std::string> expected;
            for (std::size_t read = 0; read < count; read += 32) {
                const std::size_t piece = std::min<std::size_t>(32, count - read);
                const std::uint32_t word =
                    choose.percent(errorPercent) ? randomErrorWord(choose) : 0;
                serial.errorWords.push_back(word);
                if (dropsChunk(word)) {
                    dropped = true;
                    continue;
                }
                expected.push_back(readLine(vt.vtIndex, bytes.data() + at + read, piece));
                assembled += piece;
            }
            serial.receive(Bytes(bytes.begin() + static_cast<long>(at),
                                 bytes.begin() + static_cast<long>(at + count)));
            const std::size_t logged = host.trafficLog.size();
            vt.onSerialData(nullptr);
            if (!serial.inbound.empty() || !serial.errorWords.empty()) {
                return ::testing::AssertionFailure() << "VT" << vt.vtIndex << " left "
                                                     << serial.inbound.size() << " bytes unread";
            }
            std::vector<std::string> lines;
            for (std::size_t i = logged; i < host.trafficLog.size(); ++i) {
                if (startsWith(host.trafficLog[i], "Read[")) lines.push_back(host.trafficLog[i]);
            }
            if (lines != expected) {
                return ::testing::AssertionFailure()
                       << "VT" << vt.vtIndex << " logged " << lines.size() << " chunks, expected "
                       << expected.size() << (lines.empty() ? "" : ": " + lines.front());
            }
            at += count;
        }
        return ::testing::AssertionSuccess();
    }

    struct Before {
        std::uint32_t queueCount;
        Bytes head, next;  // the frame on the line and the one behind it
        bool nakRetried, commsFailed;
        std::uint32_t rxCount;
        std::int32_t transportState;
        Timecode timecode;
        std::string slot11;
        std::size_t written;
    };

    Before snapshot(VtDevice& vt) {
        Before before{vt.txQueueCount,
                      {},
                      {},
                      vt.nakRetried,
                      vt.commsFailed,
                      vt.rxCount,
                      vt.transportState,
                      vt.currentTimecode,
                      slotValue(slotsOf(vt), kTimecodeSlot),
                      serialOf(vt).written.size()};
        auto entry = [&](std::uint32_t k) {
            const auto& e = vt.txQueue[(vt.oldestEntry() + k) % VtDevice::kQueueEntries];
            return Bytes(e.begin(), e.begin() + (e[0] & 0x0F) + 3);
        };
        if (vt.txQueueCount > 0) before.head = entry(0);
        if (vt.txQueueCount > 1) before.next = entry(1);
        return before;
    }

    // One whole frame reached a clean assembler: what its decoding must have done.
    Result decodedAsItShould(VtDevice& vt, const Before& before, const Bytes& frame, bool badSum) {
        const int n = vt.vtIndex;
        const auto& written = serialOf(vt).written;
        const bool wroteNothing = written.size() == before.written;
        auto fail = [&]() {
            return ::testing::AssertionFailure() << "VT" << n << " after '" << hex(frame)
                                                 << (badSum ? "' (bad checksum)" : "'") << ": ";
        };
        if (vt.rxCount != before.rxCount + 1)
            return fail() << "rxCount " << before.rxCount << " -> " << vt.rxCount << " rxIndex "
                          << vt.rxIndex << " queued " << before.queueCount << "->"
                          << vt.txQueueCount;
        if (vt.rxIndex != 0) return fail() << "assembler not back at 0";
        // The command in hand answered: the next one goes on the line.
        auto advanced = [&]() {
            return before.queueCount < 2 || (vt.txQueueCount == before.queueCount - 1 &&
                                             !wroteNothing && written.back() == before.next);
        };
        const std::string failedText = host.panelOf(engine::kCommsField, n);
        if (badSum) {
            if (!vt.commsFailed || failedText != "!! FAIL?? !!") return fail() << "not failed";
            if (serialOf(vt).purges.empty() || serialOf(vt).purges.back() != 8) {
                return fail() << "receive side not purged";
            }
            return advanced() ? ::testing::AssertionSuccess() : fail() << "queue not advanced";
        }
        switch (frame[0]) {
            case 0x10:
                if (vt.commsFailed || vt.nakRetried) return fail() << "not recovered";
                if (frame[1] == 0x01 && !advanced()) return fail() << "queue not advanced";
                if (frame[1] != 0x01 && (vt.txQueueCount != before.queueCount || !wroteNothing)) {
                    return fail() << "queue moved";
                }
                break;
            case 0x11:
                if (vt.commsFailed != before.commsFailed) return fail() << "comms state changed";
                if (frame[1] == 0x12 && !before.nakRetried) {
                    // The first refusal sends the same command again.
                    if (!vt.nakRetried) return fail() << "refusal not counted";
                    if (before.queueCount > 0 && (vt.txQueueCount != before.queueCount ||
                                                  wroteNothing || written.back() != before.head)) {
                        return fail() << "command not sent again";
                    }
                } else if (vt.nakRetried || !advanced()) {
                    return fail() << "command not dropped";
                }
                break;
            case 0x74:
                if (vt.commsFailed) return fail() << "not recovered";
                if ((frame[1] & 0xEF) == 0x04) {
                    const Timecode raw{frame[2], frame[3], frame[4], frame[5]};
                    const std::string text = timecodeText(frame[5] & 0x3F, frame[4] & 0x7F,
                                                          frame[3] & 0x7F, frame[2] & 0x3F);
                    if (!(vt.currentTimecode == raw) ||
                        slotValue(slotsOf(vt), kTimecodeSlot) != text) {
                        return fail() << "timecode not published, slot 11 '"
                                      << slotValue(slotsOf(vt), kTimecodeSlot) << "'";
                    }
                } else if (!(vt.currentTimecode == before.timecode) ||
                           slotValue(slotsOf(vt), kTimecodeSlot) != before.slot11) {
                    return fail() << "timecode changed";
                }
                if (!advanced()) return fail() << "queue not advanced";
                break;
            case 0x75: {
                if (vt.commsFailed) return fail() << "not recovered";
                const std::int32_t state = frame[1] == 0x20
                                               ? transportStateOf(frame, before.transportState)
                                               : before.transportState;
                if (vt.transportState != state) return fail() << "state " << vt.transportState;
                const std::string flags5 = std::to_string((frame[2] >> 4) & 1) + "," +
                                           std::to_string((frame[3] & 0x80) ? 0 : 1) + "," +
                                           std::to_string((frame[4] & 0x80) ? 0 : 1) + ",";
                if (slotValue(slotsOf(vt), kStatusMoreFlagsSlot) != flags5)
                    return fail() << "slot 5";
                break;
            }
            case 0x79:
                if (vt.commsFailed) return fail() << "not recovered";
                if (frame[1] == 0x20 && slotValue(slotsOf(vt), kExtendedStatusSlot) !=
                                            ((frame[10] & 1) ? "1," : "0,")) {
                    return fail() << "slot 6";
                }
                if (!advanced()) return fail() << "queue not advanced";
                break;
            default:
                if (!vt.commsFailed || failedText != "!! FAIL?? !!") return fail() << "not failed";
                if (!advanced()) return fail() << "queue not advanced";
                break;
        }
        return ::testing::AssertionSuccess();
    }

    // Answers each VT's command on the line as a deck would, letting time pass in between,
    // until every VT has answered a status request, has nothing queued and answers.
    Result settle(const std::vector<VtDevice*>& vts) {
        std::map<int, bool> statusAnswered;
        for (int round = 0; round < 5000; ++round) {
            bool allIdle = true;
            for (VtDevice* vt : vts) {
                testing::FakeSerial& serial = serialOf(*vt);
                if (vt->awaitingReply) {
                    const Bytes command = serial.written.back();
                    serial.receive(testing::deckAnswerTo(command));
                    vt->onSerialData(nullptr);
                    // Only a status that was decoded counts, not one lost to an assembler
                    // still out of step.
                    if (!vt->commsFailed && vt->transportState == 1) {
                        statusAnswered[vt->vtIndex] = true;
                    }
                }
                allIdle = allIdle && statusAnswered[vt->vtIndex] && !vt->awaitingReply &&
                          vt->txQueueCount == 0 && !vt->commsFailed && !vt->tcPollPending &&
                          !vt->statusPollPending;
                Result ok = invariantsHold(*vt);
                if (!ok) return ok << " while settling";
            }
            if (allIdle) return ::testing::AssertionSuccess();
            host.advance(5);
        }
        ::testing::AssertionResult stuck = ::testing::AssertionFailure() << "never settled:";
        for (VtDevice* vt : vts) {
            stuck << " VT" << vt->vtIndex << " awaiting " << vt->awaitingReply << " queued "
                  << vt->txQueueCount << " failed " << vt->commsFailed;
        }
        return stuck;
    }

    // Only the newest records are needed; the rest would only fill the memory.
    void trimRecords(VtDevice& vt) {
        auto trim = [](auto& records) {
            if (records.size() > 4096) records.erase(records.begin(), records.end() - 16);
        };
        trim(host.trafficLog);
        trim(host.debugTexts);
        trim(serialOf(vt).purges);
        trim(slotsOf(vt).writes);
    }

  private:
    std::map<int, std::uint32_t> rxCountSeen_;
    std::map<int, std::size_t> wireChecked_;
};

TEST_F(EngineFuzz, AMillionRandomBytesWithTimersAndSlotsBetweenThenAGoodExchangeWorks) {
    VtDevice& vt1 = addDevice(1);
    VtDevice& vt3 = addDevice(3);
    const std::vector<VtDevice*> vts{&vt1, &vt3};
    ASSERT_TRUE(host.setTimer(kPollTimerId, kPollPeriodMs));

    // Slots the driver publishes itself are left out: an echo there would hide what the
    // engine wrote.
    static const std::int32_t kSlots[] = {1, 1, 1, 1, 10, 12, 20, 31, 32, 33, 34, 52, 7, 0, 99};
    static const std::int32_t kOtherStatuses[] = {3, 6, 7, 0, 1, 4, 5, 9, 99, -1};

    std::size_t assembled = 0;
    int closeRequests = 0;
    int checkedFrames = 0;
    for (long step = 0; assembled < kAssembledBytes; ++step) {
        VtDevice& vt = *vts[static_cast<std::size_t>(choose.between(0, 1))];
        const int action = choose.between(0, 99);
        bool dropped = false;
        if (action < 30) {
            Bytes noise(static_cast<std::size_t>(choose.between(1, 64)));
            for (auto& b : noise) b = choose.byte();
            ASSERT_TRUE(deliver(vt, noise, 10, assembled, dropped)) << "step " << step;
        } else if (action < 65) {
            // One reply, whole, spoiled or cut; or several glued together.
            Bytes bytes = randomReply(choose);
            const int fault = choose.between(0, 9);
            const bool badSum = fault == 0;
            if (badSum)
                bytes.back() = static_cast<std::uint8_t>(bytes.back() + choose.between(1, 255));
            if (fault == 1)
                bytes.resize(static_cast<std::size_t>(
                    choose.between(1, static_cast<int>(bytes.size()) - 1)));
            const bool single = fault >= 3 || badSum;
            if (fault == 2) {
                for (int more = choose.between(1, 4); more > 0; --more) {
                    const Bytes next = randomReply(choose);
                    bytes.insert(bytes.end(), next.begin(), next.end());
                }
            }
            const bool fromStart = vt.rxIndex == 0;
            const Before before = snapshot(vt);
            ASSERT_TRUE(deliver(vt, bytes, single ? 3 : 10, assembled, dropped)) << "step " << step;
            if (single && fromStart && !dropped) {
                ASSERT_TRUE(decodedAsItShould(vt, before, bytes, badSum)) << "step " << step;
                ++checkedFrames;
            }
        } else if (action < 82) {
            host.advance(static_cast<std::uint32_t>(choose.between(0, 400)));
        } else if (action < 94) {
            const std::int32_t slot = choose.oneOf(kSlots);
            const std::string text =
                slot == kCommandSlot ? randomCommandText(choose) : testing::randomSlotText(choose);
            slotsOf(vt).setStatus(infodriver::kStatusConnected);
            vt.onInfodriverEvent(nullptr, slot, text.c_str());
        } else if (action < 97) {
            const std::int32_t status = choose.oneOf(kOtherStatuses);
            slotsOf(vt).setStatus(status);
            const std::size_t slotWrites = slotsOf(vt).writes.size();
            const std::size_t frames = serialOf(vt).written.size();
            vt.onInfodriverEvent(nullptr, choose.oneOf(kSlots), "2");
            slotsOf(vt).setStatus(infodriver::kStatusConnected);
            if (status == 3) ++closeRequests;
            ASSERT_EQ(host.closeRequests, closeRequests) << "step " << step;
            ASSERT_EQ(slotsOf(vt).writes.size(), slotWrites) << "step " << step;
            ASSERT_EQ(serialOf(vt).written.size(), frames) << "step " << step;
        } else {
            log::setTracing(choose.percent(50));
        }
        for (VtDevice* each : vts) {
            ASSERT_TRUE(invariantsHold(*each)) << "step " << step << ", action " << action;
            trimRecords(*each);
        }
    }
    // The decoder's checks were made often enough to count.
    EXPECT_GT(checkedFrames, 5000);

    // Whatever state the noise left behind, a deck that answers brings every VT back.
    log::setTracing(true);
    ASSERT_TRUE(settle(vts));
    for (VtDevice* vt : vts) {
        SCOPED_TRACE("VT" + std::to_string(vt->vtIndex));
        testing::FakeSerial& serial = serialOf(*vt);
        testing::FakeSlots& slots = slotsOf(*vt);
        const int n = vt->vtIndex;
        ASSERT_EQ(vt->transportState, 1);  // the deck reported stopped

        std::size_t seen = serial.written.size();
        auto fresh = [&]() {
            std::vector<std::string> frames;
            for (; seen < serial.written.size(); ++seen)
                frames.push_back(hex(serial.written[seen]));
            return frames;
        };
        auto answer = [&](const Bytes& reply) {
            serial.receive(reply);
            vt->onSerialData(nullptr);
        };
        using Frames = std::vector<std::string>;

        vt->onInfodriverEvent(nullptr, kCommandSlot, "2");
        EXPECT_EQ(fresh(), Frames{"20 01 21"});
        EXPECT_EQ(vt->txQueueCount, 3u);
        EXPECT_EQ(host.panelOf(engine::kLastCommandField, n), "Play");
        answer({0x10, 0x01, 0x11});
        EXPECT_EQ(fresh(), Frames{"61 0C 01 6E"});
        EXPECT_EQ(vt->txQueueCount, 2u);
        answer(framed({0x74, 0x04, 0x24, 0x59, 0x59, 0x23}));
        EXPECT_EQ(slots.slots[kTimecodeSlot], "23.59.59.24");
        EXPECT_EQ(fresh(), Frames{"61 20 05 86"});
        answer(framed({0x75, 0x20, 0x00, 0x01, 0x00, 0x00, 0x00}));
        EXPECT_EQ(slots.slots[kTransportStateSlot], "2");
        EXPECT_EQ(host.panelOf(engine::kTransportField, n), "Play");
        EXPECT_EQ(fresh(), Frames{"20 60 80"});
        answer({0x10, 0x01, 0x11});
        EXPECT_TRUE(fresh().empty());
        EXPECT_EQ(vt->txQueueCount, 0u);
        EXPECT_FALSE(vt->awaitingReply);
        EXPECT_FALSE(vt->commsFailed);
        EXPECT_EQ(host.panelOf(engine::kCommsField, n), "OK");
        EXPECT_EQ(slots.slots[kCommsStateSlot].substr(0, 2), "0,");
        EXPECT_TRUE(invariantsHold(*vt));
    }
}

// --- Slot texts -------------------------------------------------------------------------

// What slot 10 must read: the period in milliseconds (at least the minimum, a negative
// number counting as below it), or nothing when the text holds no number. Beyond is set
// when the number does not fit 32 bits; then only the bounds are known.
std::optional<std::int64_t> expectedPeriod(const std::string& text, bool& beyond) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i >= text.size() || !std::isdigit(static_cast<unsigned char>(text[i]))) return std::nullopt;
    std::int64_t magnitude = 0;
    beyond = false;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        magnitude = magnitude * 10 + (text[i] - '0');
        if (magnitude > INT_MAX) {
            beyond = true;
            magnitude = INT_MAX;
        }
    }
    if (negative) return kMinimumPeriodMs;
    return std::max<std::int64_t>(magnitude, kMinimumPeriodMs);
}

// The cue point a slot 12 text gives: hours, minutes and seconds before the first three
// points and the frames after them, none of the four empty; nothing otherwise.
std::optional<Timecode> expectedCue(const std::string& text) {
    const std::size_t p1 = text.find('.');
    if (p1 == std::string::npos || p1 == 0) return std::nullopt;
    const std::size_t p2 = text.find('.', p1 + 1);
    if (p2 == std::string::npos || p2 == p1 + 1) return std::nullopt;
    const std::size_t p3 = text.find('.', p2 + 1);
    if (p3 == std::string::npos || p3 == p2 + 1 || p3 + 1 >= text.size()) return std::nullopt;
    auto bcd = [&](std::size_t from, std::size_t to, std::uint8_t mask) {
        const auto n =
            static_cast<std::uint32_t>(config::decimalValue(text.substr(from, to - from).c_str()));
        return static_cast<std::uint8_t>(((n / 10) * 16 + n % 10) & mask);
    };
    return Timecode{bcd(p3 + 1, text.size(), 0x3F), bcd(p2 + 1, p3, 0x7F), bcd(p1 + 1, p2, 0x7F),
                    bcd(0, p1, 0x3F)};
}

// The first frame a command sends (without checksum) and how many frames it queues with
// its follow-ups; nothing for a number the command set does not have.
struct CommandEffect {
    Bytes first;  // empty: the command sends no frame
    std::uint32_t frames;
};

std::optional<CommandEffect> expectedCommand(std::uint32_t number, std::int32_t value,
                                             const Timecode& cue) {
    const auto magnitude = static_cast<std::uint8_t>(
        value < 0 ? 0u - static_cast<std::uint32_t>(value) : static_cast<std::uint32_t>(value));
    const auto hi = static_cast<std::uint8_t>(value >> 8);
    const auto lo = static_cast<std::uint8_t>(value);
    const auto speed = [&](std::uint8_t forward) {
        return Bytes{0x21, static_cast<std::uint8_t>(value < 0 ? forward + 0x10 : forward),
                     magnitude};
    };
    switch (number) {
        case 1:
            return CommandEffect{{0x20, 0x00}, 4};
        case 2:
            return CommandEffect{{0x20, 0x01}, 3};
        case 3:
            return CommandEffect{{0x20, 0x02}, 4};
        case 4:
            return CommandEffect{{0x20, 0x20}, 3};
        case 5:
            return CommandEffect{{0x20, 0x10}, 3};
        case 6:
            return CommandEffect{{0x20, 0x0F}, 2};
        case 7:
            return CommandEffect{speed(0x12), 3};
        case 8:
            return CommandEffect{speed(0x13), 3};
        case 9:
            return CommandEffect{speed(0x11), 3};
        case 11:
            return CommandEffect{{0x20, 0x04}, 2};
        case 12:
            return CommandEffect{{0x20, 0x05}, 2};
        case 20:
            return CommandEffect{{0x20, 0x30}, 1};
        case 21:
            return CommandEffect{{0x24, 0x31, cue.frames, cue.seconds, cue.minutes, cue.hours}, 1};
        case 22:
            return CommandEffect{{}, 0};
        case 23:
            return CommandEffect{{0x61, 0x0C, 0x01}, 1};
        case 31:
            return CommandEffect{{0x44, 0x14, cue.frames, cue.seconds, cue.minutes, cue.hours}, 1};
        case 32:
            return CommandEffect{{0x40, 0x10}, 1};
        case 33:
            return CommandEffect{{0x44, 0x15, cue.frames, cue.seconds, cue.minutes, cue.hours}, 1};
        case 34:
            return CommandEffect{{0x40, 0x11}, 1};
        case 41:
            return CommandEffect{{0xA3, 0x32, 0x09, 0x01, 0x00}, 1};
        case 42:
            return CommandEffect{{0xA3, 0x33, 0x09, 0x01, 0x00}, 1};
        case 43:
            return CommandEffect{{0xA3, 0x33, 0x09, 0x00, 0x00}, 1};
        case 44:
            return CommandEffect{{0xA3, 0x35, 0x09, 0x00, 0x00}, 1};
        case 51:
            return CommandEffect{{0x25, 0xA7, 0x40, 0x01, 0x00, hi, lo}, 1};
        case 52:
            return CommandEffect{{0x22, 0xAC, hi, lo}, 1};
        case 93:
            return CommandEffect{{0x61, 0x20, 0x09}, 1};
        case 96:
            return CommandEffect{{0x20, 0x63}, 1};
        case 97:
            return CommandEffect{{0x20, 0x60}, 1};
        case 98:
            return CommandEffect{{0x20, 0x61}, 1};
        case 99:
            return CommandEffect{{0x61, 0x20, 0x05}, 1};
        default:
            return std::nullopt;
    }
}

// Slot 1: the command number with its sign as direction, and the value after the first
// comma or the default speed.
std::optional<CommandEffect> expectedSlot1(const std::string& text, const Timecode& cue) {
    const std::int32_t signedNumber = config::decimalValue(text.c_str());
    const int direction = signedNumber < 0 ? -1 : 1;
    const std::uint32_t number = signedNumber < 0 ? 0u - static_cast<std::uint32_t>(signedNumber)
                                                  : static_cast<std::uint32_t>(signedNumber);
    const std::size_t comma = text.find(',');
    const bool hasValue = comma != std::string::npos && comma + 1 < text.size();
    std::int32_t value = hasValue ? config::decimalValue(text.c_str() + comma + 1) : 0;
    if (!hasValue) value = number == 7 ? 64 : number == 8 ? 80 : number == 9 ? 32 : 0;
    if (number == 51) value = 0;
    return expectedCommand(number, static_cast<std::int32_t>(std::int64_t{direction} * value), cue);
}

TEST_F(EngineFuzz, ThousandsOfRandomSlotTextsAreHandledAsTheirSlotSays) {
    VtDevice& vt = addDevice(1);
    testing::FakeSerial& serial = serialOf(vt);
    testing::FakeSlots& slots = slotsOf(vt);
    static const std::int32_t kSlots[] = {1,  1,  1,  1,  10, 10, 10,  12,     12,      12,
                                          20, 31, 32, 33, 34, 52, 52,  5,      6,       7,
                                          11, 0,  -1, 13, 53, 99, 511, 100000, INT_MIN, INT_MAX};
    static const std::int32_t kOtherStatuses[] = {3, 6, 7, 0, 14, 16, -1};
    auto acknowledgeAll = [&]() {
        for (int i = 0; i < 32 && (vt.txQueueCount > 0 || vt.awaitingReply); ++i) {
            serial.receive({0x10, 0x01, 0x11});
            vt.onSerialData(nullptr);
        }
    };
    acknowledgeAll();

    int checkedCommands = 0;
    for (int step = 0; step < 6000; ++step) {
        std::int32_t slot = choose.oneOf(kSlots);
        const std::string text = slot == kCommandSlot && choose.percent(50)
                                     ? randomCommandText(choose)
                                     : testing::randomSlotText(choose);
        const std::string kept = text.substr(0, 255);  // what the command slots read
        const bool idle = vt.txQueueCount == 0 && !vt.awaitingReply;
        const std::uint32_t queued = vt.txQueueCount;
        const std::size_t frames = serial.written.size();
        const std::size_t slotWrites = slots.writes.size();
        const std::uint32_t periodBefore = vt.tcUpdatePeriod;
        const Timecode cueBefore = vt.cuePoint;
        const std::string slot12Before = slots.slots[kCuePointSlot];
        const int closes = host.closeRequests;

        if (choose.percent(5)) {
            const std::int32_t status = choose.oneOf(kOtherStatuses);
            slots.setStatus(status);
            vt.onInfodriverEvent(nullptr, slot, text.c_str());
            slots.setStatus(infodriver::kStatusConnected);
            EXPECT_EQ(host.closeRequests, closes + (status == 3 ? 1 : 0));
            EXPECT_EQ(slots.writes.size(), slotWrites) << "status " << status;
            EXPECT_EQ(serial.written.size(), frames) << "status " << status;
            continue;
        }
        vt.onInfodriverEvent(nullptr, slot, text.c_str());
        SCOPED_TRACE("step " + std::to_string(step) + ", slot " + std::to_string(slot) +
                     ", text '" + kept.substr(0, 40) + "'");

        switch (slot) {
            case kCommandSlot:
                if (kept == "RESET") {
                    EXPECT_TRUE(vt.commsFailed);
                    EXPECT_EQ(vt.txQueueCount, 0u);
                    EXPECT_EQ(host.panelOf(engine::kCommsField, 1), "!! tFAIL !!");
                } else if (const auto effect = expectedSlot1(kept, cueBefore); !effect) {
                    EXPECT_EQ(vt.txQueueCount, queued);
                    EXPECT_EQ(serial.written.size(), frames);
                } else if (idle) {
                    ++checkedCommands;
                    EXPECT_EQ(vt.txQueueCount, effect->frames);
                    if (!effect->first.empty()) {
                        ASSERT_EQ(serial.written.size(), frames + 1);
                        EXPECT_EQ(hex(serial.written.back()), hex(framed(effect->first)));
                    }
                }
                break;
            case kTimecodePeriodSlot: {
                bool beyond = false;
                const auto period = expectedPeriod(kept, beyond);
                if (!period) {
                    EXPECT_EQ(slots.slots[kTimecodePeriodSlot], kept);
                    EXPECT_EQ(vt.tcUpdatePeriod, periodBefore);
                } else if (beyond) {
                    EXPECT_GE(vt.tcUpdatePeriod, kMinimumPeriodMs);
                    EXPECT_EQ(slots.slots[kTimecodePeriodSlot], std::to_string(vt.tcUpdatePeriod));
                } else {
                    EXPECT_EQ(vt.tcUpdatePeriod, static_cast<std::uint32_t>(*period));
                    EXPECT_EQ(slots.slots[kTimecodePeriodSlot], std::to_string(*period));
                }
                ASSERT_TRUE(host.hasTimer(vt.timecodeTimerId()));
                EXPECT_EQ(host.periodOf(vt.timecodeTimerId()), vt.tcUpdatePeriod);
                break;
            }
            case kCuePointSlot:
                if (const auto cue = expectedCue(kept)) {
                    EXPECT_TRUE(vt.cuePoint == *cue);
                    EXPECT_EQ(slots.slots[kCuePointSlot],
                              timecodeText(cue->hours, cue->minutes, cue->seconds, cue->frames));
                    if (idle) {
                        ASSERT_EQ(serial.written.size(), frames + 1);
                        EXPECT_EQ(hex(serial.written.back()),
                                  hex(framed({0x44, 0x14, cue->frames, cue->seconds, cue->minutes,
                                              cue->hours})));
                    }
                } else {
                    EXPECT_TRUE(vt.cuePoint == cueBefore);
                    EXPECT_EQ(slots.slots[kCuePointSlot], slot12Before);
                    EXPECT_EQ(serial.written.size(), frames);
                }
                break;
            case kPrerollSlot:
            case kInPresetSlot:
            case kInEntrySlot:
            case kOutPresetSlot:
            case kOutEntrySlot:
            case kGroup2ACSlot:
                if (idle) {
                    const std::int32_t value =
                        slot == kGroup2ACSlot ? config::decimalValue(kept.c_str()) : 0;
                    const auto effect =
                        expectedCommand(static_cast<std::uint32_t>(slot), value, vt.cuePoint);
                    ASSERT_TRUE(effect);
                    ASSERT_EQ(serial.written.size(), frames + 1);
                    EXPECT_EQ(hex(serial.written.back()), hex(framed(effect->first)));
                } else {
                    EXPECT_EQ(vt.txQueueCount, std::min(queued + 1, VtDevice::kQueueEntries));
                }
                break;
            default:
                // Any other slot is written back unchanged, whole.
                ASSERT_EQ(slots.writes.size(), slotWrites + 1);
                EXPECT_EQ(slots.writes.back().first, slot);
                EXPECT_EQ(slots.writes.back().second, text);
                EXPECT_EQ(serial.written.size(), frames);
                break;
        }
        ASSERT_TRUE(invariantsHold(vt));
        if (::testing::Test::HasFailure()) return;  // the first failure says enough
        // Mostly answered at once, sometimes left to pile up to a full queue.
        if (choose.percent(80)) acknowledgeAll();
        trimRecords(vt);
    }
    EXPECT_GT(checkedCommands, 200);
}

}  // namespace
}  // namespace korvel::engine
