#pragma once

// Reads the driver's main window from outside its process: the status panel's texts, the
// trace list, the caption, the rectangle, the Debug menu's marks (through the menu reader
// of our VRAXIF32.dll) and the message boxes it shows; sends menu commands and shows or
// minimises it. Used by korvel-probe and linked into the end-to-end tests.
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace korvel::sim::probe {

struct MessageBoxSeen {
    HWND window = nullptr;
    std::string caption;
    std::string text;  // a message box's text; empty for other dialogs
};

class DriverWindow {
  public:
    // The first top-level window of the class; with a process id, only that process's.
    static std::optional<DriverWindow> find(const std::string& windowClass, DWORD processId = 0);
    // As find, trying again until the window appears or waitMs has passed.
    static std::optional<DriverWindow> waitFor(const std::string& windowClass, DWORD waitMs,
                                               DWORD processId = 0);

    HWND handle() const { return window_; }
    DWORD processId() const { return processId_; }
    bool alive() const { return IsWindow(window_) != FALSE; }

    std::optional<std::string> caption() const;
    RECT rect() const;
    bool minimised() const { return IsIconic(window_) != FALSE; }
    // The client area (left and top 0), and the status panel's rectangle within it; nullopt
    // when the window has no panel.
    RECT clientRect() const;
    std::optional<RECT> panelRect() const;

    // The text of a status-panel control; nullopt when the panel has no such control.
    std::optional<std::string> panelText(int controlId) const;
    // A control of the main window or of its panel, by id; null when there is none.
    HWND control(int controlId) const;

    // Every line of the trace list (control 100), oldest first, read through the test
    // reader of our interface library; nullopt when it is not in the process (yet).
    std::optional<std::vector<std::string>> traceLines() const;
    // The check mark of a menu item: true or false; nullopt when the test reader of our
    // interface library is not in the process (yet) or the menu has no such item.
    std::optional<bool> menuChecked(int commandId) const;
    // The message boxes (dialogs with a caption) of the driver's process.
    std::vector<MessageBoxSeen> messageBoxes() const;

    // Opens the About box (Help, About), reads its version and build lines and closes it;
    // nullopt when no box opened within a few seconds.
    struct About {
        std::string version;
        std::string build;
    };
    std::optional<About> readAbout() const;

    // Posts a menu command (WM_COMMAND); does not wait for it to be carried out.
    bool command(int commandId) const;
    // ShowWindow with SW_RESTORE or SW_MINIMIZE, from outside the process.
    bool show(int showCommand) const;

  private:
    DriverWindow(HWND window, DWORD processId) : window_(window), processId_(processId) {}

    HWND window_;
    DWORD processId_;
};

// The visible dialogs (message boxes among them) of a process, whether or not it has a main
// window.
std::vector<MessageBoxSeen> messageBoxesOf(DWORD processId);

// The text of any window in any process (WM_GETTEXT, with a time-out).
std::optional<std::string> windowText(HWND window);

}  // namespace korvel::sim::probe
