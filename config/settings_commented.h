#pragma once

#include <string>

namespace korvel::config {

// The text of the package's DEV_example.ini: every key of a device file, each after a comment
// that says what it does, its range and what sites usually set, at its default value; CR LF
// line ends. Renamed DEV_nnn.ini it is a working settings file.
std::string commentedSettingsExample();

}  // namespace korvel::config
