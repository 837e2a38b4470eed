// USB transfers against a scripted in-memory device: the packets written, the
// reads returned, a write failing at the n-th packet, silence.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <mutex>
#include <thread>

#include "config/LinkSettings.h"
#include "link/UsbDevice.h"
#include "transfer/TransferManager.h"
#include "transfer/TransferState.h"
#include "transfer/TransferWorkers.h"
#include "transfer_support.h"
#include "usb_mock_support.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

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
    unsigned Open() override {
        std::lock_guard lock(m_s.mutex);
        ++m_s.opens;
        m_s.openedAt = Clock::now();
        return m_s.openOk ? 1 : 0;
    }
    unsigned Write(const unsigned char* buffer, unsigned length) override {
        std::lock_guard lock(m_s.mutex);
        if (m_s.failWriteAt && static_cast<int>(m_s.written.size()) + 1 == m_s.failWriteAt)
            return 0;
        m_s.written.emplace_back(reinterpret_cast<const char*>(buffer), length);
        m_s.writeTimes.push_back(Clock::now());
        return 1;
    }
    unsigned Read(unsigned char* buffer, unsigned length) override {
        std::lock_guard lock(m_s.mutex);
        if (Clock::now() - m_s.openedAt < m_s.silentFor) return 0;
        std::deque<std::string>& queue =
            m_s.reads.empty() && Cancelled() ? m_s.afterCancel : m_s.reads;
        if (queue.empty() && m_s.endless.empty()) return 0;
        std::string next = queue.empty() ? m_s.endless : queue.front();
        if (!queue.empty()) queue.pop_front();
        const unsigned n = std::min<unsigned>(length, next.size());
        std::copy(next.begin(), next.begin() + n, buffer);
        return n;
    }
    void Close() override {
        std::lock_guard lock(m_s.mutex);
        ++m_s.closes;
    }

private:
    CUsbScript& m_s;
};

// A scripted device and the CUsbDevice that plays it.
struct CScripted {
    CUsbScript script;
    CUsbDevice device{std::make_unique<CScriptedUsbLayer>(script)};
};

unsigned RunUsb(TransferKind kind, CRecordingScreen& screen, CUsbDevice& device) {
    CTransferManager manager;
    CTransferJob job;
    job.screen = &screen;
    job.usb = &device;
    EXPECT_TRUE(manager.Start(kind, job));
    const unsigned code = manager.Wait();
    ExpectEnded(screen);
    return code;
}

}  // namespace

TEST(UsbTransfer, NoDeviceSaysNotConnectedAtOnce) {
    CScripted missing;
    missing.script.openOk = false;
    for (TransferKind kind : {TransferKind::UsbDownload, TransferKind::UsbUploadQmx610}) {
        CRecordingScreen screen("view");
        g_bTransferDone = false;
        const auto start = Clock::now();
        EXPECT_EQ(RunUsb(kind, screen, missing.device), 0u);
        EXPECT_LT(Clock::now() - start, 2s);
        EXPECT_EQ(screen.Calls(),
                  std::vector<std::string>{std::string("msg:") + kMsgUsbNotConnected});
        EXPECT_EQ(screen.View(), "view");
    }
    EXPECT_EQ(missing.script.opens, 2);
    // The reason, where the device layer knows one, on a second line.
    CUsbDevice none(std::make_unique<CNullUsbLayer>());
    CRecordingScreen screen;
    EXPECT_EQ(RunUsb(TransferKind::UsbUploadText, screen, none), 0u);
    EXPECT_EQ(screen.Messages(), std::vector<std::string>{std::string(kMsgUsbNotConnected) +
                                                          "\nbuilt without USB support"});
}

