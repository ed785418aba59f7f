#pragma once

// File helpers for the programs around the driver (the rehearsal, the end-to-end tests) on
// Windows: whole folders removed, whole files read while another process may write them.
#include <optional>
#include <string>

namespace korvel::sim {

// Removes the folder and everything under it; what cannot be removed stays.
void removeTree(const std::string& folder);

// The whole file, shared with writers and deleters; none when it cannot be opened.
std::optional<std::string> readWholeFile(const std::string& path);

}  // namespace korvel::sim
