// `jvs` USB transfers end to end through the real libusb layer, against an
// instrument emulated by umockdev with the model's ids and bulk endpoints:
// every packet is compared byte for byte with the recording in both
// directions, so a wrong byte makes the write time out.
#include <gtest/gtest.h>

#include <chrono>

#include "TempCwd_support.h"
#include "link/UsbModelIds.h"
#include "usb_mock_support.h"

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class UsbEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string why = MockUsbUnavailable();
        if (!why.empty()) GTEST_SKIP() << why;
    }
    CJvsResult Run(const CMockUsbDevice& device, const CUsbmonRecording& recording,
                   const std::string& args, const std::string& input = {}) {
        return RunJvsWithMockUsb(m_dir.Path(), {device}, {recording.Bytes()}, args, input);
    }
    CTempComDir m_dir;
    CMockUsbDevice m_qmx640{FindUsbModelByName("qmx640"), 1, 2};
    CMockUsbDevice m_qmx660{FindUsbModelByName("qmx660"), 3, 7};
};

}  // namespace

TEST_F(UsbEndToEnd, DownloadKeepsEveryByteUpToTheChunkHoldingEtx) {
    CUsbmonRecording rec(m_qmx640);
    const std::string full(64, 'F');
    const std::string zero("two\0zero\r\n", 10);
    rec.In("0812345 line one\r\n");
    rec.In(full);
    rec.In(zero);
    rec.In(
        "end\x03"
        "after\r\n");
    rec.In("never read: the download ends at the packet holding ETX");
    const CJvsResult r = Run(m_qmx640, rec, "download usb --model qmx640 --yes");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "0812345 line one\r\n" + full + zero +
                         "end\x03"
                         "after\r\n");
}

TEST_F(UsbEndToEnd, UnpluggedDuringADownloadKeepsWhatArrived) {
    CUsbmonRecording rec(m_qmx660);
    rec.In("A1,1.0\r\n");
    rec.GoneIn();
    const auto start = Clock::now();
    const CJvsResult r =
        Run(m_qmx660, rec, "download usb --model qmx660 --yes --usb-timeout 0.3 -o got.txt");
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_TRUE(Has(r.err, "通讯超时!")) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(ReadFileBytes(m_dir.Path() + "/got.txt"), "A1,1.0\r\n");
    EXPECT_LT(Clock::now() - start, 5s);
}

// (An interrupt at the operator prompt is the console's, whatever the link.)
TEST_F(UsbEndToEnd, InterruptedDownloadStillWritesWhatArrived) {
    CUsbmonRecording rec(m_qmx640);
    rec.In("first\r\n");
    rec.In("second");
    const CJvsResult r =
        RunJvsWithMockUsb(m_dir.Path(), {m_qmx640}, {rec.Bytes()},
                          "download usb --model qmx640 --yes -o got.txt", {}, "0.5");
    EXPECT_EQ(r.status, 130) << r.err;
    EXPECT_EQ(ReadFileBytes(m_dir.Path() + "/got.txt"), "first\r\nsecond");
}

TEST_F(UsbEndToEnd, NoDeviceOrTheWrongModelSaysNotConnected) {
    CUsbmonRecording rec(m_qmx660);
    rec.In("never\x03");
    // A QMX660 is plugged in but the QMX640 is asked for.
    const CJvsResult wrong = Run(m_qmx660, rec, "download usb --model qmx640 --yes");
    EXPECT_EQ(wrong.status, 1) << wrong.err;
    EXPECT_TRUE(Has(wrong.err, "USB设备未连接!")) << wrong.err;
    EXPECT_FALSE(Has(wrong.err, "回车")) << "no prompt without a device";
    EXPECT_EQ(wrong.out, "");
    EXPECT_TRUE(Has(wrong.err, "ffff:0007")) << wrong.err;

    // The probe lists what is there, with the model's name, bus and address.
    const CJvsResult both =
        RunJvsWithMockUsb(m_dir.Path(), {m_qmx640, m_qmx660}, {}, "probe --usb");
    EXPECT_EQ(both.status, 0) << both.err;
    EXPECT_TRUE(Has(both.out, "qmx640 bus 001 address 002\n")) << both.out;
    EXPECT_TRUE(Has(both.out, "qmx660 bus 003 address 007\n")) << both.out;
    const CJvsResult empty = RunJvsWithMockUsb(m_dir.Path(), {}, {}, "probe --usb");
    EXPECT_EQ(empty.status, 1);
    EXPECT_EQ(empty.out, "");
    EXPECT_TRUE(Has(empty.err, "USB设备未连接!"));
}

TEST_F(UsbEndToEnd, UnpluggedDuringAnUploadSaysNotConnected) {
    CUsbmonRecording rec(m_qmx640);
    rec.Out(UsbPacket("one\r\n"));
    rec.GoneOut();
    const auto start = Clock::now();
    const CJvsResult r =
        Run(m_qmx640, rec, "upload usb-text --model qmx640 --yes --usb-row-delay 1",
            "one\r\ntwo\r\nthree\r\n");
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_TRUE(Has(r.err, "USB设备未连接!")) << r.err;
    EXPECT_EQ(r.out, "");
    // Told at once (plus the closing second), not after the 10 s time-out.
    EXPECT_LT(Clock::now() - start, 5s);
}
