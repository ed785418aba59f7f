#include "tools/portcheck/port_list.h"

#include <algorithm>
#include <set>

#include "comms/comms.h"
#include "tools/portcheck/options.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace korvel::tools::portcheck {

std::vector<int> portsToTry(const std::vector<ListedPort>& listed) {
    std::set<int> numbers;
    for (const ListedPort& port : listed)
        if (port.number >= 1 && port.number <= comms::kPortCount) numbers.insert(port.number);
    for (int n = 1; n <= comms::kPortCount; ++n) numbers.insert(n);
    return {numbers.begin(), numbers.end()};
}

#ifdef _WIN32
namespace {

// An open registry key, closed at the end of its scope.
class Key {
  public:
    Key(HKEY parent, const std::string& path) {
        if (RegOpenKeyExA(parent, path.c_str(), 0, KEY_READ, &key_) != ERROR_SUCCESS)
            key_ = nullptr;
    }
    ~Key() {
        if (key_ != nullptr) RegCloseKey(key_);
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;

    explicit operator bool() const { return key_ != nullptr; }
    HKEY get() const { return key_; }

    std::optional<std::string> text(const char* name) const {
        char buffer[512];
        DWORD size = sizeof buffer - 1;
        DWORD type = 0;
        if (RegQueryValueExA(key_, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
                ERROR_SUCCESS ||
            (type != REG_SZ && type != REG_EXPAND_SZ))
            return std::nullopt;
        buffer[std::min<DWORD>(size, sizeof buffer - 1)] = '\0';
        return std::string(buffer);
    }
    std::optional<int> number(const char* name) const {
        DWORD value = 0;
        DWORD size = sizeof value;
        DWORD type = 0;
        if (RegQueryValueExA(key_, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
                ERROR_SUCCESS ||
            type != REG_DWORD)
            return std::nullopt;
        return static_cast<int>(value);
    }
    std::vector<std::string> subkeys() const {
        std::vector<std::string> names;
        char name[256];
        for (DWORD i = 0;; ++i) {
            DWORD size = sizeof name;
            if (RegEnumKeyExA(key_, i, name, &size, nullptr, nullptr, nullptr, nullptr) !=
                ERROR_SUCCESS)
                break;
            names.emplace_back(name, size);
        }
        return names;
    }

  private:
    HKEY key_ = nullptr;
};

// The "COMn" values of the serial device map: every port whose driver is loaded.
void addDeviceMap(std::vector<ListedPort>& ports) {
    Key map(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM");
    if (!map) return;
    char name[256];
    BYTE data[64];
    for (DWORD i = 0;; ++i) {
        DWORD nameSize = sizeof name;
        DWORD dataSize = sizeof data - 1;
        DWORD type = 0;
        if (RegEnumValueA(map.get(), i, name, &nameSize, nullptr, &type, data, &dataSize) !=
            ERROR_SUCCESS)
            break;
        if (type != REG_SZ) continue;
        data[std::min<DWORD>(dataSize, sizeof data - 1)] = '\0';
        const int number = comPortNumber(reinterpret_cast<const char*>(data));
        if (number != 0) ports.push_back({number, {}, {}, {}});
    }
}

// The device instances (Enum\BUS\DEVICE\INSTANCE) whose parameters name a COM port: their
// friendly name, maker and, for FTDI's driver, the latency timer.
void addDeviceNames(std::vector<ListedPort>& ports) {
    const std::string root = "SYSTEM\\CurrentControlSet\\Enum";
    Key enumKey(HKEY_LOCAL_MACHINE, root);
    if (!enumKey) return;
    for (const std::string& bus : enumKey.subkeys()) {
        Key busKey(enumKey.get(), bus);
        if (!busKey) continue;
        for (const std::string& device : busKey.subkeys()) {
            Key deviceKey(busKey.get(), device);
            if (!deviceKey) continue;
            for (const std::string& instance : deviceKey.subkeys()) {
                Key instanceKey(deviceKey.get(), instance);
                Key parameters(instanceKey.get(), "Device Parameters");
                if (!instanceKey || !parameters) continue;
                const int number = comPortNumber(parameters.text("PortName").value_or(""));
                if (number == 0) continue;
                auto port = std::ranges::find(ports, number, &ListedPort::number);
                if (port == ports.end()) port = ports.insert(ports.end(), {number, {}, {}, {}});
                port->adapter = instanceKey.text("FriendlyName")
                                    .value_or(instanceKey.text("DeviceDesc").value_or(""));
                // DeviceDesc and Mfg may be "@file.inf,%name%;Name": keep the name.
                const auto afterSemicolon = [](std::string text) {
                    const auto at = text.rfind(';');
                    return at == std::string::npos ? text : text.substr(at + 1);
                };
                port->adapter = afterSemicolon(port->adapter);
                port->maker = afterSemicolon(instanceKey.text("Mfg").value_or(""));
                port->latencyTimerMs = parameters.number("LatencyTimer");
            }
        }
    }
}

}  // namespace

std::vector<ListedPort> listSystemPorts() {
    std::vector<ListedPort> ports;
    addDeviceMap(ports);
    addDeviceNames(ports);
    std::ranges::sort(ports, {}, &ListedPort::number);
    return ports;
}
#else
std::vector<ListedPort> listSystemPorts() {
    return {};
}
#endif

}  // namespace korvel::tools::portcheck
