// What `jvs` reads and writes: inputs bounded and refused with a reason,
// outputs replaced whole or not at all and never through a link.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <future>
#include <thread>

#include "JvsProcess_support.h"

namespace fs = std::filesystem;

namespace {

const std::string kList = "P1,,-20.005,100.25,0.012\r\n";

struct CliFiles : ::testing::Test {
    CTempDir work;
    CJvsResult Run(const std::vector<std::string>& args, CJvsOptions options = {}) {
        if (options.cwd == ".") options.cwd = work.Path();
        return RunJvs(args, options);
    }
};

}  // namespace

TEST_F(CliFiles, InputsAreBoundedAndRefusedWithTheirReason) {
    fs::create_directory(work / "d");
    // Exactly 4 MiB is taken (and judged by the conversion); one byte more is not.
    WriteFileBytes(work / "big", std::string(4194304, 'x'));
    WriteFileBytes(work / "bigger", std::string(4194305, 'x'));
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const Case cases[] = {
        {{"convert", "dxf", "d"}, "jvs: cannot read 'd': Is a directory\n"},
        {{"convert", "dxf", "/proc/self/mem"},
         "jvs: cannot read '/proc/self/mem': Input/output error\n"},
        {{"convert", "dxf", "big"}, "无效TERV210格式!\n"},
        {{"convert", "dxf", "bigger"},
         "内存分配失败!\njvs: 'bigger' holds more than 4194304 bytes\n"},
        {{"sim", "qmx210", "--link", "COMX", "--send", "missing.bin"},
         "jvs: cannot read 'missing.bin': No such file or directory\n"},
    };
    for (const Case& c : cases) {
        const CJvsResult r = Run(c.args);
        EXPECT_EQ(r.status, 1) << c.args[2];
        EXPECT_EQ(r.err, c.message);
        EXPECT_EQ(r.out, "");
    }
    EXPECT_FALSE(fs::exists(work / "COMX"));

    // Endless standard input stops at the bound.
    CJvsOptions zero;
    zero.stdinPath = "/dev/zero";
    CJvsResult r = Run({"convert", "dxf"}, zero);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "内存分配失败!\njvs: standard input holds more than 4194304 bytes\n");

    // A FIFO is read to its end.
    ASSERT_EQ(mkfifo((work / "fifo").c_str(), 0600), 0);
    auto writer = std::async(std::launch::async, [&] { WriteFileBytes(work / "fifo", kList); });
    r = Run({"convert", "blocks210", "fifo"});
    writer.get();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("_+P1"), std::string::npos);
}

TEST_F(CliFiles, OutputsAreReplacedWholeOrNotAtAll) {
    WriteFileBytes(work / "list.txt", kList);
    const CJvsResult good = Run({"convert", "blocks210", "list.txt"});
    ASSERT_EQ(good.status, 0);

    EXPECT_EQ(Run({"convert", "blocks210", "list.txt", "-o", "-"}).out, good.out);

    // Full disk (SIGXFSZ at its default): the old file stays whole, no
    // temporary is left, the reason is given.
    CJvsOptions full;
    full.fileSizeLimit = 10;
    WriteFileBytes(work / "out.txt", "old");
    CJvsResult r = Run({"convert", "blocks210", "list.txt", "-o", "out.txt"}, full);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "jvs: cannot write 'out.txt': File too large\n");
    EXPECT_EQ(ReadFileBytes(work / "out.txt"), "old");
    // (read-only files, links and folders: the base's whole-file replace owns them)
    EXPECT_EQ(EntriesIn(work.Path()), 2u) << "the temporary file was left behind";

    // Standard output that nobody reads is a failure, not a success.
    CJvsOptions closedOut;
    closedOut.stdoutFd = UnreadPipe();
    ASSERT_GE(closedOut.stdoutFd, 0);
    r = Run({"config"}, closedOut);
    close(closedOut.stdoutFd);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "jvs: cannot write standard output: Broken pipe\n");
    // A FIFO or pipe whose reader stops reading can be interrupted like any
    // other wait: nothing to keep, the signal's status and a message.
    std::string many;
    for (int i = 0; i < 2000; ++i) many += "P" + std::to_string(i) + ",,1.000,2.000,3.000\r\n";
    WriteFileBytes(work / "many.txt", many);
    ASSERT_EQ(mkfifo((work / "fifo").c_str(), 0600), 0);
    int stalled[2];
    ASSERT_EQ(pipe2(stalled, O_CLOEXEC), 0);
    struct Stalled {
        std::string output;
        int signal, status, reader;
    };
    const Stalled stalls[] = {{"fifo", SIGTERM, 143, -1}, {"-", SIGHUP, 129, stalled[0]}};
    for (const Stalled& c : stalls) {
        CJvsOptions options;
        options.cwd = work.Path();
        options.stdoutFd = c.output == "-" ? stalled[1] : -1;
        CJvsProcess jvs({"convert", "blocks210", "many.txt", "-o", c.output}, options);
        const int reader =
            c.reader >= 0 ? c.reader : open((work / "fifo").c_str(), O_RDONLY | O_NONBLOCK);
        ASSERT_GE(reader, 0);
        int queued = 0;  // the reader takes nothing: wait until the pipe is full
        for (int i = 0; i < 1000 && queued < 65536; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            ioctl(reader, FIONREAD, &queued);
        }
        ASSERT_EQ(queued, 65536);
        jvs.Signal(c.signal);
        r = jvs.Wait(5000);
        if (reader != c.reader) close(reader);
        EXPECT_EQ(r.status, c.status) << c.output;
        const std::string name = c.output == "-" ? "standard output" : "'" + c.output + "'";
        EXPECT_EQ(r.err, "jvs: cannot write " + name + ": interrupted by " +
                             (c.signal == SIGTERM ? "SIGTERM" : "SIGHUP") + "\n");
    }
    close(stalled[0]);
    close(stalled[1]);

    // Started with standard output closed: no file takes its place.
    closedOut.stdoutFd = kClosed;
    r = Run({"convert", "blocks210", "list.txt"}, closedOut);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "jvs: cannot write standard output: Bad file descriptor\n");
}
