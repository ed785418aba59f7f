#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "engine/engine_host.h"
#include "engine/vt_seams.h"
#include "engine/vt_timers.h"
#include "infodriver/infodriver_messages.h"

namespace korvel::testing {

using Bytes = std::vector<std::uint8_t>;

// The main window as the engine sees it, with a manual clock: timers fire only when a test
// advances time, in the order they fall due, like window timers (periodic until killed).
class FakeHost final : public engine::EngineHost {
  public:
    struct Timer {
        std::uint32_t periodMs;
        std::uint64_t dueMs;
    };

    bool setTimer(int id, std::uint32_t periodMs) override {
        if (failingTimers.count(id)) return false;
        timers[id] = Timer{periodMs, nowMs + periodMs};
        return true;
    }
    void killTimer(int id) override { timers.erase(id); }
    void setPanelText(engine::PanelField field, int vtNumber, const char* text) override {
        panel[{field, vtNumber}] = text;
    }
    void refreshCounters() override { ++counterRefreshes; }
    void showError(const char* text) override { errors.emplace_back(text); }
    void debugOutput(const char* text) override { debugTexts.emplace_back(text); }
    void logTraffic(const char* text) override { trafficLog.emplace_back(text); }
    void requestClose() override { ++closeRequests; }

    // The text of a panel field; empty when it was never set.
    std::string panelOf(engine::PanelField field, int vtNumber) const {
        const auto it = panel.find({field, vtNumber});
        return it == panel.end() ? std::string() : it->second;
    }
    std::size_t panelCount(engine::PanelField field, int vtNumber) const {
        return panel.count({field, vtNumber});
    }

    bool hasTimer(int id) const { return timers.count(id) != 0; }
    std::uint32_t periodOf(int id) const { return timers.at(id).periodMs; }

    // Moves the clock on, delivering every timer message that falls due meanwhile.
    void advance(std::uint32_t ms) {
        const std::uint64_t end = nowMs + ms;
        for (;;) {
            int nextId = 0;
            std::uint64_t nextDue = end + 1;
            for (const auto& [id, timer] : timers) {
                if (timer.dueMs < nextDue) {
                    nextDue = timer.dueMs;
                    nextId = id;
                }
            }
            if (nextDue > end) break;
            nowMs = nextDue;
            Timer& timer = timers[nextId];
            timer.dueMs = nowMs + (timer.periodMs ? timer.periodMs : 1);
            ++firings[nextId];
            engine::handleTimer(nextId);
        }
        nowMs = end;
    }

    std::uint64_t nowMs = 0;
    std::map<int, Timer> timers;
    std::set<int> failingTimers;
    std::map<int, int> firings;
    std::map<std::pair<engine::PanelField, int>, std::string> panel;  // by field and VT
    std::vector<std::string> errors;
    std::vector<std::string> debugTexts;
    std::vector<std::string> trafficLog;
    int counterRefreshes = 0;
    int closeRequests = 0;
};

// A serial port that records what was asked of it; every frame written is kept.
class FakeSerial final : public engine::VtSerial {
  public:
    struct Line {
        int speed = 9600, dataBits = 8, stopBits = 0, parity = 0;
    };

    explicit FakeSerial(int openResult = 1) : openResult_(openResult) {}
    ~FakeSerial() override {
        if (goneLog) goneLog->push_back("port " + std::to_string(portNumber));
    }

