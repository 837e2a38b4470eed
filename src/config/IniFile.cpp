#include "config/IniFile.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <utility>

#include "base/SafeFile.h"

namespace {

// One line of the file with its own line end kept, so untouched lines are
// written back exactly as they were.
struct Line {
    std::string text;
    std::string end;
};

struct Parsed {
    bool exists = false;
    int error = 0;
    std::vector<Line> lines;
};

std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
    return s.substr(b, e - b);
}

bool SameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && strncasecmp(a.c_str(), b.c_str(), a.size()) == 0;
}

// The name of a section header line, or nothing.
std::optional<std::string> HeaderName(const std::string& text) {
    std::string t = Trim(text);
    if (t.empty() || t[0] != '[') return std::nullopt;
    size_t close = t.find(']');
    if (close == std::string::npos) return Trim(t.substr(1));
    return Trim(t.substr(1, close - 1));
}

bool IsComment(const std::string& text) {
    std::string t = Trim(text);
    return !t.empty() && t[0] == ';';
}

// Key of a "key=value" line, or nothing for other lines.
std::optional<std::string> KeyOf(const std::string& text) {
    if (IsComment(text)) return std::nullopt;
    size_t eq = text.find('=');
    if (eq == std::string::npos) return std::nullopt;
    return Trim(text.substr(0, eq));
}

std::string ValueOf(const std::string& text) {
    size_t eq = text.find('=');
    return eq == std::string::npos ? std::string() : Trim(text.substr(eq + 1));
}

// A last line may end in a lone CR: what follows must start a line of its own.
bool EndsLine(const Line& line) {
    return !line.end.empty() && line.end.back() == '\n';
}

Parsed Load(const std::string& file) {
    Parsed p;
    // Non-blocking open, so a FIFO put in the file's place cannot hang us.
    int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        p.error = errno;
        return p;
    }
    struct stat st {};
    FileRead read;
    if (::fstat(fd, &st) != 0)
        read.error = errno;
    else if (S_ISDIR(st.st_mode))
        read.error = EISDIR;
    else if (!S_ISREG(st.st_mode))
        read.error = kFileNotRegular;
    else
        read = ReadFdBounded(fd, kIniMaxFile);
    ::close(fd);
    p.error = read.error;
    const std::string& data = read.bytes;
    p.exists = p.error == 0;
    if (!p.exists) return p;
    size_t pos = 0;
    while (pos < data.size()) {
        size_t nl = data.find('\n', pos);
        const bool lf = nl != std::string::npos;
        std::string text = data.substr(pos, lf ? nl - pos : std::string::npos);
        pos = lf ? nl + 1 : data.size();
        const bool cr = !text.empty() && text.back() == '\r';
        if (cr) text.pop_back();
        // Built by construction: assigning short literals trips a GCC 12 false warning.
        p.lines.push_back(
            Line{std::move(text), std::string(cr ? (lf ? "\r\n" : "\r") : (lf ? "\n" : ""))});
    }
    return p;
}

// The whole file in one replace: a failure leaves the old file as it was.
int Save(const std::string& file, const std::vector<Line>& lines) {
    // A file the user made read-only stays as it is, as with an in-place write.
    if (::access(file.c_str(), F_OK) == 0 && ::access(file.c_str(), W_OK) != 0) return errno;
    std::string data;
    for (const Line& l : lines) data += l.text + l.end;
    return ReplaceFile(file, data);
}

// [first, last) line range of the first section with that name: header excluded.
struct Range {
    size_t header, begin, end;
};

std::optional<Range> FindSection(const std::vector<Line>& lines, const std::string& section) {
    for (size_t i = 0; i < lines.size(); ++i) {
        auto name = HeaderName(lines[i].text);
        if (!name || !SameName(*name, section)) continue;
        size_t e = i + 1;
        while (e < lines.size() && !HeaderName(lines[e].text)) ++e;
        return Range{i, i + 1, e};
    }
    return std::nullopt;
}

