#include "shell/debug_view_state.h"

namespace korvel::shell {

int DebugViewState::start(bool debugMode) {
    debugMode_ = debugMode;
    hideToggle_ = false;
    marks_.on = debugMode;
    marks_.hide = !debugMode;
    return debugMode ? openHeight() : closedHeight();
}

void DebugViewState::startLogging(bool logToDisk) {
    logToDisk_ = logToDisk;
    marks_.logging = logToDisk;
}

DebugViewChange DebugViewState::toggleOn() {
    DebugViewChange change;
    if (debugMode_) {
        // Tracing stops; the view stays as it is, lines and all.
        debugMode_ = false;
        marks_.on = false;
        change.writeDebugMode = 0;
    } else {
        debugMode_ = true;
        marks_.on = true;
        marks_.hide = false;
        hideToggle_ = false;
        change.height = openHeight();
        change.writeDebugMode = 1;
    }
    return change;
}

DebugViewChange DebugViewState::toggleHide() {
    DebugViewChange change;
    if (hideToggle_) {
        hideToggle_ = false;
        debugMode_ = false;
        marks_.hide = true;
        marks_.on = false;
        change.height = closedHeight();
        change.writeDebugMode = 0;
    } else {
        hideToggle_ = true;
        debugMode_ = true;
        marks_.hide = false;
        marks_.on = true;
        change.height = openHeight();
        change.writeDebugMode = 1;
    }
    return change;
}

DebugViewChange DebugViewState::toggleLogging() {
    DebugViewChange change;
    logToDisk_ = !logToDisk_;
    marks_.logging = logToDisk_;
    change.openLog = logToDisk_;
    change.closeLog = !logToDisk_;
    return change;
}

}  // namespace korvel::shell
