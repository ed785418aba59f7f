#include "log/disk_log.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "log/trace.h"
#include "support/memory_trace_view.h"

namespace korvel::log {
namespace {

// Folders and files in memory, clocks the test sets, a volume whose free space the test
// sets, and the debugger channel recorded. Like the system, a file can only be made inside a
// folder that exists.
class FakePlatform : public DiskLogPlatform {
  public:
    bool localTime(LocalTime& out) override {
        if (!clockWorks) return false;
        out = now;
        return true;
    }
    std::uint32_t tickMs() override { return tick; }
    const char* environment(const char* name) override {
        auto it = env.find(name);
        return it == env.end() ? nullptr : it->second.c_str();
    }
    FileHandle openExisting(const char* path) override {
        if (!files.count(path) || refusedOnce.erase(path)) return kNoFile;
        return handleFor(path);
    }
    FileHandle openOrCreate(const char* path) override {
        if (!files.count(path)) {
            if (!folders.count(parentOf(path))) return kNoFile;
            files[path];
        }
        return handleFor(path);
    }
    void createDirectory(const char* path) override {
        tick += tickPerFolderCall;
        folderCalls.emplace_back(path);
        const std::string parent = parentOf(path);
        if (folders.count(parent)) folders.insert(path);  // a drive cannot be made
    }
    void seekToEnd(FileHandle) override { ++seeks; }
    int lastByte(FileHandle file) override {
        const std::string& content = files[open.at(file)];
        return content.empty() ? -1 : static_cast<unsigned char>(content.back());
    }
    bool write(FileHandle file, const char* bytes, std::size_t length) override {
        if (!writable) return false;
        // A volume that fills in the middle of a write keeps what fitted.
        const std::size_t taken = std::min(length, roomLeft);
        files[open.at(file)].append(bytes, taken);
        roomLeft -= taken;
        return taken == length;
    }
    void close(FileHandle file) override { open.erase(file); }
    std::vector<std::string> listFiles(const char* folder) override {
        std::vector<std::string> names;
        for (const auto& [path, content] : files) {
            if (parentOf(path) == folder) names.push_back(path.substr(std::strlen(folder) + 1));
        }
        return names;
    }
    void removeFile(const char* path) override { files.erase(path); }
    bool freeBytes(const char* folder, std::uint64_t& bytes) override {
        if (!folders.count(folder)) return false;
        bytes = free;
        return true;
    }
    void debugOutput(const char* text) override { debug += text; }

    static std::string parentOf(const std::string& path) {
        const auto cut = path.rfind('\\');
        return cut == std::string::npos ? std::string() : path.substr(0, cut);
    }

    LocalTime now{2026, 12, 7, 9, 5, 3};
    bool clockWorks = true;
    bool writable = true;
    std::size_t roomLeft = SIZE_MAX;
    std::uint32_t tickPerFolderCall = 0;
    std::uint32_t tick = 0xFFFF0000u;  // wraps during the tests that move it
    std::uint64_t free = 50ull << 30;
    std::map<std::string, std::string> env;
    std::map<std::string, std::string> files;
    std::set<std::string> folders{"c:", "d:"};
    std::set<std::string> refusedOnce;  // exists, but the next plain open fails
    std::vector<std::string> folderCalls;
    std::map<FileHandle, std::string> open;
    std::string debug;
    int seeks = 0;

