#include "tools/decode/shared_file.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace korvel::tools::decode {

#ifdef _WIN32

SharedFile::SharedFile(const std::string& path)
    : handle_(CreateFileA(path.c_str(), GENERIC_READ,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) {}

SharedFile::~SharedFile() {
    if (isOpen()) CloseHandle(handle_);
}

bool SharedFile::isOpen() const {
    return handle_ != INVALID_HANDLE_VALUE;
}

FileIdentity SharedFile::identity() const {
    BY_HANDLE_FILE_INFORMATION info;
    if (!isOpen() || !GetFileInformationByHandle(handle_, &info)) return {};
    return {info.dwVolumeSerialNumber,
            (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

std::int64_t SharedFile::size() const {
    LARGE_INTEGER size;
    if (!isOpen() || !GetFileSizeEx(handle_, &size)) return -1;
    return size.QuadPart;
}

bool SharedFile::seek(std::int64_t offset) {
    LARGE_INTEGER to;
    to.QuadPart = offset;
    return isOpen() && SetFilePointerEx(handle_, to, nullptr, FILE_BEGIN);
}

std::size_t SharedFile::read(char* buffer, std::size_t capacity) {
    DWORD got = 0;
    const DWORD want = capacity > 0x10000000 ? 0x10000000 : static_cast<DWORD>(capacity);
    if (!isOpen() || !ReadFile(handle_, buffer, want, &got, nullptr)) return 0;
    return got;
}

#else

SharedFile::SharedFile(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY)) {}

SharedFile::~SharedFile() {
    if (isOpen()) ::close(fd_);
}

bool SharedFile::isOpen() const {
    return fd_ >= 0;
}

FileIdentity SharedFile::identity() const {
    struct stat info;
    if (!isOpen() || ::fstat(fd_, &info) != 0) return {};
    return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
}

std::int64_t SharedFile::size() const {
    struct stat info;
    if (!isOpen() || ::fstat(fd_, &info) != 0) return -1;
    return static_cast<std::int64_t>(info.st_size);
}

bool SharedFile::seek(std::int64_t offset) {
    return isOpen() && ::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) == offset;
}

std::size_t SharedFile::read(char* buffer, std::size_t capacity) {
    if (!isOpen()) return 0;
    const ssize_t got = ::read(fd_, buffer, capacity);
    return got > 0 ? static_cast<std::size_t>(got) : 0;
}

#endif

}  // namespace korvel::tools::decode
