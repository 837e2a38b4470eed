#include "transfer_support.h"

#include <algorithm>
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

void ExpectProgressEndsWhole(const CRecordingScreen& screen) {
    const auto progress = screen.Progress();
    ASSERT_FALSE(progress.empty());
    for (size_t i = 0; i < progress.size(); ++i) {
        const CTransferProgress& p = progress[i];
        EXPECT_EQ(p.records, std::min<long long>(static_cast<long long>(i), p.total)) << i;
        EXPECT_EQ(p.Percent() == 100, p.records == p.total) << i;
    }
    EXPECT_TRUE(progress.back().final);
    EXPECT_EQ(progress.back().Percent(), 100);
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

unsigned CScriptedUsbLayer::Open() {
    std::lock_guard lock(m_s.mutex);
    ++m_s.opens;
    m_s.openedAt = std::chrono::steady_clock::now();
    return m_s.openOk ? 1 : 0;
}

unsigned CScriptedUsbLayer::Write(const unsigned char* buffer, unsigned length) {
    std::lock_guard lock(m_s.mutex);
    if (m_s.failWriteAt && static_cast<int>(m_s.written.size()) + 1 == m_s.failWriteAt) return 0;
    m_s.written.emplace_back(reinterpret_cast<const char*>(buffer), length);
    m_s.writeTimes.push_back(std::chrono::steady_clock::now());
    return 1;
}

unsigned CScriptedUsbLayer::Read(unsigned char* buffer, unsigned length) {
    std::lock_guard lock(m_s.mutex);
    if (std::chrono::steady_clock::now() - m_s.openedAt < m_s.silentFor) return 0;
    std::deque<std::string>& queue = m_s.reads.empty() && Cancelled() ? m_s.afterCancel : m_s.reads;
    if (queue.empty() && m_s.endless.empty()) return 0;
    std::string next = queue.empty() ? m_s.endless : queue.front();
    if (!queue.empty()) queue.pop_front();
    const unsigned n = std::min<unsigned>(length, next.size());
    std::copy(next.begin(), next.begin() + n, buffer);
    return n;
}

void CScriptedUsbLayer::Close() {
    std::lock_guard lock(m_s.mutex);
    ++m_s.closes;
}

void CPtyTransferTest::SetUp() {
    ASSERT_TRUE(m_pty.Create());
    ASSERT_TRUE(m_pty.LinkAs(m_dir.PortPath(1)));
}

void CPtyTransferTest::TearDown() {
    m_manager.StopAndJoin();
    EXPECT_FALSE(g_SerialPort.IsOpen());
}

void CPtyTransferTest::Start(TransferKind kind, CRecordingScreen& screen) {
    CTransferJob job;
    job.screen = &screen;
    job.portTimeouts = ShortPortTimeouts();
    ASSERT_TRUE(m_manager.Start(kind, job));
}
