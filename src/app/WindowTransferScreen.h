// The window's side of the worker interface. Every call made on a worker's
// thread is carried to the window's thread; calls that must finish first
// (messages, the operator prompt, lock/unlock, reading the text) wait for it.
// What arrives is appended to the view at most every 100 ms (the calls in
// between are gathered), and the progress is shown as often; nothing given is
// left out, and a whole text given replaces what was gathered before it. Text a transfer puts in
// the view that differs from what was there makes the document untitled and modified, so it never
// overwrites the file the view came from.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "transfer/TransferScreen.h"

class CCommunicationView;
class CCommunicationDoc;
class CMainFrame;

class CWindowTransferScreen : public QObject, public CTransferScreen {
    Q_OBJECT
public:
    static constexpr int kRefreshMs = 100;

    CWindowTransferScreen();
    ~CWindowTransferScreen() override;

    void Attach(CCommunicationView* view, CCommunicationDoc* doc, CMainFrame* frame);

    std::string GetViewText() override;
    void SetViewText(const std::string& bytes) override;
    void ShowText(std::string bytes) override;
    void AppendText(std::string_view bytes) override;
    void LockView() override;
    void UnlockView() override;
    void ShowMessage(const std::string& utf8) override;
    bool AskOperator(const std::string& utf8, const CCancelToken& cancel) override;
    void MarkModified() override;
    void ShowProgress(const CTransferProgress& progress) override;
    void TransferStarted() override;
    void TransferEnded() override;
    void Abandon() override;

    // Puts pending progress text on the screen now (window's thread).
    void Flush();
    // The window is usable again for a new run after Abandon.
    void Reset();

private slots:
    // Runs the calls the workers queued, one per event, in their order.
    void Drain();

private:
    struct CCall {
        std::function<void()> fn;
        std::shared_ptr<bool> done;  // null: nobody waits
        unsigned generation = 0;
    };

    // Runs fn on the window's thread; waits for it unless the transfer is
    // abandoned. A call still queued when its caller stops waiting is
    // dropped, so it never touches the caller's data afterwards.
    void RunOnUi(std::function<void()> fn, bool wait = true);
    void ScheduleFlush();
    // Any thread: arranges for the pending text to be shown.
    void PostFlush();
    // Window's thread: shows the newest progress count, or, if the status bar
    // changed less than a refresh ago, arranges to show it then.
    void ScheduleProgress();
    // Window's thread: shows a progress count still waiting, now.
    void ShowPendingProgress();
    // Window's thread: shows a worker's whole text, or what it added.
    void Place(const std::string& bytes, bool atEnd);
    void PlaceAppended(std::string_view bytes);
    // Window's thread: the first text a transfer changes makes the document
    // untitled (kept for Undo); later ones mark it modified again.
    void Detach();

    CCommunicationView* m_view = nullptr;
    CCommunicationDoc* m_doc = nullptr;
    CMainFrame* m_frame = nullptr;

    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_abandoned = false;        // guarded by m_mutex
    unsigned m_generation = 0;       // guarded by m_mutex; Abandon starts a new one
    std::deque<CCall> m_calls;       // guarded by m_mutex
    bool m_drainPosted = false;      // guarded by m_mutex
    std::string m_pendingText;       // guarded by m_mutex
    bool m_hasPending = false;       // guarded by m_mutex
    bool m_pendingReplaces = false;  // guarded by m_mutex: a whole text, not an addition
    std::atomic<bool> m_flushPosted{false};
    QTimer m_flushTimer;
    QElapsedTimer m_sinceRefresh;
    // Window's thread: this transfer has already made the document untitled.
    bool m_detached = false;

    CTransferProgress m_progress;  // guarded by m_mutex
    // Set while a count is on its way to the status bar (posted or timed).
    std::atomic<bool> m_progressPosted{false};
    QTimer m_progressTimer;
    QElapsedTimer m_sinceProgress;
};
