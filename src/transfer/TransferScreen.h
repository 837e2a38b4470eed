// The only way a transfer worker reaches the screen. The desktop program
// implements it with the window (calls carried to the user-interface thread),
// `jvs` with the console, the tests with a recorder.
#pragma once

#include <string>
#include <string_view>

class CCancelToken;

// Where a transfer stands, for the progress display. The screen decides how
// often it shows it: the worker reports every chunk and every record.
struct CTransferProgress {
    enum class EPhase { Waiting, Receiving, Sending };
    EPhase phase = EPhase::Waiting;
    long long bytes = 0;    // received (downloads)
    long long records = 0;  // lines received, or records sent
    long long total = 0;    // records to send (uploads)
    double bytesPerSecond = 0;
    // Waiting: seconds until the time-out; sending: the estimated time left.
    long long secondsLeft = -1;
    // The transfer's last report: always shown.
    bool final = false;

    // Records sent of the total, in whole percent; exactly 100 only when all went.
    int Percent() const;
};

// "等待仪器发送数据… 剩余 N 秒", "已接收 N 字节，M 行，R 字节/秒",
// "已发送 N / M 条记录 (P%)，剩余约 S 秒" (UTF-8).
std::string ProgressText(const CTransferProgress& progress);

class CTransferScreen {
public:
    virtual ~CTransferScreen() = default;

    // The view's whole text, as bytes (code page 936).
    virtual std::string GetViewText() = 0;
    // Replaces the view's text; the caret and scroll position are not moved.
    virtual void SetViewText(const std::string& bytes) = 0;
    // Replaces the view's text and moves the caret to its end (the start of a
    // transfer's text and its end, which is exactly the transfer text).
    virtual void ShowText(std::string bytes) = 0;
    // Progress display: the bytes that came (or went) since the last call are
    // added at the end of the view. An implementation may coalesce calls;
    // nothing given is ever left out.
    virtual void AppendText(std::string_view bytes) = 0;
    virtual void LockView() = 0;
    virtual void UnlockView() = 0;
    // A modal message (UTF-8); returns when the user has closed it.
    virtual void ShowMessage(const std::string& utf8) = 0;
    // The operator hand-shake: true when the operator confirmed, false when
    // the operator chose 取消 or the transfer was stopped meanwhile (`cancel`).
    virtual bool AskOperator(const std::string& utf8, const CCancelToken& cancel) = 0;
    // A download put data into the view: the document now needs saving.
    virtual void MarkModified() = 0;
    virtual void ShowProgress(const CTransferProgress& /*progress*/) {}
    // Called on the starting thread before the worker runs.
    virtual void TransferStarted() {}
    // Called on the worker's thread once the worker has returned (the window
    // re-enables its commands).
    virtual void TransferEnded() {}
    // The screen is going away while a worker may still wait on it (the
    // window is destroyed): such a wait returns at once, and later calls do
    // not block.
    virtual void Abandon() {}
};
