#include "config/IniFile.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <thread>

#include "base/SafeFile.h"

namespace {

using Line = CIniText::Line;

// Another program held the file past kIniLockWaitMs.
constexpr int kIniLocked = -11;

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

std::string CleanValue(const std::string& value) {
    // A line break would split the entry and corrupt the file.
    size_t cut = value.find_first_of("\r\n");
    return cut == std::string::npos ? value : value.substr(0, cut);
}

bool EndsLine(const Line& line) {
    return !line.end.empty() && line.end.back() == '\n';
}

// New lines take the file's own line end; CR LF in a file that has none.
std::string LineEnd(const std::vector<Line>& lines) {
    for (const Line& l : lines)
        if (EndsLine(l)) return l.end;
    return "\r\n";
}

// A last line without its end gets one when lines were put after it.
void TerminateInner(std::vector<Line>& lines) {
    const std::string end = LineEnd(lines);
    for (size_t i = 0; i + 1 < lines.size(); ++i)
        if (!EndsLine(lines[i])) lines[i].end = end;
}

// [begin, end) line range of the first section with that name: header excluded.
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

std::optional<size_t> FindKey(const std::vector<Line>& lines, size_t from, size_t to,
                              const std::string& key) {
    for (size_t i = from; i < to; ++i) {
        auto k = KeyOf(lines[i].text);
        if (k && SameName(*k, key)) return i;
    }
    return std::nullopt;
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

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The advisory lock a change holds from its read to its replace. It is taken
// on the file itself; since the replace renames a new file over it, a waiter
// that got the lock on a file no longer there looks again. A missing file is
// created empty to be locked, and removed again when nothing was written.
class CChangeLock {
public:
    CChangeLock() = default;
    CChangeLock(const CChangeLock&) = delete;
    CChangeLock& operator=(const CChangeLock&) = delete;
    ~CChangeLock() { Release(); }

    // 0, or why the file must not be changed. Where no file can be made there
    // is nothing to lock: Fd() is -1 and the replace will say why it failed.
    int Acquire(const std::string& file) {
        m_file = file;
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(kIniLockWaitMs);
        for (;;) {
            Release();
            // Read and write rights now, so a file the user made read-only is
            // refused before anything is done.
            m_fd = ::open(file.c_str(), O_RDWR | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY);
            if (m_fd < 0 && errno == ENOENT) {
                m_fd =
                    ::open(file.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
                if (m_fd < 0) {
                    if (errno == EEXIST && std::chrono::steady_clock::now() < deadline) continue;
                    return 0;
                }
                m_created = true;
            }
            if (m_fd < 0) return errno == ELOOP ? kFileIsSymlink : errno;
            struct stat held {};
            if (::fstat(m_fd, &held) != 0) return errno;
            if (!S_ISREG(held.st_mode)) return kFileNotRegular;
            int locked;
            while ((locked = ::flock(m_fd, LOCK_EX | LOCK_NB)) != 0 &&
                   (errno == EWOULDBLOCK || errno == EINTR) &&
                   std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            if (locked != 0) {
                if (errno == EWOULDBLOCK || errno == EINTR) return kIniLocked;
                return 0;  // a file system without locks: change without one
            }
            struct stat now {};
            if (::lstat(file.c_str(), &now) == 0 && SameFile(now, held)) return 0;
            if (std::chrono::steady_clock::now() >= deadline) return kIniLocked;
        }
    }
    int Fd() const { return m_fd; }
    void Written() { m_created = false; }

private:
    void Release() {
        if (m_fd < 0) return;
        struct stat held {};
        struct stat now {};
        if (m_created && ::fstat(m_fd, &held) == 0 && ::lstat(m_file.c_str(), &now) == 0 &&
            SameFile(held, now) && now.st_size == 0)
            ::unlink(m_file.c_str());
        ::close(m_fd);
        m_fd = -1;
        m_created = false;
    }

    std::string m_file;
    int m_fd = -1;
    bool m_created = false;
};

}  // namespace

std::string IniErrorText(int error) {
    switch (error) {
        case kIniNotText:
            return "not 8-bit text (UTF-16 or binary)";
        case kIniLocked:
            return "locked by another program";
        case kFileTooLarge:
            return "larger than 1 MiB";
        default:
            return FileErrorText(error);
    }
}

// ---- CIniText

int CIniText::Parse(std::string_view bytes) {
    m_lines.clear();
    m_bom = bytes.substr(0, 3) == "\xEF\xBB\xBF";
    if (m_bom) bytes.remove_prefix(3);
    const std::string_view start = bytes.substr(0, 2);
    if (start == "\xFF\xFE" || start == "\xFE\xFF" || bytes.find('\0') != std::string_view::npos) {
        m_bom = false;
        return kIniNotText;
    }
    size_t pos = 0;
    while (pos < bytes.size()) {
        size_t nl = bytes.find('\n', pos);
        const bool lf = nl != std::string_view::npos;
        std::string text(bytes.substr(pos, lf ? nl - pos : std::string_view::npos));
        pos = lf ? nl + 1 : bytes.size();
        const bool cr = !text.empty() && text.back() == '\r';
        if (cr) text.pop_back();
        // Built by construction: assigning short literals trips a GCC 12 false warning.
        m_lines.push_back(
            Line{std::move(text), std::string(cr ? (lf ? "\r\n" : "\r") : (lf ? "\n" : ""))});
    }
    return 0;
}

std::string CIniText::Bytes() const {
    std::string data = m_bom ? "\xEF\xBB\xBF" : "";
    for (const Line& l : m_lines) data += l.text + l.end;
    return data;
}

std::optional<std::string> CIniText::Find(const std::string& section,
                                          const std::string& key) const {
    auto r = FindSection(m_lines, section);
    if (!r) return std::nullopt;
    auto k = FindKey(m_lines, r->begin, r->end, key);
    if (!k) return std::nullopt;
    return ValueOf(m_lines[*k].text);
}

bool CIniText::HasSection(const std::string& section) const {
    return FindSection(m_lines, section).has_value();
}

std::vector<std::string> CIniText::SectionLines(const std::string& section) const {
    std::vector<std::string> out;
    auto r = FindSection(m_lines, section);
    if (!r) return out;
    for (size_t i = r->begin; i < r->end; ++i) {
        std::string t = Trim(m_lines[i].text);
        if (t.empty()) continue;
        auto k = KeyOf(t);
        out.push_back(k ? *k + "=" + ValueOf(t) : t);
    }
    return out;
}

void CIniText::SetString(const std::string& section, const std::string& key,
                         const std::string& value) {
    auto r = FindSection(m_lines, section);
    if (r) {
        if (auto k = FindKey(m_lines, r->begin, r->end, key)) {
            // The key keeps the spelling the file has.
            m_lines[*k].text = *KeyOf(m_lines[*k].text) + "=" + CleanValue(value);
            return;
        }
        // After the section's last line that is not blank.
        size_t at = r->end;
        while (at > r->begin && Trim(m_lines[at - 1].text).empty()) --at;
        m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(at),
                       Line{key + "=" + CleanValue(value), LineEnd(m_lines)});
    } else {
        m_lines.push_back(Line{"[" + section + "]", LineEnd(m_lines)});
        m_lines.push_back(Line{key + "=" + CleanValue(value), LineEnd(m_lines)});
    }
    TerminateInner(m_lines);
}

bool CIniText::DeleteSection(const std::string& section) {
    bool changed = false;
    while (auto r = FindSection(m_lines, section)) {
        m_lines.erase(m_lines.begin() + static_cast<std::ptrdiff_t>(r->header),
                      m_lines.begin() + static_cast<std::ptrdiff_t>(r->end));
        changed = true;
    }
    return changed;
}

bool CIniText::DeleteKey(const std::string& section, const std::string& key) {
    auto r = FindSection(m_lines, section);
    if (!r) return false;
    auto k = FindKey(m_lines, r->begin, r->end, key);
    if (!k) return false;
    m_lines.erase(m_lines.begin() + static_cast<std::ptrdiff_t>(*k));
    return true;
}

void CIniText::ReplaceKeys(const std::string& section, const IniEntries& entries) {
    const std::string end = LineEnd(m_lines);
    auto entryLine = [&](size_t e, std::string lineEnd) {
        return Line{entries[e].first + "=" + CleanValue(entries[e].second), std::move(lineEnd)};
    };
    auto r = FindSection(m_lines, section);
    if (!r) {
        m_lines.push_back(Line{"[" + section + "]", end});
        for (size_t e = 0; e < entries.size(); ++e) m_lines.push_back(entryLine(e, end));
        TerminateInner(m_lines);
        return;
    }
    auto entryOf = [&](size_t line) -> std::optional<size_t> {
        auto k = KeyOf(m_lines[line].text);
        if (!k) return std::nullopt;
        for (size_t e = 0; e < entries.size(); ++e)
            if (SameName(*k, entries[e].first)) return e;
        return std::nullopt;
    };
    // Where the keys go: at the first of them, else after the section's last
    // line that is not blank.
    size_t cursor = r->end;
    for (size_t i = r->begin; i < r->end && cursor == r->end; ++i)
        if (entryOf(i)) cursor = i;
    if (cursor == r->end)
        while (cursor > r->begin && Trim(m_lines[cursor - 1].text).empty()) --cursor;
    // Each entry keeps the first line of its key at or after the previous
    // entry's; an entry without such a line is put in at that place.
    std::vector<size_t> kept(m_lines.size(), SIZE_MAX);
    std::vector<std::vector<size_t>> before(m_lines.size() + 1);
    for (size_t e = 0; e < entries.size(); ++e) {
        if (auto i = FindKey(m_lines, cursor, r->end, entries[e].first)) {
            kept[*i] = e;
            cursor = *i + 1;
        } else {
            before[cursor].push_back(e);
        }
    }
    std::vector<Line> out(m_lines.begin(), m_lines.begin() + static_cast<std::ptrdiff_t>(r->begin));
    for (size_t i = r->begin; i <= r->end; ++i) {
        for (size_t e : before[i]) out.push_back(entryLine(e, end));
        if (i == r->end) break;
        if (kept[i] != SIZE_MAX)
            out.push_back(entryLine(kept[i], m_lines[i].end));
        else if (!entryOf(i))
            out.push_back(m_lines[i]);  // a repeat of a written key goes
    }
    out.insert(out.end(), m_lines.begin() + static_cast<std::ptrdiff_t>(r->end), m_lines.end());
    m_lines = std::move(out);
    TerminateInner(m_lines);
}

int CIniText::GetSectionNames(std::vector<std::string>& names) const {
    std::vector<std::string> found;
    size_t listed = 0;
    for (const Line& l : m_lines) {
        auto name = HeaderName(l.text);
        if (!name) continue;
        bool seen = false;
        for (const std::string& f : found) seen = seen || SameName(f, *name);
        if (seen) continue;
        // Names past the buffer are left out anyway; comparing them costs time.
        listed += std::min(name->size(), kIniMaxName) + 1;
        if (listed >= kIniNamesBuffer) break;
        found.push_back(*name);
    }
    names = WalkList(found, kIniNamesBuffer);
    return static_cast<int>(names.size());
}

int CIniText::GetSectionEntries(const std::string& section, std::vector<std::string>& keys,
                                std::vector<std::string>& values) const {
    keys.clear();
    values.clear();
    for (const std::string& e : WalkList(SectionLines(section), kIniSectionBuffer)) {
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

// ---- CIniFile

CIniFile::CIniFile(std::string path) : m_path(std::move(path)) {}

std::string CIniFile::FileName() const {
    if (m_path.size() >= 2 && m_path[0] == '.' && m_path[1] == '\\') return "./" + m_path.substr(2);
    return m_path;
}

int CIniFile::Read(CIniText& text) const {
    text = CIniText();
    // Non-blocking open, so a FIFO put in the file's place cannot hang us.
    const int fd = ::open(FileName().c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return errno;
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
    return read.error != 0 ? read.error : text.Parse(read.bytes);
}

int CIniFile::Update(const std::function<bool(CIniText&)>& change) const {
    const std::string file = FileName();
    CChangeLock lock;
    if (int error = lock.Acquire(file); error != 0) return error;
    CIniText text;
    if (lock.Fd() >= 0) {
        const FileRead read = ReadFdBounded(lock.Fd(), kIniMaxFile);
        if (read.error != 0) return read.error;
        if (int error = text.Parse(read.bytes); error != 0) return error;
    }
    if (!change(text)) return 0;
    const int error = ReplaceFile(file, text.Bytes());
    if (error == 0) lock.Written();
    return error;
}

int CIniFile::WriteString(const std::string& section, const std::string& key,
                          const std::string& value, bool create) const {
    int result = 0;
    const int error = Update([&](CIniText& text) {
        if (!create && !text.Find(section, key)) {
            result = 1;
            return false;
        }
        text.SetString(section, key, value);
        return true;
    });
    return error != 0 ? error : result;
}

std::string CIniFile::ReadString(const std::string& section, const std::string& key) const {
    CIniText text;
    Read(text);
    return text.Find(section, key).value_or(std::string());
}

bool CIniFile::ReadStringInto(const std::string& section, const std::string& key,
                              const std::string& defaultText, char* buffer, size_t size) const {
    if (!buffer || size == 0) return true;
    CIniText text;
    Read(text);
    std::string value = text.Find(section, key).value_or(defaultText);
    size_t n = std::min(value.size(), size - 1);
    value.copy(buffer, n);
    buffer[n] = '\0';
    return true;
}

int CIniFile::DeleteSection(const std::string& section) const {
    return Update([&](CIniText& text) { return text.DeleteSection(section); });
}

int CIniFile::DeleteKey(const std::string& section, const std::string& key) const {
    return Update([&](CIniText& text) { return text.DeleteKey(section, key); });
}

int CIniFile::DeleteAllSections() const {
    return Update([](CIniText& text) {
        std::vector<std::string> names;
        text.GetSectionNames(names);
        bool changed = false;
        for (const std::string& name : names) changed = text.DeleteSection(name) || changed;
        return changed;
    });
}

int CIniFile::GetSectionNames(std::vector<std::string>& names) const {
    CIniText text;
    Read(text);
    return text.GetSectionNames(names);
}

int CIniFile::GetSectionEntries(const std::string& section, std::vector<std::string>& keys,
                                std::vector<std::string>& values) const {
    CIniText text;
    Read(text);
    return text.GetSectionEntries(section, keys, values);
}
