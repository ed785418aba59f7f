#include "shell/main_window.h"

#include <new>
#include <string>
#include <vector>

#include "common/timed_message_box.h"
#include "comms/serial_registry.h"
#include "config/profile_store.h"
#include "engine/device_list.h"
#include "engine/vt_timers.h"
#include "log/events_journal.h"
#include "log/trace.h"
#include "shell/about_box.h"
#include "shell/counter_fields.h"
#include "shell/evidence.h"
#include "shell/hang_watchdog.h"
#include "shell/panel_fields.h"
#include "shell/resource.h"
#include "shell/shell_state.h"
#include "shell/window_layout.h"

namespace korvel::shell {

namespace {

constexpr DWORD kTraceListStyle = 0x40200180;  // child, vertical scroll, no integral height, tabs
constexpr const char* kPollTimerFailed = "Failed to create STATUSGET timer";
constexpr const char* kSessionEnding = "Windows session ending";

// The status panel answers only its initialisation.
INT_PTR CALLBACK panelProcedure(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG ? TRUE : FALSE;
}

PixelSize clientSizeOf(HWND window) {
    RECT rect{};
    if (!GetClientRect(window, &rect)) return {};
    return {rect.right - rect.left, rect.bottom - rect.top};
}

// What caption, menu bar and borders add around a client area, for the window's real styles
// (an overlapped window gains a caption that its creation did not ask for) and the metrics
// of this system.
PixelSize frameSizeOf(HWND window) {
    RECT rect{0, 0, 0, 0};
    const auto style = static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE));
    const auto extendedStyle = static_cast<DWORD>(GetWindowLongA(window, GWL_EXSTYLE));
    if (!AdjustWindowRectEx(&rect, style, GetMenu(window) != nullptr, extendedStyle)) return {};
    return {rect.right - rect.left, rect.bottom - rect.top};
}

// The full path of the settings file that the profile calls read and write.
std::string settingsFileInUse(const std::string& path) {
    char windowsFolder[MAX_PATH] = {};
    const UINT length = GetWindowsDirectoryA(windowsFolder, sizeof windowsFolder);
    const std::string file =
        config::profileFileInUse(path, length > 0 && length < MAX_PATH ? windowsFolder : "");
    char full[MAX_PATH] = {};
    const DWORD fullLength = GetFullPathNameA(file.c_str(), sizeof full, full, nullptr);
    return fullLength > 0 && fullLength < MAX_PATH ? full : file;
}

}  // namespace

MainWindow::MainWindow(HWND window, HINSTANCE instance, int deviceNumber)
    : window_(window),
      instance_(instance),
      deviceNumber_(deviceNumber),
      settings_(config::defaultProfileStore()),
      deviceSettings_(settings_, deviceNumber),
      parts_(window) {}

MainWindow::~MainWindow() {
    // The devices report to this window: they go first, also after a refused start.
    engine::teardownDevices();
    // Nothing may reach this window's list or panel once it is gone.
    if (log::traceState().view == &traceView_) log::traceState().view = nullptr;
    if (engine::engineState().host == this) engine::engineState().host = nullptr;
}

bool MainWindow::create() {
    panel_ = CreateDialogParamA(instance_, MAKEINTRESOURCEA(IDD_STATUS_PANEL), window_,
                                panelProcedure, 0);
    // The panel's size in pixels depends on the system's dialog font, the window's frame on
    // its theme: both are measured here rather than assumed.
    layout_ = layOutMainWindow(clientSizeOf(panel_), frameSizeOf(window_));
    HWND list = CreateWindowExA(0, "LISTBOX", "", kTraceListStyle, 0, layout_.panelHeight,
                                layout_.clientWidth, layout_.traceListHeight, window_,
                                reinterpret_cast<HMENU>(IDC_TRACE_LIST), instance_, nullptr);
    ShowWindow(list, SW_SHOW);
    traceView_.attach(list);
    log::traceState().view = &traceView_;

    recordStart(GetCommandLineA(),
                settingsFileInUse(settings_.pathOf(deviceSettings_.fileName().c_str())).c_str());
    // A value misread stays as the reading rule gives it, but is said: in the trace (once
    // tracing is known, the warnings seen before it are traced too), the journal and the
    // event log.
    deviceSettings_.setWarningSink([this](const config::SettingWarning& warning) {
        const std::string text = "Setting " + config::describeSettingWarning(warning);
        if (tracingKnown_) {
            log::traceText(text.c_str());
        } else {
            untracedWarnings_.push_back(text);
        }
        log::recordEvent(log::EventKind::kSetting, 0, "%s", text.c_str());
    });
    shellState().workstation = deviceSettings_.readWorkstation();
    const config::StartupSettings startup = deviceSettings_.readStartup();
    if (log::EventsJournal* journal = log::eventsState().journal.load()) {
        journal->setKeepDays(startup.eventsKeepDays);
    }
    shellState().hangLimitS = startup.hangLimitS > 0 ? startup.hangLimitS : 0;
    log::setTracing(startup.debugMode != 0);
    for (const std::string& text : untracedWarnings_) log::traceText(text.c_str());
    untracedWarnings_.clear();
    tracingKnown_ = true;
    engine::useStartupSettings(startup);
    simulation_ = startup.simulation != 0;
    logMode_ = log::driverLogMode(startup.logMode);
    logKeepDays_ = startup.logKeepDays;

    view_.emplace(layout_.openHeight, layout_.closedHeight);
    const int height = view_->start(startup.debugMode != 0);
    MoveWindow(window_, 0, 0, layout_.width, height, TRUE);
    showMarks();

    if (!engine::createDevices(deviceSettings_, static_cast<std::uint32_t>(deviceNumber_), *this,
                               parts_)) {
        return false;
    }

    if (!setTimer(engine::kPollTimerId, engine::kPollPeriodMs)) {
        log::trace("%s", kPollTimerFailed);
        log::recordEvent(log::EventKind::kRefused, 0, "%s", kPollTimerFailed);
        showError(kPollTimerFailed);
        return false;
    }

    view_->startLogging(startup.logToDisk != 0);
    if (view_->logToDisk()) openDiskLog();
    showMarks();
    announceFiles();
    running_ = true;
    return true;
}

