// The floor under the driver's latency: the smallest Win32 program that carries a slot command
// to the wire and the deck's answer back into a slot, by the same path as korvel.exe (the
// infodriver's slot change through VRAXIF32.dll to a hidden window, a frame on a COM port, the
// reply, a slot write through the library). No polling, no queue, no status: play ("2") and
// stop ("1") written into slot 1 go out as the 9-pin frame, and on the deck's answer the
// same text is written into slot 2. bench/system_bench runs it after korvel.exe on the same
// emulators and prints both sets of figures side by side.
//
//   korvel-floor.exe FIRST_DEVICE COUNT FIRST_PORT      e.g. 201 9 40
//
// It runs until its standard input ends (or a line arrives), then says goodbye and ends.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/slot_layout.h"
#include "infodriver/infodriver_messages.h"

namespace {

namespace messages = korvel::infodriver;
constexpr UINT kConnectRequest = messages::IFMSG_CONNECTREQ;
constexpr UINT kConnectDone = messages::IFMSG_CONNECTDONE;
constexpr UINT kLibraryData = messages::IFMSG_LIBRARYDATA;
constexpr UINT kClientGone = messages::IFMSG_CLIENTGONE;
constexpr UINT kSlotWrite = messages::IFMSG_SLOTWRITE;
constexpr UINT kSlotChanged = messages::IFMSG_SLOTCHANGED;
constexpr UINT kPeerWindow = messages::IFMSG_PEERWINDOW;
constexpr UINT kReadReply = WM_APP + 1;
constexpr int kMaxVts = 16;

using LibraryData = LRESULT(WINAPI*)(HWND, WPARAM, LPARAM);
using SlotTraffic = LRESULT(WINAPI*)(HWND, UINT, WPARAM, LPARAM, int, int);

struct Vt {
    unsigned device = 0;
    HANDLE port = INVALID_HANDLE_VALUE;
    HWND window = nullptr;
    HWND peer = nullptr;
    char pending[8] = {};  // the slot-1 text whose frame is on the line
    HANDLE writeDone = nullptr;
};

Vt gVts[kMaxVts];
LibraryData gLibraryData = nullptr;
SlotTraffic gSlotTraffic = nullptr;

HANDLE openPort(int number) {
    char name[32];
    std::snprintf(name, sizeof name, "\\\\.\\COM%d", number);
    HANDLE port =
        CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (port == INVALID_HANDLE_VALUE) return port;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    GetCommState(port, &dcb);
    dcb.BaudRate = 38400;
    dcb.ByteSize = 8;
    dcb.Parity = ODDPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fParity = TRUE;
    dcb.fOutxCtsFlow = dcb.fOutxDsrFlow = dcb.fOutX = dcb.fInX = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    SetCommState(port, &dcb);
    // A read waits for its first byte, then ends after a pause of about a character.
    COMMTIMEOUTS timeouts{2, 0, 0, 0, 1000};
    SetCommTimeouts(port, &timeouts);
    PurgeComm(port, PURGE_RXCLEAR | PURGE_TXCLEAR);
    return port;
}

// Each port's reader: the reply's bytes are handed to the window thread as they come.
DWORD WINAPI readPort(void* argument) {
    Vt& vt = *static_cast<Vt*>(argument);
    OVERLAPPED overlapped{};
    overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    for (;;) {
        BYTE bytes[16];
        DWORD got = 0;
        ResetEvent(overlapped.hEvent);
        if (!ReadFile(vt.port, bytes, sizeof bytes, &got, &overlapped) &&
            (GetLastError() != ERROR_IO_PENDING ||
             !GetOverlappedResult(vt.port, &overlapped, &got, TRUE))) {
            return 0;  // the port closed at the end
        }
        if (got > 0) PostMessageA(vt.window, kReadReply, 0, 0);
    }
}

LRESULT CALLBACK vtWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Vt* vt = reinterpret_cast<Vt*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    switch (message) {
        case WM_CREATE: {
            vt = static_cast<Vt*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
            SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(vt));
            vt->window = window;
            const auto own = static_cast<WPARAM>(reinterpret_cast<UINT_PTR>(window) & 0xFFFF);
            DWORD_PTR ignored = 0;
            SendMessageTimeoutA(HWND_BROADCAST, kConnectRequest, own, vt->device & 0xFFFF,
                                SMTO_ABORTIFHUNG, 5000, &ignored);
            if (vt->peer == nullptr) return -1;
            SendMessageTimeoutA(HWND_BROADCAST, kConnectDone, own, 0, SMTO_ABORTIFHUNG, 5000,
                                &ignored);
            return 0;
        }
        case kPeerWindow:
            if (vt != nullptr) vt->peer = reinterpret_cast<HWND>(wParam);
            return 0;
        case kLibraryData:
            return gLibraryData(window, wParam, lParam);
        case kSlotChanged: {
            const char* text = reinterpret_cast<const char*>(lParam);
            if (vt == nullptr || wParam != korvel::engine::kCommandSlot || text == nullptr)
                return 0;
            static const BYTE kStop[3] = {0x20, 0x00, 0x20};
            static const BYTE kPlay[3] = {0x20, 0x01, 0x21};
            const BYTE* frame = std::strcmp(text, "2") == 0   ? kPlay
                                : std::strcmp(text, "1") == 0 ? kStop
                                                              : nullptr;
            if (frame == nullptr) return 0;
            std::snprintf(vt->pending, sizeof vt->pending, "%s", text);
            OVERLAPPED overlapped{};
            overlapped.hEvent = vt->writeDone;
            DWORD written = 0;
            if (!WriteFile(vt->port, frame, 3, &written, &overlapped) &&
                GetLastError() == ERROR_IO_PENDING) {
                GetOverlappedResult(vt->port, &overlapped, &written, TRUE);
            }
            return 0;
        }
        case kReadReply: {
            // The deck has answered the frame on the line (the floor takes any answer).
            if (vt->pending[0] == '\0') return 0;
            char text[8];
            std::snprintf(text, sizeof text, "%s", vt->pending);
            vt->pending[0] = '\0';
            gSlotTraffic(vt->peer, kSlotWrite, korvel::engine::kTransportStateSlot,
                         reinterpret_cast<LPARAM>(text), 1,
                         static_cast<int>(std::strlen(text)) + 1);
            return 0;
        }
        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}

