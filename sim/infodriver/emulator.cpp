#include "sim/infodriver/emulator.h"

#include <cstdio>
#include <cstring>

#include "sim/vraxif32/slot_wire.h"

namespace korvel::sim {
namespace {

// The object a window was created for: kept in the window at its first message, so that
// every later message finds it. Null before that.
template <typename Owner>
Owner* windowOwner(HWND window, UINT message, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    return reinterpret_cast<Owner*>(GetWindowLongPtrA(window, GWLP_USERDATA));
}

constexpr const char* kDeviceClass = "KorvelInfodriverEmulator";
constexpr const char* kControlClass = "KorvelInfodriverEmulatorControl";

// A client that does not answer within this time is reported with "result=none".
constexpr UINT kClientTimeoutMs = 5000;

HWND clientHandle(WPARAM wParam) {
    return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(wParam & 0xFFFFu));
}

std::uint64_t handleValue(HWND window) {
    return reinterpret_cast<std::uintptr_t>(window);
}

// A shared-memory section of one packet, closed with its owner.
class Section {
  public:
    explicit Section(HANDLE handle) : handle_(handle) {
        if (handle_ != nullptr) {
            view_ = MapViewOfFile(handle_, FILE_MAP_WRITE, 0, 0, sizeof(SlotPacket));
        }
    }
    ~Section() {
        if (view_ != nullptr) UnmapViewOfFile(view_);
        if (handle_ != nullptr) CloseHandle(handle_);
    }
    Section(const Section&) = delete;
    Section& operator=(const Section&) = delete;
    void* view() const { return view_; }

  private:
    HANDLE handle_;
    void* view_ = nullptr;
};

}  // namespace

Emulator::Emulator(std::vector<std::uint32_t> deviceNumbers, bool preciseTime)
    : startTick_(GetTickCount64()) {
    LARGE_INTEGER frequency{};
    if (preciseTime && QueryPerformanceFrequency(&frequency) && frequency.QuadPart > 0) {
        counterFrequency_ = static_cast<std::uint64_t>(frequency.QuadPart);
    }
    for (std::uint32_t number : deviceNumbers) {
        auto device = std::make_unique<Device>();
        device->owner = this;
        device->number = number;
        devices_.push_back(std::move(device));
    }
}

Emulator::~Emulator() {
    for (auto& device : devices_) {
        if (device->window != nullptr) DestroyWindow(device->window);
    }
    if (control_ != nullptr) DestroyWindow(control_);
}

bool Emulator::start() {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA deviceClass{};
    deviceClass.lpfnWndProc = &Emulator::deviceProcedure;
    deviceClass.hInstance = instance;
    deviceClass.lpszClassName = kDeviceClass;
    WNDCLASSA controlClass{};
    controlClass.lpfnWndProc = &Emulator::controlProcedure;
    controlClass.hInstance = instance;
    controlClass.lpszClassName = kControlClass;
    if (RegisterClassA(&deviceClass) == 0 || RegisterClassA(&controlClass) == 0) {
        error("cannot register the window classes");
        return false;
    }
    // The control window only takes posted lines: a message-only window.
    control_ =
        CreateWindowExA(0, kControlClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, this);
    if (control_ == nullptr) {
        error("cannot create the control window");
        return false;
    }
    std::string numbers;
    for (auto& device : devices_) {
        // Top-level (hidden): the connect request is broadcast to top-level windows only.
        const std::string title = "Infodriver " + std::to_string(device->number);
        device->window = CreateWindowExA(0, kDeviceClass, title.c_str(), WS_POPUP, 0, 0, 0, 0,
                                         nullptr, nullptr, instance, device.get());
        if (device->window == nullptr) {
            error("cannot create the window of device " + std::to_string(device->number));
            return false;
        }
        if (!numbers.empty()) numbers += ',';
        numbers += std::to_string(device->number);
    }
    emit(event("ready").add("process", GetCurrentProcessId()).add("devices", numbers));
    return true;
}

