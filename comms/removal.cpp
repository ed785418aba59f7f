#include "comms/removal.h"

namespace korvel::comms {

namespace {

// The Win32 codes, by value: this decision is made on every platform's tests.
constexpr std::uint32_t kFileNotFound = 2;
constexpr std::uint32_t kAccessDenied = 5;
constexpr std::uint32_t kInvalidHandle = 6;
constexpr std::uint32_t kBadCommand = 22;
constexpr std::uint32_t kGeneralFailure = 31;
constexpr std::uint32_t kNoSuchDevice = 433;
constexpr std::uint32_t kDeviceNotConnected = 1167;
constexpr std::uint32_t kDeviceRemoved = 1617;
constexpr std::uint32_t kOperationAborted = 995;

}  // namespace

bool isRemovalError(std::uint32_t error) {
    switch (error) {
        case kFileNotFound:
        case kAccessDenied:
        case kInvalidHandle:
        case kBadCommand:
        case kGeneralFailure:
        case kNoSuchDevice:
        case kDeviceNotConnected:
        case kDeviceRemoved:
            return true;
        default:
            return false;
    }
}

bool countsAsFailedRead(std::uint32_t error) {
    return error != kOperationAborted;
}

ReaderStep readerStepAfterRead(bool wanted, bool failed, std::uint32_t error, int bytes) {
    if (!wanted) return ReaderStep::stop;
    if (!failed && bytes > 0) return ReaderStep::deliver;
    // A read ended by this program (the port check's purge, a close) says nothing about the
    // line: purging now would throw away the deck's reply that is arriving.
    if (!failed || !countsAsFailedRead(error)) return ReaderStep::rest;
    return ReaderStep::checkDevice;
}

bool deviceGone(const FailedCall& call) {
    return isRemovalError(call.error) || call.statusFailsAfterClear ||
           call.failedReadsInRow >= kFailedReadsOfARemovedDevice;
}

}  // namespace korvel::comms
