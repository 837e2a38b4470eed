// The serial port over a pseudo-terminal: line parameters, exclusive open,
// reads and their time bounds, release on close, and the open failure texts.
#include "link/SerialPort.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <future>
#include <thread>

#include "TempCwd_support.h"
#include "sim/Pty.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

long long MsSince(Clock::time_point t) {
    return std::chrono::duration_cast<milliseconds>(Clock::now() - t).count();
}

double ThreadCpuMs() {
    rusage ru{};
    getrusage(RUSAGE_THREAD, &ru);
    return ru.ru_utime.tv_sec * 1000.0 + ru.ru_utime.tv_usec / 1000.0 +
           ru.ru_stime.tv_sec * 1000.0 + ru.ru_stime.tv_usec / 1000.0;
}

ComSettingsRecord PortSettings(const std::string& name) {
    ComSettingsRecord s;
    std::snprintf(s.COMPort, sizeof s.COMPort, "%s", name.c_str());
    return s;
}

// The termios the port asked for, whatever the pty made of it.
termios g_lastAsked{};
int g_setterCalls = 0;
int RecordingSetter(int fd, int actions, const termios* tio) {
    g_lastAsked = *tio;
    ++g_setterCalls;
    return tcsetattr(fd, actions, tio);
}

struct PortFixture : ::testing::Test {
    CTempComDir dir;
    CPty pty;
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(pty.Create(&error)) << error;
        ASSERT_TRUE(pty.LinkAs(dir.PortPath(1), &error)) << error;
    }
    void TearDown() override { SetTermiosSetterForTest(nullptr); }
};

// Closing puts the device's own terminal settings back, clears exclusive mode
// and drops the lock, also after a cancelled write.
struct PortRelease : PortFixture {
    int user = -1;  // the device as someone else holds it: the user's terminal
    termios before{};
    void SetUp() override {
        PortFixture::SetUp();
        user = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_GE(user, 0);
        ASSERT_EQ(tcgetattr(user, &before), 0);
        before.c_lflag |= ICANON | ECHO | ISIG | IEXTEN;
        before.c_iflag |= ICRNL | IXON;
        before.c_oflag |= OPOST | ONLCR;
        cfsetispeed(&before, B9600);
        cfsetospeed(&before, B9600);
        ASSERT_EQ(tcsetattr(user, TCSANOW, &before), 0);
        ASSERT_EQ(tcgetattr(user, &before), 0);
    }
    void TearDown() override {
        if (user >= 0) ::close(user);
        PortFixture::TearDown();
    }
    int Exclusive() {
        int on = -1;
        ioctl(user, TIOCGEXCL, &on);
        return on;
    }
    void ExpectReleased() {
        termios now{};
        ASSERT_EQ(tcgetattr(user, &now), 0);
        for (tcflag_t termios::*flags :
             {&termios::c_lflag, &termios::c_iflag, &termios::c_oflag, &termios::c_cflag})
            EXPECT_EQ(now.*flags, before.*flags);
        EXPECT_EQ(cfgetospeed(&now), cfgetospeed(&before));
        EXPECT_EQ(Exclusive(), 0);
        EXPECT_EQ(flock(user, LOCK_EX | LOCK_NB), 0) << "the lock is dropped";
        flock(user, LOCK_UN);
        CSerialPort again;
        EXPECT_TRUE(again.Open(PortSettings("COM1"))) << "a second open succeeds at once";
    }
};

}  // namespace

TEST_F(PortFixture, OpenAppliesLineParametersToTheDevice) {
    SetTermiosSetterForTest(&RecordingSetter);
    const std::pair<int32_t, speed_t> rates[] = {{1200, B1200},   {2400, B2400},    {4800, B4800},
                                                 {9600, B9600},   {19200, B19200},  {38400, B38400},
                                                 {57600, B57600}, {115200, B115200}};
    int i = 0;
    for (auto [baud, constant] : rates) {
        SCOPED_TRACE(baud);
        // Stop-bit codes 0, 1 (one and a half: two are used), 2; parity none,
        // odd, even, mark, space; 7 and 8 data bits.
        const int stop = i % 3, parity = i % 5;
        ++i;
        ComSettingsRecord s = PortSettings("COM1");
        s.Baudrate = baud;
        s.StopBit = static_cast<int8_t>(stop);
        s.CheckBit = static_cast<int8_t>(parity);
        s.DataBit = static_cast<int8_t>(i % 2 ? 7 : 8);
        CSerialPort port;
        g_setterCalls = 0;
        ASSERT_TRUE(port.Open(s));
        EXPECT_EQ(g_setterCalls, 1);
        termios onDevice{};
        ASSERT_EQ(tcgetattr(port.Handle(), &onDevice), 0);
        EXPECT_EQ(cfgetospeed(&onDevice), constant);
        EXPECT_EQ(cfgetispeed(&onDevice), constant);
        EXPECT_EQ(static_cast<bool>(onDevice.c_cflag & CSTOPB), stop != 0);
        // Raw bytes both ways: no echo, no line editing, no translation.
        EXPECT_FALSE(onDevice.c_lflag & (ICANON | ECHO | ISIG));
        EXPECT_FALSE(onDevice.c_iflag & (IXON | IXOFF | ICRNL | ISTRIP | INPCK));
        EXPECT_FALSE(onDevice.c_oflag & OPOST);
        EXPECT_EQ(onDevice.c_cc[VMIN], 0);
        // The pty forces 8 bits, no parity: check what was asked for.
        EXPECT_EQ(g_lastAsked.c_cflag & CSIZE, static_cast<tcflag_t>(i % 2 ? CS7 : CS8));
        EXPECT_EQ(static_cast<bool>(g_lastAsked.c_cflag & PARENB), parity != 0);
        EXPECT_EQ(static_cast<bool>(g_lastAsked.c_cflag & PARODD), parity == 1 || parity == 3);
        EXPECT_EQ(static_cast<bool>(g_lastAsked.c_cflag & CMSPAR), parity >= 3);
        EXPECT_TRUE(g_lastAsked.c_cflag & CREAD);
    }
}

