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

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

struct CScript {
    std::mutex mutex;
    bool openOk = true;
    int failWriteAt = 0;  // 1-based packet number whose Write fails; 0 none
    std::vector<std::string> written;
    std::vector<Clock::time_point> writeTimes;
    std::deque<std::string> reads;  // each Read returns the next one
    int opens = 0, closes = 0;
    // Reads find nothing until this long after Open.
    Clock::duration silentFor{};
    Clock::time_point openedAt;
};

class CScriptedLayer : public CUsbDeviceLayer {
public:
    explicit CScriptedLayer(CScript& script) : m_s(script) {}
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
        if (m_s.reads.empty() || Clock::now() - m_s.openedAt < m_s.silentFor) return 0;
        std::string next = m_s.reads.front();
        m_s.reads.pop_front();
        const unsigned n = std::min<unsigned>(length, next.size());
        std::copy(next.begin(), next.begin() + n, buffer);
        return n;
    }
    void Close() override {
        std::lock_guard lock(m_s.mutex);
        ++m_s.closes;
    }

private:
    CScript& m_s;
};

std::string Packet(const std::string& bytes) {
    std::string p = bytes;
    p.resize(64, '\0');
    return p;
}

unsigned RunUsb(TransferKind kind, CRecordingScreen& screen, CUsbDevice& device) {
    CTransferManager manager;
    CTransferJob job;
    job.screen = &screen;
    job.usb = &device;
    EXPECT_TRUE(manager.Start(kind, job));
    const unsigned code = manager.Wait();
    EXPECT_FALSE(screen.Locked());
    EXPECT_TRUE(g_bTransferDone);
    return code;
}

void UsbSettingsForTest(int timeoutMs, int rowDelayMs) {
    UsbSettings.Set(UsbSettingsRecord{timeoutMs, rowDelayMs});
}

}  // namespace

TEST(UsbTransfer, NoDeviceSaysNotConnectedAtOnce) {
    // The null layer (a build without libusb) and a layer that finds nothing.
    CScript script;
    script.openOk = false;
    CUsbDevice missing(std::make_unique<CScriptedLayer>(script));
    CUsbDevice null(std::make_unique<CNullUsbLayer>());
    for (CUsbDevice* device : {&missing, &null}) {
        for (TransferKind kind :
             {TransferKind::UsbDownload, TransferKind::UsbUploadQmx610, TransferKind::UsbUploadText,
              TransferKind::UsbUploadFeatureCodes}) {
            CRecordingScreen screen("view");
            g_bTransferDone = false;
            const auto start = Clock::now();
            EXPECT_EQ(RunUsb(kind, screen, *device), 0u);
            EXPECT_LT(Clock::now() - start, 500ms);
            EXPECT_EQ(screen.Calls(),
                      std::vector<std::string>{std::string("msg:") + kMsgUsbNotConnected});
            EXPECT_EQ(screen.View(), "view");
        }
    }
    EXPECT_EQ(script.opens, 4);
    EXPECT_EQ(script.closes, 0);
}

TEST(UsbTransfer, SettingsOfZeroMeanTenSecondsAndEightHundredMilliseconds) {
    UsbSettingsForTest(0, 0);
    {
        CScript script;
        CUsbDevice device(std::make_unique<CScriptedLayer>(script));
        CRecordingScreen screen("a\r\n");
        EXPECT_EQ(RunUsb(TransferKind::UsbUploadText, screen, device), 1u);
        ASSERT_EQ(script.written.size(), 2u);
        EXPECT_GE(script.writeTimes[1] - script.writeTimes[0], 800ms);
    }
    {
        // Silent for 1.1 s, then the end: a time-out of 0 must not end it.
        CScript script;
        script.silentFor = 1100ms;
        script.reads = {"done\x03"};
        CUsbDevice device(std::make_unique<CScriptedLayer>(script));
        CRecordingScreen screen;
        EXPECT_EQ(RunUsb(TransferKind::UsbDownload, screen, device), 1u);
        EXPECT_EQ(screen.View(), "done\x03");
    }
}

