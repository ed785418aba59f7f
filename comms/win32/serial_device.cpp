// The Win32 back-end: "\\.\COMn" opened for overlapped I/O, a reader thread per port, and
// WM_COMMNOTIFY posted to the owner's window.

#include <windows.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "common/timed_message_box.h"
#include "comms/backend.h"
#include "comms/line_settings.h"
#include "comms/port_writer.h"
#include "comms/removal.h"
#include "comms/win32/device.h"
#include "log/trace.h"

namespace korvel::comms {

namespace {

constexpr DWORD kStartTakeMs = 1000;
constexpr DWORD kStartWaitMs = 60000;
// While the read size is 0 the thread rests this long between looks at keepReading.
constexpr DWORD kIdleMs = 10;
// After a failed read the thread rests this long, not spinning.
constexpr DWORD kErrorPauseMs = 20;
// Close cancels the reader's pending read and looks again this often until the thread ends,
// for at most kStopLimitMs; then the handle is closed anyway.
constexpr DWORD kStopLookMs = 50;
constexpr DWORD kStopLimitMs = 2000;
constexpr DWORD kReadFailed = 0xFFFFFFFFu;
// A write may take this long beyond the port's write time-out before it counts as stuck in
// its serial driver; a cancelled one this long to end. Close waits longer than both together
// for the writer thread.
constexpr DWORD kWriteMarginMs = 500;
constexpr DWORD kCancelWaitMs = 200;

// What a new reader thread is given; it owns and frees this copy.
struct ReaderStart {
    HANDLE handle;
    PortRecord* record;
    int portIndex;
    std::uint32_t generation;
    HANDLE startSemaphore;
    Device* device;
};

// Finishes a read that was started; the number of bytes it brought, or kReadFailed with the
// error.
DWORD finishRead(HANDLE handle, OVERLAPPED& overlapped, BYTE* into, DWORD size, DWORD& error) {
    DWORD n = 0;
    if (ReadFile(handle, into, size, &n, &overlapped)) return n;
    error = GetLastError();
    if (error != ERROR_IO_PENDING) return kReadFailed;
    if (GetOverlappedResult(handle, &overlapped, &n, TRUE)) return n;
    error = GetLastError();
    return kReadFailed;
}

// Clears the port's error state (a line error, and with abort-on-error the refusal of every
// call after it) into *errors and asks for its settings: true when even that fails.
bool statusFailsAfterClear(HANDLE handle, DWORD* errors) {
    COMSTAT status{};
    *errors = 0;
    ClearCommError(handle, errors, &status);
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    return GetCommState(handle, &dcb) == 0;
}

// Whether a call that failed with this error on the main thread shows the device gone; a line
// error it clears is kept for the owner's next status call.
bool failureShowsRemoval(Device& device, DWORD error) {
    FailedCall call;
    call.error = error;
    if (!isRemovalError(error)) {
        DWORD errors = 0;
        call.statusFailsAfterClear = statusFailsAfterClear(device.handle, &errors);
        if (errors != 0) device.heldErrors.fetch_or(errors);
    }
    return deviceGone(call);
}

// The bytes that arrived with the first ones of a read, taken at once: they are already there,
// so the read completes without waiting, and a reply that came in one burst becomes one
// delivery and one notification instead of one per byte.
template <typename Wanted>
DWORD takeWaiting(const ReaderStart& start, OVERLAPPED& overlapped, BYTE* into, DWORD room,
                  const Wanted& wanted) {
    DWORD errors = 0;
    COMSTAT status{};
    if (room == 0 || !wanted() || !ClearCommError(start.handle, &errors, &status)) return 0;
    if (errors != 0) start.device->heldErrors.fetch_or(errors);
    const DWORD waiting = status.cbInQue < room ? status.cbInQue : room;
    if (waiting == 0 || !wanted()) return 0;
    ResetEvent(overlapped.hEvent);
    DWORD error = ERROR_SUCCESS;
    const DWORD n = finishRead(start.handle, overlapped, into, waiting, error);
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
        reportLost(*start.record, start.generation);
        return exitCode;
    }

