// korvel-probe: reads the running driver's window from outside and prints what it finds,
// one "key value" line per fact; see usageText() for the actions.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "sim/probe/driver_window.h"
#include "sim/probe/probe_request.h"

namespace {

using namespace korvel::sim::probe;

void print(std::string_view key, std::string_view value) {
    std::fputs(formatLine(key, value).c_str(), stdout);
}

// Runs one action; false when something it had to read could not be read.
bool run(const DriverWindow& window, const Action& action) {
    switch (action.kind) {
        case ActionKind::Caption: {
            const auto caption = window.caption();
            if (!caption) return false;
            print("caption", *caption);
            return true;
        }
        case ActionKind::Rect: {
            const RECT r = window.rect();
            print("rect", std::to_string(r.left) + " " + std::to_string(r.top) + " " +
                              std::to_string(r.right) + " " + std::to_string(r.bottom));
            print("size",
                  std::to_string(r.right - r.left) + " " + std::to_string(r.bottom - r.top));
            // Whether the whole panel is on screen: it must lie inside the client area.
            const RECT client = window.clientRect();
            print("client", std::to_string(client.right) + " " + std::to_string(client.bottom));
            if (const auto p = window.panelRect()) {
                print("panel.rect", std::to_string(p->left) + " " + std::to_string(p->top) + " " +
                                        std::to_string(p->right) + " " + std::to_string(p->bottom));
            }
            print("minimised", window.minimised() ? "1" : "0");
            return true;
        }
        case ActionKind::Panel: {
            const std::vector<int>& ids = action.ids.empty() ? panelIds() : action.ids;
            bool all = true;
            for (const int id : ids) {
                const auto text = window.panelText(id);
                if (!text) {
                    std::fprintf(stderr, "korvel-probe: no panel control %d\n", id);
                    all = false;
                    continue;
                }
                print("panel." + std::to_string(id), *text);
            }
            return all;
        }
        case ActionKind::Trace: {
            const auto lines = window.traceLines();
            if (!lines) {
                std::fprintf(stderr,
                             "korvel-probe: cannot read the trace list (the test reader of our "
                             "VRAXIF32.dll starts with the driver's first slot traffic)\n");
                return false;
            }
            print("trace.count", std::to_string(lines->size()));
            for (std::size_t i = 0; i < lines->size(); ++i) {
                print("trace." + std::to_string(i), (*lines)[i]);
            }
            return true;
        }
        case ActionKind::Menu: {
            bool all = true;
            for (const MarkedEntry& entry : debugMenuMarks()) {
                const auto checked = window.menuChecked(entry.id);
                if (!checked) {
                    std::fprintf(stderr,
                                 "korvel-probe: cannot read menu item %d (the test reader of "
                                 "our VRAXIF32.dll starts with the driver's first slot "
                                 "traffic)\n",
                                 entry.id);
                    all = false;
                    continue;
                }
                print(std::string("menu.") + entry.name, *checked ? "1" : "0");
            }
            return all;
        }
        case ActionKind::Boxes:
            for (const MessageBoxSeen& box : window.messageBoxes()) {
                print("box.caption", box.caption);
                print("box.text", box.text);
            }
            return true;
        case ActionKind::About: {
            const auto about = window.readAbout();
            if (!about) {
                std::fprintf(stderr, "korvel-probe: the About box did not open\n");
                return false;
            }
            print("about.version", about->version);
            print("about.build", about->build);
            return true;
        }
        case ActionKind::Command:
            if (!window.command(action.ids.front())) return false;
            print("sent", std::to_string(action.ids.front()));
            return true;
        case ActionKind::Restore:
            if (!window.show(SW_RESTORE)) return false;
            print("shown", "restore");
            return true;
        case ActionKind::Minimise:
            if (!window.show(SW_MINIMIZE)) return false;
            print("shown", "minimise");
            return true;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const ParsedRequest parsed = parseArguments(arguments);
    if (!parsed.ok()) {
        if (parsed.error == "help") {
            std::fputs(usageText().c_str(), stdout);
            return 0;
        }
        std::fprintf(stderr, "korvel-probe: %s\n%s", parsed.error.c_str(), usageText().c_str());
        return 1;
    }
    const Request& request = parsed.request;
    const auto window = DriverWindow::waitFor(request.windowClass, request.waitMs);
    if (!window) {
        std::fprintf(stderr, "korvel-probe: no driver window (class %s) is open\n",
                     request.windowClass.c_str());
        return 2;
    }
    bool complete = true;
    for (const Action& action : request.actions) complete = run(*window, action) && complete;
    std::fflush(stdout);
    return complete ? 0 : 3;
}