TEST(UsbTransfer, UploadPacketsOneLinePerPacketZeroFilled) {
    CScript script;
    CUsbDevice device(std::make_unique<CScriptedLayer>(script));
    UsbSettingsForTest(500, 150);
    // A 10-byte line, a 130-byte line, a blank line.
    const std::string shortLine = "12345678\r\n";
    const std::string longLine = std::string(128, 'L') + "\r\n";
    const std::string text = shortLine + longLine + "\r\n";
    CRecordingScreen screen(text);
    const auto start = Clock::now();
    EXPECT_EQ(RunUsb(TransferKind::UsbUploadText, screen, device), 1u);
    const std::vector<std::string> expected = {Packet(shortLine),    std::string(64, 'L'),
                                               std::string(64, 'L'), Packet("\r\n"),
                                               Packet("\r\n"),       Packet("\x04\r\n")};
    ASSERT_EQ(script.written, expected);
    EXPECT_EQ(script.written[0].substr(10), std::string(54, '\0'));
    // The row delay follows only packets that hold a CR LF: none between the
    // three pieces of the long line.
    EXPECT_LT(script.writeTimes[2] - script.writeTimes[1], 100ms);
    EXPECT_GE(script.writeTimes[1] - script.writeTimes[0], 150ms);
    EXPECT_GE(script.writeTimes[4] - script.writeTimes[3], 150ms);
    // Five row delays and the closing second.
    EXPECT_GE(Clock::now() - start, 1000ms + 4 * 150ms);
    EXPECT_EQ(g_strTransferText.Get(), text);
    EXPECT_EQ(script.closes, 1);
    EXPECT_EQ(screen.Prompts(), std::vector<std::string>{kMsgPromptUsbUpload});
    EXPECT_EQ(screen.Messages(), std::vector<std::string>{kMsgCommFinished});
}

TEST(UsbTransfer, CoordinateAndFeatureCodeUploads) {
    UsbSettingsForTest(500, 1);
    {
        CScript script;
        CUsbDevice device(std::make_unique<CScriptedLayer>(script));
        CRecordingScreen screen("P1,TREE,100.000,200.000,10.000\r\n");
        EXPECT_EQ(RunUsb(TransferKind::UsbUploadQmx610, screen, device), 1u);
        EXPECT_EQ(script.written,
                  (std::vector<std::string>{Packet("/Dg 200.000,100.000,10.000,P1,TREE\r\n"),
                                            Packet("\x04\r\n")}));
        // The coordinate upload leaves the echo in the view.
        EXPECT_EQ(screen.View(), "/Dg 200.000,100.000,10.000,P1,TREE\r\n");
    }
    {
        CScript script;
        CUsbDevice device(std::make_unique<CScriptedLayer>(script));
        CRecordingScreen screen("A,B\r\nC\r\n");
        EXPECT_EQ(RunUsb(TransferKind::UsbUploadFeatureCodes, screen, device), 1u);
        EXPECT_EQ(script.written,
                  (std::vector<std::string>{Packet("/Dh A\r\n"), Packet("/Dh B\r\n"),
                                            Packet("\x04\r\n")}));
        EXPECT_EQ(screen.Prompts(), std::vector<std::string>{kMsgPromptUpload});
        const auto calls = screen.Calls();
        // The feature code upload locks the view after its prompt.
        EXPECT_EQ(calls[0], std::string("prompt:") + kMsgPromptUpload);
        EXPECT_EQ(calls[1], "lock");
    }
    {
        // A last line without CR LF travels with the end marker.
        CScript script;
        CUsbDevice device(std::make_unique<CScriptedLayer>(script));
        CRecordingScreen screen("ab\r\ncd");
        EXPECT_EQ(RunUsb(TransferKind::UsbUploadText, screen, device), 1u);
        EXPECT_EQ(script.written,
                  (std::vector<std::string>{Packet("ab\r\n"), Packet("cd\x04\r\n")}));
    }
}

