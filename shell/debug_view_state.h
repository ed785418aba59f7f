#pragma once

namespace korvel::shell {

// The Debug menu's three check marks.
struct DebugMenuMarks {
    bool on = false;
    bool hide = false;
    bool logging = false;
};

// What the window has to do after a Debug menu command.
struct DebugViewChange {
    static constexpr int kKeepHeight = 0;
    static constexpr int kNoWrite = -1;

    int height = kKeepHeight;       // the window's new height, its position kept
    int writeDebugMode = kNoWrite;  // 1 or 0: the value to store under "DebugMode"
    bool openLog = false;           // create the disk log
    bool closeLog = false;          // destroy the disk log
};

// The flags behind the Debug menu - debug mode (tracing), the hide toggle and log to disk -
// with the marks they leave on the menu and the window height they ask for: one height with
// the debug view open, another with it closed (both from the window's layout).
class DebugViewState {
  public:
    DebugViewState(int openHeight, int closedHeight)
        : openHeight_(openHeight), closedHeight_(closedHeight) {}

    // The settings just read: the window's first height and the On and Hide marks. The
    // Logging mark is set by startLogging once the disk log exists.
    int start(bool debugMode);
    void startLogging(bool logToDisk);

    DebugViewChange toggleOn();
    DebugViewChange toggleHide();
    DebugViewChange toggleLogging();

    int openHeight() const { return openHeight_; }
    int closedHeight() const { return closedHeight_; }

    bool debugMode() const { return debugMode_; }
    bool hideToggle() const { return hideToggle_; }
    bool logToDisk() const { return logToDisk_; }
    const DebugMenuMarks& marks() const { return marks_; }

  private:
    int openHeight_;
    int closedHeight_;
    bool debugMode_ = false;
    bool hideToggle_ = false;
    bool logToDisk_ = false;
    DebugMenuMarks marks_;
};

}  // namespace korvel::shell