TEST_F(PortFixture, ReadWriteQueuedCountAndPurge) {
    CSerialPort port;
    ASSERT_TRUE(port.Open(PortSettings("COM1")));
    const std::string sent("\x02\x00\x03\r\nabc\xff", 9);
    ASSERT_EQ(port.Write(sent.data(), sent.size()), sent.size());
    EXPECT_EQ(pty.ReadFor(1000, sent.size()), sent);

    const std::string incoming("OK\r\n\x04\x00z", 7);
    ASSERT_EQ(pty.WriteAll(incoming), incoming.size());
    const auto queued = [&](size_t n) {
        for (int i = 0; i < 100 && port.QueuedBytes() < n; ++i)
            std::this_thread::sleep_for(milliseconds(2));
        return port.QueuedBytes();
    };
    EXPECT_EQ(queued(incoming.size()), incoming.size());
    char buf[16] = {};
    EXPECT_EQ(port.Read(buf, 4), 4u);
    EXPECT_EQ(std::string(buf, 4), "OK\r\n");
    EXPECT_EQ(port.QueuedBytes(), 3u);
    EXPECT_EQ(port.Read(buf, 3), 3u);
    EXPECT_EQ(std::string(buf, 3), std::string("\x04\x00z", 3));

    pty.WriteAll("stale bytes");
    EXPECT_EQ(queued(11), 11u);
    port.Purge(false, true);
    EXPECT_EQ(port.QueuedBytes(), 11u) << "output purge leaves the input alone";
    port.Purge(true, false);
    EXPECT_EQ(port.QueuedBytes(), 0u);
    pty.WriteAll("new");
    EXPECT_EQ(port.Read(buf, 3), 3u);
    EXPECT_EQ(std::string(buf, 3), "new");
}

TEST_F(PortFixture, ReadTimeBounds) {
    CSerialPort port;
    // Short time-outs: interval 50 ms, total 100 ms a byte + 300 ms.
    ASSERT_TRUE(port.Open(PortSettings("COM1"), SerialTimeouts{50, 100, 300, 800, 800}));
    char buf[8];

    // Silent line: a 3-byte read takes the whole total time, no more.
    auto t = Clock::now();
    EXPECT_EQ(port.Read(buf, 3), 0u);
    long long silent = MsSince(t);
    EXPECT_GE(silent, 600);
    EXPECT_LT(silent, 600 + 700);

    // One byte, then silence: the interval time-out ends the read early.
    std::thread sender([&] {
        std::this_thread::sleep_for(milliseconds(30));
        pty.WriteAll("\x06");
    });
    t = Clock::now();
    EXPECT_EQ(port.Read(buf, 3), 1u);
    long long partial = MsSince(t);
    sender.join();
    EXPECT_EQ(buf[0], '\x06');
    EXPECT_GE(partial, 30 + 50);
    EXPECT_LT(partial, 500) << "interval time-out must end the read before the total";

    // Everything there: no waiting at all.
    pty.WriteAll("\x06\r\n");
    std::this_thread::sleep_for(milliseconds(20));
    t = Clock::now();
    EXPECT_EQ(port.Read(buf, 3), 3u);
    EXPECT_LT(MsSince(t), 300);
    EXPECT_EQ(std::string(buf, 3), "\x06\r\n");
}

