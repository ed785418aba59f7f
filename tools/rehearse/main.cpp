// korvel-rehearse: the real driver, end to end, on this PC's own ports, adapters and cable,
// before the decks go on air; and a report of it.

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "sim/common/win32_files.h"
#include "tools/rehearse/pc_facts.h"
#include "tools/rehearse/rehearsal_options.h"
#include "tools/rehearse/rehearsal_report.h"
#include "tools/rehearse/rehearsal_script.h"
#include "tools/rehearse/rehearsal_world.h"

namespace {

using namespace korvel::tools::rehearse;
namespace portcheck = korvel::tools::portcheck;

constexpr int kExitPassed = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitRefused = 3;

// Set once the rehearsal has cleaned up: a console that closes waits for it.
HANDLE gCleanedUp = nullptr;

BOOL WINAPI onConsoleEvent(DWORD event) {
    gInterrupted = true;
    // Windows ends the process when this returns from a close, log-off or shut-down: hold it
    // while the driver says its goodbyes and the folder goes (the job ends the rest).
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT)
        WaitForSingleObject(gCleanedUp, 4500);
    return TRUE;
}

// Every file under the folder, its name and then its text, in the order Windows lists them.
void appendFiles(const std::string& folder, const std::string& shown, std::string& body) {
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const std::string name = entry.cFileName;
        if (name == "." || name == "..") continue;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            appendFiles(folder + "\\" + name, shown + name + "\\", body);
        } else {
            std::string text = korvel::sim::readWholeFile(folder + "\\" + name).value_or("");
            std::string clean;
            for (char c : text)
                if (c != '\r') clean += c;
            body += "--- " + shown + name + "\n" + clean;
            if (!clean.empty() && clean.back() != '\n') body += '\n';
        }
    } while (FindNextFileA(search, &entry));
    FindClose(search);
}

std::string joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
}

bool writeFile(const std::string& path, const std::string& text) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    std::string windowsText;
    for (char c : text) {
        if (c == '\n') windowsText += '\r';
        windowsText += c;
    }
    DWORD written = 0;
    const bool wrote = WriteFile(file, windowsText.data(), static_cast<DWORD>(windowsText.size()),
                                 &written, nullptr) &&
                       written == windowsText.size();
    CloseHandle(file);
    return wrote;
}

