#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace korvel::tools::decode {

// Which file a name stands for: a file replaced under the same name is another file.
struct FileIdentity {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    bool operator==(const FileIdentity&) const = default;
};

// A file opened for reading only, that others may go on writing, rename or delete meanwhile
// (the driver writes its log while an engineer reads it, and on Windows a file held without
// that sharing could not be replaced). Closed when the object goes.
class SharedFile {
  public:
    explicit SharedFile(const std::string& path);
    ~SharedFile();
    SharedFile(const SharedFile&) = delete;
    SharedFile& operator=(const SharedFile&) = delete;

    bool isOpen() const;
    FileIdentity identity() const;
    std::int64_t size() const;  // -1 when unknown
    bool seek(std::int64_t offset);
    // Bytes read into buffer: 0 at the end of the file or on an error.
    std::size_t read(char* buffer, std::size_t capacity);

  private:
#ifdef _WIN32
    void* handle_;
#else
    int fd_;
#endif
};

}  // namespace korvel::tools::decode
