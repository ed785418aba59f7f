#pragma once

// The fixed script of a rehearsal, through the slots as the control system would run it:
// the driver comes up, each VT plays, stops, winds both ways and cues, its deck goes silent
// and comes back, a cable is pulled (with a person there), and the driver exits.
#include <cstdio>
#include <string>
#include <vector>

#include "tools/rehearse/rehearsal_report.h"
#include "tools/rehearse/rehearsal_world.h"

namespace korvel::tools::rehearse {

struct RehearsalRun {
    std::vector<StepResult> steps;
    std::vector<Timing> timings;
};

// Starts the world and runs every step, printing each one to `out` as it ends; leaves the
// world for the caller to stop. A first step that fails ends the script: nothing after it
// could pass.
RehearsalRun runRehearsal(RehearsalWorld& world, std::FILE* out);

}  // namespace korvel::tools::rehearse
