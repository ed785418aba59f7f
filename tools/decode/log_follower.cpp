#include "tools/decode/log_follower.h"

#include <filesystem>
#include <system_error>

namespace korvel::tools::decode {
namespace {

// "YYYYMMDD.log" or "YYYYMMDD-HH.log": '#' stands for a digit.
bool isDatedLog(const std::string& name, std::string_view pattern) {
    if (name.size() != pattern.size()) return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const bool digit = name[i] >= '0' && name[i] <= '9';
        if (pattern[i] == '#' ? !digit : name[i] != pattern[i]) return false;
    }
    return true;
}

}  // namespace

bool LogFollower::readNew() {
    SharedFile file(path_);
    exists_ = file.isOpen();
    if (!exists_) return false;
    const FileIdentity identity = file.identity();
    const std::int64_t size = file.size();
    if (known_ && (identity != identity_ || size < offset_)) {
        lines_.endOfInput();  // the old file's last line, if it had no line end
        offset_ = 0;
    }
    identity_ = identity;
    known_ = true;
    if (offset_ > 0 && !file.seek(offset_)) return false;  // (a pipe reads from its start)
    bool any = false;
    char buffer[65536];
    for (std::size_t got; (got = file.read(buffer, sizeof buffer)) > 0;) {
        lines_.add(buffer, got);
        offset_ += static_cast<std::int64_t>(got);
        any = true;
    }
    return any;
}

bool LogFollower::moveToNextFile() {
    const std::string next = nextDatedLog(path_);
    if (next.empty()) return false;
    // The disk log writes no more to a file once the next one exists: what came meanwhile is
    // the file's last lines.
    readNew();
    lines_.endOfInput();
    path_ = next;
    known_ = false;
    offset_ = 0;
    return true;
}

std::string nextDatedLog(const std::string& path) {
    namespace fs = std::filesystem;
    const fs::path current(path);
    const std::string name = current.filename().string();
    std::string_view pattern;
    for (std::string_view candidate : {"########.log", "########-##.log"})
        if (isDatedLog(name, candidate)) pattern = candidate;
    if (pattern.empty()) return {};
    fs::path folder = current.parent_path();
    if (folder.empty()) folder = ".";
    std::error_code error;
    fs::directory_iterator entries(folder, error);
    std::string best;
    for (; !error && entries != fs::directory_iterator(); entries.increment(error)) {
        const std::string other = entries->path().filename().string();
        if (isDatedLog(other, pattern) && other > name && (best.empty() || other < best))
            best = other;
    }
    return best.empty() ? std::string() : (current.parent_path() / best).string();
}

}  // namespace korvel::tools::decode
