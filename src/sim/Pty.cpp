#include "sim/Pty.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "sim/SimLink.h"

namespace {
void SetError(std::string* error, const std::string& what) {
    if (error) *error = what + ": " + std::strerror(errno);
}
}  // namespace

CPty::~CPty() {
    RemoveLink();
    CloseMaster();
}

bool CPty::Create(std::string* error) {
    CloseMaster();
    int fd = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        SetError(error, "posix_openpt");
        return false;
    }
    char name[128];
    if (grantpt(fd) != 0 || unlockpt(fd) != 0 || ptsname_r(fd, name, sizeof name) != 0) {
        SetError(error, "pseudo-terminal set-up");
        ::close(fd);
        return false;
    }
    // Raw from the start: bytes the instrument sends before the program sets the
    // line up must not be echoed or edited by the line discipline.
    termios tio{};
    if (tcgetattr(fd, &tio) == 0) {
        cfmakeraw(&tio);
        tcsetattr(fd, TCSANOW, &tio);
    }
    m_master = fd;
    m_slavePath = name;
    return true;
}

bool CPty::LinkAs(const std::string& path, std::string* error) {
    RemoveLink();
    std::string why;
    if (!MakeSimLink(path, m_slavePath, why)) {
        if (error) *error = why;
        return false;
    }
    m_linkPath = path;
    return true;
}

void CPty::CloseMaster() {
    if (m_master >= 0) ::close(m_master);
    m_master = -1;
}

void CPty::RemoveLink() {
    // Only our own link: another simulator may have replaced it meanwhile.
    if (!m_linkPath.empty()) RemoveSimLink(m_linkPath, m_slavePath);
    m_linkPath.clear();
}

size_t CPty::WriteAll(const std::string& bytes, int timeoutMs) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    size_t done = 0;
    while (done < bytes.size() && m_master >= 0) {
        ssize_t r = ::write(m_master, bytes.data() + done, bytes.size() - done);
        if (r > 0) {
            done += static_cast<size_t>(r);
            continue;
        }
        if (r < 0 && errno != EAGAIN && errno != EINTR) break;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) break;
        pollfd p{m_master, POLLOUT, 0};
        poll(&p, 1, static_cast<int>(left.count()));
    }
    return done;
}

std::string CPty::ReadFor(int timeoutMs, size_t want) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string out;
    while (m_master >= 0) {
        char buf[4096];
        ssize_t r = ::read(m_master, buf, sizeof buf);
        if (r > 0) {
            out.append(buf, static_cast<size_t>(r));
            if (want > 0 && out.size() >= want) break;
            continue;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) break;
        pollfd p{m_master, POLLIN, 0};
        int pr = poll(&p, 1, static_cast<int>(left.count()));
        if (pr > 0 && (p.revents & POLLHUP) && !(p.revents & POLLIN)) {
            // No one has the slave open: wait a little instead of spinning.
            poll(nullptr, 0, std::min<int>(10, static_cast<int>(left.count())));
        }
    }
    return out;
}
