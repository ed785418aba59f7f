// korvel-settings-example: writes the settings file that a driver's first start leaves
// behind, every key at its default, with the driver's own settings code (the portable INI
// back-end). The release package carries its output as an example DEV_101.ini. With
// --commented it writes DEV_example.ini instead: the same keys, each explained.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "config/device_settings.h"
#include "config/ini_profile_store.h"
#include "config/settings.h"
#include "config/settings_commented.h"

namespace {

constexpr int kVtCount = 9;

int usage(FILE* out, int status) {
    std::fputs(
        "usage: korvel-settings-example DEVICE FOLDER\n"
        "       korvel-settings-example --commented FOLDER\n"
        "Writes FOLDER/DEV_nnn.ini (which must not exist yet) as the first start of\n"
        "korvel.exe DEVICE writes it: every key of sections KORVEL and VT1 to VT9 at its\n"
        "default. With --commented, FOLDER/DEV_example.ini: every key with a comment on\n"
        "what it does, its range and what sites usually set.\n",
        out);
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        return usage(stdout, 0);
    }
    if (argc != 3) return usage(stderr, 1);
    if (std::strcmp(argv[1], "--commented") == 0) {
        const fs::path path = fs::path(argv[2]) / "DEV_example.ini";
        FILE* file = std::fopen(path.string().c_str(), "wbx");
        const std::string text = korvel::config::commentedSettingsExample();
        if (file == nullptr || std::fwrite(text.data(), 1, text.size(), file) != text.size() ||
            std::fclose(file) != 0) {
            std::fprintf(stderr, "korvel-settings-example: cannot write %s (new)\n",
                         path.string().c_str());
            return 1;
        }
        return 0;
    }
    char* end = nullptr;
    const long number = std::strtol(argv[1], &end, 10);
    if (end == argv[1] || *end != '\0' || number < 1 || number > 99999) {
        std::fprintf(stderr, "korvel-settings-example: not a device number: %s\n", argv[1]);
        return 1;
    }
    const int deviceNumber = static_cast<int>(number);
    std::error_code error;
    fs::current_path(argv[2], error);
    if (error) {
        std::fprintf(stderr, "korvel-settings-example: cannot enter %s: %s\n", argv[2],
                     error.message().c_str());
        return 1;
    }
    const std::string name = korvel::config::deviceFileName(deviceNumber);
    if (fs::exists(name, error)) {
        std::fprintf(stderr, "korvel-settings-example: %s/%s exists already\n", argv[2],
                     name.c_str());
        return 1;
    }

    korvel::config::IniProfileStore store;
    // Without RZ_ROOT and RZ_SYSTEM the bare file name is used: here, in FOLDER.
    korvel::config::Settings settings(store, [](const char*) -> const char* { return nullptr; });
    korvel::config::DeviceSettings device(settings, deviceNumber);
    // A first start's order: the start-up keys, the nine VTs, the time-outs. Every key read
    // is written back, with its default as it was missing.
    device.readStartup();
    for (int vt = 1; vt <= kVtCount; ++vt) device.readVt(vt);
    device.readTimeouts();
    if (!fs::exists(name, error)) {
        std::fprintf(stderr, "korvel-settings-example: %s/%s could not be written\n", argv[2],
                     name.c_str());
        return 1;
    }
    return 0;
}
