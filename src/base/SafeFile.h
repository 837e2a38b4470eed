// Whole-file reads and writes that never lose the user's data: a bounded read
// that refuses directories and endless inputs, and a replace that leaves the
// old file untouched unless the new one was written completely.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Our own error codes beside the system's (errno values are positive).
inline constexpr int kFileIsSymlink = -1;  // a target we refuse to write through
inline constexpr int kFileTooLarge = -2;   // an input longer than the caller's bound
// A FIFO or device where only a regular file will do.
inline constexpr int kFileNotRegular = -3;

// The reason for an error code, in English, as strerror words it.
std::string FileErrorText(int error);

struct FileRead {
    int error = 0;      // 0, an errno value, or kFileTooLarge
    std::string bytes;  // what was read (at most limit + 1 bytes)
};

// Reads all of a file, a FIFO or a device up to limit bytes; more is
// kFileTooLarge. A directory gives EISDIR.
FileRead ReadFileBounded(const std::string& path, size_t limit);
// The same from an open descriptor (standard input), which stays open.
FileRead ReadFdBounded(int fd, size_t limit);

// Replaces path with bytes, whole or not at all. A regular or missing target
// is written to a new file in its directory (created exclusively), flushed to
// disk and renamed over it, keeping the old file's permission bits; on any
// failure the old file is untouched and the new one removed. A symbolic link
// is refused (kFileIsSymlink). Anything else (a FIFO, a device) is written
// directly. Returns 0 or an error code.
int ReplaceFile(const std::string& path, std::string_view bytes);

// Writes all of bytes to fd, retrying interrupted and partial writes.
int WriteAll(int fd, std::string_view bytes);
