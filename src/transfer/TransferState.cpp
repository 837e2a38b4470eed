#include "transfer/TransferState.h"

#include <condition_variable>

CTransferText g_strTransferText;
std::atomic<bool> g_bTransferDone{false};
std::atomic<bool> g_bTransferCancel{false};

namespace {
std::mutex g_waitMutex;
std::condition_variable g_waitWake;
}  // namespace

void CancelTransferWaits() {
    {
        std::lock_guard lock(g_waitMutex);
        g_bTransferCancel = true;
    }
    g_waitWake.notify_all();
}

void ResetTransferCancel() {
    std::lock_guard lock(g_waitMutex);
    g_bTransferCancel = false;
}

bool WaitUntil(std::chrono::steady_clock::time_point deadline) {
    std::unique_lock lock(g_waitMutex);
    // The steady clock cannot go backwards, so waiting until the deadline is
    // never shorter than asked; spurious wake-ups just wait again.
    while (!g_bTransferCancel && std::chrono::steady_clock::now() < deadline)
        g_waitWake.wait_until(lock, deadline);
    return !g_bTransferCancel;
}

bool DelayMs(unsigned milliseconds) {
    // A delay of 0 still lasts until the clock has moved on.
    const auto start = std::chrono::steady_clock::now();
    WaitUntil(start + std::chrono::milliseconds(milliseconds) +
              std::chrono::microseconds(milliseconds == 0 ? 1 : 0));
    return true;
}
