#include "transfer_support.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "base/CancelToken.h"
#include "config/LinkSettings.h"
#include "link/SerialPort.h"

std::string CRecordingScreen::GetViewText() {
    std::lock_guard lock(m_mutex);
    return m_view;
}

void CRecordingScreen::SetViewText(const std::string& bytes) {
    std::lock_guard lock(m_mutex);
    m_view = bytes;
    ++m_sets;
    m_calls.push_back("set");
}

void CRecordingScreen::ShowText(std::string bytes) {
    std::lock_guard lock(m_mutex);
    m_view = std::move(bytes);
    m_calls.push_back("show");
}

void CRecordingScreen::AppendText(std::string_view bytes) {
    std::lock_guard lock(m_mutex);
    m_view.append(bytes);
}

void CRecordingScreen::ShowProgress(const CTransferProgress& progress) {
    std::lock_guard lock(m_mutex);
    m_progress.push_back(progress);
}

std::vector<CTransferProgress> CRecordingScreen::Progress() const {
    std::lock_guard lock(m_mutex);
    return m_progress;
}

void CRecordingScreen::RefusePrompts() {
    std::lock_guard lock(m_mutex);
    m_refuse = true;
}

void CRecordingScreen::LockView() {
    std::lock_guard lock(m_mutex);
    m_locked = true;
    m_calls.push_back("lock");
}

void CRecordingScreen::UnlockView() {
    std::lock_guard lock(m_mutex);
    m_locked = false;
    m_calls.push_back("unlock");
}

void CRecordingScreen::ShowMessage(const std::string& utf8) {
    std::lock_guard lock(m_mutex);
    m_calls.push_back("msg:" + utf8);
}

bool CRecordingScreen::AskOperator(const std::string& utf8, const CCancelToken& cancel) {
    std::unique_lock lock(m_mutex);
    m_calls.push_back("prompt:" + utf8);
    while (m_hold && !cancel.IsCancelled()) m_cv.wait_for(lock, std::chrono::milliseconds(5));
    return !m_refuse && !cancel.IsCancelled();
}

void CRecordingScreen::MarkModified() {
    std::lock_guard lock(m_mutex);
    m_modified = true;
    m_calls.push_back("modified");
}

void CRecordingScreen::TransferEnded() {
    std::lock_guard lock(m_mutex);
    m_ended = true;
    m_cv.notify_all();
}

void CRecordingScreen::Abandon() {
    Release();
}

std::vector<std::string> CRecordingScreen::Calls() const {
    std::lock_guard lock(m_mutex);
    return m_calls;
}

std::vector<std::string> CRecordingScreen::Messages() const {
    std::vector<std::string> out;
    for (const auto& c : Calls())
        if (c.rfind("msg:", 0) == 0) out.push_back(c.substr(4));
    return out;
}

std::vector<std::string> CRecordingScreen::Prompts() const {
    std::vector<std::string> out;
    for (const auto& c : Calls())
        if (c.rfind("prompt:", 0) == 0) out.push_back(c.substr(7));
    return out;
}

std::string CRecordingScreen::View() const {
    std::lock_guard lock(m_mutex);
    return m_view;
}

bool CRecordingScreen::Locked() const {
    std::lock_guard lock(m_mutex);
    return m_locked;
}

bool CRecordingScreen::Modified() const {
    std::lock_guard lock(m_mutex);
    return m_modified;
}

int CRecordingScreen::SetCount() const {
    std::lock_guard lock(m_mutex);
    return m_sets;
}

void CRecordingScreen::HoldPrompts() {
    std::lock_guard lock(m_mutex);
    m_hold = true;
}

void CRecordingScreen::Release() {
    std::lock_guard lock(m_mutex);
    m_hold = false;
    m_cv.notify_all();
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

void UseTestComSettings(int protocol, int receiveTimeoutMs) {
    ComSettings.Update([&](ComSettingsRecord& r) {
        r = ComSettingsRecord{};
        std::strcpy(r.COMPort, "COM1");
        r.Protol = static_cast<int8_t>(protocol);
        r.RowDelay = 1;
        r.ReceiveTimeOut = receiveTimeoutMs;
    });
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
