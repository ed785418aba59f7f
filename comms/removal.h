#pragma once

#include <cstdint>

namespace korvel::comms {

// What a failed call on a port showed, for deciding whether its device has gone.
struct FailedCall {
    // The call's error code (the Win32 last error).
    std::uint32_t error = 0;
    // A status call still failed after the port's error state was cleared.
    bool statusFailsAfterClear = false;
    // Reads that failed in a row, this one included when the call was a read (0 otherwise);
    // aborted ones are not counted (countsAsFailedRead).
    int failedReadsInRow = 0;
};

// Reads that fail in a row, the status calls still answering, before the device counts as
// gone: a serial driver may answer status calls from what it held before the adapter went.
inline constexpr int kFailedReadsOfARemovedDevice = 5;

// True for the error codes that only a device that has gone gives: not connected, no such
// device, device removed, bad command, general failure, invalid handle, access denied, file
// not found.
bool isRemovalError(std::uint32_t error);

// False for a read that was aborted: this program cancelled it or purged it away, which says
// nothing about the device, so it does not add to the failed reads in a row.
bool countsAsFailedRead(std::uint32_t error);

// What a port's reader does once a read has ended. A reader given up by a close may come
// back at any time, when its handle is closed and the value may name the port opened again,
// so it asks whether it is still wanted before every call on the handle.
enum class ReaderStep {
    stop,         // not wanted any more: the handle is not touched again
    deliver,      // bytes came: hand them over
    rest,         // aborted (a cancel, a purge) or empty: no call, no purge, nothing counted
    checkDevice,  // failed: count it, clear the error and ask the status, purge the input
};
ReaderStep readerStepAfterRead(bool wanted, bool failed, std::uint32_t error, int bytes);

// True when the device of the port has gone. A line error (a deck powered off and on, a cable
// re-seated) fails calls too, and with abort-on-error every later one, until the error state is
// cleared; an operation ends as aborted when it was cancelled. Neither alone means removal.
bool deviceGone(const FailedCall& call);

}  // namespace korvel::comms