    BYTE buffer[kReaderBufferSize];
    // A read may end long after a close gave this reader up (its serial driver ignored the
    // cancellation), when the handle is closed and its value may name the port opened again:
    // the reader looks before every call on the handle.
    const auto wanted = [&] {
        return !start.device->abandoned &&
               readerWanted(start.portIndex, *start.record, start.generation);
    };
    FailedCall failure;
    while (wanted()) {
        const int size = readerReadSize(start.portIndex);
        if (size == 0) {
            Sleep(kIdleMs);  // a read of nothing would return at once, again and again
            continue;
        }
        DWORD error = ERROR_SUCCESS;
        DWORD n = finishRead(start.handle, overlapped, buffer, static_cast<DWORD>(size), error);
        const bool failed = n == kReadFailed;
        const ReaderStep step =
            readerStepAfterRead(wanted(), failed, error, failed ? 0 : static_cast<int>(n));
        if (step == ReaderStep::stop) break;
        if (step == ReaderStep::deliver) {
            failure.failedReadsInRow = 0;
            n += takeWaiting(start, overlapped, buffer + n, kReaderBufferSize - n, wanted);
            if (!deliverBytes(*start.record, start.generation, buffer, static_cast<int>(n))) break;
        } else if (step == ReaderStep::rest) {
            Sleep(kErrorPauseMs);
        } else {
            // A failed read: a line error, or the device has gone (the adapter pulled). Then
            // the owner hears of it and the thread ends; otherwise the error is cleared (and
            // dropped, with what the driver holds) and the thread rests.
            failure.error = error;
            ++failure.failedReadsInRow;
            if (!isRemovalError(failure.error)) {
                if (!wanted()) break;
                DWORD errors = 0;
                COMSTAT status{};
                ClearCommError(start.handle, &errors, &status);
                if (!wanted()) break;
                DCB dcb{};
                dcb.DCBlength = sizeof dcb;
                failure.statusFailsAfterClear = GetCommState(start.handle, &dcb) == 0;
            }
            if (deviceGone(failure)) {
                reportLost(*start.record, start.generation);
                break;
            }
            if (!wanted()) break;
            PurgeComm(start.handle, PURGE_RXCLEAR);
            Sleep(kErrorPauseMs);
        }
        if (!wanted()) break;
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

bool applyLineSettings(Device& device, int speed, int dataBits, int stopBits, int parity) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(device.handle, &dcb)) return false;
    setNinePinLine(dcb, speed, dataBits, stopBits, parity);
    return SetCommState(device.handle, &dcb) != 0;
}

bool applyTimeouts(Device& device, const Timeouts& timeouts) {
    COMMTIMEOUTS ct{};
    ct.ReadIntervalTimeout = timeouts.readInterval;
    ct.ReadTotalTimeoutMultiplier = timeouts.readTotalMultiplier;
    ct.ReadTotalTimeoutConstant = timeouts.readTotalConstant;
    ct.WriteTotalTimeoutMultiplier = timeouts.writeTotalMultiplier;
    ct.WriteTotalTimeoutConstant = timeouts.writeTotalConstant;
    if (!SetCommTimeouts(device.handle, &ct)) return false;
    device.writeTimeouts = timeouts;
    return true;
}

bool startReader(Device& device, PortRecord& record, int portIndex) {
    // Unnamed: a name is shared by the whole session, where another program's port handle
    // may have the same value.
    device.startSemaphore = CreateSemaphoreA(nullptr, 1, 1, nullptr);
    if (device.startSemaphore == nullptr) return false;
    WaitForSingleObject(device.startSemaphore, kStartTakeMs);

    auto* start = new ReaderStart{device.handle,         &record, portIndex, record.generation,
                                  device.startSemaphore, &device};
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
    // Cancelling, or the purge that aborts reads, ends a pending read at once with a driver
    // that honours either.
    bool ended = false;
    for (DWORD waited = 0; !ended && waited < kStopLimitMs; waited += kStopLookMs) {
        CancelIoEx(device.handle, nullptr);
        PurgeComm(device.handle, PURGE_RXABORT);
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
    // The thread handle is kept, to see when the thread ends after all.
    // The thread released it when it started and never looks at it again.
    CloseHandle(device->startSemaphore);
    device->startSemaphore = nullptr;
    CloseHandle(device->handle);
    device->handle = INVALID_HANDLE_VALUE;
    ++commsState().abandonedReaders;
}

bool abandonedReaderEnded(Device& device) {
    return device.thread == nullptr || WaitForSingleObject(device.thread, 0) == WAIT_OBJECT_0;
}

void freeAbandoned(Device* device) {
    if (device->thread != nullptr) CloseHandle(device->thread);
    device->thread = nullptr;
    --commsState().abandonedReaders;
    delete device;
}

int write(Device& device, const std::uint8_t* bytes, int length, bool& gone) {
    // Runs on the port's writer thread. A write that its serial driver keeps even after
    // cancelling it may still be completed into its record (and its bytes read) at any time:
    // then both go to the process's list of stuck writes, freed once the driver lets them go.
    // While that list is full no write starts, on any port: a stuck adapter holds a bounded
    // number of buffers and events however often its port is opened again.
    struct PendingWrite final : StuckWrites::Entry {
        ~PendingWrite() override {
            if (overlapped.hEvent != nullptr) CloseHandle(overlapped.hEvent);
        }
        bool finished() override { return HasOverlappedIoCompleted(&overlapped); }
        OVERLAPPED overlapped{};
        std::vector<std::uint8_t> bytes;
    };
    if (!stuckWrites().roomForAnother()) {
        log::trace("Com port write refused: %u writes still held by their serial drivers",
                   static_cast<unsigned>(StuckWrites::kLimit));
        gone = true;
        return -1;
    }
    auto pending = std::make_unique<PendingWrite>();
    pending->bytes.assign(bytes, bytes + length);
    OVERLAPPED& overlapped = pending->overlapped;
    overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (overlapped.hEvent == nullptr) return -1;
    DWORD written = 0;
    if (WriteFile(device.handle, pending->bytes.data(), static_cast<DWORD>(length), &written,
                  &overlapped)) {
        return static_cast<int>(written);
    }
    if (const DWORD error = GetLastError(); error != ERROR_IO_PENDING) {
        gone = failureShowsRemoval(device, error);
        return -1;
    }
    // The port's write time-out ends the write; one that a serial driver holds past it and a
    // margin is cancelled, and the port is taken as lost: the owner opens it again.
    const DWORD limit = kWriteTimeoutMs + kWriteMarginMs;
    if (WaitForSingleObject(overlapped.hEvent, limit) == WAIT_OBJECT_0) {
        if (GetOverlappedResult(device.handle, &overlapped, &written, FALSE)) {
            return static_cast<int>(written);
        }
        gone = failureShowsRemoval(device, GetLastError());
        return -1;
    }
    log::trace("Com port write still pending after %lu ms: cancelled",
               static_cast<unsigned long>(limit));
    gone = true;
    // A close that gave this thread up has closed the handle, whose value may already name
    // another port: the cancel is left out then.
    if (!device.abandoned) CancelIoEx(device.handle, &overlapped);
    if (WaitForSingleObject(overlapped.hEvent, kCancelWaitMs) != WAIT_OBJECT_0) {
        std::unique_ptr<StuckWrites::Entry> entry = std::move(pending);
        if (!stuckWrites().keep(entry)) static_cast<void>(entry.release());  // left to the driver
    }
    return -1;
}

bool purge(Device& device, int flags) {
    return PurgeComm(device.handle, static_cast<DWORD>(flags)) != 0;
}

bool clearError(Device& device, CommStatus* status, ErrorWord* errors, bool& gone) {
    const bool cleared = ClearCommError(device.handle, errors, status) != 0;
    if (!cleared) {
        gone = failureShowsRemoval(device, GetLastError());
        *errors = 0;
        *status = COMSTAT{};
    }
    *errors |= device.heldErrors.exchange(0);
    return cleared;
}

void postNotification(NotifyWindow window, SerialPort* owner) {
    PostMessageA(window, WM_COMMNOTIFY, 0, reinterpret_cast<LPARAM>(owner));
}

bool isLiveWindow(NotifyWindow window) {
    return window != nullptr && IsWindow(window);
}

}  // namespace backend

}  // namespace korvel::comms