std::optional<size_t> FindKey(const std::vector<Line>& lines, const Range& r,
                              const std::string& key) {
    for (size_t i = r.begin; i < r.end; ++i) {
        auto k = KeyOf(lines[i].text);
        if (k && SameName(*k, key)) return i;
    }
    return std::nullopt;
}

std::optional<std::string> Lookup(const std::string& file, const std::string& section,
                                  const std::string& key) {
    Parsed p = Load(file);
    auto r = FindSection(p.lines, section);
    if (!r) return std::nullopt;
    auto k = FindKey(p.lines, *r, key);
    if (!k) return std::nullopt;
    return ValueOf(p.lines[*k].text);
}

// Walks a list of zero-terminated items the way the fixed-size readers do:
// the list ends at the first double zero; each item is collected in a buffer
// of kIniMaxName + 1 bytes.
std::vector<std::string> WalkList(const std::vector<std::string>& items, size_t bufferSize) {
    std::string list;
    for (const std::string& item : items) {
        std::string cut = item.substr(0, kIniMaxName);
        if (list.size() + cut.size() + 1 > bufferSize - 1) break;  // room for the final zero
        list += cut;
        list += '\0';
    }
    std::string buffer(bufferSize, '\0');
    list.copy(buffer.data(), list.size());
    size_t end = 0;
    while (end + 1 < bufferSize && !(buffer[end] == '\0' && buffer[end + 1] == '\0')) ++end;
    std::vector<std::string> out;
    std::string current;
    for (size_t i = 0; i <= end && i < bufferSize; ++i) {
        if (buffer[i] == '\0') {
            out.push_back(current);
            current.clear();
        } else {
            current += buffer[i];
        }
    }
    return out;
}

std::string CleanValue(const std::string& value) {
    // A line break would split the entry and corrupt the file.
    size_t cut = value.find_first_of("\r\n");
    return cut == std::string::npos ? value : value.substr(0, cut);
}

}  // namespace

CIniFile::CIniFile(std::string path) : m_path(std::move(path)) {}

std::string CIniFile::FileName() const {
    if (m_path.size() >= 2 && m_path[0] == '.' && m_path[1] == '\\') return "./" + m_path.substr(2);
    return m_path;
}

int CIniFile::WriteString(const std::string& section, const std::string& key,
                          const std::string& value, bool create) const {
    if (!create) {
        char probe[sizeof kIniNoneValue + 1];
        ReadStringInto(section, key, kIniNoneValue, probe, sizeof probe);
        if (std::strcmp(probe, kIniNoneValue) == 0) return 1;
    }
    const std::string file = FileName();
    Parsed p = Load(file);
    if (!p.exists && p.error != ENOENT) return p.error;
    const std::string entry = key + "=" + CleanValue(value);
    auto& lines = p.lines;
    auto r = FindSection(lines, section);
    if (r) {
        if (auto k = FindKey(lines, *r, key)) {
            // The key keeps the spelling the file has.
            lines[*k].text = *KeyOf(lines[*k].text) + "=" + CleanValue(value);
        } else {
            // After the section's last line that is not blank.
            size_t at = r->end;
            while (at > r->begin && Trim(lines[at - 1].text).empty()) --at;
            if (at > 0 && !EndsLine(lines[at - 1])) lines[at - 1].end = "\r\n";
            lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), Line{entry, "\r\n"});
        }
    } else {
        if (!lines.empty() && !EndsLine(lines.back())) lines.back().end = "\r\n";
        lines.push_back(Line{"[" + section + "]", "\r\n"});
        lines.push_back(Line{entry, "\r\n"});
    }
    return Save(file, lines);
}

