// One transfer from its start to its end: the port or USB device it holds,
// the one cancel token every wait of it watches, its progress, and the one
// way it ends.
#pragma once

#include <atomic>
#include <chrono>
#include <string>
#include <string_view>

#include "base/CancelToken.h"
#include "transfer/TransferManager.h"
#include "transfer/TransferScreen.h"

class CSerialPort;
class CUsbDevice;
struct ComSettingsRecord;

// Why a transfer was stopped before its end.
enum class EStopReason {
    None,
    Command,  // 停止传输 (the menu, Esc, the status bar's button)
    Exit,     // the program is leaving
    Signal,   // SIGINT, SIGTERM or SIGHUP to `jvs`
};

// What the view holds when a transfer ends.
enum class EEndView {
    Keep,      // as it is
    Received,  // what a download received, when anything came (never lost)
    Restore,   // the text it held before the upload
    Echo,      // the records the upload sent (set in place)
};

// The program's texts of a stopped transfer.
inline constexpr char kMsgDownloadStopped[] = "已停止接收，保留已接收的 %1 字节。";
inline constexpr char kMsgUploadStopped[] = "已停止发送：已发送 %1 / %2 条记录。";

class CTransferRun {
public:
    // `receives`: a download (what a stop says differs).
    CTransferRun(const CTransferJob& job, bool receives);
    ~CTransferRun();
    CTransferRun(const CTransferRun&) = delete;
    CTransferRun& operator=(const CTransferRun&) = delete;

    CTransferScreen& Screen() { return m_screen; }
    const CTransferJob& Job() const { return m_job; }
    const CCancelToken& Token() const { return m_cancel; }

    // Any thread; the first reason given is the one kept. Async-signal-safe.
    void Stop(EStopReason reason) noexcept;
    bool Stopped() const { return m_cancel.IsCancelled(); }
    EStopReason StopReason() const { return m_reason.load(); }

    // Opens g_SerialPort with the transfer's token; false after the port's
    // own message (the run has ended).
    bool OpenPort(const ComSettingsRecord& settings);
    // Opens the USB device with the token; false when it cannot be opened.
    bool OpenUsb();
    CUsbDevice& Usb() { return m_usb; }

    // The hand-shake; false when the operator chose 取消 or a stop came.
    bool Ask(const char* prompt);
    void LockView();
    // The text the view held before an upload (EEndView::Restore).
    void KeepStartText(std::string text) { m_startText = std::move(text); }
    const std::string& StartText() const { return m_startText; }
    // The row delay, ended early by a stop.
    void Delay(unsigned milliseconds) { m_cancel.Delay(milliseconds); }

    // Progress. Downloads: waiting (the time-out counting down), then every
    // chunk kept. Uploads: the total once, then every record that went.
    void Waiting(std::chrono::steady_clock::time_point deadline);
    void Received(std::string_view chunk);
    void BeginSending(long long total, unsigned rowDelayMs);
    void Sent();
    long long RecordsSent() const { return m_progress.records; }

    // The one end of every transfer, in this order: close the port or device,
    // set the view (and mark received data modified), show the message (a
    // stopped transfer says what it kept or sent instead, when the stop was
    // the command's), unlock the view, wait the uploads' closing second when
    // asked, raise g_bTransferDone. Returns the exit code. A run that ends
    // without it (an early return) gets the same steps with code 0.
    unsigned Finish(unsigned code, std::string_view message, EEndView view, bool pause = false);
    // A stop seen by the worker: ends with code 0 and the stop's own message.
    unsigned FinishStopped(EEndView view);

private:
    void Report(bool final);

    CTransferJob m_job;
    CTransferScreen& m_screen;
    CUsbDevice& m_usb;
    CCancelToken m_cancel;
    std::atomic<EStopReason> m_reason{EStopReason::None};
    bool m_portOpen = false, m_usbOpen = false, m_locked = false, m_ended = false;
    bool m_receives = false, m_reporting = false;
    std::string m_startText;
    CTransferProgress m_progress;
    unsigned m_rowDelayMs = 0;
    std::chrono::steady_clock::time_point m_started{}, m_firstByte{};
};

// For a signal handler (async-signal-safe): stops the running transfer, which
// ends through its normal path, closing and releasing the port. A stopped
// download leaves what arrived in g_strTransferText.
void CancelTransferFromSignal() noexcept;
// The run a signal stops (set by the manager while a worker runs).
void SetSignalTarget(CTransferRun* run) noexcept;
