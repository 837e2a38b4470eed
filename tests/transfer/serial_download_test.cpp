// Serial downloads end to end over a pseudo-terminal: what the PC sends, what
// ends up in the view, and every failure path.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "link/SerialPort.h"
#include "transfer/TransferRun.h"
#include "transfer/TransferState.h"
#include "transfer/TransferWorkers.h"
#include "transfer_support.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

class SerialDownload : public CPtyTransferTest {
protected:
    // Under None the instrument starts sending once the PC listens (after the
    // view is locked and the queues are purged).
    void WaitListening(const CRecordingScreen& screen) {
        const auto locked = [&] {
            const auto calls = screen.Calls();
            return std::find(calls.begin(), calls.end(), "lock") != calls.end();
        };
        ASSERT_TRUE(WaitUntil(locked, 5s)) << "never listened";
        std::this_thread::sleep_for(100ms);
    }

    CRecordingScreen m_screen{"old document"};
};

}  // namespace

TEST_F(SerialDownload, EndMarkEndsItAndEveryByteIsKept) {
    // QMX210 under None: a zero byte inside a chunk, and bytes after EOT in the
    // same chunk. QMX610: ends at ETX, sends only ENQ under Ack/Nak. Early:
    // the operator pressed Enter on the instrument before answering the PC.
    static const char raw[] =
        "\x02"
        "A1\x00"
        "B2\x03\r\n\x02"
        "C3\x03\r\n\x04"
        "after";
    const std::string qmx610 =
        "0812345678\r\n09F1 line\r\n\x03"
        "tail\r\n";
    const struct {
        TransferKind kind;
        int protocol;
        std::string data;
        bool early = false;
    } cases[] = {{TransferKind::DownloadQmx210, 0, std::string(raw, sizeof raw - 1)},
                 {TransferKind::DownloadQmx610, 1, qmx610},
                 {TransferKind::DownloadQmx210, 0, std::string(raw, sizeof raw - 1), true},
                 {TransferKind::DownloadQmx610, 0, qmx610, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.data + (c.early ? " early" : ""));
        UseTestComSettings(c.protocol);
        CRecordingScreen screen("before");
        if (c.early) screen.HoldPrompts();
        Start(c.kind, screen);
        if (c.early)
            WaitUntil([&] { return !screen.Prompts().empty(); });
        else if (c.protocol == 1)
            EXPECT_EQ(m_pty.ReadFor(1000, 1), "\x05");
        else
            WaitListening(screen);
        ASSERT_EQ(m_pty.WriteAll(c.data), c.data.size());
        if (c.early) {
            std::this_thread::sleep_for(20ms);
            screen.Release();
        }
        EXPECT_EQ(m_manager.Wait(), 1u);
        ExpectEnded(screen);
        EXPECT_EQ(m_pty.ReadFor(100), "") << "nothing more from the PC";
        EXPECT_EQ(screen.View(), c.data);
        EXPECT_EQ(g_strTransferText.Get(), c.data);
        EXPECT_TRUE(screen.Modified());
        EXPECT_EQ(screen.Prompts(), std::vector<std::string>{kMsgPromptPcFirst});
        EXPECT_EQ(screen.Messages(), std::vector<std::string>{kMsgReceiveComplete});
    }
}

TEST_F(SerialDownload, Qmx210AckNakSendsEnqOnceAndAckPerEtx) {
    UseTestComSettings(1);
    Start(TransferKind::DownloadQmx210, m_screen);
    EXPECT_EQ(m_pty.ReadFor(1000, 1), "\x05");
    // Two ETX in one chunk: two ACKs.
    const std::string first =
        "\x02"
        "AA\x03\r\n\x02"
        "BB\x03\r\n";
    m_pty.WriteAll(first);
    EXPECT_EQ(m_pty.ReadFor(1000, 2), "\x06\x06");
    // ETX, then EOT in mid-chunk, then an ETX after EOT that is not answered.
    const std::string second =
        "\x02"
        "CC\x03\r\n\x04"
        "x\x03y";
    m_pty.WriteAll(second);
    EXPECT_EQ(m_manager.Wait(), 1u);
    EXPECT_EQ(m_pty.ReadFor(100), "\x06");
    EXPECT_EQ(m_screen.View(), first + second);
    EXPECT_EQ(m_screen.Prompts(), std::vector<std::string>{kMsgPromptInstrumentFirst});
}

TEST_F(SerialDownload, SilenceOrHangUpKeepsWhatArrivedAndUnlocks) {
    const std::string part =
        "\x02"
        "HALF\x03\r\n";
    // -1: nothing arrives; 0: silence after part of the data; 1: hang-up after it.
    for (int how : {-1, 0, 1}) {
        SCOPED_TRACE(how);
        const std::string sent = how < 0 ? "" : part;
        UseTestComSettings(0, 300);
        CRecordingScreen screen("old document");
        const auto start = Clock::now();
        Start(how < 0 ? TransferKind::DownloadQmx610 : TransferKind::DownloadQmx210, screen);
        WaitListening(screen);
        m_pty.WriteAll(sent);
        if (how == 1) {
            std::this_thread::sleep_for(50ms);
            m_pty.CloseMaster();
        }
        EXPECT_EQ(m_manager.Wait(), 0u);
        EXPECT_LT(Clock::now() - start, 3s);
        ExpectEnded(screen);
        EXPECT_EQ(screen.Messages(), std::vector<std::string>{kMsgCommTimeout});
        EXPECT_EQ(screen.Modified(), how >= 0);
        EXPECT_EQ(screen.View(), how < 0 ? "old document" : part);
        EXPECT_EQ(g_strTransferText.Get(), sent);
    }
}

