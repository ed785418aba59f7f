#pragma once

// What the probe is asked to do, read from its command line, and how it prints what it
// finds: one "key value" line per fact. Pure text handling, so it is tested natively.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvel::sim::probe {

enum class ActionKind {
    Caption,   // caption TEXT
    Rect,      // rect L T R B, size W H, client W H, panel.rect L T R B, minimised 0|1
    Panel,     // panel.ID TEXT for the ids given, or for every control of the panel
    Trace,     // trace.count N, then trace.I TEXT for each line
    Menu,      // menu.on / menu.hide / menu.logging 0|1: the Debug menu's check marks
    Boxes,     // box.caption TEXT and box.text TEXT for each message box the driver shows
    Command,   // sends the menu command, prints "sent ID"
    Restore,   // shows the window at its normal size, prints "shown restore"
    Minimise,  // minimises it, prints "shown minimise"
    About,     // opens the About box, prints about.version TEXT and about.build TEXT, closes it
};

struct Action {
    ActionKind kind = ActionKind::Caption;
    std::vector<int> ids;  // Panel: the controls (empty: all); Command: the one command id
};

struct Request {
    std::string windowClass = "CLASS_KORVEL";
    unsigned waitMs = 0;  // how long to wait for the window to appear
    std::vector<Action> actions;
};

struct ParsedRequest {
    Request request;
    std::string error;  // empty when the command line was understood
    bool ok() const { return error.empty(); }
};

// The arguments after the program name. No action at all means "all": caption, rect,
// panel, trace and menu, in that order.
ParsedRequest parseArguments(const std::vector<std::string>& arguments);

std::string usageText();

// A menu command by number, or by one of the names of the driver's menu ("exit", "about",
// "clear", "debug", "hide", "logging", "reset1" to "reset9").
std::optional<int> commandId(std::string_view word);

// The status panel's text controls in the order the probe prints them.
const std::vector<int>& panelIds();

// The Debug menu entries that carry check marks, with the names the probe prints.
struct MarkedEntry {
    const char* name;
    int id;
};
const std::vector<MarkedEntry>& debugMenuMarks();

// A value made safe for one line: backslash, \n, \r, \t and \xHH for other control bytes.
std::string escapeValue(std::string_view text);
// Undoes escapeValue (for programs that read the probe's output); nullopt if malformed.
std::optional<std::string> unescapeValue(std::string_view text);

// "key value\n" with the value escaped.
std::string formatLine(std::string_view key, std::string_view value);

// One printed line read back: the key and the unescaped value; nullopt if malformed.
struct ProbeLine {
    std::string key;
    std::string value;
};
std::optional<ProbeLine> parseLine(std::string_view line);

}  // namespace korvel::sim::probe