LRESULT CALLBACK Emulator::deviceProcedure(HWND window, UINT message, WPARAM wParam,
                                           LPARAM lParam) {
    auto* device = windowOwner<Device>(window, message, lParam);
    if (device == nullptr) return DefWindowProcA(window, message, wParam, lParam);
    return device->owner->onDeviceMessage(*device, window, message, wParam, lParam);
}

LRESULT CALLBACK Emulator::controlProcedure(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam) {
    auto* emulator = windowOwner<Emulator>(window, message, lParam);
    if (emulator != nullptr && message == kInputLineMessage) {
        std::unique_ptr<std::string> line(reinterpret_cast<std::string*>(lParam));
        if (wParam != 0) {
            emulator->error("input line longer than " + std::to_string(kMaxInputLine) +
                            " bytes ignored");
        } else {
            emulator->runLine(*line);
        }
        return 0;
    }
    if (emulator != nullptr && message == kInputEndMessage) {
        emulator->runLine("quit");
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// Every window of the emulator runs on one thread, so the hang stops all of them, as a hung
// infodriver process would.
void Emulator::hangIfArmed(Device& device, UINT message, LPARAM lParam) {
    if (device.hangMessage == 0) return;
    if (message == WM_COPYDATA && lParam != 0) {
        message = static_cast<UINT>(reinterpret_cast<const COPYDATASTRUCT*>(lParam)->dwData);
    }
    if (message != device.hangMessage) return;
    device.hangMessage = 0;
    emit(event("hang").add("dev", device.number).add("message", message).add("ms", device.hangMs));
    Sleep(device.hangMs);
}

LRESULT Emulator::onDeviceMessage(Device& device, HWND window, UINT message, WPARAM wParam,
                                  LPARAM lParam) {
    hangIfArmed(device, message, lParam);
    switch (message) {
        case infodriver::IFMSG_CONNECTREQ: {
            // The connect broadcast reaches every device window; the one whose number
            // matches in the low 16 bits answers with its handle.
            if ((static_cast<std::uint64_t>(lParam) & 0xFFFFu) != (device.number & 0xFFFFu)) {
                return 0;
            }
            HWND previous = device.client;
            device.client = clientHandle(wParam);
            EventLine line = event("connect");
            line.add("dev", device.number)
                .addHex("client", handleValue(device.client))
                .add("p1", (static_cast<std::uint64_t>(wParam) >> 16) & 0xFFFFu)
                .add("p2", (static_cast<std::uint64_t>(lParam) >> 16) & 0xFFFFu);
            if (previous != nullptr && previous != device.client) {
                line.addHex("previous", handleValue(previous));
            }
            const auto answer = sendToClient(device, infodriver::IFMSG_PEERWINDOW,
                                             reinterpret_cast<WPARAM>(window), 0);
            emit(line.add("delivered", answer ? "1" : "0"));
            return 0;
        }
        case infodriver::IFMSG_CONNECTEXT:
            if (device.client != clientHandle(wParam)) return 0;
            emit(event("connectext")
                     .add("dev", device.number)
                     .addHex("client", handleValue(device.client))
                     .add("p3", static_cast<std::uint64_t>(lParam) & 0xFFFFu)
                     .add("p4", (static_cast<std::uint64_t>(lParam) >> 16) & 0xFFFFu)
                     .add("result", "0"));
            return 0;
        case infodriver::IFMSG_CONNECTDONE:
        case infodriver::IFMSG_CLIENTREADY: {
            // Broadcasts: only the device this client connected to takes them. The ready
            // acknowledgement spares the client its own ready broadcast.
            if (device.client == nullptr || device.client != clientHandle(wParam)) return 0;
            const auto answer = sendToClient(device, infodriver::IFMSG_READYACK, 1, 0);
            emit(event(message == infodriver::IFMSG_CONNECTDONE ? "connected" : "clientready")
                     .add("dev", device.number)
                     .addHex("client", handleValue(device.client))
                     .add("ack", answer ? "1" : "0"));
            return 0;
        }
        case infodriver::IFMSG_CLIENTGONE:
            emit(event("gone")
                     .add("dev", device.number)
                     .addHex("client", handleValue(device.client))
                     .add("device", static_cast<std::uint64_t>(lParam)));
            device.client = nullptr;
            return 0;
        case WM_COPYDATA:
            return onCopyData(device, reinterpret_cast<const COPYDATASTRUCT*>(lParam));
        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}

LRESULT Emulator::onCopyData(Device& device, const COPYDATASTRUCT* data) {
    if (data == nullptr) return 0;
    const auto packet = readPacket(data->lpData, data->cbData);
    if (!packet) {
        error("device " + std::to_string(device.number) + ": malformed slot packet of " +
              std::to_string(data->cbData) + " bytes refused");
        return 0;
    }
    switch (data->dwData) {
        case infodriver::IFMSG_SLOTWRITE:
        case infodriver::IFMSG_SLOTWRITEALT: {
            const std::string& stored = device.slots.write(packet->slot, packet->text);
            emit(event("write")
                     .add("dev", device.number)
                     .add("slot", packet->slot)
                     .add("message", static_cast<std::uint64_t>(data->dwData))
                     .text(stored));
            return 1;
        }
        case infodriver::IFMSG_SLOTREAD: {
            const bool answered =
                answerRead(device, packet->slot, packet->process, packet->sequence);
            emit(event("read")
                     .add("dev", device.number)
                     .add("slot", packet->slot)
                     .add("answered", answered ? "1" : "0")
                     .text(device.slots.read(packet->slot)));
            return answered ? 1 : 0;
        }
        default:
            error("device " + std::to_string(device.number) + ": slot packet for message " +
                  std::to_string(data->dwData) + " refused");
            return 0;
    }
}

bool Emulator::answerRead(Device& device, std::uint32_t slot, std::uint32_t process,
                          std::uint32_t sequence) {
    const std::string name = mailboxName(MailboxKind::ReadAnswer, process, sequence);
    Section mailbox(OpenFileMappingA(FILE_MAP_WRITE, FALSE, name.c_str()));
    if (mailbox.view() == nullptr) return false;
    const std::string value = device.slots.read(slot);
    SlotPacket answer;
    fillPacket(answer, slot, process, sequence, value.c_str(), value.size());
    std::memcpy(mailbox.view(), &answer, sizeof answer);
    return true;
}

void Emulator::runLine(const std::string& line) {
    if (quitting_) return;  // lines that were queued behind the quit
    const ParsedCommand parsed = parseCommand(line);
    if (!parsed.ok()) {
        error(parsed.error);
        return;
    }
    run(parsed.command);
}

void Emulator::run(const Command& command) {
    switch (command.kind) {
        case CommandKind::None:
            return;
        case CommandKind::Quit:
            emit(event("bye"));
            quitting_ = true;
            PostQuitMessage(0);
            return;
        case CommandKind::Ping:
            emit(event("pong").text(command.text));
            return;
        default:
            break;
    }
    Device* device = find(command.device);
    if (device == nullptr) {
        error("device " + std::to_string(command.device) + " is not served");
        return;
    }
    switch (command.kind) {
        case CommandKind::Write:
            deliverSlotChange(*device, command.slot,
                              device->slots.write(command.slot, command.text));
            return;
        case CommandKind::Read:
            emit(event("value")
                     .add("dev", device->number)
                     .add("slot", command.slot)
                     .text(device->slots.read(command.slot)));
            return;
        case CommandKind::Hang:
            device->hangMessage = command.message;
            device->hangMs = command.milliseconds;
            return;
        case CommandKind::Dump:
            for (const auto& [slot, text] : device->slots.slots()) {
                emit(event("value").add("dev", device->number).add("slot", slot).text(text));
            }
            emit(event("dumped")
                     .add("dev", device->number)
                     .add("count", device->slots.slots().size()));
            return;
        default: {
            const UINT message = messageOf(command.kind);
            const WPARAM wParam = command.kind == CommandKind::DeviceInUse
                                      ? command.code.value_or(device->number)
                                      : 0;
            const auto answer = sendToClient(*device, message, wParam, 0);
            EventLine line = event("answer");
            line.add("dev", device->number).add("message", message);
            if (answer) {
                line.add("result", std::to_string(static_cast<long long>(*answer)));
            } else {
                line.add("result", "none");
            }
            emit(line);
            return;
        }
    }
}

// The text is a copy: the client may write the same slot while it takes the change.
void Emulator::deliverSlotChange(Device& device, std::uint32_t slot, std::string text) {
    EventLine line = event("change");
    line.add("dev", device.number).add("slot", slot);
    std::optional<LRESULT> answer;
    if (device.client != nullptr) {
        // The slot change waits in a mailbox named by the message's wParam (this process)
        // and lParam (its number) until the client's library has copied it.
        const std::uint32_t process = GetCurrentProcessId();
        const std::uint32_t sequence = ++nextMailbox_;
        const std::string name = mailboxName(MailboxKind::SlotChange, process, sequence);
        Section mailbox(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                           sizeof(SlotPacket), name.c_str()));
        if (mailbox.view() != nullptr) {
            SlotPacket packet;
            fillPacket(packet, slot, process, sequence, text.c_str(), text.size());
            std::memcpy(mailbox.view(), &packet, sizeof packet);
            answer = sendToClient(device, infodriver::IFMSG_LIBRARYDATA, process, sequence);
        } else {
            line.add("mailbox", "failed");
        }
    }
    line.add("result",
             answer ? std::to_string(static_cast<long long>(*answer)) : std::string("none"));
    emit(line.text(text));
}

std::optional<LRESULT> Emulator::sendToClient(Device& device, UINT message, WPARAM wParam,
                                              LPARAM lParam) {
    if (device.client == nullptr) return std::nullopt;
    DWORD_PTR answer = 0;
    if (SendMessageTimeoutA(device.client, message, wParam, lParam, SMTO_NORMAL | SMTO_ABORTIFHUNG,
                            kClientTimeoutMs, &answer) == 0) {
        return std::nullopt;
    }
    return static_cast<LRESULT>(answer);
}

Emulator::Device* Emulator::find(std::uint32_t number) {
    for (auto& device : devices_) {
        if (device->number == number) return device.get();
    }
    return nullptr;
}

EventLine Emulator::event(const char* name) const {
    if (counterFrequency_ != 0) {
        LARGE_INTEGER now{};
        QueryPerformanceCounter(&now);
        return EventLine(
            formatPreciseTime(static_cast<std::uint64_t>(now.QuadPart), counterFrequency_), name);
    }
    return EventLine(GetTickCount64() - startTick_, name);
}

void Emulator::emit(const EventLine& line) {
    // stdout is usually a pipe: every line goes out at once.
    std::fputs(line.str().c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void Emulator::error(const std::string& text) {
    emit(event("error").text(text));
}

namespace {

void postLine(HWND control, std::string& line, bool overlong) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    auto* copy = new std::string(std::move(line));
    if (!PostMessageA(control, kInputLineMessage, overlong ? 1 : 0,
                      reinterpret_cast<LPARAM>(copy))) {
        delete copy;
    }
    line.clear();
}

}  // namespace

void readInputLines(HWND control) {
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    std::string line;
    bool overlong = false;
    char chunk[4096];
    DWORD count = 0;
    while (ReadFile(input, chunk, sizeof chunk, &count, nullptr) && count > 0) {
        for (DWORD i = 0; i < count; ++i) {
            if (chunk[i] == '\n') {
                postLine(control, line, overlong);
                overlong = false;
            } else if (line.size() < kMaxInputLine) {
                line += chunk[i];
            } else {
                overlong = true;
            }
        }
    }
    if (!line.empty() || overlong) postLine(control, line, overlong);
    PostMessageA(control, kInputEndMessage, 0, 0);
}

}  // namespace korvel::sim
