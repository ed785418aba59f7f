#pragma once

#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "config/device_settings.h"
#include "config/settings.h"
#include "engine/engine_host.h"
#include "log/disk_log.h"
#include "shell/debug_view_state.h"
#include "shell/list_box_trace_view.h"
#include "shell/vt_parts.h"
#include "shell/window_layout.h"

namespace korvel::shell {

// The serial library's notification: lParam is the port object.
inline constexpr UINT kCommNotifyMessage = 68;  // WM_COMMNOTIFY

// The main window's state: it builds the whole system at its creation, carries out the
// menu commands, and is the engine's host (timers, panel, error boxes, close).
class MainWindow final : public engine::EngineHost {
  public:
    MainWindow(HWND window, HINSTANCE instance, int deviceNumber);
    ~MainWindow() override;
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // The creation work: panel, trace list, settings, size and marks, devices, poll timer,
    // disk log. False refuses the creation, after the reason was shown.
    bool create();
    // Tears down every device, then the disk log.
    void destroy();
    // A menu or accelerator command; false for ids that are not the driver's.
    bool command(int id);
    // True once the creation work has been accepted.
    bool running() const { return running_; }
    // The session is ending: what File, Exit does for the peers happens now (every VT's
    // goodbye, the disk log closed); the devices and the window go afterwards.
    void endSession();

    // The engine's host.
    bool setTimer(int id, std::uint32_t periodMs) override;
    void killTimer(int id) override;
    void setPanelText(engine::PanelField field, int vtNumber, const char* text) override;
    void refreshCounters() override;
    void showError(const char* text) override;
    void debugOutput(const char* text) override;
    void logTraffic(const char* text) override;
    void requestClose() override;

    HWND panel() const { return panel_; }
    HWND traceList() const { return traceView_.list(); }
    const DebugViewState* debugView() const { return view_ ? &*view_ : nullptr; }
    const log::DiskLog* diskLog() const { return diskLog_.get(); }
    // Waits at most timeoutMs for the log's writer to write what it was handed (and to open
    // or close the file as asked); true when it has, or when there is no writer.
    bool drainLog(std::uint32_t timeoutMs);
    const MainWindowLayout& layout() const { return layout_; }

  private:
    void apply(const DebugViewChange& change);
    void showMarks();
    void resize(int height);
    void openDiskLog();
    // Traces (and logs, when logging) the settings file and the log file in use.
    void announceFiles();

    HWND window_;
    HINSTANCE instance_;
    int deviceNumber_;
    HWND panel_ = nullptr;
    ListBoxTraceView traceView_;
    config::Settings settings_;
    config::DeviceSettings deviceSettings_;
    RealVtParts parts_;
    MainWindowLayout layout_;
    std::optional<DebugViewState> view_;  // known once the layout is
    // The thread that does the log's file work; made with the first log and kept, so that a
    // log closed and opened again from the menu is closed before it is opened.
    std::shared_ptr<log::LogWriter> logWriter_;
    std::unique_ptr<log::DiskLog> diskLog_;
    int logMode_ = log::kDriverLogMode;                          // from "LogMode"
    int logKeepDays_ = config::kLogKeepDaysKey.defaultNumber();  // from "LogKeepDays"
    std::vector<std::string> untracedWarnings_;  // settings warnings read before the trace's flag
    bool tracingKnown_ = false;
    bool simulation_ = false;
    bool running_ = false;
};

// Registers the main window's class under the given name.
void registerMainWindowClass(HINSTANCE instance, const char* className);

LRESULT CALLBACK mainWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace korvel::shell
