#include "base/CancelToken.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

CCancelToken::CCancelToken() : m_fd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

CCancelToken::~CCancelToken() {
    if (m_fd >= 0) ::close(m_fd);
}

void CCancelToken::Cancel() noexcept {
    const int saved = errno;  // a signal handler must leave errno alone
    m_cancelled = true;
    if (m_fd >= 0) eventfd_write(m_fd, 1);
    errno = saved;
}

void CCancelToken::Reset() {
    if (m_fd >= 0) {
        eventfd_t ignored;
        while (eventfd_read(m_fd, &ignored) == 0) {
        }
    }
    m_cancelled = false;
}

bool CCancelToken::WaitUntil(std::chrono::steady_clock::time_point deadline) const {
    using Clock = std::chrono::steady_clock;
    // The steady clock cannot go backwards, so the wait is never shorter than
    // asked; an early wake-up just waits again.
    for (;;) {
        if (m_cancelled) return false;
        const auto left = deadline - Clock::now();
        if (left <= Clock::duration::zero()) return true;
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
        timespec span{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
        pollfd p{m_fd, POLLIN, 0};
        if (ppoll(&p, m_fd >= 0 ? 1 : 0, &span, nullptr) < 0 && errno != EINTR)
            nanosleep(&span, nullptr);
    }
}

bool CCancelToken::Delay(unsigned milliseconds) const {
    const auto start = std::chrono::steady_clock::now();
    return WaitUntil(start + std::chrono::milliseconds(milliseconds) +
                     std::chrono::microseconds(milliseconds == 0 ? 1 : 0));
}
