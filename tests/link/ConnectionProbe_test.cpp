#include "link/ConnectionProbe.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "TempCwd_support.h"
#include "sim/SimInstrument.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

struct CRecordingScreen : CProbeScreen {
    std::vector<std::string> status, messages, tried;
    int between = 0;
    void SetStatusText(const std::string& utf8) override { status.push_back(utf8); }
    void ShowMessage(const std::string& utf8) override { messages.push_back(utf8); }
    void TryingPort(const std::string& name) override { tried.push_back(name); }
    void BetweenPorts() override { ++between; }
};

const CProbeTiming kFast{20, SerialTimeouts{20, 8, 60, 800, 800}, 1, 16};

struct ProbeTest : ::testing::Test {
    CTempComDir dir;
    std::vector<std::unique_ptr<CSimInstrument>> sims;
    void SetUp() override { ResetLinkSettings(); }
    void TearDown() override {
        ResetLinkSettings();
        SetTermiosSetterForTest(nullptr);
    }
    // An instrument answering the greeting with `reply` ("": silent).
    CSimInstrument& Add(int n, const std::string& reply) { return AddAt(dir.PortPath(n), reply); }
    CSimInstrument& AddAt(const std::string& link, const std::string& reply) {
        CSimOptions o;
        o.linkPath = link;
        o.greetingReply = reply;
        sims.push_back(std::make_unique<CSimInstrument>(o));
        EXPECT_TRUE(sims.back()->Start());
        return *sims.back();
    }
};

termios g_asked{};
int Record(int fd, int actions, const termios* tio) {
    g_asked = *tio;
    return tcsetattr(fd, actions, tio);
}

}  // namespace

TEST_F(ProbeTest, FirstAnsweringPortWinsInNumericOrder) {
    CSimInstrument& silent = Add(1, "");
    CSimInstrument& second = Add(2, "OK\r\n");
    CSimInstrument& tenth = Add(10, "OK\r\n");
    ComSettings.Update([](ComSettingsRecord& r) { r.Baudrate = 9600; });
    SetTermiosSetterForTest(&Record);
    CRecordingScreen screen;
    EXPECT_EQ(Probe(screen, kFast), 1);
    EXPECT_STREQ(ComSettings.Get().COMPort, "COM2");
    EXPECT_EQ(cfgetospeed(&g_asked), static_cast<speed_t>(B9600)) << "probe uses the line settings";
    EXPECT_EQ(silent.WireIn(), "Connect\r\n");
    EXPECT_EQ(second.WireIn(), "Connect\r\n");
    EXPECT_EQ(tenth.WireIn(), "") << "no port after the first answer is tried";
    EXPECT_EQ(screen.status, (std::vector<std::string>{"正在尝试与仪器进行连接...\r\n", ""}));
    EXPECT_EQ(screen.messages, std::vector<std::string>{"与仪器链接成功!"});
    // The probe's ports are closed again: the found port opens.
    CSerialPort port;
    EXPECT_TRUE(port.Open(ComSettings.Get()));
}

TEST_F(ProbeTest, OnlyAnExactOkCrLfPrefixCounts) {
    Add(1, "OK\r");
    Add(2, "ok\r\n");
    CSimInstrument& busy = Add(4, "OK\r\n");
    Add(6, "OK\r\n?");
    Add(7, "OK\r\n");
    CSerialPort holder;
    ComSettingsRecord held;
    std::snprintf(held.COMPort, sizeof held.COMPort, "COM4");
    ASSERT_TRUE(holder.Open(held));
    CRecordingScreen screen;
    EXPECT_EQ(Probe(screen, kFast), 1);
    EXPECT_STREQ(ComSettings.Get().COMPort, "COM6");
    EXPECT_EQ(busy.Greetings(), 0) << "a port in use is skipped";
    EXPECT_EQ(screen.messages, std::vector<std::string>{"与仪器链接成功!"});
    EXPECT_GE(screen.between, 5);
}

TEST_F(ProbeTest, NoAnswerLeavesThePortAndEmptiesTheView) {
    CRecordingScreen screen;
    auto t = Clock::now();
    EXPECT_EQ(Probe(screen), 0);
    EXPECT_LT(Clock::now() - t, milliseconds(500)) << "no ports at all: returns at once";
    EXPECT_STREQ(ComSettings.Get().COMPort, "COM1");
    EXPECT_EQ(screen.status, (std::vector<std::string>{"正在尝试与仪器进行连接...\r\n", ""}));
    EXPECT_EQ(screen.messages, std::vector<std::string>{"与仪器链接失败!"});
    EXPECT_EQ(screen.between, 16);
}

TEST_F(ProbeTest, StopWakesThePortAtOnceAndTriesNoOther) {
    CSimInstrument& silent = Add(1, "");
    CSimInstrument& later = Add(2, "OK\r\n");
    CRecordingScreen screen;
    CProbeStop stop;
    int found = -1;
    std::thread scan([&] { found = Probe(screen, {}, &stop); });
    for (int i = 0; i < 500 && silent.WireIn().empty(); ++i)
        std::this_thread::sleep_for(milliseconds(2));
    const auto t = Clock::now();
    stop.Stop();
    scan.join();
    EXPECT_LT(Clock::now() - t, milliseconds(300)) << "the 200 ms pause and 900 ms read cut short";
    EXPECT_EQ(found, 0);
    EXPECT_EQ(later.Greetings(), 0);
    EXPECT_TRUE(screen.messages.empty());
    CSerialPort port;
    EXPECT_TRUE(port.Open(ComSettings.Get())) << "closed and released";
}

TEST_F(ProbeTest, DevicesNoComNameReachesAreTriedAfterTheComNames) {
    CTempDevRoot dev;
    CSimInstrument& com3 = Add(3, "");
    AddAt(dev / "rfcomm0", "OK\r\n");
    // ttyUSB0 is COM3's device: tried once, under its COM name.
    ASSERT_EQ(symlink(com3.SlavePath().c_str(), (dev / "ttyUSB0").c_str()), 0);
    CRecordingScreen screen;
    EXPECT_EQ(Probe(screen, kFast), 1);
    EXPECT_EQ(ComSettings.Get().COMPort, dev / "rfcomm0");
    EXPECT_EQ(screen.tried.size(), 17u);
    EXPECT_EQ(screen.tried.back(), dev / "rfcomm0");
    EXPECT_EQ(com3.Greetings(), 1);
    EXPECT_EQ(screen.messages, std::vector<std::string>{"与仪器链接成功!"});
}
