#include "config/ini_profile_store.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string_view>
#include <vector>

namespace korvel::config {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    return s;
}

bool equalIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

std::filesystem::path nativePath(const std::string& path) {
#ifdef _WIN32
    return std::filesystem::path(path);
#else
    std::string p = path;
    std::replace(p.begin(), p.end(), '\\', '/');
    return std::filesystem::path(p);
#endif
}

// A parsed view of one line: a section header, a key line, or anything else.
struct Line {
    enum class Kind { kOther, kSection, kKey } kind = Kind::kOther;
    std::string_view name;                  // section or key name, trimmed
    std::optional<std::string_view> value;  // after '=', trimmed; none without '='
};

Line parse(std::string_view text) {
    Line line;
    std::string_view t = trim(text);
    if (t.empty()) return line;
    if (t.front() == '[') {
        line.kind = Line::Kind::kSection;
        t.remove_prefix(1);
        std::size_t close = t.find(']');
        line.name = trim(close == std::string_view::npos ? t : t.substr(0, close));
        return line;
    }
    line.kind = Line::Kind::kKey;
    std::size_t eq = t.find('=');
    if (eq == std::string_view::npos) {
        line.name = t;
    } else {
        line.name = trim(t.substr(0, eq));
        line.value = trim(t.substr(eq + 1));
    }
    return line;
}

std::optional<std::vector<std::string>> loadLines(const std::string& path) {
    std::ifstream in(nativePath(path), std::ios::binary);
    if (!in) return std::nullopt;
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// Where a section's lines are: [header, end) with end at the next header or the file's end.
struct SectionRange {
    std::size_t header = 0;
    std::size_t end = 0;
};

std::optional<SectionRange> findSection(const std::vector<std::string>& lines,
                                        std::string_view section) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        Line l = parse(lines[i]);
        if (l.kind != Line::Kind::kSection || !equalIgnoringCase(l.name, section)) continue;
        std::size_t end = i + 1;
        while (end < lines.size() && parse(lines[end]).kind != Line::Kind::kSection) ++end;
        return SectionRange{i, end};
    }
    return std::nullopt;
}

std::string_view stripQuotes(std::string_view v) {
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
        return v.substr(1, v.size() - 2);
    }
    return v;
}

std::size_t copyCut(std::string_view text, char* buffer, std::size_t size) {
    if (buffer == nullptr || size == 0) return 0;
    std::size_t n = std::min(text.size(), size - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return n;
}

bool saveLines(const std::string& path, const std::vector<std::string>& lines) {
    // Written beside the file and renamed over it, so a failed write never leaves half a file.
    const std::filesystem::path target = nativePath(path);
    std::filesystem::path temporary = target;
    temporary += ".new";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        for (const std::string& line : lines) out << line << "\r\n";
        out.flush();
        if (!out) {
            out.close();
            std::error_code ignored;
            std::filesystem::remove(temporary, ignored);
            return false;
        }
    }
    std::error_code ec;
    std::filesystem::rename(temporary, target, ec);
    if (ec) {
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
        return false;
    }
    return true;
}

}  // namespace

std::size_t IniProfileStore::read(const std::string& path, const char* section, const char* key,
                                  const char* defaultValue, char* buffer, std::size_t size) {
    if (auto lines = loadLines(path); lines && section && key) {
        if (auto range = findSection(*lines, section)) {
            for (std::size_t i = range->header + 1; i < range->end; ++i) {
                Line l = parse((*lines)[i]);
                if (l.kind == Line::Kind::kKey && l.value && equalIgnoringCase(l.name, key)) {
                    return copyCut(stripQuotes(*l.value), buffer, size);
                }
            }
        }
    }
    // The default loses its trailing blanks, as with the Windows call.
    std::string_view fallback = defaultValue ? defaultValue : "";
    while (!fallback.empty() && isBlank(fallback.back())) fallback.remove_suffix(1);
    return copyCut(fallback, buffer, size);
}

bool IniProfileStore::write(const std::string& path, const char* section, const char* key,
                            const char* value) {
    if (section == nullptr || key == nullptr || value == nullptr) return false;
    std::vector<std::string> lines = loadLines(path).value_or(std::vector<std::string>{});

    if (auto range = findSection(lines, section)) {
        std::size_t lastContent = range->header;
        for (std::size_t i = range->header + 1; i < range->end; ++i) {
            Line l = parse(lines[i]);
            if (l.kind != Line::Kind::kKey) continue;
            lastContent = i;
            if (equalIgnoringCase(l.name, key)) {
                lines[i] = std::string(l.name) + "=" + value;  // the key keeps its spelling
                return saveLines(path, lines);
            }
        }
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(lastContent) + 1,
                     std::string(key) + "=" + value);
        return saveLines(path, lines);
    }
    lines.push_back(std::string("[") + section + "]");
    lines.push_back(std::string(key) + "=" + value);
    return saveLines(path, lines);
}

}  // namespace korvel::config
