#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "comms/serial_port.h"
#include "tools/portcheck/exchange.h"
#include "tools/portcheck/line_setting.h"

namespace korvel::tools::portcheck {

// A serial port opened through the driver's own serial library, that asks one question at a
// time and waits for its reply at most a time-out.
class CheckedPort : public comms::SerialPort {
  public:
    CheckedPort() = default;
    // Closed here, while the reader's callback can still find this object whole.
    ~CheckedPort() { close(); }
    CheckedPort(const CheckedPort&) = delete;
    CheckedPort& operator=(const CheckedPort&) = delete;

    // 1, or the library's -1 (missing, or the settings refused) / -2 (held by someone else).
    int openWith(int portNumber, const LineSetting& line);
    Exchange ask(Question question, std::chrono::milliseconds timeout);

  private:
    static void onBytes(comms::SerialPort* owner);

    std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<std::uint8_t> received_;
    std::chrono::steady_clock::time_point lastArrival_;
};

}  // namespace korvel::tools::portcheck
