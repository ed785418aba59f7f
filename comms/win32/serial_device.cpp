// The Win32 back-end: "\\.\COMn" opened for overlapped I/O, a reader thread per port, and
// WM_COMMNOTIFY posted to the owner's window.

#include <windows.h>

#include <cstdio>

#include "comms/backend.h"
#include "comms/win32/device.h"
#include "log/trace.h"
#include "common/timed_message_box.h"

namespace korvel::comms {

namespace {

constexpr DWORD kStartTakeMs = 1000;
constexpr DWORD kStartWaitMs = 60000;
// While the read size is 0 the thread rests this long between looks at keepReading.
constexpr DWORD kIdleMs = 10;
// After a failed read (the device has gone) the thread rests this long, not spinning.
constexpr DWORD kErrorPauseMs = 20;
// Close cancels the reader's pending read and looks again this often until the thread ends,
// for at most kStopLimitMs; then the handle is closed anyway.
constexpr DWORD kStopLookMs = 50;
constexpr DWORD kStopLimitMs = 2000;
constexpr DWORD kReadFailed = 0xFFFFFFFFu;

// What a new reader thread is given; it owns and frees this copy.
struct ReaderStart {
    HANDLE handle;
    PortRecord* record;
    int portIndex;
    HANDLE startSemaphore;
    Device* device;
};

// Finishes a read that was started; the number of bytes it brought.
DWORD finishRead(HANDLE handle, OVERLAPPED& overlapped, BYTE* into, DWORD size) {
    DWORD n = 0;
    if (ReadFile(handle, into, size, &n, &overlapped)) return n;
    if (GetLastError() != ERROR_IO_PENDING) return kReadFailed;
    return GetOverlappedResult(handle, &overlapped, &n, TRUE) ? n : kReadFailed;
}

// The bytes that arrived with the first ones of a read, taken at once: they are already there,
// so the read completes without waiting, and a reply that came in one burst becomes one
// delivery and one notification instead of one per byte.
DWORD takeWaiting(const ReaderStart& start, OVERLAPPED& overlapped, BYTE* into, DWORD room) {
    DWORD errors = 0;
    COMSTAT status{};
    if (room == 0 || !ClearCommError(start.handle, &errors, &status)) return 0;
    if (errors != 0) start.device->heldErrors.fetch_or(errors);
    const DWORD waiting = status.cbInQue < room ? status.cbInQue : room;
    if (waiting == 0) return 0;
    ResetEvent(overlapped.hEvent);
    const DWORD n = finishRead(start.handle, overlapped, into, waiting);
    return n == kReadFailed ? 0 : n;
}

DWORD WINAPI readerThread(void* argument) {
    const ReaderStart start = *static_cast<ReaderStart*>(argument);
    delete static_cast<ReaderStart*>(argument);
    OVERLAPPED overlapped{};
    overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ReleaseSemaphore(start.startSemaphore, 1, nullptr);
    const DWORD exitCode = static_cast<DWORD>(start.portIndex + 100);
    if (overlapped.hEvent == nullptr) {
        // A port without its reader hears nothing: the owner treats it as gone and opens it
        // again, which starts a new reader.
        reportLost(*start.record);
        return exitCode;
    }

    BYTE buffer[kReaderBufferSize];
    auto& keepReading = commsState().keepReading[static_cast<std::size_t>(start.portIndex)];
    const auto reading = [&] { return keepReading.load() != 0 && !start.device->abandoned; };
    while (reading()) {
        const int size = readerReadSize(start.portIndex);
        if (size == 0) {
            Sleep(kIdleMs);  // a read of nothing would return at once, again and again
            continue;
        }
        DWORD n = finishRead(start.handle, overlapped, buffer, static_cast<DWORD>(size));
        if (n != kReadFailed && n > 0) {
            n += takeWaiting(start, overlapped, buffer + n, kReaderBufferSize - n);
            deliverBytes(*start.record, buffer, static_cast<int>(n));
        } else if (reading()) {
            // A failed or empty read: the device may have gone (the adapter pulled). Then
            // the owner hears of it and the thread ends; otherwise it rests, not spinning.
            if (backend::deviceGone(*start.device)) {
                reportLost(*start.record);
                break;
            }
            if (n == kReadFailed) {
                DWORD errors = 0;
                COMSTAT status{};
                ClearCommError(start.handle, &errors, &status);
                PurgeComm(start.handle, PURGE_RXCLEAR);
                Sleep(kErrorPauseMs);
            }
        }
        ResetEvent(overlapped.hEvent);
    }
    CloseHandle(overlapped.hEvent);
    return exitCode;
}

}  // namespace

Device::~Device() {
    if (thread != nullptr) backend::stopReader(*this);
    if (startSemaphore != nullptr) CloseHandle(startSemaphore);
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
}

void DeviceDeleter::operator()(Device* device) const {
    delete device;
}

namespace backend {

OpenResult openDevice(int portNumber, DevicePtr& device) {
    char name[32];
    std::snprintf(name, sizeof name, "\\\\.\\COM%d", portNumber);
    SetLastError(0);
    HANDLE handle = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
    const DWORD error = GetLastError();
    std::snprintf(commsState().lastStatus, sizeof commsState().lastStatus,
                  "CreateFile() returns %#llx",
                  static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(handle)));
    if (handle == INVALID_HANDLE_VALUE) {
        // Windows says access denied for a port another process holds, wine says sharing
        // violation.
        if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION) {
            return OpenResult::alreadyOpen;
        }
        return OpenResult::notFound;
    }
    device.reset(new Device);
    device->handle = handle;
    return OpenResult::opened;
}

