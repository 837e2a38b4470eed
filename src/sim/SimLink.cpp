#include "sim/SimLink.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

constexpr char kPtyFolder[] = "/dev/pts/";

bool ReadLink(const std::string& path, std::string& target) {
    char buffer[4096];
    const ssize_t n = ::readlink(path.c_str(), buffer, sizeof buffer);
    if (n <= 0 || static_cast<size_t>(n) >= sizeof buffer) return false;
    target.assign(buffer, static_cast<size_t>(n));
    return true;
}

// True when the link at path is a simulator's whose pseudo-terminal is gone:
// a pseudo-terminal's node lives exactly as long as its master side is open.
bool IsStaleSimLink(const std::string& path, const std::string& ours, std::string& why) {
    std::string target;
    if (!ReadLink(path, target)) {
        why = path + ": cannot read the link: " + std::strerror(errno);
        return false;
    }
    if (target.rfind(kPtyFolder, 0) != 0) {
        why = path + " is a link to " + target + ", not a simulator's port; not replaced";
        return false;
    }
    // Our own new pseudo-terminal got the dead one's number.
    if (target == ours) return true;
    // The kernel removes the node a moment after its master closed: a simulator
    // killed just now still shows one for a few milliseconds.
    struct stat st {};
    for (int i = 0; i < 10 && ::stat(target.c_str(), &st) == 0; ++i) usleep(20000);
    if (::stat(target.c_str(), &st) == 0) {
        why = path + " is the port of a running simulator (" + target + "); not replaced";
        return false;
    }
    return errno == ENOENT;
}

// Two simulators judging the same stale link must not both replace it (the
// later one would remove the earlier one's fresh link): the check and the
// replacement are one step for everyone that takes the folder's lock.
class CFolderLock {
public:
    explicit CFolderLock(const std::string& path) {
        const size_t slash = path.rfind('/');
        const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
        m_fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (m_fd >= 0) ::flock(m_fd, LOCK_EX);
    }
    ~CFolderLock() {
        if (m_fd >= 0) ::close(m_fd);
    }
    CFolderLock(const CFolderLock&) = delete;
    CFolderLock& operator=(const CFolderLock&) = delete;

private:
    int m_fd = -1;
};

}  // namespace

bool MakeSimLink(const std::string& path, const std::string& target, std::string& why) {
    const CFolderLock lock(path);
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            why = path +
                  (S_ISDIR(st.st_mode)   ? " is a folder"
                   : S_ISREG(st.st_mode) ? " is a file"
                                         : " exists") +
                  ", not a simulator's port link; not replaced";
            return false;
        }
        if (!IsStaleSimLink(path, target, why)) return false;
        ::unlink(path.c_str());
    } else if (errno != ENOENT) {
        why = path + ": " + std::strerror(errno);
        return false;
    }
    // symlink() never replaces: whatever appeared meanwhile is refused too.
    if (::symlink(target.c_str(), path.c_str()) != 0) {
        why = path + ": cannot make the link: " + std::strerror(errno);
        return false;
    }
    return true;
}

void RemoveSimLink(const std::string& path, const std::string& target) {
    const CFolderLock lock(path);
    std::string current;
    if (ReadLink(path, current) && current == target) ::unlink(path.c_str());
}
