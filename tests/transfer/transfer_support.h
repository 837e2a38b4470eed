// Test doubles of the transfers: a screen that records every call and answers
// prompts at once, and settings for short, fast exchanges.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "TempCwd_support.h"
#include "link/SerialPort.h"
#include "sim/Pty.h"
#include "transfer/TransferManager.h"
#include "transfer/TransferScreen.h"

class CRecordingScreen : public CTransferScreen {
public:
    explicit CRecordingScreen(std::string viewText = {}) : m_view(std::move(viewText)) {}

    std::string GetViewText() override { return Read(m_view); }
    void SetViewText(const std::string& bytes) override { Set(m_view, bytes, "set"); }
    void ShowText(std::string bytes) override { Set(m_view, std::move(bytes), "show"); }
    void AppendText(std::string_view bytes) override;
    void LockView() override { Set(m_locked, true, "lock"); }
    void UnlockView() override { Set(m_locked, false, "unlock"); }
    void ShowMessage(const std::string& utf8) override;
    bool AskOperator(const std::string& utf8, const CCancelToken& cancel) override;
    void MarkModified() override { Set(m_modified, true, "modified"); }
    void ShowProgress(const CTransferProgress& progress) override;
    void TransferEnded() override { Set(m_ended, true); }
    void Abandon() override { Release(); }

    // Call log: "lock", "unlock", "prompt:<text>", "msg:<text>", "set", "show", "modified".
    std::vector<std::string> Calls() const { return Read(m_calls); }
    std::vector<std::string> Messages() const { return Tagged("msg:"); }
    std::vector<std::string> Prompts() const { return Tagged("prompt:"); }
    std::string View() const { return Read(m_view); }
    bool Locked() const { return Read(m_locked); }
    bool Modified() const { return Read(m_modified); }
    int SetCount() const { return static_cast<int>(Tagged("set").size()); }
    // Every report of the progress, in order.
    std::vector<CTransferProgress> Progress() const { return Read(m_progress); }
    // Blocks AskOperator until Release (or Abandon, or a stop) when set before
    // the transfer.
    void HoldPrompts() { Set(m_hold, true); }
    // The operator answers the hand-shake with 取消.
    void RefusePrompts() { Set(m_refuse, true); }
    void Release() { Set(m_hold, false); }
    bool WaitEnded(int timeoutMs);

private:
    template <class T>
    T Read(const T& field) const {
        std::lock_guard lock(m_mutex);
        return field;
    }
    // Changes one field under the lock, logs `call` (unless empty) and wakes
    // the waits.
    template <class T, class V>
    void Set(T& field, V&& value, const char* call = "") {
        std::lock_guard lock(m_mutex);
        field = std::forward<V>(value);
        if (*call) m_calls.emplace_back(call);
        m_cv.notify_all();
    }
    std::vector<std::string> Tagged(const std::string& prefix) const;

    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    std::string m_view;
    std::vector<std::string> m_calls;
    bool m_locked = false;
    bool m_modified = false;
    bool m_hold = false;
    bool m_refuse = false;
    std::vector<CTransferProgress> m_progress;
    bool m_ended = false;
};

// Serial settings for tests: COM1 (under a private JVS_COM_DIR), the given
// protocol, receive time-out and row delay.
void UseTestComSettings(int protocol, int receiveTimeoutMs = 400, int rowDelayMs = 1);

// Polls `done` until it holds (true) or `within` is over (false).
bool WaitUntil(const std::function<bool()>& done,
               std::chrono::milliseconds within = std::chrono::seconds(2));

// The end of every transfer: the view unlocked, the done flag up, the port
// closed.
void ExpectEnded(const CRecordingScreen& screen);

// Short port time-outs so that a silent instrument ends a reply read quickly.
SerialTimeouts ShortPortTimeouts();

// A pseudo-terminal playing the instrument as COM1, and the manager, stopped
// and the port checked closed at the end of each test.
class CPtyTransferTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_pty.Create());
        ASSERT_TRUE(m_pty.LinkAs(m_dir.PortPath(1)));
    }
    void TearDown() override {
        m_manager.StopAndJoin();
        EXPECT_FALSE(g_SerialPort.IsOpen());
    }
    // Starts the transfer with short port time-outs.
    void Start(TransferKind kind, CRecordingScreen& screen) {
        CTransferJob job;
        job.screen = &screen;
        job.portTimeouts = ShortPortTimeouts();
        ASSERT_TRUE(m_manager.Start(kind, job));
    }

    CTempComDir m_dir;
    CPty m_pty;
    CTransferManager m_manager;
};