  private:
    FileHandle handleFor(const std::string& path) {
        open[++lastHandle] = path;
        return lastHandle;
    }
    FileHandle lastHandle = 100;
};

constexpr const char* kDefaultFile = "c:\\vraxlogs\\korvel\\korvel.log";

TEST(DiskLog, TheLogFolderFollowsBothRootsElseTheFixedFolder) {
    FakePlatform platform;
    platform.env = {{"RZ_ROOT", "d:\\root"}, {"RZ_SYSTEM", "sys"}};
    platform.folders.insert({"d:\\root", "d:\\root\\sys"});
    {
        DiskLogFile log(kDriverLogName, kDriverLogMode, platform);
        EXPECT_STREQ(log.fileName(), "d:\\root\\sys\\logs\\korvel\\korvel.log");
        EXPECT_TRUE(log.isOpen());
    }
    for (const auto& env :
         std::vector<std::map<std::string, std::string>>{{{"RZ_ROOT", "d:\\root"}},
                                                         {{"RZ_SYSTEM", "sys"}},
                                                         {{"RZ_ROOT", ""}, {"RZ_SYSTEM", "s"}}}) {
        platform.env = env;
        DiskLogFile log(kDriverLogName, kDriverLogMode, platform);
        EXPECT_STREQ(log.fileName(), kDefaultFile);
    }
    EXPECT_TRUE(platform.open.empty()) << "every file closed when its log went";
}

TEST(DiskLog, MakesTheMissingFoldersInOrderAndAppendsToAnExistingFile) {
    FakePlatform platform;
    {
        DiskLogFile log("korvel", 1, platform);
        EXPECT_EQ(platform.folderCalls,
                  (std::vector<std::string>{"c:", "c:\\vraxlogs", "c:\\vraxlogs\\korvel"}));
        log.writeLine("first");
    }
    platform.folderCalls.clear();
    DiskLogFile again("korvel", 1, platform);
    EXPECT_TRUE(platform.folderCalls.empty()) << "an existing file is opened as it is";
    again.writeLine("second");
    EXPECT_EQ(platform.files[kDefaultFile],
              "07/12/2026 09:05:03 first\r\n07/12/2026 09:05:03 second\r\n");
    EXPECT_EQ(platform.seeks, 2) << "each open moves to the end of the file";
}

TEST(DiskLog, ALineIsTheStampTheTextAndTheFieldsThatAreGiven) {
    FakePlatform platform;
    DiskLogFile log("korvel", 1, platform);
    log.writeLine("TX: 20 01 21 ");
    log.writeLine("a", "b", nullptr, "c", nullptr, nullptr);
    log.writeLine(nullptr, nullptr, nullptr, nullptr, nullptr, "e");
    platform.now = {999, 1, 2, 3, 4, 5};
    log.writeLine("early");
    EXPECT_EQ(platform.files[kDefaultFile],
              "07/12/2026 09:05:03 TX: 20 01 21 \r\n"
              "07/12/2026 09:05:03 a, b, c\r\n"
              "07/12/2026 09:05:03 , e\r\n"
              "02/01/0999 03:04:05 early\r\n");
}

TEST(DiskLog, DatedFilesChangeWithTheDayOrTheHour) {
    FakePlatform platform;
    platform.folders.insert({"c:\\vraxlogs", "c:\\vraxlogs\\vt"});
    DiskLogFile daily("vt", DiskLogFile::kDailyFile, platform);
    EXPECT_STREQ(daily.fileName(), "c:\\vraxlogs\\vt\\20261207.log");
    daily.writeLine("one");
    platform.now.hour = 23;
    daily.writeLine("two");
    platform.now = {2027, 1, 1, 0, 0, 1};
    daily.writeLine("three");
    EXPECT_STREQ(daily.fileName(), "c:\\vraxlogs\\vt\\20270101.log");
    EXPECT_EQ(platform.files["c:\\vraxlogs\\vt\\20261207.log"],
              "07/12/2026 09:05:03 one\r\n07/12/2026 23:05:03 two\r\n");
    EXPECT_EQ(platform.files["c:\\vraxlogs\\vt\\20270101.log"], "01/01/2027 00:00:01 three\r\n");

    platform.now = {2026, 12, 7, 9, 59, 59};
    DiskLogFile hourly("vt", DiskLogFile::kHourlyFile, platform);
    hourly.writeLine("before");
    platform.now = {2026, 12, 7, 10, 0, 0};
    hourly.writeLine("after");
    EXPECT_EQ(platform.files["c:\\vraxlogs\\vt\\20261207-09.log"],
              "07/12/2026 09:59:59 before\r\n");
    EXPECT_EQ(platform.files["c:\\vraxlogs\\vt\\20261207-10.log"], "07/12/2026 10:00:00 after\r\n");
    EXPECT_EQ(platform.open.size(), 2u) << "the old file is closed when the next opens";
}

TEST(DiskLog, WithoutAFileLinesAreDroppedAndDatedLogsTryAgainNextPeriod) {
    FakePlatform platform;
    platform.folders.erase("c:");  // nothing can be made
    DiskLogFile single("korvel", 1, platform);
    EXPECT_FALSE(single.isOpen());
    EXPECT_EQ(platform.debug,
              std::string("vrax_disklog: Can't open log file: ") + kDefaultFile + "\n");
    single.writeLine("lost");
    EXPECT_TRUE(platform.files.empty());

    DiskLogFile hourly("h", DiskLogFile::kHourlyFile, platform);
    hourly.writeLine("lost too");
    platform.folders.insert("c:");
    hourly.writeLine("still the same hour: no new attempt");
    EXPECT_FALSE(hourly.isOpen());
    platform.now.hour = 10;
    hourly.writeLine("kept");
    EXPECT_TRUE(hourly.isOpen());
    EXPECT_EQ(platform.files["c:\\vraxlogs\\h\\20261207-10.log"], "07/12/2026 10:05:03 kept\r\n");
}

TEST(DiskLog, ANameIsCutTo31CharactersAndAnUnknownModeOpensNothing) {
    FakePlatform platform;
    const std::string longName(40, 'n');
    DiskLogFile log(longName.c_str(), 1, platform);
    const std::string cut(31, 'n');
    EXPECT_STREQ(log.name(), cut.c_str());
    EXPECT_EQ(log.fileName(), "c:\\vraxlogs\\" + cut + "\\" + cut + ".log");

    DiskLogFile other("korvel", 7, platform);
    EXPECT_FALSE(other.isOpen());
    EXPECT_STREQ(other.fileName(), "");
    other.writeLine("dropped");
    DiskLogFile unnamed(nullptr, 1, platform);
    EXPECT_STREQ(unnamed.fileName(), "c:\\vraxlogs\\\\.log");
}

TEST(DiskLog, WithoutALocalTimeNothingIsOpenedOrWritten) {
    FakePlatform platform;
    platform.clockWorks = false;
    DiskLogFile log("korvel", 1, platform);
    EXPECT_FALSE(log.isOpen());
    EXPECT_EQ(platform.debug, "localtime has failed\n");
    platform.clockWorks = true;
    DiskLogFile working("korvel", 1, platform);
    platform.clockWorks = false;
    working.writeLine("no time, no line");
    EXPECT_EQ(platform.files[kDefaultFile], "");
    EXPECT_EQ(platform.debug, "localtime has failed\nlocaltime has failed\n");
}

TEST(DiskLog, AnExistingFileIsNeverEmptiedEvenWhenItsFirstOpenFails) {
    FakePlatform platform;
    platform.folders.insert({"c:\\vraxlogs", "c:\\vraxlogs\\korvel"});
    platform.files[kDefaultFile] = "yesterday's traffic\r\n";
    platform.refusedOnce.insert(kDefaultFile);
    DiskLogFile log("korvel", 1, platform);
    ASSERT_TRUE(log.isOpen());
    log.writeLine("today");
    EXPECT_EQ(platform.files[kDefaultFile], "yesterday's traffic\r\n07/12/2026 09:05:03 today\r\n");
}

TEST(DiskLog, APathTooLongForTheNameOpensNoFileRatherThanAnother) {
    FakePlatform platform;
    const std::string root(240, 'r');
    platform.env = {{"RZ_ROOT", root}, {"RZ_SYSTEM", "sys"}};
    DiskLogFile log("korvel", 1, platform);
    EXPECT_FALSE(log.isOpen());
    EXPECT_TRUE(platform.folderCalls.empty());
    EXPECT_NE(platform.debug.find("Can't open log file"), std::string::npos);
}

// A daily log kept for three days, walked over a year's end and a leap day: after each day's
// first line the folder holds the dated files (daily or hourly, any case) of today and the
// three days before, and every file that is not a dated one.
TEST(DiskLog, OpeningADatedFileDeletesThisLogsDatedFilesOlderThanTheDaysKept) {
    using namespace std::chrono;
    FakePlatform platform;
    const std::string folder = "c:\\vraxlogs\\korvel";
    platform.folders.insert({"c:\\vraxlogs", folder});
    const std::set<std::string> others = {"korvel.log",   "2020010.log",     "20201301.log",
                                          "20210229.log", "20200101-24.log", "20200101.log.bak"};
    std::map<std::string, sys_days> dated = {{"20271222-23.LOG", sys_days{2027y / 12 / 22}},
                                             {"20271223.Log", sys_days{2027y / 12 / 23}}};
    for (const auto& name : others) platform.files[folder + "\\" + name];
    for (const auto& [name, day] : dated) platform.files[folder + "\\" + name];
    std::unique_ptr<DiskLogFile> log;
    for (sys_days day = sys_days{2027y / 12 / 26}; day <= sys_days{2028y / 3 / 3}; day += days{1}) {
        const year_month_day date{day};
        platform.now = {
            int(date.year()), int(unsigned(date.month())), int(unsigned(date.day())), 10, 0, 0};
        if (!log)
            log = std::make_unique<DiskLogFile>("korvel", DiskLogFile::kDailyFile, 3, platform);
        log->writeLine("x");
        dated[std::string(log->fileName()).substr(folder.size() + 1)] = day;
        std::set<std::string> want = others;
        for (const auto& [name, fileDay] : dated) {
            if (fileDay >= day - days{3}) want.insert(name);
        }
        const auto have = platform.listFiles(folder.c_str());
        ASSERT_EQ(std::set<std::string>(have.begin(), have.end()), want) << log->fileName();
    }
    // Without days to keep (or with nonsense), nothing is deleted.
    const std::size_t before = platform.files.size();
    platform.now = {2029, 6, 1, 0, 0, 0};
    for (int keep : {0, -1})
        DiskLogFile keepAll("korvel", DiskLogFile::kHourlyFile, keep, platform);
    EXPECT_EQ(platform.files.size(), before + 1);
}

TEST(DiskLog, ANearlyFullVolumeHoldsLinesBackAndSaysOnceWhenItStopsAndStarts) {
    testing::MemoryTraceView trace;
    traceState() = TraceState{};
    traceState().view = &trace;
    setTracing(true);
    FakePlatform platform;
    platform.free = DiskLogFile::kMinimumFreeBytes;
    DiskLogFile log("korvel", DiskLogFile::kSingleFile, platform);
    log.writeLine("kept");
    platform.free = 900ull << 20;
    platform.tick += DiskLogFile::kSpaceCheckPeriodMs;
    for (int second = 0; second < 120; ++second, platform.tick += 1000) log.writeLine("held");
    platform.free = 1536ull << 20;
    platform.tick += DiskLogFile::kSpaceCheckPeriodMs;
    log.writeLine("kept again");
    EXPECT_EQ(platform.files[kDefaultFile],
              "07/12/2026 09:05:03 kept\r\n07/12/2026 09:05:03 kept again\r\n");
    EXPECT_EQ(platform.debug, "Disk log paused: 900 MB free\nDisk log resumed: 1536 MB free\n");
    ASSERT_EQ(trace.lines.size(), 2u);
    EXPECT_NE(trace.lines[1].find("Disk log resumed: 1536 MB free"), std::string::npos);
    traceState() = TraceState{};
}

TEST(DiskLog, AFileThatCannotBeOpenedOrWrittenIsTriedAgainAtMostOnceAMinuteInEveryMode) {
    for (int mode : {DiskLogFile::kSingleFile, DiskLogFile::kDailyFile, DiskLogFile::kHourlyFile}) {
        FakePlatform platform;
        platform.folders.erase("c:");
        DiskLogFile log("korvel", mode, platform);
        for (int second = 1; second <= 60; ++second, log.writeLine("lost")) platform.tick += 1000;
        platform.folders.insert("c:");  // the folder is back
        platform.tick += DiskLogFile::kReopenPeriodMs - 1;
        log.writeLine("lost");
        platform.tick += 1;
        log.writeLine("kept");
        platform.writable = false;  // the share is gone from under the open file
        log.writeLine("lost");
        platform.writable = true;
        platform.tick += DiskLogFile::kReopenPeriodMs - 1;
        log.writeLine("lost");
        platform.tick += 1;
        log.writeLine("kept after");
        EXPECT_EQ(platform.files[log.fileName()],
                  "07/12/2026 09:05:03 kept\r\n07/12/2026 09:05:03 kept after\r\n");
        const std::string failed = ": " + std::string(log.fileName()) + "\n";
        EXPECT_EQ(platform.debug, "vrax_disklog: Can't open log file" + failed +
                                      "vrax_disklog: Can't open log file" + failed +
                                      "vrax_disklog: Can't write log file" + failed)
            << "mode " << mode;
    }
}

TEST(DiskLog, ACutLineIsEndedAndDatedFilesCompareTheWholeDateAndAnOpenPacesFromItsEnd) {
    FakePlatform platform;
    DiskLogFile log("korvel", DiskLogFile::kSingleFile, platform);
    platform.roomLeft = 25;  // the volume fills in the middle of the line
    log.writeLine("Read[vt1] 10 01 11");
    EXPECT_FALSE(log.isOpen());
    platform.roomLeft = SIZE_MAX;
    platform.tick += DiskLogFile::kReopenPeriodMs;
    log.writeLine("Read[vt1] 10 01 11");
    EXPECT_EQ(platform.files[kDefaultFile],
              "07/12/2026 09:05:03 Read[\r\n07/12/2026 09:05:03 Read[vt1] 10 01 11\r\n");

    // A line a day later in the same hour, and a month later on the same day, opens a new file.
    platform.folders.insert({"c:\\vraxlogs", "c:\\vraxlogs\\vt"});
    DiskLogFile hourly("vt", DiskLogFile::kHourlyFile, platform);
    DiskLogFile daily("vt", DiskLogFile::kDailyFile, platform);
    for (const DiskLogPlatform::LocalTime& when : {DiskLogPlatform::LocalTime{2026, 12, 7, 9, 5, 3},
                                                   {2026, 12, 8, 9, 30, 0},
                                                   {2027, 1, 8, 9, 31, 0}}) {
        platform.now = when;
        hourly.writeLine("h");
        daily.writeLine("d");
    }
    for (const char* file : {"20261207-09.log", "20261208-09.log", "20270108-09.log",
                             "20261207.log", "20261208.log", "20270108.log"}) {
        EXPECT_EQ(platform.files[std::string("c:\\vraxlogs\\vt\\") + file].size(), 23u) << file;
    }

    // An attempt that took longer than the retry period is not followed by another at once.
    FakePlatform slow;
    slow.tickPerFolderCall = 20000;  // a share that takes 20 s a call
    slow.folders.erase("c:");
    DiskLogFile stalled("korvel", DiskLogFile::kSingleFile, slow);
    const std::size_t calls = slow.folderCalls.size();
    EXPECT_EQ(calls, 3u);
    slow.tick += 1000;
    stalled.writeLine("lost");
    EXPECT_EQ(slow.folderCalls.size(), calls) << "tried again straight after a slow attempt";
    slow.tick += DiskLogFile::kReopenPeriodMs;
    stalled.writeLine("lost");
    EXPECT_EQ(slow.folderCalls.size(), 2 * calls);
}

// The fake above with one kind of file-system call held shut, like a share that stops
// answering. The thread that stamps lines only reads the clock, which the writer's thread
// never changes, and the test reads the files once the writer has drained. A held call gives
// up after 10 s and says so: a log that waits on the file system fails the test, not hangs it.
class HeldPlatform final : public FakePlatform {
  public:
    enum class Call { open, folder, space, write };