TEST(UsbTransfer, WriteFailurePutsTheTextBack) {
    CScript script;
    script.failWriteAt = 2;
    CUsbDevice device(std::make_unique<CScriptedLayer>(script));
    UsbSettingsForTest(500, 1);
    const std::string text = "one\r\ntwo\r\nthree\r\n";
    CRecordingScreen screen(text);
    const auto start = Clock::now();
    EXPECT_EQ(RunUsb(TransferKind::UsbUploadText, screen, device), 0u);
    EXPECT_GE(Clock::now() - start, 1000ms);
    EXPECT_EQ(script.written, std::vector<std::string>{Packet("one\r\n")});
    EXPECT_EQ(screen.Messages(), std::vector<std::string>{kMsgUsbNotConnected});
    EXPECT_EQ(g_strTransferText.Get(), text);
    EXPECT_EQ(screen.View(), text);
    EXPECT_EQ(script.closes, 1);
    // The text is back before the message, and the view unlocks after it (the
    // companion may copy the same text once more during the closing second).
    const auto calls = screen.Calls();
    const auto msg =
        std::find(calls.begin(), calls.end(), std::string("msg:") + kMsgUsbNotConnected);
    ASSERT_TRUE(msg != calls.end() && msg != calls.begin() && msg + 1 != calls.end());
    EXPECT_EQ(*(msg - 1), "set");
    EXPECT_EQ(*(msg + 1), "unlock");
}

TEST(UsbTransfer, DownloadKeepsTheChunkHoldingEtxWhole) {
    CScript script;
    script.reads = {"line one\r\n", "", "", std::string("two\0zero", 8),
                    std::string("end\x03"
                                "after\r\n")};
    CUsbDevice device(std::make_unique<CScriptedLayer>(script));
    UsbSettingsForTest(500, 1);
    CRecordingScreen screen("old");
    EXPECT_EQ(RunUsb(TransferKind::UsbDownload, screen, device), 1u);
    const std::string expected = std::string("line one\r\ntwo\0zero", 18) +
                                 "end\x03"
                                 "after\r\n";
    EXPECT_EQ(screen.View(), expected);
    EXPECT_TRUE(screen.Modified());
    EXPECT_EQ(screen.Prompts(), std::vector<std::string>{kMsgPromptUsbDownload});
    EXPECT_EQ(screen.Messages(), std::vector<std::string>{kMsgReceiveComplete});
    EXPECT_EQ(script.closes, 1);
}

TEST(UsbTransfer, DownloadTimesOut) {
    CScript script;
    script.reads = {"partial\r\n"};
    CUsbDevice device(std::make_unique<CScriptedLayer>(script));
    UsbSettingsForTest(200, 1);
    CRecordingScreen screen("old");
    const auto start = Clock::now();
    EXPECT_EQ(RunUsb(TransferKind::UsbDownload, screen, device), 0u);
    const auto took = Clock::now() - start;
    EXPECT_GE(took, 200ms);
    EXPECT_LT(took, 1000ms);
    EXPECT_EQ(screen.Messages(), std::vector<std::string>{kMsgCommTimeout});
    EXPECT_EQ(screen.View(), "partial\r\n");
    EXPECT_TRUE(screen.Modified());
    EXPECT_EQ(script.closes, 1);
}

TEST(UsbTransfer, FlagValuesOnceTheDeviceIsOpen) {
    UsbSettingsForTest(100, 1);
    for (const auto& [kind, expected] : std::vector<std::pair<TransferKind, bool>>{
             {TransferKind::UsbDownload, true}, {TransferKind::UsbUploadText, false}}) {
        CScript script;
        CUsbDevice device(std::make_unique<CScriptedLayer>(script));
        CRecordingScreen screen("x\r\n");
        screen.HoldPrompts();
        g_bTransferDone = !expected;
        CTransferManager manager;
        CTransferJob job;
        job.screen = &screen;
        job.usb = &device;
        ASSERT_TRUE(manager.Start(kind, job));
        const auto until = Clock::now() + 2s;
        while (screen.Prompts().empty() && Clock::now() < until) std::this_thread::sleep_for(2ms);
        ASSERT_EQ(screen.Prompts().size(), 1u);
        // The download raises it right after the prompt, the uploads lower it
        // before.
        std::this_thread::sleep_for(20ms);
        EXPECT_EQ(g_bTransferDone.load(), kind == TransferKind::UsbDownload ? !expected : expected);
        screen.Release();
        manager.Wait();
        EXPECT_TRUE(g_bTransferDone);
    }
}