TEST_F(PortFixture, WaitsBlockWithoutSpinningAndCancelWakesThem) {
    CSerialPort port;
    ASSERT_TRUE(port.Open(PortSettings("COM1")));

    // Cancel from another thread ends a long wait and a long read at once.
    std::thread canceller([&] {
        std::this_thread::sleep_for(milliseconds(80));
        port.Cancel();
    });
    auto t = Clock::now();
    EXPECT_FALSE(port.WaitForInput(t + milliseconds(10000)));
    EXPECT_LT(MsSince(t), 2000);
    canceller.join();
    EXPECT_TRUE(port.IsCancelled());
    char buf[4];
    t = Clock::now();
    EXPECT_EQ(port.Read(buf, 3), 0u);
    EXPECT_LT(MsSince(t), 500) << "a cancelled port does not wait";

    // A new open withdraws the cancel.
    ASSERT_TRUE(port.Open(PortSettings("COM1")));
    EXPECT_FALSE(port.IsCancelled());

    // The instrument hangs up: the wait still lasts to its deadline, without
    // spinning.
    pty.CloseMaster();
    const double cpu = ThreadCpuMs();
    t = Clock::now();
    EXPECT_FALSE(port.WaitForInput(t + milliseconds(300)));
    EXPECT_GE(MsSince(t), 300);
    EXPECT_LT(ThreadCpuMs() - cpu, 60.0);
    EXPECT_EQ(port.Read(buf, 3), 0u);
}

TEST_F(PortRelease, CloseRestoresTheTerminalClearsExclusiveModeAndTheLock) {
    CSerialPort port;
    ASSERT_TRUE(port.Open(PortSettings("COM1")));
    EXPECT_EQ(Exclusive(), 1);
    EXPECT_NE(flock(user, LOCK_EX | LOCK_NB), 0);
    // Bytes written and not yet read do not hold the close up on a pty.
    ASSERT_EQ(port.Write("abc", 3), 3u);
    const auto start = Clock::now();
    port.Close();
    EXPECT_LT(Clock::now() - start, milliseconds(500));
    ExpectReleased();
}

TEST_F(PortRelease, CancelledBlockedWriteStillReleasesThePort) {
    CSerialPort port;
    // Nobody reads the line: a large write blocks until cancelled.
    ASSERT_TRUE(port.Open(PortSettings("COM1"), SerialTimeouts{}));
    const std::string big(1 << 20, 'x');
    auto writer =
        std::async(std::launch::async, [&] { return port.Write(big.data(), big.size()); });
    std::this_thread::sleep_for(milliseconds(150));
    const auto start = Clock::now();
    port.Cancel();
    EXPECT_LT(writer.get(), big.size());
    port.Close();
    EXPECT_LT(Clock::now() - start, milliseconds(1000)) << "unsent bytes are not waited for";
    ExpectReleased();
}

// An open that fails says which device and why; a port is exclusive whatever
// name reaches its device.
TEST_F(PortFixture, OpenFailureNamesTheDeviceAndTheReason) {
    const std::string first = std::string(kMsgPortOpenFailed) + "\n";
    const std::string busy = ": busy, in use by another program (端口正被其他程序使用)";
    ASSERT_EQ(symlink(pty.SlavePath().c_str(), dir.PortPath(2).c_str()), 0);
    CSerialPort holder, port;
    ASSERT_TRUE(holder.Open(PortSettings("COM1")));
    std::ofstream(dir.PortPath(6)) << "plain file";
    const std::pair<std::string, std::string> cases[] = {
        {"COM5", "COM5 -> " + dir.PortPath(5) + ": No such file or directory"},
        {"COM1", "COM1 -> " + pty.SlavePath() + busy},
        {"COM2", "COM2 -> " + pty.SlavePath() + busy},
        {"COM6", "COM6 -> " + dir.PortPath(6) + ": not a serial port (not a terminal device)"},
        {"../COM1", "../COM1: no device belongs to this port name (COM1-COM16 or a device path)"}};
    for (const auto& [name, second] : cases) {
        EXPECT_FALSE(port.Open(PortSettings(name)));
        EXPECT_EQ(port.OpenFailedText(), first + second);
        EXPECT_EQ(port.Handle(), -1);
    }
    EXPECT_EQ(port.OpenError().kind, PortOpenFailure::NoDevice);
    holder.Close();
    EXPECT_TRUE(port.Open(PortSettings("COM2")));
    // Reopening the same object closes its old handle first.
    EXPECT_TRUE(port.Open(PortSettings("COM1")));

    // Refusals a root test run cannot provoke: a user outside the dialout group
    // and a port another user opened exclusively.
    const std::string dialout =
        " - 请把用户加入 dialout 组后重新登录 (sudo usermod -aG dialout $USER)";
    EXPECT_EQ(PortOpenFailedText({PortOpenFailure::System, EACCES, "COM1", "/dev/ttyUSB0"}),
              first + "COM1 -> /dev/ttyUSB0: Permission denied" + dialout);
    EXPECT_EQ(PortOpenFailedText({PortOpenFailure::System, EBUSY, "/dev/ttyS0", "/dev/ttyS0"}),
              first +
                  "/dev/ttyS0: Device or resource busy - in use by another program "
                  "(端口正被其他程序使用)");
    EXPECT_EQ(PortOpenFailedText({}), kMsgPortOpenFailed);
}