    explicit HeldPlatform(Call held) : held_(held) {}

    void release() {
        std::lock_guard<std::mutex> hold(gateLock_);
        released_ = true;
        gate_.notify_all();
    }
    bool waitedItsFull10s() {
        std::lock_guard<std::mutex> hold(gateLock_);
        return timedOut_;
    }

    FileHandle openExisting(const char* path) override {
        pass(Call::open);
        return FakePlatform::openExisting(path);
    }
    void createDirectory(const char* path) override {
        pass(Call::folder);
        FakePlatform::createDirectory(path);
    }
    bool write(FileHandle file, const char* bytes, std::size_t length) override {
        pass(Call::write);
        return FakePlatform::write(file, bytes, length);
    }
    bool freeBytes(const char* folder, std::uint64_t& bytes) override {
        pass(Call::space);
        return FakePlatform::freeBytes(folder, bytes);
    }
    void close(FileHandle file) override {
        FakePlatform::close(file);
        closedOne = true;
    }

    std::atomic<bool> closedOne{false};

  private:
    void pass(Call call) {
        std::unique_lock<std::mutex> hold(gateLock_);
        if (call != held_ || released_) return;
        if (!gate_.wait_for(hold, std::chrono::seconds(10), [&] { return released_; })) {
            timedOut_ = true;
        }
    }

