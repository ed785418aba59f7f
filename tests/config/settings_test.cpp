#include "config/settings.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "config/decimal.h"
#include "config/device_settings.h"
#include "config/ini_profile_store.h"
#include "config/settings_commented.h"
#include "support/memory_profile_store.h"
#ifdef _WIN32
#include "config/win32_profile_store.h"
#endif

namespace korvel::config {
namespace {

namespace fs = std::filesystem;

// ---------------------------------------------------------------------------------------
// The path rule and the value mappings need no file.

EnvironmentLookup environmentOf(std::map<std::string, std::string> values) {
    auto shared = std::make_shared<std::map<std::string, std::string>>(std::move(values));
    return [shared](const char* name) -> const char* {
        auto it = shared->find(name);
        return it == shared->end() ? nullptr : it->second.c_str();
    };
}

TEST(SettingsPath, BothRootsGiveTheConfigFolderElseTheBareName) {
    EXPECT_EQ(
        settingsPath("DEV_010.ini", environmentOf({{"RZ_ROOT", "d:\\root"}, {"RZ_SYSTEM", "sys"}})),
        "d:\\root\\sys\\config\\system\\DEV_010.ini");
    EXPECT_EQ(settingsPath("DEV_010.ini", environmentOf({{"RZ_ROOT", "d:\\root"}})), "DEV_010.ini");
    EXPECT_EQ(settingsPath("NTQ.INI", environmentOf({{"RZ_SYSTEM", "sys"}})), "NTQ.INI");
    EXPECT_EQ(settingsPath("NTQ.INI", environmentOf({{"RZ_ROOT", ""}, {"RZ_SYSTEM", "sys"}})),
              "NTQ.INI");
}

TEST(ProfileFileInUse, ABareNameLivesInTheWindowsFolderAndAPathStaysAsItIs) {
    EXPECT_EQ(profileFileInUse("DEV_101.ini", "C:\\Windows"), "C:\\Windows\\DEV_101.ini");
    EXPECT_EQ(profileFileInUse("DEV_101.ini", "C:\\"), "C:\\DEV_101.ini");
    EXPECT_EQ(profileFileInUse("d:\\root\\sys\\config\\system\\DEV_101.ini", "C:\\Windows"),
              "d:\\root\\sys\\config\\system\\DEV_101.ini");
    EXPECT_EQ(profileFileInUse("sub/DEV_101.ini", "C:\\Windows"), "sub/DEV_101.ini");
    EXPECT_EQ(profileFileInUse("DEV_101.ini", ""), "DEV_101.ini");
}

TEST(DeviceFileName, HasThreeDigits) {
    EXPECT_EQ(deviceFileName(1), "DEV_001.ini");
    EXPECT_EQ(deviceFileName(10), "DEV_010.ini");
    EXPECT_EQ(deviceFileName(1234), "DEV_1234.ini");
}

TEST(LineCodes, StopBitsTwoGiveTwoAnythingElseOne) {
    EXPECT_EQ(stopBitsCode(1), 0);
    EXPECT_EQ(stopBitsCode(2), 2);
    EXPECT_EQ(stopBitsCode(3), 0);
    EXPECT_EQ(stopBitsCode(0), 0);
    EXPECT_EQ(stopBitsCode(-2), 0);
}

TEST(LineCodes, ParityLettersIgnoreCaseAndEverythingElseIsNone) {
    EXPECT_EQ(parityCode("E"), 2);
    EXPECT_EQ(parityCode("e"), 2);
    EXPECT_EQ(parityCode("M"), 3);
    EXPECT_EQ(parityCode("n"), 0);
    EXPECT_EQ(parityCode("O"), 1);
    EXPECT_EQ(parityCode("o"), 1);
    EXPECT_EQ(parityCode("S"), 0);  // space parity cannot be chosen
    EXPECT_EQ(parityCode("Even"), 0);
    EXPECT_EQ(parityCode(""), 0);
    EXPECT_EQ(parityCode(nullptr), 0);
    EXPECT_EQ(parityCode("Eeeeeeeeeeeeeeeeeeeeeee"), 0);
}

// ---------------------------------------------------------------------------------------
// The same cases against every profile store of this build.

struct StoreKind {
    const char* name;
    std::function<std::unique_ptr<ProfileStore>()> make;
};

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeFile(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

class SettingsFiles : public ::testing::TestWithParam<StoreKind> {
  protected:
    void SetUp() override {
        static std::atomic<int> serial{0};
        root = fs::temp_directory_path() /
               ("korvel-settings-" +
                std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                std::to_string(serial++) + "-" + GetParam().name);
        fs::remove_all(root);
        configFolder = root / "site" / "config" / "system";
        fs::create_directories(configFolder);
        store = GetParam().make();
        settings = std::make_unique<Settings>(
            *store, environmentOf({{"RZ_ROOT", root.string()}, {"RZ_SYSTEM", "site"}}));
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }

    fs::path deviceFile(int deviceNumber = 10) const {
        return configFolder / deviceFileName(deviceNumber);
    }

    fs::path root;
    fs::path configFolder;
    std::unique_ptr<ProfileStore> store;
    std::unique_ptr<Settings> settings;
};

TEST_P(SettingsFiles, FirstStartWritesEveryKeyWithItsDefault) {
    DeviceSettings device(*settings, 10);
    EXPECT_EQ(device.readWorkstation(), 0);
    const StartupSettings startup = device.readStartup();
    for (int vt = 1; vt <= 9; ++vt) {
        const VtLineSettings line = device.readVt(vt);
        EXPECT_EQ(line.port, 0);
        EXPECT_EQ(line.speed, 38400);
        EXPECT_EQ(line.dataBits, 8);
        EXPECT_EQ(line.stopBits, 0);
        EXPECT_EQ(line.parity, 1);
    }
    const TimeoutSettings timeouts = device.readTimeouts();

    EXPECT_EQ(startup.debugMode, 0);
    EXPECT_EQ(startup.logMode, 0);
    EXPECT_EQ(startup.simulation, 0);
    EXPECT_EQ(startup.shuttle, 80);
    EXPECT_EQ(startup.variable, 64);
    EXPECT_EQ(startup.jog, 32);
    EXPECT_EQ(startup.logToDisk, 0);
    EXPECT_EQ(startup.logKeepDays, 0) << "read only when present, so not written above";
    EXPECT_EQ(timeouts.txTimeoutMs, 250);
    EXPECT_EQ(timeouts.rxTimeoutMs, 250);

    std::string expected =
        "[KORVEL]\r\nDebugMode=0\r\nLogMode=0\r\nSimulation=0\r\nShuttle=80\r\n"
        "Variable=64\r\nJog=32\r\nLogToDisk=0\r\nTxTimeoutmS=250\r\nRxTimeoutmS=250\r\n";
    for (int vt = 1; vt <= 9; ++vt) {
        expected += "[VT" + std::to_string(vt) +
                    "]\r\nPort=0\r\nSpeed=38400\r\nDataBits=8\r\nStopBits=1\r\nParity=O\r\n";
    }
    EXPECT_EQ(readFile(deviceFile()), expected);
    // The workstation file is read, never written.
    EXPECT_FALSE(fs::exists(configFolder / "NTQ.INI"));
}

TEST_P(SettingsFiles, ValuesInTheFileWinAndMissingKeysAreAdded) {
    writeFile(deviceFile(),
              "; site settings\r\n[korvel]\r\n  debugmode =  1  \r\nShuttle=\"120\"\r\n"
              "LogKeepDays=14\r\n"
              "[VT2]\r\nPort=5\r\nSpeed=9600\r\nStopBits=2\r\nParity=e\r\n");
    writeFile(configFolder / "NTQ.INI", "[Network]\r\nWorkstation=7\r\n");
    DeviceSettings device(*settings, 10);

    EXPECT_EQ(device.readWorkstation(), 7);
    const StartupSettings startup = device.readStartup();
    EXPECT_EQ(startup.debugMode, 1);
    EXPECT_EQ(startup.shuttle, 120);
    EXPECT_EQ(startup.jog, 32);
    EXPECT_EQ(startup.logKeepDays, 14);
    const VtLineSettings vt2 = device.readVt(2);
    EXPECT_EQ(vt2.port, 5);
    EXPECT_EQ(vt2.speed, 9600);
    EXPECT_EQ(vt2.dataBits, 8);
    EXPECT_EQ(vt2.stopBits, 2);
    EXPECT_EQ(vt2.parity, 2);

    const std::string text = readFile(deviceFile());
    EXPECT_NE(text.find("; site settings"), std::string::npos);
    EXPECT_NE(text.find("Port=5\r\nSpeed=9600\r\nStopBits=2\r\nParity=e\r\nDataBits=8\r\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("Jog=32"), std::string::npos);
    // Read again: the written-back values read the same.
    EXPECT_EQ(device.readStartup().shuttle, 120);
    EXPECT_EQ(readFile(configFolder / "NTQ.INI"), "[Network]\r\nWorkstation=7\r\n");
}

TEST_P(SettingsFiles, NonsenseInEveryKeyReadsAsZeroOrTheDefaultCode) {
    writeFile(deviceFile(),
              "[VT1]\r\nPort=COM3\r\nSpeed=-38400\r\nDataBits=eight\r\nStopBits=1.5\r\n"
              "Parity=?\r\n[KORVEL]\r\nTxTimeoutmS=99999999999\r\nJog=-5x\r\n");
    DeviceSettings device(*settings, 10);
    const VtLineSettings vt1 = device.readVt(1);
    EXPECT_EQ(vt1.port, 0);
    EXPECT_EQ(vt1.speed, -38400);
    EXPECT_EQ(vt1.dataBits, 0);
    EXPECT_EQ(vt1.stopBits, 0);
    EXPECT_EQ(vt1.parity, 0);
    EXPECT_EQ(device.readStartup().jog, -5);
    EXPECT_EQ(device.readTimeouts().txTimeoutMs, 2147483647);
}

TEST_P(SettingsFiles, ValuesOver255CharactersAreCut) {
    const std::string longValue(400, '7');
    writeFile(deviceFile(), "[KORVEL]\r\nLogMode=" + longValue + "\r\n");
    const char* value =
        settings->readSetting(deviceFileName(10).c_str(), "KORVEL", "LogMode", "0", false);
    EXPECT_EQ(std::string(value), std::string(255, '7'));
}

TEST_P(SettingsFiles, WriteSettingChangesOneKeyInPlace) {
    DeviceSettings device(*settings, 10);
    device.readStartup();
    ASSERT_TRUE(device.writeDebugMode(true));
    EXPECT_EQ(device.readStartup().debugMode, 1);
    const std::string text = readFile(deviceFile());
    EXPECT_EQ(text.find("[KORVEL]\r\nDebugMode=1\r\nLogMode=0\r\n"), 0u) << text;
    ASSERT_TRUE(device.writeDebugMode(false));
    EXPECT_EQ(device.readStartup().debugMode, 0);
}

TEST_P(SettingsFiles, AMissingFolderGivesDefaultsAndCreatesNothing) {
    Settings nowhere(
        *store, environmentOf({{"RZ_ROOT", (root / "absent").string()}, {"RZ_SYSTEM", "site"}}));
    DeviceSettings device(nowhere, 3);
    EXPECT_EQ(device.readStartup().shuttle, 80);
    EXPECT_EQ(device.readVt(9).speed, 38400);
    EXPECT_EQ(device.readTimeouts().txTimeoutMs, 250);
    EXPECT_FALSE(device.writeDebugMode(true));
    EXPECT_FALSE(fs::exists(root / "absent"));
}

TEST_P(SettingsFiles, AFileThatCannotBeWrittenGivesDefaultsAndStartUpGoesOn) {
    fs::create_directories(deviceFile());  // a folder where the file should be
    DeviceSettings device(*settings, 10);
    EXPECT_EQ(device.readStartup().variable, 64);
    EXPECT_EQ(device.readVt(1).dataBits, 8);
    EXPECT_FALSE(device.writeDebugMode(true));
    EXPECT_TRUE(fs::is_directory(deviceFile()));
}

// The package's commented example, renamed for a device, is a settings file like any other:
// its comments hide no key, every key reads as its default, and the keys a site edits there
// take effect.
TEST_P(SettingsFiles, TheCommentedExampleReadsAsTheDefaultsAndTakesASitesEdits) {
    const std::string example = commentedSettingsExample();
    std::istringstream lines(example);
    std::string line;
    std::string previous;
    int keys = 0;
    while (std::getline(lines, line)) {
        ASSERT_EQ(line.back(), '\r');
        if (line.find('=') != std::string::npos) {
            ++keys;
            EXPECT_NE(line[0], ';') << "a comment a reader would take for a key: " << line;
            EXPECT_EQ(previous[0], ';') << "a key without its comment: " << line;
        }
        previous = line;
    }
    EXPECT_EQ(keys, 13 + 2 * 5);  // KORVEL, and VT1 and VT2 in full

    writeFile(deviceFile(), example);
    DeviceSettings device(*settings, 10);
    const StartupSettings startup = device.readStartup();
    EXPECT_EQ(startup.shuttle, 80);
    EXPECT_EQ(startup.logKeepDays, 0);
    EXPECT_EQ(startup.waitForPorts, 0);
    EXPECT_EQ(device.readVt(1).port, 0);
    EXPECT_EQ(device.readVt(1).parity, 1);
    EXPECT_EQ(device.readTimeouts().txTimeoutMs, 250);

    std::string edited = example;
    const auto set = [&](const std::string& from, const std::string& to) {
        edited.replace(edited.find(from), from.size(), to);
    };
    set("\r\nWaitForPorts=0\r\n", "\r\nWaitForPorts=1\r\n");
    set("\r\nPort=0\r\n", "\r\nPort=7\r\n");  // VT1's
    set("\r\nLogKeepDays=0\r\n", "\r\nLogKeepDays=30\r\n");
    writeFile(deviceFile(), edited);
    DeviceSettings site(*settings, 10);
    EXPECT_EQ(site.readStartup().waitForPorts, 1);
    EXPECT_EQ(site.readStartup().logKeepDays, 30);
    EXPECT_EQ(site.readVt(1).port, 7);
    EXPECT_EQ(site.readVt(2).port, 0);
}

TEST_P(SettingsFiles, TheReadBufferIsSharedUntilTheNextRead) {
    writeFile(deviceFile(), "[KORVEL]\r\nShuttle=11\r\nJog=22\r\n");
    const char* first =
        settings->readSetting(deviceFileName(10).c_str(), "KORVEL", "Shuttle", "80", false);
    EXPECT_STREQ(first, "11");
    const char* second =
        settings->readSetting(deviceFileName(10).c_str(), "KORVEL", "Jog", "32", false);
    EXPECT_EQ(first, second);
    EXPECT_STREQ(second, "22");
}

std::string storeName(const ::testing::TestParamInfo<StoreKind>& info) {
    return info.param.name;
}

std::vector<StoreKind> storesOfThisBuild() {
    std::vector<StoreKind> kinds;
    kinds.push_back({"portable", [] { return std::make_unique<IniProfileStore>(); }});
#ifdef _WIN32
    kinds.push_back({"win32", [] { return std::make_unique<Win32ProfileStore>(); }});
#endif
    return kinds;
}

INSTANTIATE_TEST_SUITE_P(Stores, SettingsFiles, ::testing::ValuesIn(storesOfThisBuild()),
                         storeName);

}  // namespace
}  // namespace korvel::config

namespace korvel::config {
namespace {

// How a hand-edited file reads: the cases a site engineer's editing produces, with the
// values the Windows calls give. Each store of the build must read them the same way.
struct ReadCase {
    const char* file;
    const char* section;
    const char* key;
    const char* expected;  // with the default "dflt"
};

const ReadCase kReadCases[] = {
    {"[ VT1 ]\r\n  Port =  3  \r\n", "vt1", "PORT", "3"},
    {"[VT1]\r\nParity=\"e\"\r\n", "VT1", "Parity", "e"},
    {"[VT1]\r\nParity='m'\r\n", "VT1", "Parity", "m"},
    {"[VT1]\r\nParity=\"\r\n", "VT1", "Parity", "\""},
    {"[VT1]\r\nParity=\"e'\r\n", "VT1", "Parity", "\"e'"},
    {"[VT1]\r\nPort\r\n", "VT1", "Port", "dflt"},
    {"[VT1]\r\nPort=\r\n", "VT1", "Port", ""},
    {"[VT1]\r\nPort=a=b\r\n", "VT1", "Port", "a=b"},
    {"[VT1]\nPort=4\n[VT2]\nPort=5\n", "VT2", "Port", "5"},
    {"[VT1]\r\nPort=4\r\n[VT1]\r\nSpeed=9600\r\n", "VT1", "Speed", "dflt"},
    {"[VT1]\r\nPort=4\r\nPort=6\r\n", "VT1", "Port", "4"},
    {"Port=7\r\n[VT1]\r\n", "VT1", "Port", "dflt"},
    {"[VT2]\r\nPort=7\r\n", "VT1", "Port", "dflt"},
    {"; comment\r\n\r\n[VT1]\r\n\r\n; Port=1\r\nPort=2\r\n", "VT1", "Port", "2"},
    {"", "VT1", "Port", "dflt"},
};

class HandEditedFiles : public SettingsFiles {};

TEST_P(HandEditedFiles, ReadAsTheWindowsCallsReadThem) {
    const std::string name = deviceFileName(10);
    for (const ReadCase& c : kReadCases) {
        writeFile(deviceFile(), c.file);
        char value[256] = {};
        store->read(settings->pathOf(name.c_str()), c.section, c.key, "dflt", value, sizeof value);
        EXPECT_STREQ(value, c.expected) << "file: " << c.file;
    }
}

TEST_P(HandEditedFiles, WritesKeepEveryOtherValue) {
    const std::string name = deviceFileName(10);
    writeFile(deviceFile(),
              "; site\r\n\r\n[ VT1 ]\r\nPort = 3\r\n\r\n[KORVEL]\r\nJog='40'\r\n"
              "[VT2]\r\nPort=4\r\n");
    ASSERT_TRUE(settings->writeSetting(name.c_str(), "vt1", "speed", "9600"));
    ASSERT_TRUE(settings->writeSetting(name.c_str(), "VT1", "PORT", "5"));
    ASSERT_TRUE(settings->writeSetting(name.c_str(), "VT3", "Port", "6"));
    auto read = [&](const char* section, const char* key) {
        return std::string(settings->readSetting(name.c_str(), section, key, "dflt", false));
    };
    EXPECT_EQ(read("VT1", "Port"), "5");
    EXPECT_EQ(read("VT1", "Speed"), "9600");
    EXPECT_EQ(read("KORVEL", "Jog"), "40");
    EXPECT_EQ(read("VT2", "Port"), "4");
    EXPECT_EQ(read("VT3", "Port"), "6");
    const std::string text = readFile(deviceFile());
    EXPECT_NE(text.find("; site"), std::string::npos);
    EXPECT_NE(text.find("speed=9600"), std::string::npos) << text;
}

INSTANTIATE_TEST_SUITE_P(Stores, HandEditedFiles, ::testing::ValuesIn(storesOfThisBuild()),
                         storeName);

}  // namespace
}  // namespace korvel::config

namespace korvel::config {
namespace {

// A hand-edited file with every kind of slip, read the way a start reads it (twice, as a
// second VT section or a restart would): each key that is not what it uses is told once,
// with the file, section, key, the text and the value the reading rule gives; the values the
// driver uses stay as before, and good values say nothing.
TEST(SettingWarnings, EachMisreadKeyIsToldOnceWithWhatWasFoundAndWhatIsUsed) {
    korvel::testing::MemoryProfileStore store;
    Settings settings(store, [](const char*) -> const char* { return nullptr; });
    const std::string file = "DEV_004.ini";
    const std::map<std::pair<std::string, std::string>, std::string> values = {
        {{"KORVEL", "DebugMode"}, "1"},
        {{"KORVEL", "LogMode"}, " 2 "},
        {{"KORVEL", "Shuttle"}, "300"},
        {{"KORVEL", "Jog"}, "-5"},
        {{"KORVEL", "HangLimitS"}, "1m"},
        {{"KORVEL", "TxTimeoutmS"}, "250"},
        {{"VT1", "Port"}, "COM5"},
        {{"VT1", "Parity"}, "Odd"},
        {{"VT1", "Speed"}, "38,400"},
        {{"VT1", "StopBits"}, "3"},
        {{"VT2", "Port"}, "22"},
        {{"VT2", "Parity"}, "n"},
        {{"VT2", "Speed"}, "99999999999"},
        {{"VT2", "DataBits"}, "+8"},
        {{"Network", "Workstation"}, "ws12"},
    };
    for (const auto& [where, text] : values) {
        store.set(where.first == "Network" ? "NTQ.INI" : file, where.first.c_str(),
                  where.second.c_str(), text);
    }
    DeviceSettings device(settings, 4);
    std::vector<std::string> told;
    device.setWarningSink(
        [&](const SettingWarning& w) { told.push_back(describeSettingWarning(w)); });
    for (int pass = 0; pass < 2; ++pass) {
        device.readWorkstation();
        const StartupSettings startup = device.readStartup();
        EXPECT_EQ(startup.shuttle, 300);
        EXPECT_EQ(startup.hangLimitS, 1);
        const VtLineSettings vt1 = device.readVt(1);
        EXPECT_EQ(vt1.port, 0);
        EXPECT_EQ(vt1.parity, 0);
        EXPECT_EQ(vt1.speed, 38);
        device.readVt(2);
        for (int n = 3; n <= 9; ++n) device.readVt(n);
        device.readTimeouts();
    }
    const std::vector<std::string> expected = {
        "NTQ.INI [Network] Workstation=\"ws12\": not a whole number; 0 used",
        "DEV_004.ini [KORVEL] Shuttle=\"300\": outside 0 to 255; 300 used",
        "DEV_004.ini [KORVEL] Jog=\"-5\": outside 0 to 255; -5 used",
        "DEV_004.ini [KORVEL] HangLimitS=\"1m\": not a whole number; 1 used",
        "DEV_004.ini [VT1] Port=\"COM5\": not a whole number; 0 used",
        "DEV_004.ini [VT1] Speed=\"38,400\": not a whole number; 38 used",
        "DEV_004.ini [VT1] StopBits=\"3\": outside 1 to 2; 1 used",
        "DEV_004.ini [VT1] Parity=\"Odd\": not one of E, M, N and O; none used",
        "DEV_004.ini [VT2] Speed=\"99999999999\": not a whole number; 2147483647 used",
    };
    EXPECT_EQ(told, expected);
}

}  // namespace
}  // namespace korvel::config
