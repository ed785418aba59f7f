// The serial library on its Win32 back-end under wine, against the deck emulator: COM21 and
// COM22 are links in the wine prefix to two emulated decks (scripts/test starts it, with its
// control FIFO at $KORVEL_DECK_CONTROL), COM23 is a link to a plain file and COM29 is no
// device at all.

#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "comms/comms.h"
#include "comms/port_table.h"
#include "comms/serial_port.h"
#include "comms/serial_registry.h"
#include "comms/win32/device.h"

namespace korvel::comms {
namespace {

constexpr int kDeckPort = 21;
constexpr int kSecondDeckPort = 22;
constexpr int kMissingPort = 29;
// Wine refuses a second process only for a regular file (error 32), not for a terminal, so
// the port another process holds is a link to a plain file.
constexpr int kPlainFilePort = 23;
const std::uint8_t kStatusSense[4] = {0x61, 0x20, 0x05, 0x86};  // 5 bytes from byte 0
constexpr std::size_t kStatusReplyLength = 8;                   // 75 20, 5 bytes, checksum

const char* const kHoldReady = "KorvelCommsTestHoldReady";
const char* const kHoldRelease = "KorvelCommsTestHoldRelease";

LRESULT CALLBACK testWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMNOTIFY) {
        serialDispatch(static_cast<SerialRegistry::Key>(lParam));
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND makeWindow() {
    static const ATOM registered = [] {
        WNDCLASSA wc{};
        wc.lpfnWndProc = &testWindowProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "KorvelCommsTestWindow";
        return RegisterClassA(&wc);
    }();
    if (registered == 0) return nullptr;
    return CreateWindowExA(0, "KorvelCommsTestWindow", "", 0, 0, 0, 10, 10, nullptr, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
}

// Runs the message loop until the condition holds; false after timeoutMs.
template <typename Condition>
bool pumpUntil(Condition condition, DWORD timeoutMs = 3000) {
    const DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > timeoutMs) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    }
    return true;
}

// Reads everything that waits whenever the port notifies, as a VT device does.
class ReplyCollector final : public SerialListener {
  public:
    void onSerialData(SerialPort* port) override {
        ++notifications;
        std::uint8_t buffer[64];
        int n;
        while ((n = port->read(buffer, sizeof buffer)) > 0)
            bytes.insert(bytes.end(), buffer, buffer + n);
    }
    int notifications = 0;
    std::vector<std::uint8_t> bytes;
};

// Sends a control line to the deck emulator through its FIFO.
bool controlDeck(const std::string& line) {
    const char* fifo = std::getenv("KORVEL_DECK_CONTROL");
    if (fifo == nullptr) return false;
    std::string path = std::string("Z:") + fifo;
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    HANDLE control = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, 0, nullptr);
    if (control == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool sent =
        WriteFile(control, line.data(), static_cast<DWORD>(line.size()), &written, nullptr) &&
        written == line.size();
    CloseHandle(control);
    return sent;
}

int unread(SerialPort& port) {
    CommStatus status{};
    ErrorWord errors = 0;
    port.status(&status, &errors);
    return static_cast<int>(status.cbInQue);
}

class Win32CommsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        resetCommsState();
        serialRegistry().clear();
        window = makeWindow();
        ASSERT_NE(window, nullptr);
    }
    void TearDown() override {
        resetCommsState();
        serialRegistry().clear();
        if (window) DestroyWindow(window);
    }

    static HANDLE deviceOf(const SerialPort& port) {
        return portRecord(port.portIndex())->device->handle;
    }

    HWND window = nullptr;
};