DWORD WINAPI waitForInputEnd(void* mainThread) {
    char line[64];
    std::fgets(line, sizeof line, stdin);
    PostThreadMessageA(static_cast<DWORD>(reinterpret_cast<UINT_PTR>(mainThread)), WM_QUIT, 0, 0);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: korvel-floor.exe FIRST_DEVICE COUNT FIRST_PORT\n");
        return 2;
    }
    const unsigned firstDevice = static_cast<unsigned>(std::atoi(argv[1]));
    const int count = std::atoi(argv[2]);
    const int firstPort = std::atoi(argv[3]);
    if (count < 1 || count > kMaxVts) {
        std::fprintf(stderr, "korvel-floor: COUNT is 1 to %d\n", kMaxVts);
        return 2;
    }
    HMODULE library = LoadLibraryA("VRAXIF32.dll");
    if (library != nullptr) {
        gLibraryData = reinterpret_cast<LibraryData>(
            reinterpret_cast<void*>(GetProcAddress(library, MAKEINTRESOURCEA(1))));
        gSlotTraffic = reinterpret_cast<SlotTraffic>(
            reinterpret_cast<void*>(GetProcAddress(library, MAKEINTRESOURCEA(2))));
    }
    if (gLibraryData == nullptr || gSlotTraffic == nullptr) {
        std::fprintf(stderr, "korvel-floor: VRAXIF32.dll with ordinals 1 and 2 not found\n");
        return 1;
    }
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = &vtWindow;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "extinfospwn";
    RegisterClassA(&windowClass);
    for (int n = 0; n < count; ++n) {
        Vt& vt = gVts[n];
        vt.device = firstDevice + static_cast<unsigned>(n);
        vt.port = openPort(firstPort + n);
        if (vt.port == INVALID_HANDLE_VALUE) {
            std::fprintf(stderr, "korvel-floor: COM%d did not open\n", firstPort + n);
            return 1;
        }
        vt.writeDone = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        if (CreateWindowExA(0, "extinfospwn", "", 0, 0, 0, 0, 0, nullptr, nullptr,
                            windowClass.hInstance, &vt) == nullptr) {
            std::fprintf(stderr, "korvel-floor: no infodriver answered for device %u\n", vt.device);
            return 1;
        }
        CloseHandle(CreateThread(nullptr, 0, &readPort, &vt, 0, nullptr));
    }
    std::printf("korvel-floor: %d VTs connected\n", count);
    std::fflush(stdout);
    CloseHandle(CreateThread(nullptr, 0, &waitForInputEnd,
                             reinterpret_cast<void*>(static_cast<UINT_PTR>(GetCurrentThreadId())),
                             0, nullptr));
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
    for (int n = 0; n < count; ++n) {
        DWORD_PTR ignored = 0;
        SendMessageTimeoutA(gVts[n].peer, kClientGone, 0, gVts[n].device, SMTO_ABORTIFHUNG, 1000,
                            &ignored);
        DestroyWindow(gVts[n].window);
        CloseHandle(gVts[n].port);
    }
    return 0;
}
