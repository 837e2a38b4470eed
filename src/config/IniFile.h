// INI text in the manner of the classic private-profile functions. CIniText
// parses and edits the bytes in memory; CIniFile is the edge that reads a file
// once per call and, for a change, replaces it once, holding an advisory lock
// from the read to the replace so that two programs changing the file at once
// both keep their change. Section and key names are compared without regard
// to ASCII case.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/Bounds.h"

// Value that a key "has" when it is missing, for WriteString with create false.
inline constexpr char kIniNoneValue[] = "!*&*none-value*&!*";

// Limits of the name and section listings: longer names or lines are cut to
// kIniMaxName characters; what does not fit the list buffers is left out.
inline constexpr size_t kIniMaxName = 259;
inline constexpr size_t kIniNamesBuffer = 2048;
inline constexpr size_t kIniSectionBuffer = 6000;
// A settings file is a few hundred bytes; anything past this is not ours to load.
inline constexpr size_t kIniMaxFile = kMaxOwnFileBytes;
// How long a change waits for another program's change to the same file.
inline constexpr int kIniLockWaitMs = 10000;

// Bytes that are not 8-bit text (UTF-16, binary): an error code beside those
// of SafeFile.h.
inline constexpr int kIniNotText = -10;
// The reason for an error code of this file or of SafeFile.h.
std::string IniErrorText(int error);

using IniEntries = std::vector<std::pair<std::string, std::string>>;

class CIniText {
public:
    // 0, or kIniNotText when the bytes carry a UTF-16 byte-order mark or a zero
    // byte (the text is then empty). A UTF-8 byte-order mark is set aside and
    // written back by Bytes(); every other byte comes back unchanged.
    int Parse(std::string_view bytes);
    std::string Bytes() const;

    // The value of the first such key in the first section of that name.
    std::optional<std::string> Find(const std::string& section, const std::string& key) const;
    bool HasSection(const std::string& section) const;
    // The first section's lines that are not blank, trimmed, each key=value
    // with its key and value trimmed: no limit.
    std::vector<std::string> SectionLines(const std::string& section) const;

    // Replaces the key's value in place, or adds the key at the end of the
    // section, or the section at the end of the text.
    void SetString(const std::string& section, const std::string& key, const std::string& value);
    // Every section of that name, with its lines. False when there was none.
    bool DeleteSection(const std::string& section);
    bool DeleteKey(const std::string& section, const std::string& key);
    // Writes the entries into the first section of that name (added at the end
    // when missing) in their order: a key standing in that order keeps its
    // line, the others move or are added there; repeats of a key go. Comments,
    // other keys and every other line stay.
    void ReplaceKeys(const std::string& section, const IniEntries& entries);

    // The listings as the fixed-size profile buffers give them.
    // Section names in file order; a text without sections gives one empty name.
    int GetSectionNames(std::vector<std::string>& names) const;
    // One key and value per line of the section (a line without "=" gives an
    // empty key and the line as value); a missing or empty section gives one
    // empty entry.
    int GetSectionEntries(const std::string& section, std::vector<std::string>& keys,
                          std::vector<std::string>& values) const;

    // One line with its own line end, so untouched lines are written back as
    // they were.
    struct Line {
        std::string text;
        std::string end;
    };

private:
    std::vector<Line> m_lines;
    bool m_bom = false;
};

class CIniFile {
public:
    // A path beginning with ".\" is relative to the current directory.
    explicit CIniFile(std::string path);

    // The file's text. 0, or an error code: ENOENT for a missing file (the
    // text is then empty), a directory, a FIFO or device (kFileNotRegular),
    // more than kIniMaxFile bytes (kFileTooLarge), kIniNotText.
    int Read(CIniText& text) const;
    // Locks the file, reads it, lets `change` edit the text and replaces the
    // file with it when `change` says it changed. A missing file is created; a
    // link is never written through; a file that cannot be read or decoded is
    // left as it is. 0 or an error code.
    int Update(const std::function<bool(CIniText&)>& change) const;

    // Error codes: 0 on success, otherwise the system's error number.
    // With create false a missing key is not written and the result is 1.
    int WriteString(const std::string& section, const std::string& key, const std::string& value,
                    bool create) const;
    std::string ReadString(const std::string& section, const std::string& key) const;
    // Copies the value (or defaultText when missing) into buffer, cut to size - 1 bytes.
    bool ReadStringInto(const std::string& section, const std::string& key,
                        const std::string& defaultText, char* buffer, size_t size) const;
    int DeleteSection(const std::string& section) const;
    int DeleteKey(const std::string& section, const std::string& key) const;
    int DeleteAllSections() const;
    int GetSectionNames(std::vector<std::string>& names) const;
    int GetSectionEntries(const std::string& section, std::vector<std::string>& keys,
                          std::vector<std::string>& values) const;

    // The path as given and the file it names on this system.
    const std::string& Path() const { return m_path; }
    std::string FileName() const;

private:
    std::string m_path;
};
