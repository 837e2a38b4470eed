// The window's side of the worker interface. Every call made on a worker's
// thread is carried to the window's thread; calls that must finish first
// (messages, the operator prompt, lock/unlock, reading the text) wait for it.
// Text shown while data arrives is refreshed at most every 100 ms, and the
// last text given is always the one left on the screen.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <atomic>
#include <condition_variable>
#include <functional>
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
    void ShowText(const std::string& bytes) override;
    void LockView() override;
    void UnlockView() override;
    void ShowMessage(const std::string& utf8) override;
    void AskOperator(const std::string& utf8) override;
    void MarkModified() override;
    void ShowProgress(long long units, bool receiving) override;
    void TransferEnded() override;
    void Abandon() override;

    // Puts pending progress text on the screen now (window's thread).
    void Flush();
    // The window is usable again for a new run (tests).
    void Reset();

private:
    // Runs fn on the window's thread; waits for it unless the program exits.
    void RunOnUi(std::function<void()> fn, bool wait = true);
    void ScheduleFlush();

    CCommunicationView* m_view = nullptr;
    CCommunicationDoc* m_doc = nullptr;
    CMainFrame* m_frame = nullptr;

    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_abandoned = false;  // guarded by m_mutex
    std::string m_pendingText;
    bool m_hasPending = false;
    std::atomic<bool> m_flushPosted{false};
    QTimer m_flushTimer;
    QElapsedTimer m_sinceRefresh;

    std::atomic<long long> m_progress{-1};
    std::atomic<bool> m_progressReceiving{false};
    std::atomic<bool> m_progressPosted{false};
};
