#include "transfer/TransferRun.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "link/SerialPort.h"
#include "link/UsbDevice.h"
#include "transfer/TransferState.h"
#include "transfer/TransferWorkers.h"

namespace {

using Clock = std::chrono::steady_clock;

std::atomic<CTransferRun*> g_signalTarget{nullptr};
static_assert(std::atomic<CTransferRun*>::is_always_lock_free, "read by signal handlers");
static_assert(std::atomic<EStopReason>::is_always_lock_free, "written by signal handlers");

long long SecondsUntil(Clock::duration left) {
    const double s = std::chrono::duration<double>(left).count();
    return s <= 0 ? 0 : static_cast<long long>(std::ceil(s));
}

std::string Format(const char* pattern, long long a, long long b = 0) {
    std::string out(pattern);
    auto put = [&out](const char* mark, long long v) {
        const size_t at = out.find(mark);
        if (at != std::string::npos) out.replace(at, 2, std::to_string(v));
    };
    put("%1", a);
    put("%2", b);
    return out;
}

}  // namespace

int CTransferProgress::Percent() const {
    if (total <= 0) return 100;
    return static_cast<int>(std::clamp<long long>(records * 100 / total, 0, 100));
}

std::string ProgressText(const CTransferProgress& p) {
    char text[160];
    switch (p.phase) {
        case CTransferProgress::EPhase::Waiting:
            std::snprintf(text, sizeof text, "等待仪器发送数据… 剩余 %lld 秒",
                          std::max(0LL, p.secondsLeft));
            break;
        case CTransferProgress::EPhase::Receiving:
            std::snprintf(text, sizeof text, "已接收 %lld 字节，%lld 行，%.0f 字节/秒", p.bytes,
                          p.records, p.bytesPerSecond);
            break;
        case CTransferProgress::EPhase::Sending:
            if (p.final || p.secondsLeft < 0)
                std::snprintf(text, sizeof text, "已发送 %lld / %lld 条记录 (%d%%)", p.records,
                              p.total, p.Percent());
            else
                std::snprintf(text, sizeof text, "已发送 %lld / %lld 条记录 (%d%%)，剩余约 %lld 秒",
                              p.records, p.total, p.Percent(), p.secondsLeft);
            break;
    }
    return text;
}

CTransferRun::CTransferRun(const CTransferJob& job, bool receives)
    : m_job(job),
      m_screen(*job.screen),
      m_usb(job.usb ? *job.usb : g_UsbDevice),
      m_receives(receives) {}

CTransferRun::~CTransferRun() {
    if (!m_ended) Finish(0, {}, EEndView::Keep);
}

void CTransferRun::Stop(EStopReason reason) noexcept {
    EStopReason none = EStopReason::None;
    m_reason.compare_exchange_strong(none, reason);
    m_cancel.Cancel();
}

bool CTransferRun::OpenPort(const ComSettingsRecord& settings) {
    m_portOpen = g_SerialPort.Open(settings, m_job.portTimeouts, &m_cancel);
    return m_portOpen;
}

bool CTransferRun::OpenUsb() {
    m_usbOpen = m_usb.Open(&m_cancel) != 0;
    return m_usbOpen;
}

bool CTransferRun::Ask(const char* prompt) {
    if (Stopped()) return false;
    return m_screen.AskOperator(prompt, m_cancel) && !Stopped();
}

void CTransferRun::LockView() {
    ::LockView(m_screen);
    m_locked = true;
}

void CTransferRun::Report(bool final) {
    m_reporting = true;
    m_progress.final = final;
    m_screen.ShowProgress(m_progress);
}

void CTransferRun::Waiting(Clock::time_point deadline) {
    m_progress.phase = CTransferProgress::EPhase::Waiting;
    m_progress.secondsLeft = SecondsUntil(deadline - Clock::now());
    Report(false);
}

void CTransferRun::Received(std::string_view chunk) {
    const auto now = Clock::now();
    if (m_progress.phase != CTransferProgress::EPhase::Receiving) {
        m_progress.phase = CTransferProgress::EPhase::Receiving;
        m_firstByte = now;
    }
    m_progress.bytes += static_cast<long long>(chunk.size());
    m_progress.records += std::count(chunk.begin(), chunk.end(), '\n');
    const double seconds = std::chrono::duration<double>(now - m_firstByte).count();
    m_progress.bytesPerSecond = seconds > 0 ? m_progress.bytes / seconds : 0;
    m_progress.secondsLeft = -1;
    Report(false);
}

void CTransferRun::BeginSending(long long total, unsigned rowDelayMs) {
    m_progress = CTransferProgress{};
    m_progress.phase = CTransferProgress::EPhase::Sending;
    m_progress.total = total;
    m_rowDelayMs = rowDelayMs;
    m_started = Clock::now();
    m_progress.secondsLeft = (total * static_cast<long long>(rowDelayMs) + 999) / 1000;
    Report(false);
}

void CTransferRun::Sent() {
    ++m_progress.records;
    // What a record took so far (the row delay and the line's own time)
    // predicts the rest.
    const auto perRecord = (Clock::now() - m_started) / m_progress.records;
    m_progress.secondsLeft =
        SecondsUntil(perRecord * std::max(0LL, m_progress.total - m_progress.records));
    Report(false);
}

unsigned CTransferRun::FinishStopped(EEndView view) {
    std::string message;
    if (StopReason() == EStopReason::Command) {
        message = m_receives ? Format(kMsgDownloadStopped,
                                      static_cast<long long>(g_strTransferText.Size()))
                             : Format(kMsgUploadStopped, m_progress.records, m_progress.total);
    }
    return Finish(0, message, view);
}

unsigned CTransferRun::Finish(unsigned code, std::string_view message, EEndView view, bool pause) {
    if (m_ended) return code;
    m_ended = true;
    if (m_portOpen && g_SerialPort.IsOpen()) g_SerialPort.Close();
    m_portOpen = false;
    if (m_usbOpen) m_usb.Close();
    m_usbOpen = false;
    switch (view) {
        case EEndView::Keep:
            break;
        case EEndView::Received:
            if (g_strTransferText.Size() > 0) {
                SetViewToTransferText(m_screen, true);
                m_screen.MarkModified();
            }
            break;
        case EEndView::Restore:
            g_strTransferText.Set(m_startText);
            SetViewTextHoldingTextMutex(m_screen, m_startText);
            break;
        case EEndView::Echo:
            SetViewToTransferText(m_screen, false);
            break;
    }
    if (m_reporting) Report(true);
    if (!message.empty()) m_screen.ShowMessage(std::string(message));
    if (m_locked) ::UnlockView(m_screen);
    m_locked = false;
    if (pause) DelayMs(1000);
    g_bTransferDone = true;
    return code;
}

void SetSignalTarget(CTransferRun* run) noexcept {
    g_signalTarget = run;
}

void CancelTransferFromSignal() noexcept {
    if (CTransferRun* run = g_signalTarget.load()) run->Stop(EStopReason::Signal);
}
