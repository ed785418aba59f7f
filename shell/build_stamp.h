#pragma once

namespace korvel::shell {

// When the program was built: "Feb  2 2010" and "11:41:34". The file that defines them is
// compiled again on every build of the program.
const char* buildDate();
const char* buildTime();

}  // namespace korvel::shell
