#include "base/SafeFile.h"

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>

std::string FileErrorText(int error) {
    switch (error) {
        case 0:
            return "Success";
        case kFileIsSymlink:
            return "is a symbolic link; not written through it";
        case kFileTooLarge:
            return "too large";
        case kFileNotRegular:
            return "not a regular file";
        case kFileInterrupted:
            return "interrupted";
        default:
            return std::strerror(error);
    }
}

FileRead ReadFdBounded(int fd, size_t limit) {
    FileRead r;
    char chunk[65536];
    for (;;) {
        const size_t room = limit + 1 - r.bytes.size();
        const ssize_t n = ::read(fd, chunk, room < sizeof chunk ? room : sizeof chunk);
        if (n > 0) {
            r.bytes.append(chunk, static_cast<size_t>(n));
            if (r.bytes.size() > limit) {
                r.error = kFileTooLarge;
                return r;
            }
        } else if (n == 0) {
            return r;
        } else if (errno != EINTR) {
            r.error = errno;
            return r;
        }
    }
}

FileRead ReadFileBounded(const std::string& path, size_t limit) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return FileRead{errno, {}};
    struct stat st {};
    FileRead r;
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode))
        r.error = EISDIR;
    else
        r = ReadFdBounded(fd, limit);
    ::close(fd);
    return r;
}

namespace {
constexpr int kWaitStepMs = 50;
}  // namespace

int WriteAll(int fd, std::string_view bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0)
            done += static_cast<size_t>(n);
        else if (n < 0 && errno == EINTR)
            continue;
        else
            return n < 0 ? errno : EIO;
    }
    return 0;
}

int WriteAllWaiting(int fd, std::string_view bytes, const FileWait& wait) {
    struct stat st {};
    if (::fstat(fd, &st) == 0 && (S_ISREG(st.st_mode) || S_ISBLK(st.st_mode)))
        return WriteAll(fd, bytes);
    // A blocking pipe takes PIPE_BUF bytes without blocking once poll says it
    // has room; more could block with nobody asking whether to go on.
    const int flags = ::fcntl(fd, F_GETFL);
    const size_t step = flags >= 0 && (flags & O_NONBLOCK) ? 65536 : PIPE_BUF;
    size_t done = 0;
    while (done < bytes.size()) {
        pollfd ready{fd, POLLOUT, 0};
        const int r = ::poll(&ready, 1, kWaitStepMs);
        if (r < 0 && errno != EINTR) return errno;
        // Asked only when the write would wait: a reader that keeps up is
        // never given up on.
        if (r <= 0) {
            if (wait && !wait()) return kFileInterrupted;
            continue;
        }
        const size_t n = std::min(step, bytes.size() - done);
        const ssize_t written = ::write(fd, bytes.data() + done, n);
        if (written > 0)
            done += static_cast<size_t>(written);
        else if (written < 0 && (errno == EAGAIN || errno == EINTR))
            continue;
        else
            return written < 0 ? errno : EIO;
    }
    return 0;
}

namespace {

// A FIFO or a device: written in place, never renamed over. A FIFO nobody has
// opened yet is waited for in steps, so the caller can give up.
int WriteDirectly(const std::string& path, bool fifo, std::string_view bytes,
                  const FileWait& wait) {
    int fd = -1;
    for (;;) {
        fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (fd >= 0) break;
        if (errno == EINTR) continue;
        if (errno != ENXIO || !fifo) return errno;
        if (wait && !wait()) return kFileInterrupted;
        ::poll(nullptr, 0, kWaitStepMs);
    }
    int error = WriteAllWaiting(fd, bytes, wait);
    if (::close(fd) != 0 && error == 0) error = errno;
    return error;
}

mode_t NewFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// Refused as an in-place write would be. Root passes every permission check,
// so a file with no write bit at all counts as protected for root too.
int CheckWritable(const std::string& path, const struct stat& st) {
    if (::access(path.c_str(), W_OK) != 0) return errno;
    return (st.st_mode & 0222) == 0 ? EACCES : 0;
}

// A new file beside the target with a short name of its own, so it fits
// wherever the target's name does.
int CreateTemporary(int dir, std::string& name) {
    static constexpr char kLetters[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        unsigned char random[6] = {};
        if (::getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) {
            const auto seed = static_cast<unsigned long long>(::getpid()) * 2654435761u +
                              static_cast<unsigned long long>(std::clock()) + attempt;
            for (size_t i = 0; i < sizeof random; ++i)
                random[i] = static_cast<unsigned char>(seed >> (i * 8));
        }
        name = ".jvs-";
        for (unsigned char r : random) name += kLetters[r % (sizeof kLetters - 1)];
        // Created exclusively: never through a planted link.
        const int fd =
            ::openat(dir, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0600);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

}  // namespace

int ReplaceFile(const std::string& path, std::string_view bytes, const FileWait& wait) {
    if (path.empty()) return ENOENT;
    const size_t slash = path.rfind('/');
    const std::string name = path.substr(slash == std::string::npos ? 0 : slash + 1);
    const std::string folder = slash == std::string::npos ? "."
                               : slash == 0               ? "/"
                                                          : path.substr(0, slash);
    struct stat st {};
    const bool exists = ::lstat(path.c_str(), &st) == 0;
    if (!exists && errno != ENOENT) return errno;
    if (exists) {
        if (S_ISLNK(st.st_mode)) return kFileIsSymlink;
        if (S_ISDIR(st.st_mode)) return EISDIR;
        if (!S_ISREG(st.st_mode)) return WriteDirectly(path, S_ISFIFO(st.st_mode), bytes, wait);
        if (const int error = CheckWritable(path, st)) return error;
    }
    if (name.empty()) return EISDIR;

    const int dir = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return errno;
    std::string temp;
    const int fd = CreateTemporary(dir, temp);
    if (fd < 0) {
        const int error = errno;
        ::close(dir);
        return error;
    }
    int error = WriteAll(fd, bytes);
    // The replaced file's owner and group stay (as far as we may set them),
    // then its mode: a change of owner would clear set-id bits.
    if (error == 0 && exists && ::fchown(fd, st.st_uid, st.st_gid) != 0)
        (void)::fchown(fd, static_cast<uid_t>(-1), st.st_gid);
    const mode_t mode = exists ? st.st_mode & 07777 : NewFileMode();
    if (error == 0 && ::fchmod(fd, mode) != 0) error = errno;
    if (error == 0 && ::fsync(fd) != 0) error = errno;
    if (::close(fd) != 0 && error == 0) error = errno;
    if (error == 0 && ::renameat(dir, temp.c_str(), dir, name.c_str()) != 0) error = errno;
    if (error != 0) ::unlinkat(dir, temp.c_str(), 0);
    ::close(dir);
    return error;
}
