#include "infodriver/library_architecture.h"

#include <cstdint>

namespace korvel::infodriver {

namespace {

constexpr std::size_t kPeOffsetField = 0x3C;  // e_lfanew in the DOS header
constexpr std::uint16_t kMachineI386 = 0x014C;
constexpr std::uint16_t kMachineAmd64 = 0x8664;

std::uint32_t little(const unsigned char* bytes, std::size_t count) {
    std::uint32_t value = 0;
    for (std::size_t i = count; i-- > 0;) value = value << 8 | bytes[i];
    return value;
}

const char* bitsOf(Architecture architecture) {
    return architecture == Architecture::X86 ? "32-bit" : "64-bit";
}

// The package's folder of each build.
const char* folderOf(Architecture architecture) {
    return architecture == Architecture::X86 ? "x86" : "x64";
}

}  // namespace

Architecture peArchitecture(const unsigned char* bytes, std::size_t size) {
    if (bytes == nullptr || size < kPeOffsetField + 4 || bytes[0] != 'M' || bytes[1] != 'Z') {
        return Architecture::Unknown;
    }
    const std::uint32_t pe = little(bytes + kPeOffsetField, 4);
    // The signature "PE\0\0" and the 2-byte machine field must both lie within the bytes.
    if (pe > size || size - pe < 6) return Architecture::Unknown;
    if (bytes[pe] != 'P' || bytes[pe + 1] != 'E' || bytes[pe + 2] != 0 || bytes[pe + 3] != 0) {
        return Architecture::Unknown;
    }
    switch (little(bytes + pe + 4, 2)) {
        case kMachineI386: return Architecture::X86;
        case kMachineAmd64: return Architecture::X64;
        default: return Architecture::Unknown;
    }
}

std::string wrongArchitectureAdvice(const char* libraryName, Architecture library,
                                    Architecture driver) {
    const std::string name = libraryName != nullptr ? libraryName : "The library";
    if (library == Architecture::Unknown || library == driver) {
        return name + " is not a " + bitsOf(driver) + " Windows library: this korvel.exe is " +
               bitsOf(driver) + ", and the library beside it must be " + bitsOf(driver) +
               " too.";
    }
    return name + " is a " + bitsOf(library) + " library: use the " + bitsOf(library) +
           " korvel.exe (folder " + folderOf(library) + " of the package), not this " +
           bitsOf(driver) + " one.";
}

}  // namespace korvel::infodriver