    Call held_;
    std::mutex gateLock_;
    std::condition_variable gate_;
    bool released_ = false;
    bool timedOut_ = false;
};

TEST(DiskLog, AFileSystemThatHangsNeverHoldsTheWriterAndLostLinesAreCounted) {
    using Call = HeldPlatform::Call;
    for (Call held : {Call::open, Call::folder, Call::space, Call::write}) {
        SCOPED_TRACE(static_cast<int>(held));
        HeldPlatform platform(held);
        if (held != Call::folder) platform.folders.insert({"c:\\vraxlogs", "c:\\vraxlogs\\korvel"});
        auto writer = std::make_shared<LogWriter>(8);
        std::uint64_t lost = 0;
        {
            DiskLog log("korvel", DiskLog::kSingleFile, 0, platform, writer);
            // The open, and with a hanging write the first line too, wait in the writer
            // thread; the queue holds 8 lines and the rest are counted.
            for (int i = 0; i < 20; ++i) log.writeLine("line");
            EXPECT_FALSE(log.drain(0));
            platform.release();
            ASSERT_TRUE(log.drain(10000));
            log.writeLine("after");
            ASSERT_TRUE(log.drain(10000));
            lost = log.lostLines();
        }
        EXPECT_FALSE(platform.waitedItsFull10s()) << "the caller waited on the file system";
        const std::string content = platform.files[kDefaultFile];
        // 8 queued lines, and one more when a held write had already taken the first; where
        // the lost ones fall among the kept ones is the writer thread's timing, so the loss
        // may be told in two notices, and a kept line may follow a notice.
        const std::uint64_t kept = 20 - lost;
        EXPECT_TRUE(kept == 8 || (held == Call::write && kept == 9)) << kept;
        std::uint64_t lines = 0, told = 0, notices = 0;
        std::istringstream in(content);
        std::string line;
        while (std::getline(in, line)) {
            unsigned long long count = 0;
            if (line == "07/12/2026 09:05:03 line\r") {
                ++lines;
            } else if (std::sscanf(line.c_str(), "07/12/2026 09:05:03 Disk log: %llu lines lost",
                                   &count) == 1) {
                told += count;
                ++notices;
            }
        }
        EXPECT_EQ(lines, kept) << content;
        EXPECT_EQ(told, lost) << content;
        EXPECT_TRUE(notices == 1 || (held == Call::write && notices == 2)) << content;
        // The line written after the release comes last.
        const std::string end = "\r\n07/12/2026 09:05:03 after\r\n";
        EXPECT_TRUE(content.size() > end.size() &&
                    content.compare(content.size() - end.size(), end.size(), end) == 0)
            << content;
    }
}

TEST(DiskLog, GoingAwayWaitsABoundedTimeForAWriteThatHangs) {
    // Static: the thread left in its write outlives the test body.
    static HeldPlatform platform(HeldPlatform::Call::write);
    platform.folders.insert("c:\\vraxlogs");
    {
        DiskLog log("korvel", DiskLog::kSingleFile, platform);  // its own writer
        log.writeLine("stuck");
    }  // waits at most LogWriter::kFinishWaitMs, then leaves the thread to its write
    EXPECT_FALSE(platform.waitedItsFull10s());
    platform.release();
    // The thread ends the write it was in, runs nothing more, and closes the file.
    for (int i = 0; i < 1000 && !platform.closedOne; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(platform.files[kDefaultFile], "07/12/2026 09:05:03 stuck\r\n");
}

// The system's own files: lines survive the log and are appended across runs.
TEST(DiskLog, TheSystemLogAppendsAcrossRunsInRealFiles) {
    namespace fs = std::filesystem;
    const fs::path root =
        fs::temp_directory_path() / ("korvel-disklog-" + std::to_string(std::rand()));
    fs::remove_all(root);
    fs::create_directories(root);
#ifdef _WIN32
    _putenv_s("RZ_ROOT", root.string().c_str());
    _putenv_s("RZ_SYSTEM", "sys");
#else
    ::setenv("RZ_ROOT", root.string().c_str(), 1);
    ::setenv("RZ_SYSTEM", "sys", 1);
#endif
    for (const char* text : {"TX: 61 20 05 86 ", "Read[vt1] 10 01 "}) {
        DiskLog log(kDriverLogName, kDriverLogMode);  // with a writer thread of its own
        log.writeLine(text);
        ASSERT_TRUE(log.drain(10000));
        ASSERT_TRUE(log.isOpen()) << log.fileName();
    }
#ifdef _WIN32
    _putenv_s("RZ_ROOT", "");
    _putenv_s("RZ_SYSTEM", "");
#else
    ::unsetenv("RZ_ROOT");
    ::unsetenv("RZ_SYSTEM");
#endif
    std::ifstream file(root / "sys" / "logs" / "korvel" / "korvel.log", std::ios::binary);
    const std::string content((std::istreambuf_iterator<char>(file)), {});
    ASSERT_EQ(content.size(), 2 * 20 + 16 + 16 + 4);
    EXPECT_EQ(content.substr(20, 18), "TX: 61 20 05 86 \r\n");
    EXPECT_EQ(content.substr(58, 18), "Read[vt1] 10 01 \r\n");
    EXPECT_EQ(content[2], '/');
    EXPECT_EQ(content[19], ' ');
    file.close();
    fs::remove_all(root);
}

}  // namespace
}  // namespace korvel::log
