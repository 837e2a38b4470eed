// `jvs download`: what arrived reaches OUTPUT (or a file of its own) however
// the download ends: complete, interrupted by a signal, or with OUTPUT
// unwritable, and the port is released for the next user.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <memory>
#include <thread>
#include <tuple>

#include "cli_support.h"
#include "sim/Pty.h"

namespace fs = std::filesystem;

namespace {

const std::string kLines = "0812345\r\n0899999  1.000\r\n";

struct ReceivedData : ::testing::Test {
    CTempComDir ports;
    CTempDir work;
    CPty pty;
    int slave = -1;  // our own view of the port's tty

    void SetUp() override {
        ASSERT_TRUE(pty.Create());
        ASSERT_TRUE(pty.LinkAs(ports.PortPath(1)));
        slave = open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        ASSERT_GE(slave, 0);
    }
    void TearDown() override {
        if (slave >= 0) close(slave);
    }
    int Exclusive() const {
        int on = -1;
        ioctl(slave, TIOCGEXCL, &on);
        return on;
    }
    // Sends bytes once jvs listens (its ENQ) and waits until it has read them.
    void Feed(const std::string& bytes) {
        ASSERT_EQ(pty.ReadFor(5000, 1), "\x05");
        ASSERT_EQ(pty.WriteAll(bytes), bytes.size());
        int queued = 1;
        for (int i = 0; i < 500 && queued != 0; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            ioctl(slave, FIONREAD, &queued);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    std::unique_ptr<CJvsProcess> Download(std::vector<std::string> extra,
                                          CJvsOptions options = {}) {
        std::vector<std::string> args{"download",   "qmx610", "--port", "COM1",
                                      "--protocol", "acknak", "--yes"};
        if (std::find(extra.begin(), extra.end(), "--timeout") == extra.end())
            args.insert(args.end(), {"--timeout", "30"});
        args.insert(args.end(), extra.begin(), extra.end());
        if (options.cwd == ".") options.cwd = work.Path();
        return std::make_unique<CJvsProcess>(args, options);
    }
    // The bytes were kept in one file of `folder`, which standard error names
    // (removed after).
    void ExpectKept(const CJvsResult& r, const std::string& folder, const std::string& bytes) {
        std::vector<std::string> kept;
        for (const auto& entry : fs::directory_iterator(folder))
            if (entry.path().filename().string().rfind("jvs-received-", 0) == 0)
                kept.push_back(entry.path().string());
        ASSERT_EQ(kept.size(), 1u) << r.err;
        EXPECT_NE(r.err.find(kept[0]), std::string::npos) << "the path is printed: " << r.err;
        EXPECT_EQ(ReadFileBytes(kept[0]), bytes);
        fs::remove(kept[0]);
    }
};

}  // namespace

TEST_F(ReceivedData, SignalsWriteWhatArrivedAndReleaseThePort) {
    const std::tuple<int, int, std::string> cases[] = {
        {SIGINT, 130, "SIGINT"}, {SIGTERM, 143, "SIGTERM"}, {SIGHUP, 129, "SIGHUP"}};
    for (const auto& [signal, status, name] : cases) {
        WriteFileBytes(work / "out.txt", "old");
        auto jvs = Download({"-o", "out.txt"});
        Feed(kLines);
        EXPECT_EQ(Exclusive(), 1) << "the download holds the port";
        jvs->Signal(signal);
        EXPECT_TRUE(Ended(jvs->Wait(5000), status, "interrupted by " + name));
        EXPECT_EQ(ReadFileBytes(work / "out.txt"), kLines) << signal;
        // (The lock goes with the process; the tty keeps its exclusive flag.)
        EXPECT_EQ(Exclusive(), 0) << "exclusive mode cleared";
    }

    // A time-out keeps what arrived as well.
    auto timedOut = Download({"--timeout", "1", "-o", "late.txt"});
    Feed(kLines);
    EXPECT_TRUE(Ended(timedOut->Wait(5000), 1, "通讯超时!"));
    EXPECT_EQ(ReadFileBytes(work / "late.txt"), kLines);

    // Interrupted at the operator prompt: nothing arrived, nothing written.
    int input[2];
    ASSERT_EQ(pipe2(input, O_CLOEXEC), 0);
    CJvsOptions waiting;
    waiting.cwd = work.Path();
    waiting.stdinFd = input[0];
    CJvsProcess prompt({"download", "qmx610", "--port", "COM1", "-o", "never.txt"}, waiting);
    ASSERT_TRUE(prompt.WaitForErr("回车", 5000));
    EXPECT_EQ(Exclusive(), 1);
    prompt.Signal(SIGTERM);
    const CJvsResult r = prompt.Wait(5000);
    EXPECT_EQ(r.status, 143);
    EXPECT_FALSE(fs::exists(work / "never.txt"));
    EXPECT_EQ(Exclusive(), 0);
    close(input[0]);
    close(input[1]);
}

TEST_F(ReceivedData, UnwritableOutputKeepsTheBytesInAFileOfTheirOwn) {
    const std::string complete = kLines + "\x03";
    // A FIFO nobody opens: the wait for a reader ends at a signal, and the
    // bytes go to a new file in the current directory whose path is printed.
    ASSERT_EQ(mkfifo((work / "fifo").c_str(), 0600), 0);
    auto jvs = Download({"-o", "fifo"});
    Feed(complete);
    ASSERT_TRUE(jvs->WaitForErr("数据接收完成!", 5000));
    jvs->Signal(SIGINT);
    CJvsResult r = jvs->Wait(5000);
    EXPECT_TRUE(Ended(r, 130, "cannot write 'fifo': interrupted by SIGINT"));
    ExpectKept(r, work.Path(), complete);

    // Standard output that nobody reads.
    CJvsOptions closedOut;
    closedOut.stdoutFd = UnreadPipe();
    ASSERT_GE(closedOut.stdoutFd, 0);
    jvs = Download({}, closedOut);
    close(closedOut.stdoutFd);
    Feed(complete);
    r = jvs->Wait(5000);
    EXPECT_TRUE(Ended(r, 1, "cannot write standard output: Broken pipe"));
    ExpectKept(r, work.Path(), complete);

    // The current directory gone as well: the temporary directory takes them.
    fs::create_directory(work / "gone");
    fs::create_directory(work / "tmp");
    CJvsOptions goneCwd;
    goneCwd.cwd = work / "gone";
    goneCwd.env = {{"TMPDIR", work / "tmp"}};
    jvs = Download({"-o", "out.txt"}, goneCwd);
    ASSERT_EQ(pty.ReadFor(5000, 1), "\x05");
    fs::remove(work / "gone");
    ASSERT_EQ(pty.WriteAll(complete), complete.size());
    r = jvs->Wait(5000);
    EXPECT_EQ(r.status, 1);
    ExpectKept(r, work / "tmp", complete);
}

TEST_F(ReceivedData, FullDiskLeavesTheOldOutputAndSaysSo) {
    WriteFileBytes(work / "out.txt", "old");
    CJvsOptions full;
    full.fileSizeLimit = 8;
    auto jvs = Download({"-o", "out.txt"}, full);
    Feed(kLines + "\x03");
    const CJvsResult r = jvs->Wait(5000);
    EXPECT_TRUE(Ended(r, 1, "cannot write 'out.txt': File too large"));
    EXPECT_NE(r.err.find("could not be kept: File too large"), std::string::npos) << r.err;
    EXPECT_EQ(ReadFileBytes(work / "out.txt"), "old");
    EXPECT_EQ(EntriesIn(work.Path()), 1u) << "no partial or temporary file left behind";
}
