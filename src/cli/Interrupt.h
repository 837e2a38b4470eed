// Ctrl-C, SIGTERM and SIGHUP during a transfer. The signals are blocked in
// every thread and taken by the main thread while it waits, so the transfer is
// stopped through its ordinary cancel (port closed and released, prompt
// abandoned) and what arrived can still be written before the program ends.
#pragma once

#include <signal.h>

#include <string>

#include "transfer/TransferManager.h"

class CTransferScreen;

namespace cli {

class CInterruptWatch {
public:
    // Blocks the three signals in this thread and in every thread started later.
    CInterruptWatch();
    // Discards signals still pending (the program is ending on its own terms)
    // and restores the signal mask.
    ~CInterruptWatch();
    CInterruptWatch(const CInterruptWatch&) = delete;
    CInterruptWatch& operator=(const CInterruptWatch&) = delete;

    // Waits until `running` returns false or a signal comes; returns the
    // signal's number, or 0.
    template <class F>
    int WaitWhile(F running) {
        while (running())
            if (const int signal = Take(50)) return signal;
        return 0;
    }
    // A signal that came, waiting up to timeoutMs; 0 when none did.
    int Take(int timeoutMs);

private:
    sigset_t m_signals{}, m_previous{};
};

// The exit status of a program ended by the signal (130, 143, 129).
inline int InterruptedStatus(int signal) {
    return 128 + signal;
}
// "SIGINT", "SIGTERM", "SIGHUP".
std::string SignalName(int signal);

// Asked while an output waits for a reader (a FIFO nobody opened, a pipe that
// stopped reading): takes a SIGINT, SIGTERM or SIGHUP that came meanwhile,
// remembers it and answers false (give up); true while none came. The signals
// must be blocked (a CInterruptWatch, or WriteOutput's own blocking).
bool NoInterruptYet();
// The signal that interrupted an output, 0 when none did. The program then
// ends with that signal's status whatever the command returns.
int OutputInterrupt();

// Runs the transfer to its end or until a signal, which stops it in order.
// Returns the worker's exit code; `signal` gets the signal's number or 0.
// False in `started` when another transfer was running. The watch must exist
// before the call (the worker inherits the blocked signals) and should live
// until what arrived has been written, so a second Ctrl-C cannot cut that short.
unsigned RunTransfer(TransferKind kind, CTransferScreen& screen, CInterruptWatch& watch,
                     int& signal, bool& started);

}  // namespace cli