std::uintptr_t handleValue(const Device& device) {
    return reinterpret_cast<std::uintptr_t>(device.handle);
}

bool applyLineSettings(Device& device, int speed, int dataBits, int stopBits, int parity) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(device.handle, &dcb)) return false;
    // Exactly these four; flow control and the rest stay as the driver has them.
    dcb.BaudRate = static_cast<DWORD>(speed);
    dcb.ByteSize = static_cast<BYTE>(dataBits);
    dcb.Parity = static_cast<BYTE>(parity);
    dcb.StopBits = static_cast<BYTE>(stopBits);
    return SetCommState(device.handle, &dcb) != 0;
}

bool applyTimeouts(Device& device, const Timeouts& timeouts) {
    COMMTIMEOUTS ct{};
    ct.ReadIntervalTimeout = timeouts.readInterval;
    ct.ReadTotalTimeoutMultiplier = timeouts.readTotalMultiplier;
    ct.ReadTotalTimeoutConstant = timeouts.readTotalConstant;
    ct.WriteTotalTimeoutMultiplier = timeouts.writeTotalMultiplier;
    ct.WriteTotalTimeoutConstant = timeouts.writeTotalConstant;
    return SetCommTimeouts(device.handle, &ct) != 0;
}

bool startReader(Device& device, PortRecord& record, int portIndex) {
    char name[64];
    std::snprintf(name, sizeof name, "Creating Thread for hCom %#llx.\r\n",
                  static_cast<unsigned long long>(handleValue(device)));
    device.startSemaphore = CreateSemaphoreA(nullptr, 1, 1, name);
    if (device.startSemaphore == nullptr) return false;
    WaitForSingleObject(device.startSemaphore, kStartTakeMs);

    auto* start = new ReaderStart{device.handle, &record, portIndex, device.startSemaphore, &device};
    device.thread = CreateThread(nullptr, 0, &readerThread, start, 0, &device.threadId);
    if (device.thread == nullptr) {
        delete start;
        return false;
    }
    device.properties.wPacketLength = 62;
    GetCommProperties(device.handle, &device.properties);
    if (WaitForSingleObject(device.startSemaphore, kStartWaitMs) != WAIT_OBJECT_0) {
        log::trace("Com port [%d] reader thread did not start", portIndex + 1);
        common::timedMessageBox(nullptr,
                               "Comms library very serious internal error. Contact VRAX support",
                               "Comms error", MB_ICONERROR, common::kErrorBoxTimeoutMs);
    }
    return true;
}

bool isReaderThread(const Device& device) {
    return device.thread != nullptr && GetCurrentThreadId() == device.threadId;
}

bool stopReader(Device& device) {
    if (device.thread == nullptr) return true;
    // Cancelling ends a pending read at once with a driver that honours it.
    bool ended = false;
    for (DWORD waited = 0; !ended && waited < kStopLimitMs; waited += kStopLookMs) {
        CancelIoEx(device.handle, nullptr);
        ended = WaitForSingleObject(device.thread, kStopLookMs) == WAIT_OBJECT_0;
    }
    if (!ended) return false;
    CloseHandle(device.thread);
    device.thread = nullptr;
    device.threadId = 0;
    return true;
}

void abandon(Device* device) {
    device->abandoned = true;
    CloseHandle(device->thread);
    device->thread = nullptr;
    CloseHandle(device->handle);
    device->handle = INVALID_HANDLE_VALUE;
    ++commsState().abandonedReaders;
}

int write(Device& device, const std::uint8_t* bytes, int length) {
    OVERLAPPED overlapped{};
    overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (overlapped.hEvent == nullptr) return -1;
    DWORD written = 0;
    int result = -1;
    if (WriteFile(device.handle, bytes, static_cast<DWORD>(length), &written, &overlapped)) {
        result = static_cast<int>(written);
    } else if (GetLastError() == ERROR_IO_PENDING) {
        // Bounded by the write total time-out of the port.
        if (GetOverlappedResult(device.handle, &overlapped, &written, TRUE)) {
            result = static_cast<int>(written);
        }
    }
    CloseHandle(overlapped.hEvent);
    return result;
}

bool purge(Device& device, int flags) {
    return PurgeComm(device.handle, static_cast<DWORD>(flags)) != 0;
}

bool clearError(Device& device, CommStatus* status, ErrorWord* errors) {
    const bool cleared = ClearCommError(device.handle, errors, status) != 0;
    if (!cleared) {
        *errors = 0;
        *status = COMSTAT{};
    }
    *errors |= device.heldErrors.exchange(0);
    return cleared;
}

bool deviceGone(Device& device) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    return GetCommState(device.handle, &dcb) == 0;
}

void postNotification(NotifyWindow window, SerialPort* owner) {
    PostMessageA(window, WM_COMMNOTIFY, 0, reinterpret_cast<LPARAM>(owner));
}

bool isLiveWindow(NotifyWindow window) {
    return window != nullptr && IsWindow(window);
}

}  // namespace backend

}  // namespace korvel::comms
