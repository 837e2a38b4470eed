// Port release and the port message: closing puts the device's own terminal
// settings back, clears exclusive mode and drops the lock, also after a
// cancelled write; an open that fails says which device and why.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <future>
#include <thread>

#include "TempCwd_support.h"
#include "link/SerialPort.h"
#include "sim/Pty.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

ComSettingsRecord Named(const std::string& name) {
    ComSettingsRecord s;
    std::snprintf(s.COMPort, sizeof s.COMPort, "%s", name.c_str());
    return s;
}

struct PortRelease : ::testing::Test {
    CTempComDir dir;
    CPty pty;
    int user = -1;  // the device as someone else holds it: the user's terminal
    termios before{};
    void SetUp() override {
        ASSERT_TRUE(pty.Create());
        ASSERT_TRUE(pty.LinkAs(dir.PortPath(1)));
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
        EXPECT_TRUE(again.Open(Named("COM1"))) << "a second open succeeds at once";
    }
};

}  // namespace

TEST_F(PortRelease, CloseRestoresTheTerminalClearsExclusiveModeAndTheLock) {
    CSerialPort port;
    ASSERT_TRUE(port.Open(Named("COM1")));
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
    ASSERT_TRUE(port.Open(Named("COM1"), SerialTimeouts{}));
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

TEST(PortMessage, SecondLineNamesTheDeviceAndTheReason) {
    CTempComDir dir;
    CPty pty;
    ASSERT_TRUE(pty.Create());
    ASSERT_TRUE(pty.LinkAs(dir.PortPath(1)));
    const std::string first = std::string(kMsgPortOpenFailed) + "\n";
    CSerialPort holder, port;

    EXPECT_FALSE(port.Open(Named("COM5")));
    EXPECT_EQ(port.OpenFailedText(),
              first + "COM5 -> " + dir.PortPath(5) + ": No such file or directory");

    ASSERT_TRUE(holder.Open(Named("COM1")));
    EXPECT_FALSE(port.Open(Named("COM1")));
    EXPECT_EQ(port.OpenFailedText(),
              first + "COM1 -> " + pty.SlavePath() +
                  ": busy, in use by another program (端口正被其他程序使用)");
    holder.Close();

    std::ofstream(dir.PortPath(6)) << "plain file";
    EXPECT_FALSE(port.Open(Named("COM6")));
    EXPECT_EQ(
        port.OpenFailedText().rfind(first + "COM6 -> " + dir.PortPath(6) + ": not a serial", 0),
        0u);
    EXPECT_FALSE(port.Open(Named("../COM1")));
    EXPECT_EQ(port.OpenError().kind, PortOpenFailure::NoDevice);
    EXPECT_EQ(port.OpenFailedText().rfind(first + "../COM1: no device", 0), 0u);

    // Refusals a root test run cannot provoke: a user outside the dialout group
    // and a port another user opened exclusively.
    CPortOpenError denied{PortOpenFailure::System, EACCES, "COM1", "/dev/ttyUSB0"};
    const std::string text = PortOpenFailedText(denied);
    EXPECT_EQ(text.rfind(first + "COM1 -> /dev/ttyUSB0: Permission denied - ", 0), 0u) << text;
    EXPECT_NE(text.find("dialout"), std::string::npos);
    EXPECT_EQ(text.find('\n'), text.rfind('\n')) << "two lines";
    denied.error = EPERM;
    EXPECT_NE(PortOpenFailedText(denied).find("dialout"), std::string::npos);
    const std::string busy =
        PortOpenFailedText({PortOpenFailure::System, EBUSY, "/dev/ttyS0", "/dev/ttyS0"});
    EXPECT_EQ(busy, first +
                        "/dev/ttyS0: Device or resource busy - in use by another program "
                        "(端口正被其他程序使用)");
    EXPECT_EQ(PortOpenFailedText({}), kMsgPortOpenFailed);
}