TEST_F(Win32CommsTest, AStatusSenseIsAnsweredThroughTheRingAndTheNotification) {
    SerialPort port;
    port.setSpeed(38400);
    port.setDataBits(8);
    port.setStopBits(kOneStopBit);
    port.setParity(kParityOdd);
    ASSERT_EQ(port.open(kDeckPort), 1)
        << "is the deck emulator linked at COM21? " << commsLastStatus();
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    ASSERT_TRUE(GetCommState(deviceOf(port), &dcb));
    EXPECT_EQ(dcb.BaudRate, 38400u);
    EXPECT_EQ(dcb.ByteSize, 8);
    // (A pty keeps no parity setting, so wine reads none back.)
    EXPECT_EQ(dcb.StopBits, ONESTOPBIT);

    ReplyCollector vt;
    serialRegister(&vt, SerialRegistry::keyOf(&port));
    ASSERT_EQ(port.setNotifyWindow(window, 1), 1);
    COMMTIMEOUTS timeouts{};
    ASSERT_TRUE(GetCommTimeouts(deviceOf(port), &timeouts));
    EXPECT_EQ(timeouts.ReadIntervalTimeout, 2u);
    // No total time-out: an idle reader waits for a byte instead of waking every millisecond.
    EXPECT_EQ(timeouts.ReadTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(timeouts.ReadTotalTimeoutConstant, 0u);
    EXPECT_EQ(timeouts.WriteTotalTimeoutConstant, 1000u);

    // The ring's guard has no name that another process could open: not the one after the
    // device handle.
    char guardName[40];
    std::snprintf(
        guardName, sizeof guardName, "%llXBUFSEM",
        static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(deviceOf(port))));
    HANDLE guard = OpenSemaphoreA(SYNCHRONIZE, FALSE, guardName);
    EXPECT_EQ(guard, nullptr) << guardName;
    if (guard) CloseHandle(guard);

    ASSERT_EQ(port.write(kStatusSense, 4), 4);
    ASSERT_TRUE(pumpUntil([&] { return vt.bytes.size() >= kStatusReplyLength; }));
    ASSERT_EQ(vt.bytes.size(), kStatusReplyLength);
    EXPECT_EQ(vt.bytes[0], 0x75);
    EXPECT_EQ(vt.bytes[1], 0x20);
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i + 1 < kStatusReplyLength; ++i) sum += vt.bytes[i];
    EXPECT_EQ(vt.bytes.back(), sum);
    EXPECT_GE(vt.notifications, 1);

    // Another status sense, after the read: notified at once again.
    const int before = vt.notifications;
    ASSERT_EQ(port.write(kStatusSense, 4), 4);
    ASSERT_TRUE(pumpUntil([&] { return vt.bytes.size() >= 2 * kStatusReplyLength; }));
    EXPECT_GT(vt.notifications, before);
}

TEST_F(Win32CommsTest, AMissingPortGivesMinusOneAndAHeldPortMinusTwo) {
    SerialPort missing;
    EXPECT_EQ(missing.open(kMissingPort), -1);
    EXPECT_EQ(commsState().table, nullptr);
    EXPECT_EQ(missing.open(0), -1);
    EXPECT_EQ(missing.open(257), -1);

    // Held by this process: the port table refuses (wine itself would open it twice).
    SerialPort first, second;
    ASSERT_EQ(first.open(kDeckPort), 1);
    EXPECT_EQ(second.open(kDeckPort), -2);
    EXPECT_STREQ(commsLastStatus(), "Serial Port 21 is already open");
    first.close();

    // Held by another process: this test program, started again to hold the port.
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, kHoldReady);
    HANDLE release = CreateEventA(nullptr, TRUE, FALSE, kHoldRelease);
    ASSERT_TRUE(ready && release);
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string commandLine =
        std::string("\"") + self + "\" --hold-port " + std::to_string(kPlainFilePort);
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &si, &pi));
    EXPECT_EQ(WaitForSingleObject(ready, 10000), WAIT_OBJECT_0);
    EXPECT_EQ(second.open(kPlainFilePort), -2);
    EXPECT_STREQ(commsLastStatus(), "Serial Port 23 is already open");
    EXPECT_EQ(commsState().table, nullptr);
    SetEvent(release);
    WaitForSingleObject(pi.hProcess, 10000);
    DWORD holderExit = 99;
    GetExitCodeProcess(pi.hProcess, &holderExit);
    EXPECT_EQ(holderExit, 0u);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    CloseHandle(ready);
    CloseHandle(release);
    // Free now, but a file has no line settings: not a port.
    EXPECT_EQ(second.open(kPlainFilePort), -1);
    EXPECT_EQ(commsState().table, nullptr);
    EXPECT_EQ(second.open(kSecondDeckPort), 1);
}