std::string commandLineText(int argc, char** argv) {
    std::string text = "korvel-rehearse";
    for (int i = 1; i < argc; ++i) text += std::string(" ") + argv[i];
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    const RehearsalOptionsParse parse =
        parseRehearsalOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (parse.options.help) {
        std::fputs(kRehearsalHelp, stdout);
        return kExitPassed;
    }
    if (!parse.error.empty()) {
        std::fprintf(stderr, "korvel-rehearse: %s (korvel-rehearse --help tells more)\n",
                     parse.error.c_str());
        return kExitUsage;
    }
    const RehearsalOptions& options = parse.options;

    if (HWND running = FindWindowA("CLASS_KORVEL", nullptr)) {
        DWORD id = 0;
        GetWindowThreadProcessId(running, &id);
        std::fprintf(stderr,
                     "korvel-rehearse: a Korvel driver is already running on this PC (process "
                     "%lu). The rehearsal does not start beside it: it runs a driver of its own, "
                     "and only one driver runs on a PC, so that driver would be refused anyway. "
                     "Rehearse while the driver is closed (File, Exit), not while it is on air.\n",
                     static_cast<unsigned long>(id));
        return kExitRefused;
    }
    std::string missing;
    const auto programs = findPrograms(missing);
    if (!programs) {
        std::fprintf(stderr,
                     "korvel-rehearse: not found:%s. Run it from the package's rehearsal folder, "
                     "as unpacked from the zip.\n",
                     missing.c_str());
        return kExitRefused;
    }
    std::vector<std::string> unusable;
    for (int vt = 1; vt <= options.vts; ++vt) {
        for (int port : {options.driverPort + vt - 1, options.deckPort + vt - 1}) {
            const std::string reason = portUnusableReason(port);
            if (!reason.empty()) unusable.push_back(reason);
        }
    }
    if (!unusable.empty()) {
        for (const std::string& reason : unusable)
            std::fprintf(stderr, "korvel-rehearse: %s\n", reason.c_str());
        return kExitRefused;
    }

    gCleanedUp = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(&onConsoleEvent, TRUE);
    const std::string started = localTimeText();
    const std::string reportPath = options.reportPath.empty()
                                       ? "korvel-rehearsal-" + localTimeStamp() + ".txt"
                                       : options.reportPath;
    std::printf("Rehearsal of %s on this PC: %d VT%s, the driver on COM%d, the deck on COM%d%s\n",
                programs->driver.c_str(), options.vts, options.vts == 1 ? "" : "s",
                options.driverPort, options.deckPort, options.vts == 1 ? "" : " (and on)");
    std::fflush(stdout);

    std::vector<ReportSection> sections;
    const std::vector<portcheck::ListedPort> listed = portcheck::listSystemPorts();
    RehearsalRun run;
    std::vector<std::string> notes;
    {
        RehearsalWorld world(options, *programs);
        run = runRehearsal(world, stdout);
        world.stop(notes);
        if (!world.jobUsable())
            notes.push_back(
                "Windows refused a job object: a rehearsal killed before its end "
                "may leave its programs running");
        if (gInterrupted) notes.push_back("interrupted (Ctrl+C or the console closed)");
        if (options.keep) notes.push_back("the temporary folder was kept: " + world.folder());

        std::string ports;
        for (int vt = 1; vt <= options.vts; ++vt) {
            ports += "VT" + std::to_string(vt) + " driver " +
                     portDescription(world.driverPort(vt), listed) + "\n";
            ports += "VT" + std::to_string(vt) + " deck   " +
                     portDescription(world.deckPort(vt), listed) + "\n";
        }
        ports +=
            "Line settings, driver and deck: 38400 bit/s, 8 data bits, odd parity, 1 stop "
            "bit (the driver's defaults; DEV_" +
            std::to_string(options.device) + ".ini below)\n";
        sections.push_back({"Ports and adapters", ports});
        sections.push_back({"Steps", stepsSection(run.steps)});
        sections.push_back({"Timings", timingsSection(run.timings) +
                                           "(slot write to wire: from the control system's write "
                                           "of slot 1 to the command arriving at the deck; "
                                           "command to slot 2: to the driver writing the new "
                                           "state; poll round: between two status requests)\n"});
        sections.push_back({"Notes", notes.empty() ? "none\n" : joined(notes)});
        std::string programsText;
        for (const std::string& path : {programs->driver, programs->decks, programs->infodriver,
                                        programs->library, programs->rehearse})
            programsText += programDescription(path) + "\n";
        sections.push_back({"Programs", programsText});
        std::string driverFiles;
        if (!world.folder().empty()) {
            appendFiles(world.folder() + "\\root\\sys\\config\\system", "settings\\", driverFiles);
            appendFiles(world.logsFolder(), "logs\\", driverFiles);
        }
        sections.push_back({"The driver's settings, traffic log and events",
                            driverFiles.empty() ? "none written\n" : driverFiles});
        sections.push_back({"The deck emulator's log", joined(world.deckLog())});
        sections.push_back({"The infodriver emulator's events", joined(world.infodriverLog())});
    }  // the world ends here: its folder is removed
    SetEvent(gCleanedUp);

    std::vector<ReportSection> report = {
        {"PC", "Windows: " + windowsDescription() + "\nArchitecture: " + architectureDescription() +
                   "\nStarted: " + started + "\nCommand: " + commandLineText(argc, argv) +
                   "\nResult: " + resultSummary(run.steps) + "\n"}};
    report.insert(report.end(), sections.begin(), sections.end());
    const std::string text =
        reportText("Korvel rehearsal report (korvel-rehearse " KORVEL_REHEARSE_VERSION ")", report);
    std::printf("Result: %s\n", resultSummary(run.steps).c_str());
    // A package unpacked where this user may not write (under Program Files, say) still
    // leaves its report: in the user's temporary folder, when no place was asked for.
    std::string written = reportPath;
    if (!writeFile(written, text)) {
        const DWORD error = GetLastError();
        char temp[MAX_PATH] = {};
        if (!options.reportPath.empty() || GetTempPathA(MAX_PATH, temp) == 0 ||
            !writeFile(written = std::string(temp) + reportPath, text)) {
            std::fprintf(stderr, "korvel-rehearse: cannot write the report %s (error %lu)\n",
                         reportPath.c_str(), static_cast<unsigned long>(error));
            return kExitFailed;
        }
        std::printf(
            "The current folder takes no file (error %lu): the report went to the "
            "temporary folder.\n",
            static_cast<unsigned long>(error));
    }
    char full[MAX_PATH] = {};
    GetFullPathNameA(written.c_str(), MAX_PATH, full, nullptr);
    std::printf("Report: %s\n", full);
    return anyFailed(run.steps) || run.steps.empty() ? kExitFailed : kExitPassed;
}
