#include "log/events_journal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "log/dated_log_files.h"
#include "support/memory_log_platform.h"

namespace korvel::log {
namespace {

using JournalPlatform = testing::MemoryLogPlatform;

class RecordingEventLog final : public EventLogSink {
  public:
    void report(EventKind, EventSeverity severity, const char* line) override {
        std::lock_guard<std::mutex> lock(mutex);
        (severity == EventSeverity::kInformation ? information : problems).push_back(line);
    }
    std::mutex mutex;
    std::vector<std::string> information;
    std::vector<std::string> problems;
};

constexpr const char* kFolder = "c:\\vraxlogs\\korvel\\events";

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        EXPECT_FALSE(line.empty() || line.back() != '\r') << "line without CR LF: " << line;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// Two threads record through 45 days of a clock that only the test moves, a few events a
// day; the journal keeps 30 days. Every kept line is well formed, lies in the file of its
// own day, keeps its thread's order, and only the days within the limit remain.
TEST(EventsJournal, WalksAcrossDaysKeepingEveryLineInItsDayAndOnlyTheDaysItKeeps) {
    JournalPlatform platform;
    RecordingEventLog eventLog;
    std::mutex clockMutex;
    CalendarDate today{2026, 11, 20};
    int millisecond = 0;
    auto clock = [&] {
        std::lock_guard<std::mutex> lock(clockMutex);
        const int ms = ++millisecond;
        return EventTime{today.year, today.month, today.day, 23, 59, 58 + ms / 1000 % 2, ms % 1000};
    };
    auto nextDay = [&] {
        static constexpr int kMonthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
        std::lock_guard<std::mutex> lock(clockMutex);
        if (++today.day > kMonthDays[today.month - 1]) {
            today.day = 1;
            if (++today.month > 12) today = {today.year + 1, 1, 1};
        }
    };

    constexpr int kDays = 45;
    constexpr int kKeepDays = 30;
    constexpr int kPerThreadPerDay = 20;
    {
        EventsJournal journal(kFolder, kKeepDays, platform, clock, &eventLog);
        for (int day = 0; day < kDays; ++day) {
            auto recorder = [&](int vt) {
                for (int i = 0; i < kPerThreadPerDay; ++i) {
                    journal.record(i % 2 ? EventKind::kPortLost : EventKind::kRecover, vt,
                                   ("day " + std::to_string(day) + " n " + std::to_string(i) +
                                    (i == 3 ? "\r\nforged line" : ""))
                                       .c_str());
                }
            };
            std::thread other(recorder, 2);
            recorder(1);
            other.join();
            ASSERT_TRUE(journal.flush(5000));
            nextDay();
        }
    }

    const auto files = platform.snapshot();
    std::set<std::string> names;
    for (const auto& [path, text] : files) names.insert(path);
    ASSERT_EQ(names.size(), static_cast<std::size_t>(kKeepDays + 1));
    EXPECT_EQ(*names.rbegin(), std::string(kFolder) + "\\20270103.log");  // day 44
    EXPECT_EQ(*names.begin(), std::string(kFolder) + "\\20261204.log");   // day 44 - 30

    // "2026-12-04 23:59:07.123 VT1 PORTLOST day 14 n 3"; a text that held a line break keeps
    // what came after it on the same line.
    for (const auto& [path, text] : files) {
        std::map<int, int> next;  // per VT, the next n expected
        int lineDay = -1;
        for (const std::string& l : linesOf(text)) {
            int year, month, date, second, ms, vt, day, n, end = 0;
            char word[16] = {};
            ASSERT_EQ(std::sscanf(l.c_str(), "%4d-%2d-%2d 23:59:%2d.%3d VT%1d %15s day %d n %d%n",
                                  &year, &month, &date, &second, &ms, &vt, word, &day, &n, &end),
                      9)
                << l;
            const std::string rest = l.substr(static_cast<std::size_t>(end));
            const auto padding = rest.find_first_not_of(' ');
            EXPECT_TRUE(rest.empty() ||
                        (padding != std::string::npos && rest.substr(padding) == "forged line"))
                << l;
            EXPECT_TRUE(vt == 1 || vt == 2) << l;
            char stamp[16];
            std::snprintf(stamp, sizeof stamp, "%04d%02d%02d", year, month, date);
            EXPECT_EQ(path.substr(path.size() - 12, 8), stamp);
            if (lineDay < 0) lineDay = day;
            EXPECT_EQ(day, lineDay);
            EXPECT_EQ(n, next[vt]++) << l;
            const std::string kind = word;
            EXPECT_TRUE(kind == (n % 2 == 1 ? "PORTLOST" : "RECOVER")) << l;
        }
        EXPECT_EQ(next[1], kPerThreadPerDay);
        EXPECT_EQ(next[2], kPerThreadPerDay);
    }
    // Errors go to the event log as well; information stays in the journal.
    EXPECT_EQ(eventLog.problems.size(), static_cast<std::size_t>(kDays * kPerThreadPerDay));
    EXPECT_TRUE(eventLog.information.empty());
}

// A writer that stands still (a share that stops answering) never holds up the recorder: the
// queue fills, the rest are counted, and the count comes out once writing goes on.
TEST(EventsJournal, AFullQueueDropsAndSaysHowManyOnceWritingGoesOn) {
    JournalPlatform platform;
    constexpr int kRecorded = 300;
    std::unique_lock<std::mutex> stopped(platform.gate);
    auto clock = [] { return EventTime{2026, 12, 9, 12, 0, 0, 0}; };
    EventsJournal journal(kFolder, 30, platform, clock);
    for (int i = 0; i < kRecorded; ++i) {
        journal.record(EventKind::kTxTimeout, 1, std::to_string(i).c_str());
    }
    EXPECT_FALSE(journal.flush(50));
    stopped.unlock();
    ASSERT_TRUE(journal.flush(5000));
    journal.record(EventKind::kExit, 0, "after");
    ASSERT_TRUE(journal.flush(5000));

    const auto lines = linesOf(platform.snapshot()[std::string(kFolder) + "\\20261209.log"]);
    int written = 0;
    int dropped = 0;
    const std::string lostWord = " - EVENTSLOST ";
    const std::string lostText = " events not kept: the queue was full";
    for (const std::string& l : lines) {
        const auto at = l.find(lostWord);
        if (at != std::string::npos) {
            std::size_t digits = 0;
            dropped += std::stoi(l.substr(at + lostWord.size()), &digits);
            EXPECT_EQ(l.substr(at + lostWord.size() + digits), lostText) << l;
        } else if (l.find(" VT1 TXTIMEOUT ") != std::string::npos) {
            ++written;
        }
    }
    EXPECT_GE(written, EventsJournal::kQueueSize);
    EXPECT_GT(dropped, 0);
    EXPECT_EQ(written + dropped, kRecorded);
    EXPECT_NE(lines.back().find(" - EXIT after"), std::string::npos) << lines.back();
}

}  // namespace
}  // namespace korvel::log
