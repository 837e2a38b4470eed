// `jvs download` / `jvs upload` as a script uses them, against a
// pseudo-terminal playing the instrument.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <future>
#include <iterator>
#include <sstream>
#include <thread>

#include "TempCwd_support.h"
#include "sim/Pty.h"

namespace {

const std::string kJvs = std::string(JVS_BINARY_DIR) + "/bin/jvs";

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

struct CRun {
    int status = -1;
    std::string out, err;
};

// Runs jvs with the arguments (no shell quoting needed for ours); `name`
// keeps the outputs of runs at the same time apart.
CRun RunJvs(const CTempComDir& dir, const std::string& args,
            const std::string& stdinFile = "/dev/null", const std::string& name = "run") {
    const std::string out = dir.Path() + "/" + name + ".out",
                      err = dir.Path() + "/" + name + ".err";
    // Bounded, so a simulator that misses its transfer cannot hold up the suite.
    const std::string cmd =
        "timeout 30 " + kJvs + " " + args + " <" + stdinFile + " >" + out + " 2>" + err;
    const int raw = std::system(cmd.c_str());
    CRun run;
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = Slurp(out);
    run.err = Slurp(err);
    return run;
}

class CliTransfer : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::ifstream(kJvs).fail()) GTEST_SKIP() << "jvs not built";
        ASSERT_TRUE(m_pty.Create());
        ASSERT_TRUE(m_pty.LinkAs(m_dir.PortPath(1)));
    }
    CTempComDir m_dir;
    CPty m_pty;
};

}  // namespace

TEST_F(CliTransfer, DownloadWritesTheReceivedBytes) {
    const std::string data =
        "\x02"
        "AB\x03\r\n\x02"
        "CD\x03\r\n\x04";
    auto peer = std::async(std::launch::async, [&] {
        std::string wire = m_pty.ReadFor(3000, 1);  // ENQ
        m_pty.WriteAll(data);
        wire += m_pty.ReadFor(500, 2);
        return wire;
    });
    const CRun run =
        RunJvs(m_dir, "download qmx210 --port COM1 --protocol acknak --timeout 2 --row-delay 1");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, data);
    EXPECT_EQ(peer.get(), "\x05\x06\x06");
    EXPECT_NE(run.err.find("请先在全站仪上回车，然后在微机上回车!"), std::string::npos);
    EXPECT_NE(run.err.find("数据接收完成!"), std::string::npos);
    // Not a terminal: plain progress lines, the last one counting everything.
    EXPECT_NE(run.err.find("\n已接收 13 字节，2 行，"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find('\r'), std::string::npos);
}

TEST_F(CliTransfer, DownloadTimeOutStillWritesWhatArrived) {
    auto peer = std::async(std::launch::async, [&] {
        m_pty.ReadFor(3000, 1);
        m_pty.WriteAll("0812345\r\n");
    });
    const std::string file = m_dir.Path() + "/partial.txt";
    const CRun run =
        RunJvs(m_dir, "download qmx610 --yes --protocol acknak --timeout 0.4 -o " + file);
    peer.get();
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(Slurp(file), "0812345\r\n");
    EXPECT_NE(run.err.find("通讯超时!"), std::string::npos);
}

TEST_F(CliTransfer, UploadPrintsTheEchoAndRefusesAMissingPort) {
    const std::string input = m_dir.Path() + "/coords.txt";
    std::ofstream(input, std::ios::binary) << "A1,T,1.000,2.000,3.000\r\n";
    auto peer = std::async(std::launch::async, [&] { return m_pty.ReadFor(3000, 31); });
    const CRun run = RunJvs(m_dir, "upload qmx610 " + input + " --row-delay 1");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "/Dg 2.000,1.000,3.000,A1,T\r\n");
    EXPECT_EQ(peer.get(), "/Dg 2.000,1.000,3.000,A1,T\r\n\x04\r\n");
    EXPECT_NE(run.err.find("\n已发送 1 / 1 条记录 (100%)\n"), std::string::npos) << run.err;

    const CRun missing = RunJvs(m_dir, "upload alignment " + input + " --port COM7");
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.out, "");
    EXPECT_NE(missing.err.find("不存在该端口,或者COM端口被占用!"), std::string::npos);

    EXPECT_EQ(RunJvs(m_dir, "upload nosuch").status, 2);
    EXPECT_EQ(RunJvs(m_dir, "download qmx210 --bogus").status, 2);
}