TEST(UsbTransfer, UploadPacketsOneLinePerPacketZeroFilled) {
    CScripted usb;
    UsbSettings.Set({500, 150});
    // A 10-byte line, a 130-byte line, a blank line.
    const std::string shortLine = "12345678\r\n";
    const std::string longLine = std::string(128, 'L') + "\r\n";
    const std::string text = shortLine + longLine + "\r\n";
    CRecordingScreen screen(text);
    const auto start = Clock::now();
    EXPECT_EQ(RunUsb(TransferKind::UsbUploadText, screen, usb.device), 1u);
    const std::vector<std::string> expected = {UsbPacket(shortLine), std::string(64, 'L'),
                                               std::string(64, 'L'), UsbPacket("\r\n"),
                                               UsbPacket("\r\n"),    UsbPacket("\x04\r\n")};
    ASSERT_EQ(usb.script.written, expected);
    // The row delay follows only packets that hold a CR LF: none between the
    // three pieces of the long line.
    EXPECT_LT(usb.script.writeTimes[2] - usb.script.writeTimes[1], 100ms);
    EXPECT_GE(usb.script.writeTimes[1] - usb.script.writeTimes[0], 150ms);
    EXPECT_GE(usb.script.writeTimes[4] - usb.script.writeTimes[3], 150ms);
    // Five row delays and the closing second.
    EXPECT_GE(Clock::now() - start, 1000ms + 4 * 150ms);
    EXPECT_EQ(g_strTransferText.Get(), text);
    EXPECT_EQ(usb.script.closes, 1);
    EXPECT_EQ(screen.Prompts(), std::vector<std::string>{kMsgPromptUsbUpload});
    EXPECT_EQ(screen.Messages(), std::vector<std::string>{kMsgCommFinished});

    // A last line without CR LF travels with the end marker.
    CScripted unended;
    UsbSettings.Set({500, 1});
    CRecordingScreen last("ab\r\ncd");
    EXPECT_EQ(RunUsb(TransferKind::UsbUploadText, last, unended.device), 1u);
    EXPECT_EQ(unended.script.written,
              (std::vector<std::string>{UsbPacket("ab\r\n"), UsbPacket("cd\x04\r\n")}));
}

TEST(UsbTransfer, WriteFailurePutsTheTextBack) {
    CScripted usb;
    usb.script.failWriteAt = 2;
    UsbSettings.Set({500, 1});
    const std::string text = "one\r\ntwo\r\nthree\r\n";
    CRecordingScreen screen(text);
    const auto start = Clock::now();
    EXPECT_EQ(RunUsb(TransferKind::UsbUploadText, screen, usb.device), 0u);
    EXPECT_GE(Clock::now() - start, 1000ms);
    EXPECT_EQ(usb.script.written, std::vector<std::string>{UsbPacket("one\r\n")});
    EXPECT_EQ(screen.Messages(), std::vector<std::string>{kMsgUsbNotConnected});
    EXPECT_EQ(g_strTransferText.Get(), text);
    EXPECT_EQ(screen.View(), text);
    EXPECT_EQ(usb.script.closes, 1);
}

TEST(UsbTransfer, DownloadTimesOutAndSettingsOfZeroMeanTenSecondsAnd800Ms) {
    CScripted usb;
    usb.script.reads = {"partial\r\n"};
    UsbSettings.Set({200, 1});
    CRecordingScreen screen("old");
    const auto start = Clock::now();
    EXPECT_EQ(RunUsb(TransferKind::UsbDownload, screen, usb.device), 0u);
    const auto took = Clock::now() - start;
    EXPECT_GE(took, 200ms);
    EXPECT_LT(took, 1000ms);
    EXPECT_EQ(screen.Messages(), std::vector<std::string>{kMsgCommTimeout});
    EXPECT_EQ(screen.Prompts(), std::vector<std::string>{kMsgPromptUsbDownload});
    EXPECT_EQ(screen.View(), "partial\r\n");
    EXPECT_TRUE(screen.Modified());
    EXPECT_EQ(usb.script.closes, 1);

    UsbSettings.Set({0, 0});
    CScripted up, down;
    CRecordingScreen text("a\r\n"), got;
    EXPECT_EQ(RunUsb(TransferKind::UsbUploadText, text, up.device), 1u);
    ASSERT_EQ(up.script.written.size(), 2u);
    EXPECT_GE(up.script.writeTimes[1] - up.script.writeTimes[0], 800ms);
    // Silent for 1.1 s, then the end: a time-out of 0 must not end it.
    down.script.silentFor = 1100ms;
    down.script.reads = {"done\x03"};
    EXPECT_EQ(RunUsb(TransferKind::UsbDownload, got, down.device), 1u);
    EXPECT_EQ(got.View(), "done\x03");
}

