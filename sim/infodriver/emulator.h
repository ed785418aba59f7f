#pragma once

// The infodriver emulator: one hidden top-level window per served device, which answers the
// driver's connect broadcast, keeps the device's slots and serves the driver's writes and
// reads; and a control window that runs the commands read from standard input.
#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sim/infodriver/line_protocol.h"
#include "sim/infodriver/slot_store.h"

namespace korvel::sim {

// Posted by the input reader to the control window: one line (lParam, an owned
// std::string*), or the end of the input.
inline constexpr UINT kInputLineMessage = WM_APP + 1;
inline constexpr UINT kInputEndMessage = WM_APP + 2;

class Emulator {
  public:
    // preciseTime: events are stamped with the performance counter as seconds.micros
    // instead of milliseconds since the start.
    explicit Emulator(std::vector<std::uint32_t> deviceNumbers, bool preciseTime = false);
    ~Emulator();
    Emulator(const Emulator&) = delete;
    Emulator& operator=(const Emulator&) = delete;

    // Creates the windows and prints "ready"; false (with an "error" line) on failure.
    bool start();
    HWND controlWindow() const { return control_; }

    // Runs one command line; a quit posts the end of the message loop.
    void runLine(const std::string& line);

  private:
    struct Device {
        Emulator* owner = nullptr;
        std::uint32_t number = 0;
        HWND window = nullptr;
        HWND client = nullptr;  // as the connect request gave it: its low 16 bits
        SlotStore slots;
        // A hang armed by the "hang" command: the next such message (a window message, or the
        // message number a WM_COPYDATA carries) stops the emulator's thread for hangMs.
        UINT hangMessage = 0;
        DWORD hangMs = 0;
    };

    static LRESULT CALLBACK deviceProcedure(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam);
    static LRESULT CALLBACK controlProcedure(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam);
    LRESULT onDeviceMessage(Device& device, HWND window, UINT message, WPARAM wParam,
                            LPARAM lParam);
    LRESULT onCopyData(Device& device, const COPYDATASTRUCT* data);
    void hangIfArmed(Device& device, UINT message, LPARAM lParam);
    bool answerRead(Device& device, std::uint32_t slot, std::uint32_t process,
                    std::uint32_t sequence);

    void run(const Command& command);
    void deliverSlotChange(Device& device, std::uint32_t slot, std::string text);
    std::optional<LRESULT> sendToClient(Device& device, UINT message, WPARAM wParam, LPARAM lParam);
    Device* find(std::uint32_t number);

    EventLine event(const char* name) const;
    void emit(const EventLine& line);
    void error(const std::string& text);

    std::vector<std::unique_ptr<Device>> devices_;
    HWND control_ = nullptr;
    ULONGLONG startTick_ = 0;
    std::uint64_t counterFrequency_ = 0;  // non-zero: precise event times
    std::uint32_t nextMailbox_ = 0;
    bool quitting_ = false;
};

// Reads standard input on its own thread and posts each line to the control window, so that
// the window thread never waits for input. Lines over kMaxInputLine bytes are refused.
inline constexpr std::size_t kMaxInputLine = 8192;
void readInputLines(HWND control);

}  // namespace korvel::sim
