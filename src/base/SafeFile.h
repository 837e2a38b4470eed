// Whole-file reads and writes that never lose the user's data: a bounded read
// that refuses directories and endless inputs, and a replace that leaves the
// old file untouched unless the new one was written completely.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

// Our own error codes beside the system's (errno values are positive).
inline constexpr int kFileIsSymlink = -1;  // a target we refuse to write through
inline constexpr int kFileTooLarge = -2;   // an input longer than the caller's bound
// A FIFO or device where only a regular file will do.
inline constexpr int kFileNotRegular = -3;
// The caller gave up waiting for a FIFO or pipe nobody reads (an interrupt).
inline constexpr int kFileInterrupted = -4;

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

// Asked about every 50 ms while a write waits for a FIFO to be opened or for
// a reader to take more: true goes on waiting, false gives up with
// kFileInterrupted. Without one the write waits as long as it takes.
using FileWait = std::function<bool()>;

// Replaces path with bytes, whole or not at all. A regular or missing target
// is written to a new file in its directory (created exclusively, with a short
// name of its own), flushed to disk and renamed over it, keeping the old
// file's owner, group (as far as the caller may set them) and mode; on any
// failure the old file is untouched and the new one removed. A file without
// write permission is refused (EACCES), even for root when no one may write
// it. A symbolic link is refused (kFileIsSymlink). Anything else (a FIFO, a
// device) is written directly. Returns 0 or an error code.
int ReplaceFile(const std::string& path, std::string_view bytes, const FileWait& wait = {});

// Writes all of bytes to fd, retrying interrupted and partial writes.
int WriteAll(int fd, std::string_view bytes);
// The same for a descriptor that may block (a pipe, a FIFO, a terminal): the
// write waits in steps and asks `wait` between them. Regular files as WriteAll.
int WriteAllWaiting(int fd, std::string_view bytes, const FileWait& wait);
