#pragma once

// Which build of the driver a library needs. A process loads only libraries of its own
// bitness (Windows refuses the others with error 193); the machine type in a library's PE
// header says which korvel.exe the site must run. Portable: reads bytes, no file calls.
#include <cstddef>
#include <string>

namespace korvel::infodriver {

enum class Architecture { Unknown, X86, X64 };

// The architecture this program was built for.
constexpr Architecture kThisArchitecture =
    sizeof(void*) == 8 ? Architecture::X64 : Architecture::X86;

// The machine type in the PE header at the start of a file (the first bytes of it are
// enough: the DOS header and the PE signature that it points to). Unknown for anything
// else, a truncated header included.
Architecture peArchitecture(const unsigned char* bytes, std::size_t size);

// The line added under "Cannot load ... (error 193)": which korvel.exe the library needs.
std::string wrongArchitectureAdvice(const char* libraryName, Architecture library,
                                    Architecture driver = kThisArchitecture);

}  // namespace korvel::infodriver
