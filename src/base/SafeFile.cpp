#include "base/SafeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

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

namespace {

int WriteDirectly(const std::string& path, std::string_view bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return errno;
    int error = WriteAll(fd, bytes);
    if (::close(fd) != 0 && error == 0) error = errno;
    return error;
}

std::string DirectoryOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

mode_t NewFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

}  // namespace

int ReplaceFile(const std::string& path, std::string_view bytes) {
    if (path.empty()) return ENOENT;
    struct stat st {};
    mode_t mode = 0;
    if (::lstat(path.c_str(), &st) == 0) {
        if (S_ISLNK(st.st_mode)) return kFileIsSymlink;
        if (S_ISDIR(st.st_mode)) return EISDIR;
        if (!S_ISREG(st.st_mode)) return WriteDirectly(path, bytes);
        mode = st.st_mode & 07777;
    } else if (errno != ENOENT) {
        return errno;
    } else {
        mode = NewFileMode();
    }

    std::string base = path.substr(path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1);
    std::string temp = DirectoryOf(path) + "/." + base + ".XXXXXX";
    // mkstemp creates the file with O_EXCL: never through a planted link.
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) return errno;
    int error = WriteAll(fd, bytes);
    if (error == 0 && ::fchmod(fd, mode) != 0) error = errno;
    if (error == 0 && ::fsync(fd) != 0) error = errno;
    if (::close(fd) != 0 && error == 0) error = errno;
    if (error == 0 && ::rename(temp.c_str(), path.c_str()) != 0) error = errno;
    if (error != 0) ::unlink(temp.c_str());
    return error;
}
