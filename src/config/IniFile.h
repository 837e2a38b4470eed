// A small INI file accessor in the manner of the classic private-profile
// functions: every call reads (and, for changes, rewrites) the file; nothing is
// cached. Section and key names are compared without regard to ASCII case.
// Changes replace the whole file at once and never write through a link; a
// file that is not a regular one (or larger than kIniMaxFile) is not read.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

// Value that a key "has" when it is missing, for WriteString with create false.
inline constexpr char kIniNoneValue[] = "!*&*none-value*&!*";

// Limits of the name and section reads: longer names or lines are cut to
// kIniMaxName characters; what does not fit the list buffers is left out.
inline constexpr size_t kIniMaxName = 259;
inline constexpr size_t kIniNamesBuffer = 2048;
inline constexpr size_t kIniSectionBuffer = 6000;
// A settings file is a few hundred bytes; anything past this is not ours to load.
inline constexpr size_t kIniMaxFile = 1 << 20;

class CIniFile {
public:
    // A path beginning with ".\" is relative to the current directory.
    explicit CIniFile(std::string path);

    // Error codes: 0 on success, otherwise the system's error number.
    // With create false a missing key is not written and the result is 1.
    int WriteString(const std::string& section, const std::string& key, const std::string& value,
                    bool create) const;
    std::string ReadString(const std::string& section, const std::string& key) const;
    // Copies the value (or defaultText when missing) into buffer, cut to size - 1 bytes.
    bool ReadStringInto(const std::string& section, const std::string& key,
                        const std::string& defaultText, char* buffer, size_t size) const;
    int DeleteSection(const std::string& section) const;
    // Removes the section (every one of that name) and appends it anew with the
    // entries in the given order, keeping every other line: one write of the file.
    int ReplaceSection(const std::string& section,
                       const std::vector<std::pair<std::string, std::string>>& entries) const;
    int DeleteKey(const std::string& section, const std::string& key) const;
    int DeleteAllSections() const;
    // Section names in file order. A file without sections gives one empty name.
    int GetSectionNames(std::vector<std::string>& names) const;
    // One key and value per line of the section (a line without "=" gives an
    // empty key and the line as value). A missing or empty section gives one
    // empty entry.
    int GetSectionEntries(const std::string& section, std::vector<std::string>& keys,
                          std::vector<std::string>& values) const;

    // The path as given and the file it names on this system.
    const std::string& Path() const { return m_path; }
    std::string FileName() const;

private:
    std::string m_path;
};