    void setSpeed(int speed) override { calls.push_back("speed"), line.speed = speed; }
    void setDataBits(int bits) override { calls.push_back("dataBits"), line.dataBits = bits; }
    void setStopBits(int code) override { calls.push_back("stopBits"), line.stopBits = code; }
    void setParity(int code) override { calls.push_back("parity"), line.parity = code; }
    int open(int number) override {
        calls.push_back("open");
        portNumber = number;
        closed = openResult_ != 1;
        return openResult_;
    }
    void close() override {
        calls.push_back("close");
        isLost = false;
        closed = true;
    }
    bool lost() const override { return isLost; }
    bool goneOnWrite = false;
    int setNotifyWindow(int size) override {
        calls.push_back("notify");
        readSize = size;
        return 1;
    }
    // A port that is closed or whose device has gone refuses writes, as the library does.
    int write(const std::uint8_t* bytes, int length) override {
        if (goneOnWrite) isLost = true;  // the device went before the reader could tell
        if (isLost || closed) return -1;
        written.emplace_back(bytes, bytes + length);
        return length;
    }
    // Hands out the bytes the machine has sent, in order; errorWords gives the error
    // word reported after each read (0 once they run out).
    int read(std::uint8_t* buffer, int maximum) override {
        int count = 0;
        while (count < maximum && !inbound.empty()) {
            buffer[count++] = inbound.front();
            inbound.pop_front();
        }
        if (count > 0) ++reads;
        return count;
    }
    std::uint32_t errorWord() override {
        if (errorWords.empty()) return 0;
        const std::uint32_t word = errorWords.front();
        errorWords.pop_front();
        return word;
    }
    void receive(const Bytes& bytes) { inbound.insert(inbound.end(), bytes.begin(), bytes.end()); }
    int purge(int flags) override {
        purges.push_back(flags);
        return 1;
    }
    std::uintptr_t identity() const override { return reinterpret_cast<std::uintptr_t>(this); }
    // The next opens give this result (the device missing until it is set back to 1).
    void setOpenResult(int result) { openResult_ = result; }

    bool isLost = false;
    bool closed = false;
    Line line;
    std::deque<std::uint8_t> inbound;
    std::deque<std::uint32_t> errorWords;
    int reads = 0;
    int portNumber = 0;
    int readSize = 0;
    std::vector<std::string> calls;
    std::vector<Bytes> written;
    std::vector<int> purges;
    std::vector<std::string>* goneLog = nullptr;  // records the port's close

  private:
    int openResult_;
};

// An infodriver client over a slot store of its own; records every write it sends.
class FakeSlots final : public engine::VtSlots {
  public:
    explicit FakeSlots(int connectResult = 15) : connectResult_(connectResult) {}
    ~FakeSlots() override {
        if (goneLog) goneLog->push_back("client " + std::to_string(deviceNumber_));
    }

    int connect(std::uint32_t number) override {
        deviceNumber_ = number;
        status_ = connectResult_;
        return connectResult_;
    }
    std::uint32_t deviceNumber() const override { return deviceNumber_; }
    std::int32_t status() const override { return status_; }
    void setCounters(std::uint32_t* tx, std::uint32_t* rx) override {
        transmitted = tx;
        received = rx;
    }
    void writeSlot(std::int32_t index, const char* text) override {
        slots[index] = text;
        writes.emplace_back(index, text);
        if (transmitted) ++*transmitted;
    }
    bool writeSlotIfChanged(std::int32_t index, const char* text) override {
        if (slots[index] == text) return false;
        writeSlot(index, text);
        return true;
    }
    bool peerGone() override { return gone; }
    std::uintptr_t identity() const override { return reinterpret_cast<std::uintptr_t>(this); }

    void setStatus(std::int32_t status) { status_ = status; }

    std::map<std::int32_t, std::string> slots;
    std::vector<std::pair<std::int32_t, std::string>> writes;
    bool gone = false;
    std::uint32_t* transmitted = nullptr;
    std::uint32_t* received = nullptr;
    std::vector<std::string>* goneLog = nullptr;  // records the client's release

  private:
    int connectResult_;
    std::uint32_t deviceNumber_ = 0;
    std::int32_t status_ = infodriver::kStatusNotConnected;
};

// Makes fakes; results for the n-th device made (0 first) can be set before, and every
// fake made is reachable afterwards (valid while its device lives).
class FakeParts final : public engine::VtPartsFactory {
  public:
    std::unique_ptr<engine::VtSerial> makeSerial() override {
        const int n = static_cast<int>(serials.size());
        auto serial = std::make_unique<FakeSerial>(openResults.count(n) ? openResults[n] : 1);
        serials.push_back(serial.get());
        return serial;
    }
    std::unique_ptr<engine::VtSlots> makeSlots() override {
        const int n = static_cast<int>(clients.size());
        auto client = std::make_unique<FakeSlots>(connectResults.count(n) ? connectResults[n] : 15);
        clients.push_back(client.get());
        return client;
    }

    std::map<int, int> openResults;
    std::map<int, int> connectResults;
    std::vector<FakeSerial*> serials;
    std::vector<FakeSlots*> clients;
};

}  // namespace korvel::testing