int CIniFile::ReplaceSection(
    const std::string& section,
    const std::vector<std::pair<std::string, std::string>>& entries) const {
    const std::string file = FileName();
    Parsed p = Load(file);
    if (!p.exists && p.error != ENOENT) return p.error;
    auto& lines = p.lines;
    while (auto r = FindSection(lines, section))
        lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(r->header),
                    lines.begin() + static_cast<std::ptrdiff_t>(r->end));
    if (!lines.empty() && !EndsLine(lines.back())) lines.back().end = "\r\n";
    lines.push_back(Line{"[" + section + "]", "\r\n"});
    for (const auto& [key, value] : entries)
        lines.push_back(Line{key + "=" + CleanValue(value), "\r\n"});
    return Save(file, lines);
}

std::string CIniFile::ReadString(const std::string& section, const std::string& key) const {
    return Lookup(FileName(), section, key).value_or(std::string());
}

bool CIniFile::ReadStringInto(const std::string& section, const std::string& key,
                              const std::string& defaultText, char* buffer, size_t size) const {
    if (!buffer || size == 0) return true;
    std::string value = Lookup(FileName(), section, key).value_or(defaultText);
    size_t n = std::min(value.size(), size - 1);
    value.copy(buffer, n);
    buffer[n] = '\0';
    return true;
}

int CIniFile::DeleteSection(const std::string& section) const {
    const std::string file = FileName();
    Parsed p = Load(file);
    if (!p.exists) return p.error == ENOENT ? 0 : p.error;
    bool changed = false;
    while (auto r = FindSection(p.lines, section)) {
        p.lines.erase(p.lines.begin() + static_cast<std::ptrdiff_t>(r->header),
                      p.lines.begin() + static_cast<std::ptrdiff_t>(r->end));
        changed = true;
    }
    return changed ? Save(file, p.lines) : 0;
}

int CIniFile::DeleteKey(const std::string& section, const std::string& key) const {
    const std::string file = FileName();
    Parsed p = Load(file);
    if (!p.exists) return p.error == ENOENT ? 0 : p.error;
    auto r = FindSection(p.lines, section);
    if (!r) return 0;
    auto k = FindKey(p.lines, *r, key);
    if (!k) return 0;
    p.lines.erase(p.lines.begin() + static_cast<std::ptrdiff_t>(*k));
    return Save(file, p.lines);
}

int CIniFile::DeleteAllSections() const {
    std::vector<std::string> names;
    GetSectionNames(names);
    for (const std::string& name : names) {
        if (int error = DeleteSection(name); error != 0) return error;
    }
    return 0;
}

int CIniFile::GetSectionNames(std::vector<std::string>& names) const {
    names.clear();
    Parsed p = Load(FileName());
    std::vector<std::string> found;
    for (const Line& l : p.lines) {
        auto name = HeaderName(l.text);
        if (!name) continue;
        bool seen = false;
        for (const std::string& f : found) seen = seen || SameName(f, *name);
        if (!seen) found.push_back(*name);
    }
    names = WalkList(found, kIniNamesBuffer);
    return static_cast<int>(names.size());
}

int CIniFile::GetSectionEntries(const std::string& section, std::vector<std::string>& keys,
                                std::vector<std::string>& values) const {
    keys.clear();
    values.clear();
    Parsed p = Load(FileName());
    std::vector<std::string> entries;
    if (auto r = FindSection(p.lines, section)) {
        for (size_t i = r->begin; i < r->end; ++i) {
            std::string t = Trim(p.lines[i].text);
            if (t.empty()) continue;
            if (auto k = KeyOf(t))
                entries.push_back(*k + "=" + ValueOf(t));
            else
                entries.push_back(t);
        }
    }
    for (const std::string& e : WalkList(entries, kIniSectionBuffer)) {
        size_t eq = e.find('=');
        if (eq == std::string::npos) {
            keys.emplace_back();
            values.push_back(e);
        } else {
            keys.push_back(e.substr(0, eq));
            values.push_back(e.substr(eq + 1));
        }
    }
    return static_cast<int>(keys.size());
}
