// The one way to stop a transfer: every wait of a transfer (the port, the USB
// device, the operator prompt, the row delay) watches this token, so the stop
// command, leaving the program and a signal all end it the same way.
#pragma once

#include <atomic>
#include <chrono>

class CCancelToken {
public:
    CCancelToken();
    ~CCancelToken();
    CCancelToken(const CCancelToken&) = delete;
    CCancelToken& operator=(const CCancelToken&) = delete;

    // Safe from any thread and from a signal handler (one write to an eventfd).
    void Cancel() noexcept;
    bool IsCancelled() const noexcept { return m_cancelled.load(); }
    // Takes the cancel back (a new transfer or a new port open).
    void Reset();
    // Readable once cancelled: poll it beside whatever else a wait watches.
    int Fd() const { return m_fd; }
    // Blocks until the deadline; false (at once) when cancelled.
    bool WaitUntil(std::chrono::steady_clock::time_point deadline) const;
    // Waits at least the given milliseconds (0: until the clock moves on);
    // false when cancelled first.
    bool Delay(unsigned milliseconds) const;

private:
    int m_fd = -1;
    std::atomic<bool> m_cancelled{false};
    static_assert(std::atomic<bool>::is_always_lock_free, "raised from signal handlers");
};
