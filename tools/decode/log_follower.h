#pragma once

#include <cstdint>
#include <string>

#include "tools/decode/line_splitter.h"
#include "tools/decode/shared_file.h"

namespace korvel::tools::decode {

// Reads a log file as it grows, by polling its size and identity (which works the same on
// Windows and Linux, and on network folders): each read hands on what was added since the last
// one. A file replaced under the same name, or cut shorter, is read again from its start. The
// file is open only while it is read, so the driver, a log rotation or a retention can replace
// or delete it meanwhile.
class LogFollower {
  public:
    LogFollower(std::string path, LineSplitter& lines) : path_(std::move(path)), lines_(lines) {}

    // True when the file could be opened at the last read.
    bool exists() const { return exists_; }
    const std::string& path() const { return path_; }

    // Hands on the bytes added since the last read; true when there were any.
    bool readNew();
    // When a dated log of the same kind as this one (YYYYMMDD.log, YYYYMMDD-HH.log) comes after
    // it in the same folder, the disk log has moved on: reads the rest of this file, then goes
    // on with the first such one. True when it moved.
    bool moveToNextFile();

  private:
    std::string path_;
    LineSplitter& lines_;
    bool exists_ = false;
    bool known_ = false;  // identity_ is the file read so far
    FileIdentity identity_;
    std::int64_t offset_ = 0;
};

// The name of the dated log that follows `path` in its folder (the first name of the same
// pattern after it), or empty when there is none or `path` is not a dated log's name.
std::string nextDatedLog(const std::string& path);

}  // namespace korvel::tools::decode