TEST_F(Win32CommsTest, PurgeEmptiesTheRingAndAReopenedPortWorks) {
    SerialPort port;
    port.setSpeed(38400);
    ASSERT_EQ(port.open(kSecondDeckPort), 1);
    ASSERT_EQ(port.setNotifyWindow(window, 1), 1);  // nobody registered: messages are ignored
    ASSERT_EQ(port.write(kStatusSense, 4), 4);
    ASSERT_TRUE(pumpUntil([&] { return unread(port) == static_cast<int>(kStatusReplyLength); }));
    EXPECT_NE(port.purge(kPurgeTxClear | kPurgeRxClear), 0);
    EXPECT_EQ(unread(port), 0);
    std::uint8_t buffer[16];
    EXPECT_EQ(port.read(buffer, sizeof buffer), 0);

    port.close();
    EXPECT_EQ(commsState().table, nullptr);
    const std::uint8_t frame[4] = {0x20, 0x01, 0x00, 0x21};
    EXPECT_EQ(port.write(frame, 4), -1);  // closed: nothing reaches the device

    ASSERT_EQ(port.open(kSecondDeckPort), 1);
    ASSERT_EQ(port.setNotifyWindow(window, 1), 1);
    ASSERT_EQ(port.write(kStatusSense, 4), 4);
    ASSERT_TRUE(pumpUntil([&] { return unread(port) == static_cast<int>(kStatusReplyLength); }));
    ASSERT_EQ(port.read(buffer, sizeof buffer), static_cast<int>(kStatusReplyLength));
    EXPECT_EQ(buffer[0], 0x75);
}

TEST_F(Win32CommsTest, APortThatVanishesWhileOpenClosesCleanly) {
    SerialPort port;
    ASSERT_EQ(port.open(kSecondDeckPort), 1);
    ASSERT_EQ(port.setNotifyWindow(window, 1), 1);
    ASSERT_TRUE(controlDeck("deck 2 fault closed\n")) << "no deck emulator control FIFO";
    // Once the pty has gone, writes fail and the reader thread meets read errors.
    ASSERT_TRUE(pumpUntil([&] { return port.write(kStatusSense, 4) < 0; }));
    EXPECT_TRUE(pumpUntil([&] { return port.isLost(); }));
    pumpUntil([] { return false; }, 50);
    port.close();
    EXPECT_EQ(commsState().table, nullptr);

    ASSERT_TRUE(controlDeck("deck 2 clear\n"));  // the deck is back, on a new pty
    ASSERT_TRUE(pumpUntil([&] { return port.open(kSecondDeckPort) == 1; }));
    ReplyCollector vt;
    serialRegister(&vt, SerialRegistry::keyOf(&port));
    ASSERT_EQ(port.setNotifyWindow(window, 1), 1);
    ASSERT_EQ(port.write(kStatusSense, 4), 4);
    ASSERT_TRUE(pumpUntil([&] { return vt.bytes.size() >= kStatusReplyLength; }));
    EXPECT_EQ(vt.bytes[0], 0x75);
}

// The other process of the held-port test: opens the port and keeps it until released.
int holdPort(int portNumber) {
    char name[32];
    std::snprintf(name, sizeof name, "\\\\.\\COM%d", portNumber);
    HANDLE port = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OVERLAPPED, nullptr);
    HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, kHoldReady);
    HANDLE release = OpenEventA(SYNCHRONIZE, FALSE, kHoldRelease);
    if (port == INVALID_HANDLE_VALUE || !ready || !release) return 1;
    SetEvent(ready);
    WaitForSingleObject(release, 10000);
    CloseHandle(port);
    return 0;
}

}  // namespace
}  // namespace korvel::comms

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--hold-port") == 0) {
        return korvel::comms::holdPort(std::atoi(argv[2]));
    }
    ::testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}