TEST(UsbTransfer, CoordinateUploadSendsTheWholeListOrNothing) {
    UsbSettings.Set({500, 1});
    // A blank line and an unterminated last line: every point goes.
    CScripted usb;
    CRecordingScreen screen("A1,C,1.0,2.0,3.0\r\n\r\nA3,,4,5,6\r\nA4,,7,8,9");
    EXPECT_EQ(RunUsb(TransferKind::UsbUploadQmx610, screen, usb.device), 1u);
    EXPECT_EQ(usb.script.written,
              (std::vector<std::string>{UsbPacket("/Dg 2.0,1.0,3.0,A1,C\r\n"),
                                        UsbPacket("/Dg 5,4,6,A3\r\n"),
                                        UsbPacket("/Dg 8,7,9,A4\r\n"), UsbPacket("\x04\r\n")}));
    // A note line refuses the whole list before a packet goes.
    CScripted refused;
    CRecordingScreen noted("A1,C,1.0,2.0,3.0\r\nnote\r\nA3,,4,5,6\r\n");
    EXPECT_EQ(RunUsb(TransferKind::UsbUploadQmx610, noted, refused.device), 0u);
    EXPECT_TRUE(refused.script.written.empty());
    EXPECT_TRUE(noted.Prompts().empty());
    EXPECT_EQ(noted.Messages(), std::vector<std::string>{"不是有效的TERV210格式!\n第2行"});
    EXPECT_EQ(noted.View(), "A1,C,1.0,2.0,3.0\r\nnote\r\nA3,,4,5,6\r\n");
}

TEST(UsbTransfer, DownloadStopsAtTheBoundKeepingWhatArrived) {
    // A device that never sends ETX.
    CScripted usb;
    usb.script.reads = {"first\r\n"};
    usb.script.endless = std::string(63, 'x') + "\n";
    UsbSettings.Set({2000, 1});
    CRecordingScreen screen("old");
    EXPECT_EQ(RunUsb(TransferKind::UsbDownload, screen, usb.device), 0u);
    EXPECT_EQ(screen.Messages(), std::vector<std::string>{kMsgDownloadTooLarge});
    const std::string kept = g_strTransferText.Get();
    ASSERT_EQ(kept.size(), kDownloadLimit);
    EXPECT_EQ(kept.substr(0, 7 + 64), "first\r\n" + usb.script.endless);
    EXPECT_EQ(kept.substr(kDownloadLimit - 64), std::string(6, 'x') + "\n" + std::string(57, 'x'));
    EXPECT_EQ(screen.View(), kept);
    EXPECT_TRUE(screen.Modified());
}

TEST(UsbTransfer, StoppedDownloadKeepsWhatTheDeviceStillHolds) {
    CScripted usb;
    usb.script.reads = {"first\r\n"};
    usb.script.afterCancel = {"second\r\n", "third"};
    UsbSettings.Set({60000, 1});
    CRecordingScreen screen;
    CTransferManager manager;
    CTransferJob job;
    job.screen = &screen;
    job.usb = &usb.device;
    ASSERT_TRUE(manager.Start(TransferKind::UsbDownload, job));
    WaitUntil([] { return g_strTransferText.Get() == "first\r\n"; });
    const auto start = Clock::now();
    manager.StopAndJoin();
    EXPECT_LT(Clock::now() - start, 1s);
    EXPECT_EQ(g_strTransferText.Get(), "first\r\nsecond\r\nthird");
    EXPECT_TRUE(screen.Messages().empty());
    EXPECT_FALSE(screen.Locked());
    EXPECT_EQ(usb.script.closes, 1);
}
