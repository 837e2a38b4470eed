#include "cli/Interrupt.h"

#include <pthread.h>
#include <signal.h>

#include <ctime>

#include "transfer/TransferRun.h"
#include "transfer/TransferScreen.h"

namespace cli {

CInterruptWatch::CInterruptWatch() {
    sigemptyset(&m_signals);
    sigaddset(&m_signals, SIGINT);
    sigaddset(&m_signals, SIGTERM);
    sigaddset(&m_signals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &m_signals, &m_previous);
}

CInterruptWatch::~CInterruptWatch() {
    while (Take(0) != 0) {
    }
    pthread_sigmask(SIG_SETMASK, &m_previous, nullptr);
}

int CInterruptWatch::Take(int timeoutMs) {
    const timespec wait{timeoutMs / 1000, (timeoutMs % 1000) * 1000000L};
    const int signal = sigtimedwait(&m_signals, nullptr, &wait);
    return signal > 0 ? signal : 0;
}

std::string SignalName(int signal) {
    switch (signal) {
        case SIGINT:
            return "SIGINT";
        case SIGTERM:
            return "SIGTERM";
        case SIGHUP:
            return "SIGHUP";
        default:
            return "signal " + std::to_string(signal);
    }
}

namespace {
// Set on the main thread only (outputs are written there).
int g_outputInterrupt = 0;
}  // namespace

bool NoInterruptYet() {
    sigset_t signals;
    sigemptyset(&signals);
    for (const int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&signals, s);
    const timespec now{0, 0};
    const int signal = sigtimedwait(&signals, nullptr, &now);
    if (signal <= 0) return true;
    g_outputInterrupt = signal;
    return false;
}

int OutputInterrupt() {
    return g_outputInterrupt;
}

unsigned RunTransfer(TransferKind kind, CTransferScreen& screen, CInterruptWatch& watch,
                     int& signal, bool& started) {
    CTransferManager& manager = TheTransferManager();
    signal = 0;
    started = manager.Start(kind, screen);
    if (!started) return 0;
    signal = watch.WaitWhile([&manager] { return manager.IsTransferRunning(); });
    // Stops the transfer through its token, which wakes the worker wherever
    // it waits (port, delay, prompt); it keeps what arrived, and the port is
    // closed and released before Wait returns.
    if (signal != 0) manager.Stop(EStopReason::Signal);
    const unsigned code = manager.Wait();
    if (signal == 0) signal = watch.Take(0);  // came just as the transfer ended
    return code;
}

}  // namespace cli
