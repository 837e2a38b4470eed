// Test doubles of the transfers: a screen that records every call and answers
// prompts at once, and settings for short, fast exchanges.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "TempCwd_support.h"
#include "link/SerialPort.h"
#include "link/UsbDevice.h"
#include "sim/Pty.h"
#include "transfer/TransferManager.h"
#include "transfer/TransferScreen.h"

class CRecordingScreen : public CTransferScreen {
public:
    explicit CRecordingScreen(std::string viewText = {}) : m_view(std::move(viewText)) {}

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
    void TransferEnded() override;
    void Abandon() override;

    // Call log: "lock", "unlock", "prompt:<text>", "msg:<text>", "set", "show", "modified".
    std::vector<std::string> Calls() const;
    std::vector<std::string> Messages() const;
    std::vector<std::string> Prompts() const;
    std::string View() const;
    bool Locked() const;
    bool Modified() const;
    int SetCount() const;
    // Every report of the progress, in order.
    std::vector<CTransferProgress> Progress() const;
    // Blocks AskOperator until Release (or Abandon, or a stop) when set before
    // the transfer.
    void HoldPrompts();
    // The operator answers the hand-shake with 取消.
    void RefusePrompts();
    void Release();
    bool WaitEnded(int timeoutMs);

private:
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
    int m_sets = 0;
};

// A scripted USB device: what each Read returns, which Write fails, and a
// record of the packets written and when.
struct CUsbScript {
    std::mutex mutex;
    bool openOk = true;
    int failWriteAt = 0;  // 1-based packet number whose Write fails; 0 none
    std::vector<std::string> written;
    std::vector<std::chrono::steady_clock::time_point> writeTimes;
    std::deque<std::string> reads;  // each Read returns the next one
    std::string endless;            // then every Read returns this, when set
    // Bytes the device holds that only a stopped download reads: they come
    // once the transfer was stopped, after the scripted reads.
    std::deque<std::string> afterCancel;
    int opens = 0, closes = 0;
    // Reads find nothing until this long after Open.
    std::chrono::steady_clock::duration silentFor{};
    std::chrono::steady_clock::time_point openedAt;
};

class CScriptedUsbLayer : public CUsbDeviceLayer {
public:
    explicit CScriptedUsbLayer(CUsbScript& script) : m_s(script) {}
    unsigned Open() override;
    unsigned Write(const unsigned char* buffer, unsigned length) override;
    unsigned Read(unsigned char* buffer, unsigned length) override;
    void Close() override;

private:
    CUsbScript& m_s;
};

// A complete upload's progress: one record more each report, 100 % exactly
// when every record went, and a last report that says so.
void ExpectProgressEndsWhole(const CRecordingScreen& screen);

// Serial settings for tests: COM1 (under a private JVS_COM_DIR), 1 ms row
// delay, the given receive time-out and protocol.
void UseTestComSettings(int protocol, int receiveTimeoutMs = 400);

// Short port time-outs so that a silent instrument ends a reply read quickly.
SerialTimeouts ShortPortTimeouts();

// A pseudo-terminal playing the instrument as COM1, and the manager, stopped
// and the port checked closed at the end of each test.
class CPtyTransferTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Starts the transfer with short port time-outs.
    void Start(TransferKind kind, CRecordingScreen& screen);

    CTempComDir m_dir;
    CPty m_pty;
    CTransferManager m_manager;
};
