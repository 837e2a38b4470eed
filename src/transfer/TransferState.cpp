#include "transfer/TransferState.h"

#include <poll.h>
#include <sys/eventfd.h>

#include <cerrno>
#include <ctime>

#include "link/SerialPort.h"

CTransferText g_strTransferText;
std::atomic<bool> g_bTransferDone{false};
std::atomic<bool> g_bTransferCancel{false};

static_assert(std::atomic<bool>::is_always_lock_free, "the cancel flag is raised from signals");

namespace {
// Every wait of a worker blocks on this descriptor, so a cancel is one write
// to it: safe from a signal handler, unlike a condition variable.
const int g_cancelFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}  // namespace

void CancelTransferWaits() noexcept {
    const int saved = errno;
    g_bTransferCancel = true;
    if (g_cancelFd >= 0) eventfd_write(g_cancelFd, 1);
    errno = saved;
}

void CancelTransferFromSignal() noexcept {
    CancelTransferWaits();
    g_SerialPort.Cancel();
}

void ResetTransferCancel() {
    if (g_cancelFd >= 0) {
        eventfd_t ignored;
        while (eventfd_read(g_cancelFd, &ignored) == 0) {
        }
    }
    g_bTransferCancel = false;
}

bool WaitUntil(std::chrono::steady_clock::time_point deadline) {
    using Clock = std::chrono::steady_clock;
    // The steady clock cannot go backwards, so waiting until the deadline is
    // never shorter than asked; an early wake-up just waits again.
    for (;;) {
        if (g_bTransferCancel) return false;
        const auto left = deadline - Clock::now();
        if (left <= Clock::duration::zero()) return true;
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
        timespec span{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
        pollfd p{g_cancelFd, POLLIN, 0};
        if (ppoll(&p, g_cancelFd >= 0 ? 1 : 0, &span, nullptr) < 0 && errno != EINTR)
            nanosleep(&span, nullptr);
    }
}

bool DelayMs(unsigned milliseconds) {
    // A delay of 0 still lasts until the clock has moved on.
    const auto start = std::chrono::steady_clock::now();
    WaitUntil(start + std::chrono::milliseconds(milliseconds) +
              std::chrono::microseconds(milliseconds == 0 ? 1 : 0));
    return true;
}