TEST_F(CliTransfer, UploadToAnInstrumentThatHangsUpFails) {
    const std::string input = m_dir.Path() + "/lines.txt";
    std::ofstream(input, std::ios::binary) << "L1\r\nL2\r\nL3\r\nL4\r\nL5\r\n";
    auto peer = std::async(std::launch::async, [&] {
        m_pty.ReadFor(3000, 4);
        m_pty.CloseMaster();
    });
    const CRun run = RunJvs(m_dir, "upload alignment " + input + " --yes --row-delay 50");
    peer.get();
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_EQ(run.out, "") << "no echo of lines that never left";
    EXPECT_NE(run.err.find("通讯超时!"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("通讯结束!"), std::string::npos) << run.err;
}

TEST_F(CliTransfer, SimOnceFailsWhenTheUploadIsNotStoredWhole) {
    using namespace std::chrono_literals;
    const std::string input = m_dir.Path() + "/coords.txt";
    std::ofstream(input, std::ios::binary) << "A1,T,1.000,2.000,3.000\r\n";
    const std::string port = m_dir.PortPath(2);
    const auto waitForPort = [&] {
        for (int i = 0; i < 500 && access(port.c_str(), F_OK) != 0; ++i)
            std::this_thread::sleep_for(10ms);
    };
    // --receive names a folder: the upload cannot be stored.
    auto sim = std::async(std::launch::async, [&] {
        return RunJvs(m_dir, "sim qmx610 --port COM2 --once --receive " + m_dir.Path(), "/dev/null",
                      "sim");
    });
    waitForPort();
    EXPECT_EQ(RunJvs(m_dir, "upload qmx610 " + input + " --port COM2 --yes --row-delay 1").status,
              0);
    const CRun unstored = sim.get();
    EXPECT_EQ(unstored.status, 1) << unstored.err;
    EXPECT_NE(unstored.err.find("cannot write '" + m_dir.Path() + "': Is a directory"),
              std::string::npos)
        << unstored.err;

    // More than 4 MiB: the first 4 MiB are stored, and the run says so.
    const std::string file = m_dir.Path() + "/received.txt";
    sim = std::async(std::launch::async, [&] {
        return RunJvs(m_dir, "sim qmx610 --port COM2 --once --receive " + file, "/dev/null", "sim");
    });
    waitForPort();
    const int fd = open(port.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    termios raw{};
    tcgetattr(fd, &raw);
    cfmakeraw(&raw);
    tcsetattr(fd, TCSANOW, &raw);
    const std::string line = "/Dg 2.000,1.000,3.000,A1,T\r\n";
    std::string upload;
    while (upload.size() < 4194304 + 4096) upload += line;
    upload += "\x04\r\n";
    for (size_t at = 0; at < upload.size();) {
        const ssize_t n = write(fd, upload.data() + at, upload.size() - at);
        ASSERT_GT(n, 0);
        at += static_cast<size_t>(n);
    }
    const CRun cut = sim.get();
    close(fd);
    EXPECT_EQ(cut.status, 1) << cut.err;
    EXPECT_NE(cut.err.find("接收的数据超过4 MiB，已停止接收!"), std::string::npos) << cut.err;
    const std::string stored = Slurp(file);
    EXPECT_EQ(stored.size(), 4194304u);
    EXPECT_TRUE(stored == upload.substr(0, stored.size()));
}
