#include "transfer/TransferState.h"

#include <chrono>
#include <thread>

CTransferText g_strTransferText;
std::atomic<bool> g_bTransferDone{false};

bool DelayMs(unsigned milliseconds) {
    // The steady clock cannot go backwards, so sleeping until the deadline is
    // never shorter than asked; a delay of 0 still yields the core once.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    std::this_thread::sleep_until(deadline);
    while (std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_until(deadline);
    return true;
}