void MainWindow::announceFiles() {
    // An engineer who edits one file while the driver reads another loses hours: say which.
    const std::string settingsFile =
        "Settings file " + settingsFileInUse(settings_.pathOf(deviceSettings_.fileName().c_str()));
    log::traceText(settingsFile.c_str());
    log::recordEvent(log::EventKind::kStart, 0, "Traffic log %s",
                     diskLog_ ? diskLog_->fileName().c_str() : "off (LogToDisk=0)");
    if (!diskLog_) return;
    const std::string logFile = std::string("Log file ") + diskLog_->fileName();
    log::traceText(logFile.c_str());
    diskLog_->writeLine(settingsFile.c_str());
    diskLog_->writeLine(logFile.c_str());
}

void MainWindow::endSession() {
    shellState().exitReason = kSessionEnding;
    log::trace("%s", kSessionEnding);
    logTraffic(kSessionEnding);
    // This message can arrive while the main thread waits inside a VT's call to its
    // infodriver: nothing may be destroyed under that call. The goodbyes and the log's close
    // happen now; the devices and the window go from the loop.
    engine::sayGoodbyes();
    diskLog_.reset();
    // Windows may end the process once this message is answered: what the log holds gets a
    // bounded chance to reach the file, and a share that does not answer costs that much.
    drainLog(log::LogWriter::kFinishWaitMs);
    requestClose();
}

void MainWindow::destroy() {
    engine::teardownDevices();
    diskLog_.reset();
    logWriter_.reset();  // waits at most LogWriter::kFinishWaitMs for the last lines
}

bool MainWindow::drainLog(std::uint32_t timeoutMs) {
    return !logWriter_ || logWriter_->drain(timeoutMs);
}

bool MainWindow::command(int id) {
    switch (id) {
        case IDM_ABOUT:
            showAboutBox(instance_, window_, simulation_);
            return true;
        case IDM_EXIT:
            if (shellState().exitReason == nullptr) shellState().exitReason = "File, Exit";
            DestroyWindow(window_);
            return true;
        case IDM_DEBUG_CLEAR:
            traceView_.clear();
            return true;
        case IDM_TEST_SET:
            return true;
        case IDM_DEBUG_ON:
            if (view_) apply(view_->toggleOn());
            return true;
        case IDM_DEBUG_HIDE:
            if (view_) apply(view_->toggleHide());
            return true;
        case IDM_DEBUG_LOGGING:
            if (view_) apply(view_->toggleLogging());
            return true;
        default:
            if (id > IDM_RESET_VT_BASE && id <= IDM_RESET_VT_BASE + engine::kMaxVts) {
                engine::resetVt(id - IDM_RESET_VT_BASE);
                return true;
            }
            return false;
    }
}

void MainWindow::apply(const DebugViewChange& change) {
    if (change.height != DebugViewChange::kKeepHeight) resize(change.height);
    if (change.writeDebugMode != DebugViewChange::kNoWrite) {
        log::setTracing(view_->debugMode());
        if (!deviceSettings_.writeDebugMode(change.writeDebugMode != 0)) {
            log::trace("Cannot write DebugMode to %s", deviceSettings_.fileName().c_str());
        }
    }
    if (change.closeLog) diskLog_.reset();
    if (change.openLog) openDiskLog();
    showMarks();
}

