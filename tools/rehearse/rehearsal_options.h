#pragma once

#include <string>
#include <vector>

namespace korvel::tools::rehearse {

// The infodriver device numbers a rehearsal serves by default: far from any site's own, so
// that the driver it starts never answers to a live infodriver.
inline constexpr int kDefaultDevice = 9001;
inline constexpr int kMaxVts = 9;

struct RehearsalOptions {
    int driverPort = 0;  // COMn of VT1's driver side; VT k uses driverPort + k - 1
    int deckPort = 0;    // COMn of VT1's deck side; VT k uses deckPort + k - 1
    int vts = 1;
    bool unattended = false;  // skip the step that needs a person at the cable
    std::string reportPath;   // empty: a dated file in the current folder
    int device = kDefaultDevice;
    bool keep = false;  // leave the temporary folder for a look afterwards
    bool help = false;
};

struct RehearsalOptionsParse {
    RehearsalOptions options;
    std::string error;  // empty when the arguments are good
};

// The arguments after the program name.
RehearsalOptionsParse parseRehearsalOptions(const std::vector<std::string>& arguments);

extern const char* const kRehearsalHelp;

}  // namespace korvel::tools::rehearse