TEST_F(SerialDownload, MissingPortReportsAndNeverLocks) {
    m_pty.RemoveLink();
    for (TransferKind kind : {TransferKind::DownloadQmx210, TransferKind::UploadQmx610}) {
        SCOPED_TRACE(static_cast<int>(kind));
        UseTestComSettings(0);
        const std::string text = "A,,1,2,3\r\n";
        CRecordingScreen screen(text);
        g_bTransferDone = false;
        ASSERT_TRUE(m_manager.Start(kind, screen));
        EXPECT_EQ(m_manager.Wait(), 0u);
        // The device the name resolved to and the system's reason on a second line.
        EXPECT_EQ(screen.Messages(),
                  std::vector<std::string>{std::string(kMsgPortOpenFailed) + "\nCOM1 -> " +
                                           m_dir.PortPath(1) + ": No such file or directory"});
        EXPECT_TRUE(screen.Prompts().empty());
        EXPECT_EQ(screen.View(), text);
        ExpectEnded(screen);
    }
}

extern "C" void CancelOnSignal(int) {
    CancelTransferFromSignal();
}

// (What a close puts back on the device is the port's own test's.)
TEST_F(SerialDownload, InterruptKeepsWhatArrivedAndFreesThePort) {
    struct sigaction action {
    }, old{};
    action.sa_handler = CancelOnSignal;
    ASSERT_EQ(sigaction(SIGUSR1, &action, &old), 0);
    // The instrument sends a line, then another that reaches the line just
    // before the interrupt (or the stop command): both are kept, every time.
    // An interrupt says nothing; the command says what it kept.
    const std::string first = "P1,,1.000,2.000,3.000\r\n", second = "P2,,4.0";
    for (TransferKind kind : {TransferKind::DownloadQmx210, TransferKind::DownloadQmx610}) {
        for (int protocol : {0, 1}) {
            for (int run = 0; run < 5; ++run) {
                SCOPED_TRACE(testing::Message() << static_cast<int>(kind) << protocol << run);
                UseTestComSettings(protocol, 60000);
                g_strTransferText.Clear();
                CRecordingScreen screen;
                Start(kind, screen);
                if (protocol == 1)
                    ASSERT_EQ(m_pty.ReadFor(1000, 1), "\x05");
                else
                    WaitUntil([&] { return screen.Calls().size() >= 2; });
                m_pty.WriteAll(first);
                WaitUntil([&] { return g_strTransferText.Size() >= first.size(); });
                m_pty.WriteAll(second);
                const auto start = Clock::now();
                const bool command = run % 2 == 1;
                if (command)
                    ASSERT_TRUE(m_manager.Stop(EStopReason::Command));
                else
                    ASSERT_EQ(kill(getpid(), SIGUSR1), 0);
                EXPECT_EQ(m_manager.Wait(), 0u);
                EXPECT_LT(Clock::now() - start, 1s);
                EXPECT_EQ(g_strTransferText.Get(), first + second) << "what arrived is kept";
                EXPECT_EQ(screen.View(), first + second);
                EXPECT_TRUE(screen.Modified());
                EXPECT_EQ(screen.Messages(),
                          command ? std::vector<std::string>{"已停止接收，保留已接收的 30 字节。"}
                                  : std::vector<std::string>{});
                ExpectEnded(screen);
            }
        }
    }
    sigaction(SIGUSR1, &old, nullptr);
}

TEST_F(SerialDownload, StopsAtTheBoundKeepingWhatArrived) {
    const std::string line = "0812345678 1.2345 6.7890 10.000\r\n";
    std::string pattern;
    while (pattern.size() < kDownloadLimit + 4096) pattern += line;
    // An instrument that never sends its end mark; one whose stream ends
    // exactly at the bound is complete.
    const std::string exact = pattern.substr(0, kDownloadLimit - 1) + "\x03";
    for (bool endless : {true, false}) {
        SCOPED_TRACE(endless);
        UseTestComSettings(0, 2000);
        CRecordingScreen screen("old document");
        Start(TransferKind::DownloadQmx610, screen);
        WaitListening(screen);
        std::thread instrument([&] {
            const std::string& data = endless ? pattern : exact;
            for (size_t at = 0; at < data.size() && m_manager.IsTransferRunning();)
                at += m_pty.WriteAll(data.substr(at, 65536), 50);
            while (endless && m_manager.IsTransferRunning()) m_pty.WriteAll(line, 50);
        });
        EXPECT_EQ(m_manager.Wait(), endless ? 0u : 1u);
        instrument.join();
        const std::string kept = g_strTransferText.Get();
        EXPECT_TRUE(kept == (endless ? pattern.substr(0, kDownloadLimit) : exact));
        EXPECT_EQ(screen.View().size(), kDownloadLimit);
        EXPECT_TRUE(screen.Modified());
        EXPECT_EQ(screen.Messages(),
                  std::vector<std::string>{endless ? kMsgDownloadTooLarge : kMsgReceiveComplete});
    }
}
