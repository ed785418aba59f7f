#include "config/settings_commented.h"

#include "config/setting_keys.h"

namespace korvel::config {
namespace {

// One key of the example and the comment above it, one line per entry. Comments hold no
// '=': a profile reader would take such a line for a key.
struct Note {
    const SettingKey& key;
    const char* lines[4];
};

const Note kDriverNotes[] = {
    {kDebugModeKey,
     {"1: the debug trace is on and its view open at start-up; 0: off. Debug, On and Debug,",
      "Hide in the menu store 1 or 0 here. Sites set 1 while commissioning."}},
    {kLogModeKey,
     {"The serial traffic log's files: 2 a file a day (YYYYMMDD.log), 3 a file an hour",
      "(YYYYMMDD-HH.log), anything else one file korvel.log. Sites that log for months set 2."}},
    {kSimulationKey,
     {"Non-zero: the About box reads \"Korvel Controller (Simulation)\"; nothing else changes."}},
    {kShuttleKey, {"Shuttle speed for slot 1 \"8\" without a value, 0 to 255 (64 is play speed)."}},
    {kVariableKey, {"Variable-play speed for slot 1 \"7\" without a value, 0 to 255."}},
    {kJogKey, {"Jog speed for slot 1 \"9\" without a value, 0 to 255."}},
    {kLogToDiskKey,
     {"Non-zero: the serial traffic log is written from start-up (also Debug, Logging).",
      "About 135 MB a day with nine VTs. Sites with a deck that misbehaves now and then set 1."}},
    {kLogKeepDaysKey,
     {"With a file a day or an hour: dated log files more than this many days old are",
      "deleted; 0 keeps them all. A first start does not write this key. Sites logging for",
      "months set 30 or so."}},
    {kWaitForPortsKey,
     {"0: a VT whose port is missing at start-up refuses the whole start. Non-zero: that VT",
      "starts failed (\"!! tFAIL !!\", slot 3 \"1,0,\") and comes up when its port appears; the",
      "others start normally. A first start does not write this key. Sites whose USB adapters",
      "enumerate late set 1."}},
    {kEventsKeepDaysKey,
     {"The events journal's daily files (folder events beside the traffic log) more than this",
      "many days old are deleted; 0 keeps them all. A first start does not write this key."}},
    {kHangLimitKey,
     {"Seconds the driver's main loop may stand still before the driver writes a dump and ends",
      "(exit code 0x48414E47) for its supervisor to restart it; 0 turns this off. A first",
      "start does not write this key."}},
    {kTxTimeoutKey,
     {"Milliseconds a VT may take to answer a command before it is failed (\"!! tFAIL !!\").",
      "Leave at 250 unless a deck is known to answer late."}},
    {kRxTimeoutKey, {"Kept for older files; nothing uses it."}},
};

const Note kVtNotes[] = {
    {kPortKey,
     {"The VT's serial port number n (COMn), 1 to 256; 0: the VT is not configured. Every",
      "site sets this: korvel-portcheck --all tells which deck answers on which port."}},
    {kSpeedKey, {"Baud rate. The Sony 9-pin line is 38400; change only for a deck set otherwise."}},
    {kDataBitsKey, {"Data bits, 5 to 8 (9-pin: 8)."}},
    {kStopBitsKey, {"2: two stop bits; any other value one (9-pin: 1)."}},
    {kParityKey,
     {"One letter, any case: E even, M mark, N none, O odd (9-pin: O); anything else is none."}},
};

void comment(std::string& out, const char* text) {
    out += "; ";
    out += text;
    out += "\r\n";
}

void entry(std::string& out, const Note& note) {
    out += "\r\n";
    for (const char* line : note.lines)
        if (line != nullptr) comment(out, line);
    out += note.key.key;
    out += '=';
    out += note.key.defaultText;
    out += "\r\n";
}

}  // namespace

std::string commentedSettingsExample() {
    std::string out;
    comment(out,
            "The settings of korvel.exe: a copy of this file named DEV_nnn.ini, nnn the device");
    comment(out, "number with at least three digits (DEV_101.ini for korvel.exe 101), in");
    comment(out,
            "%RZ_ROOT%\\%RZ_SYSTEM%\\config\\system\\ (or the Windows folder without those two");
    comment(out, "variables). Every key is at its default here. Each start writes back every key");
    comment(out, "it reads but LogKeepDays, WaitForPorts, EventsKeepDays and HangLimitS, so a");
    comment(out, "missing key comes back.");
    out += "\r\n[KORVEL]\r\n";
    for (const Note& note : kDriverNotes) entry(out, note);
    out += "\r\n[VT1]\r\n";
    comment(out, "Sections VT1 to VT9 take the same keys, one section for each VT in use.");
    for (const Note& note : kVtNotes) entry(out, note);
    out += "\r\n[VT2]\r\n";
    for (const Note& note : kVtNotes) entry(out, note);
    return out;
}

}  // namespace korvel::config
