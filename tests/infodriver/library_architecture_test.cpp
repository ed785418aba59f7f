#include "infodriver/library_architecture.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace korvel::infodriver {
namespace {

// The start of a PE file: "MZ", the PE header's offset at 0x3C, "PE\0\0", the machine type.
std::vector<unsigned char> peHead(std::uint16_t machine, std::uint32_t peOffset = 0x80) {
    std::vector<unsigned char> bytes(peOffset + 24, 0);
    bytes[0] = 'M';
    bytes[1] = 'Z';
    for (int i = 0; i < 4; ++i) bytes[0x3C + i] = static_cast<unsigned char>(peOffset >> (8 * i));
    bytes[peOffset] = 'P';
    bytes[peOffset + 1] = 'E';
    bytes[peOffset + 4] = static_cast<unsigned char>(machine);
    bytes[peOffset + 5] = static_cast<unsigned char>(machine >> 8);
    return bytes;
}

Architecture of(const std::vector<unsigned char>& bytes, std::size_t size) {
    return peArchitecture(bytes.data(), size);
}

TEST(LibraryArchitecture, TheMachineTypeOfThePeHeaderAndNothingElseCounts) {
    const auto x86 = peHead(0x014C);
    const auto x64 = peHead(0x8664);
    EXPECT_EQ(of(x86, x86.size()), Architecture::X86);
    EXPECT_EQ(of(x64, x64.size()), Architecture::X64);
    EXPECT_EQ(of(peHead(0xAA64), 200), Architecture::Unknown);  // ARM64
    // Cut anywhere before the machine field's last byte: unknown, never a read past the end.
    for (std::size_t size = 0; size < 0x86; ++size) EXPECT_EQ(of(x64, size), Architecture::Unknown);
    // A PE offset that points outside the bytes, or at no signature.
    auto far = peHead(0x8664);
    far[0x3F] = 0xFF;
    EXPECT_EQ(of(far, far.size()), Architecture::Unknown);
    auto unsigned_ = peHead(0x8664);
    unsigned_[0x81] = 'X';
    EXPECT_EQ(of(unsigned_, unsigned_.size()), Architecture::Unknown);
    auto text = peHead(0x8664);
    text[0] = 'Z';
    EXPECT_EQ(of(text, text.size()), Architecture::Unknown);
    EXPECT_EQ(peArchitecture(nullptr, 100), Architecture::Unknown);
}

TEST(LibraryArchitecture, TheAdviceNamesTheBuildTheLibraryNeeds) {
    EXPECT_EQ(wrongArchitectureAdvice("VRAXIF32.dll", Architecture::X86, Architecture::X64),
              "VRAXIF32.dll is a 32-bit library: use the 32-bit korvel.exe (folder x86 of the "
              "package), not this 64-bit one.");
    EXPECT_EQ(wrongArchitectureAdvice("VRAXIF32.dll", Architecture::X64, Architecture::X86),
              "VRAXIF32.dll is a 64-bit library: use the 64-bit korvel.exe (folder x64 of the "
              "package), not this 32-bit one.");
    EXPECT_EQ(wrongArchitectureAdvice("VRAXIF32.dll", Architecture::Unknown, Architecture::X86),
              "VRAXIF32.dll is not a 32-bit Windows library: this korvel.exe is 32-bit, and the "
              "library beside it must be 32-bit too.");
}

}  // namespace
}  // namespace korvel::infodriver
