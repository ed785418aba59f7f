#include "sim/probe/probe_request.h"

#include <charconv>

#include "shell/resource.h"
#include "sim/common/text_escape.h"

namespace korvel::sim::probe {
namespace {

std::optional<long long> number(std::string_view word) {
    long long value = 0;
    const char* end = word.data() + word.size();
    const auto [rest, error] = std::from_chars(word.data(), end, value);
    if (word.empty() || error != std::errc() || rest != end) return std::nullopt;
    return value;
}

std::optional<int> controlOrCommandId(std::string_view word) {
    const auto value = number(word);
    if (!value || *value < 1 || *value > 0xFFFF) return std::nullopt;  // ids are 16 bits
    return static_cast<int>(*value);
}

void appendAll(std::vector<Action>& actions) {
    for (ActionKind kind : {ActionKind::Caption, ActionKind::Rect, ActionKind::Panel,
                            ActionKind::Trace, ActionKind::Menu}) {
        actions.push_back({kind, {}});
    }
}

}  // namespace

std::optional<int> commandId(std::string_view word) {
    struct Named {
        std::string_view name;
        int id;
    };
    static constexpr Named kNamed[] = {
        {"about", IDM_ABOUT},    {"exit", IDM_EXIT},       {"clear", IDM_DEBUG_CLEAR},
        {"debug", IDM_DEBUG_ON}, {"hide", IDM_DEBUG_HIDE}, {"logging", IDM_DEBUG_LOGGING},
    };
    for (const Named& named : kNamed) {
        if (word == named.name) return named.id;
    }
    if (word.size() == 6 && word.substr(0, 5) == "reset" && word[5] >= '1' && word[5] <= '9') {
        return IDM_RESET_VT_BASE + (word[5] - '0');
    }
    return controlOrCommandId(word);
}

const std::vector<int>& panelIds() {
    static const std::vector<int> ids = [] {
        std::vector<int> all{IDC_INFODRIVER_RX, IDC_INFODRIVER_TX};
        for (int row : {IDC_COMMS_BASE, IDC_TRANSPORT_BASE, IDC_LAST_CMD_BASE, IDC_TX_COUNT_BASE,
                        IDC_RX_COUNT_BASE}) {
            for (int vt = 1; vt <= 9; ++vt) all.push_back(row + vt);
        }
        return all;
    }();
    return ids;
}

const std::vector<MarkedEntry>& debugMenuMarks() {
    static const std::vector<MarkedEntry> entries{
        {"on", IDM_DEBUG_ON}, {"hide", IDM_DEBUG_HIDE}, {"logging", IDM_DEBUG_LOGGING}};
    return entries;
}

ParsedRequest parseArguments(const std::vector<std::string>& arguments) {
    ParsedRequest parsed;
    Request& request = parsed.request;
    auto fail = [&](const std::string& message) {
        parsed.error = message;
        return parsed;
    };
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& word = arguments[i];
        const bool hasNext = i + 1 < arguments.size();
        if (word == "--class") {
            if (!hasNext || arguments[i + 1].empty()) return fail("--class needs a class name");
            request.windowClass = arguments[++i];
        } else if (word == "--wait") {
            const auto ms = hasNext ? number(arguments[i + 1]) : std::nullopt;
            if (!ms || *ms < 0 || *ms > 600000) return fail("--wait needs 0 to 600000 ms");
            request.waitMs = static_cast<unsigned>(*ms);
            ++i;
        } else if (word == "all") {
            appendAll(request.actions);
        } else if (word == "caption") {
            request.actions.push_back({ActionKind::Caption, {}});
        } else if (word == "rect") {
            request.actions.push_back({ActionKind::Rect, {}});
        } else if (word == "trace") {
            request.actions.push_back({ActionKind::Trace, {}});
        } else if (word == "menu") {
            request.actions.push_back({ActionKind::Menu, {}});
        } else if (word == "boxes") {
            request.actions.push_back({ActionKind::Boxes, {}});
        } else if (word == "about") {
            request.actions.push_back({ActionKind::About, {}});
        } else if (word == "restore") {
            request.actions.push_back({ActionKind::Restore, {}});
        } else if (word == "minimise" || word == "minimize") {
            request.actions.push_back({ActionKind::Minimise, {}});
        } else if (word == "panel") {
            Action action{ActionKind::Panel, {}};
            // The ids that follow, up to the next word that is not a number.
            while (i + 1 < arguments.size() && number(arguments[i + 1])) {
                const auto id = controlOrCommandId(arguments[++i]);
                if (!id) return fail("not a control id: " + arguments[i]);
                action.ids.push_back(*id);
            }
            request.actions.push_back(std::move(action));
        } else if (word == "command") {
            const auto id = hasNext ? commandId(arguments[i + 1]) : std::nullopt;
            if (!id) {
                return fail(hasNext ? "not a menu command: " + arguments[i + 1]
                                    : "command needs an id or a name");
            }
            request.actions.push_back({ActionKind::Command, {*id}});
            ++i;
        } else if (word == "--help" || word == "-h") {
            return fail("help");
        } else {
            return fail("unknown argument: " + word);
        }
    }
    if (request.actions.empty()) appendAll(request.actions);
    return parsed;
}

std::string usageText() {
    return "usage: korvel-probe [--class NAME] [--wait MS] [ACTION ...]\n"
           "Finds the driver's main window (class CLASS_KORVEL) and prints one 'key value'\n"
           "line per fact. Actions, done in order (none: all):\n"
           "  all             caption, rect, panel, trace, menu\n"
           "  caption         caption TEXT\n"
           "  rect            rect L T R B, size W H, client W H (the client area),\n"
           "                  panel.rect L T R B (the status panel in it), minimised 0|1\n"
           "  panel [ID ...]  panel.ID TEXT (every status control when no id is given)\n"
           "  trace           trace.count N, trace.I TEXT\n"
           "  menu            menu.on, menu.hide, menu.logging 0|1 (Debug menu marks)\n"
           "  boxes           box.caption TEXT, box.text TEXT for each open message box\n"
           "  about           about.version TEXT, about.build TEXT (opens the About box,\n"
           "                  reads it and closes it)\n"
           "  command ID      sends a menu command: a number, or exit, about, clear,\n"
           "                  debug, hide, logging, reset1 to reset9\n"
           "  restore         shows the window normally; minimise minimises it\n"
           "Exit status: 0 done, 1 bad arguments, 2 no driver window, 3 a read failed.\n";
}

std::string escapeValue(std::string_view text) {
    return escapeLine(text, false);
}

std::optional<std::string> unescapeValue(std::string_view text) {
    return unescapeLine(text, true);
}

std::string formatLine(std::string_view key, std::string_view value) {
    std::string line(key);
    line += ' ';
    line += escapeValue(value);
    line += '\n';
    return line;
}

std::optional<ProbeLine> parseLine(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    const std::size_t space = line.find(' ');
    if (space == 0 || line.empty()) return std::nullopt;
    ProbeLine parsed;
    parsed.key = std::string(line.substr(0, space));
    if (space != std::string_view::npos) {
        auto value = unescapeValue(line.substr(space + 1));
        if (!value) return std::nullopt;
        parsed.value = std::move(*value);
    }
    return parsed;
}

}  // namespace korvel::sim::probe
