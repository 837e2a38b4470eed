#include "transfer_support.h"

#include <chrono>
#include <cstring>
#include <thread>

#include "base/CancelToken.h"
#include "config/LinkSettings.h"
#include "link/SerialPort.h"
#include "transfer/TransferState.h"

void CRecordingScreen::AppendText(std::string_view bytes) {
    std::lock_guard lock(m_mutex);
    m_view.append(bytes);
}

void CRecordingScreen::ShowMessage(const std::string& utf8) {
    std::lock_guard lock(m_mutex);
    m_calls.push_back("msg:" + utf8);
}

void CRecordingScreen::ShowProgress(const CTransferProgress& progress) {
    std::lock_guard lock(m_mutex);
    m_progress.push_back(progress);
}

bool CRecordingScreen::AskOperator(const std::string& utf8, const CCancelToken& cancel) {
    std::unique_lock lock(m_mutex);
    m_calls.push_back("prompt:" + utf8);
    while (m_hold && !cancel.IsCancelled()) m_cv.wait_for(lock, std::chrono::milliseconds(5));
    return !m_refuse && !cancel.IsCancelled();
}

std::vector<std::string> CRecordingScreen::Tagged(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const auto& c : Calls())
        if (c.rfind(prefix, 0) == 0) out.push_back(c.substr(prefix.size()));
    return out;
}

bool CRecordingScreen::WaitEnded(int timeoutMs) {
    std::unique_lock lock(m_mutex);
    return m_cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return m_ended; });
}

void ExpectEnded(const CRecordingScreen& screen) {
    EXPECT_FALSE(screen.Locked());
    EXPECT_TRUE(g_bTransferDone);
    EXPECT_FALSE(g_SerialPort.IsOpen());
}

void UseTestComSettings(int protocol, int receiveTimeoutMs, int rowDelayMs) {
    ComSettings.Update([&](ComSettingsRecord& r) {
        r = ComSettingsRecord{};
        std::strcpy(r.COMPort, "COM1");
        r.Protol = static_cast<int8_t>(protocol);
        r.RowDelay = rowDelayMs;
        r.ReceiveTimeOut = receiveTimeoutMs;
    });
}

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds within) {
    const auto until = std::chrono::steady_clock::now() + within;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

SerialTimeouts ShortPortTimeouts() {
    SerialTimeouts t;
    t.readInterval = 50;
    t.readTotalMultiplier = 10;
    t.readTotalConstant = 300;
    return t;
}
