#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace korvel::bench {

// The driver's disk log of a busy site, made up second by second: nine VTs, each asked its
// timecode and its status every second (about 3 million lines and 135 MB a day), with the faults
// a site sees: VT4 silent from 10:00 to 13:00, checksum errors, NAKs, replies that come in two
// reads, commands of two VTs on the wire at once, a transport command a minute, and junk.
class TrafficLogGenerator {
  public:
    static constexpr int kVts = 9;
    static constexpr int kSecondsPerDay = 24 * 60 * 60;

    // Starts at midnight of the given date.
    TrafficLogGenerator(int year, int month, int day, std::uint32_t seed = 1);

    // Appends the lines of the next second to text; the day moves on at midnight.
    void nextSecond(std::string& text);
    // "YYYYMMDD" of the day being made, the name of its dated log without ".log".
    std::string dayName() const;
    bool atMidnight() const { return second_ == 0; }

  private:
    // A line of the driver's disk log: a frame written (vt 0) or bytes read from VT vt.
    void line(std::string& text, int vt, const std::vector<std::uint8_t>& bytes);
    void exchange(std::string& text, int vt, std::vector<std::uint8_t> command,
                  std::vector<std::uint8_t> reply);
    std::vector<std::uint8_t> timecode() const;
    std::vector<std::uint8_t> status();

    int year_, month_, day_;
    int second_ = 0;  // of the day
    std::mt19937 random_;
    std::uint64_t replies_ = 0;
    char stamp_[48] = {};
};

}  // namespace korvel::bench