void MainWindow::showMarks() {
    HMENU debugMenu = GetSubMenu(GetMenu(window_), DEBUG_MENU_POSITION);
    if (debugMenu == nullptr || !view_) return;
    const DebugMenuMarks& marks = view_->marks();
    auto mark = [debugMenu](UINT id, bool checked) {
        CheckMenuItem(debugMenu, id, MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
    };
    mark(IDM_DEBUG_ON, marks.on);
    mark(IDM_DEBUG_HIDE, marks.hide);
    mark(IDM_DEBUG_LOGGING, marks.logging);
}

void MainWindow::resize(int height) {
    // A minimised window keeps the new size for when it is restored.
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    if (IsIconic(window_) && GetWindowPlacement(window_, &placement)) {
        RECT& normal = placement.rcNormalPosition;
        normal.right = normal.left + layout_.width;
        normal.bottom = normal.top + height;
        placement.showCmd = SW_SHOWMINNOACTIVE;
        SetWindowPlacement(window_, &placement);
        return;
    }
    SetWindowPos(window_, nullptr, 0, 0, layout_.width, height,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void MainWindow::openDiskLog() {
    // Without memory, or without a thread for it, there is simply no log.
    diskLog_.reset();
    try {
        if (!logWriter_) logWriter_ = std::make_shared<log::LogWriter>();
        diskLog_ = std::make_unique<log::DiskLog>(log::kDriverLogName, logMode_, logKeepDays_,
                                                  log::defaultDiskLogPlatform(), logWriter_);
    } catch (const std::bad_alloc&) {
        diskLog_.reset();
    }
}

bool MainWindow::setTimer(int id, std::uint32_t periodMs) {
    const UINT_PTR requested = static_cast<UINT_PTR>(id);
    return SetTimer(window_, requested, periodMs, nullptr) == requested;
}

void MainWindow::killTimer(int id) {
    KillTimer(window_, static_cast<UINT_PTR>(id));
}

void MainWindow::setPanelText(engine::PanelField field, int vtNumber, const char* text) {
    SetDlgItemTextA(panel_, panelControlId(field, vtNumber), text);
}

void MainWindow::refreshCounters() {
    refreshCounterFields(*this);
}

void MainWindow::showError(const char* text) {
    common::showTimedError(window_, text);
}

void MainWindow::debugOutput(const char* text) {
    OutputDebugStringA(text);
}

void MainWindow::logTraffic(const char* text) {
    if (diskLog_) diskLog_->writeLine(text);
}

void MainWindow::requestClose() {
    // The engine closes when an infodriver has left; its line is in the journal just before.
    if (shellState().exitReason == nullptr) {
        shellState().exitReason = "closed by the driver: an infodriver left";
    }
    PostMessageA(window_, WM_CLOSE, 0, 0);
}

void registerMainWindowClass(HINSTANCE instance, const char* className) {
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = mainWindowProcedure;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_KORVEL));
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszMenuName = MAKEINTRESOURCEA(IDR_MAIN_MENU);
    windowClass.lpszClassName = className;
    windowClass.hIconSm = static_cast<HICON>(
        LoadImageA(instance, MAKEINTRESOURCEA(IDI_KORVEL_SMALL), IMAGE_ICON,
                   GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
    RegisterClassExA(&windowClass);
}

LRESULT CALLBACK mainWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    ShellState& state = shellState();
    if (message == WM_CREATE) {
        state.mainWindow = window;
        state.window = std::make_unique<MainWindow>(window, state.instance, state.deviceNumber);
        return state.window->create() ? 0 : -1;
    }
    MainWindow* main = state.mainWindow == window ? state.window.get() : nullptr;
    if (main == nullptr) return DefWindowProcA(window, message, wParam, lParam);

    switch (message) {
        case WM_COMMAND:
        case WM_CLOSE:
            // Another program's SendMessage is taken while this thread waits inside a call to
            // an infodriver; a close or a VT reset run there would destroy the VT under that
            // call. Such a message is carried out from the loop instead.
            if (InSendMessage()) {
                PostMessageA(window, message, wParam, lParam);
                return 0;
            }
            if (message == WM_COMMAND && main->command(LOWORD(wParam))) return 0;
            break;
        case WM_TIMER:
            // Timers run in a modal box's loop too: the heartbeat goes on while one is up.
            heartbeat();
            engine::handleTimer(static_cast<int>(wParam));
            return 0;
        case kCommNotifyMessage:
            comms::serialDispatch(static_cast<comms::SerialRegistry::Key>(lParam));
            return 0;
        case WM_SIZE:
            return 0;
        case WM_QUERYENDSESSION:
            return TRUE;  // nothing to save: never hold up a shut-down or log-off
        case WM_ENDSESSION:
            // Windows may end the process as soon as this returns: every infodriver gets its
            // goodbye and the disk log is closed now, the way File, Exit does it. A window still
            // in its creation is left to finish (or refuse) it.
            if (wParam != FALSE && main->running()) main->endSession();
            return 0;
        case WM_DESTROY:
            main->destroy();
            PostQuitMessage(0);
            return 0;
        case WM_NCDESTROY:
            state.window.reset();
            state.mainWindow = nullptr;
            break;
        default:
            break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace korvel::shell
