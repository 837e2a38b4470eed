// `jvs download` / `jvs upload` as a script uses them, against a
// pseudo-terminal playing the instrument.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <future>
#include <iterator>
#include <sstream>

#include "sim/Pty.h"
#include "sim/SimHarness.h"

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

// Runs jvs with the arguments (no shell quoting needed for ours).
CRun RunJvs(const CTempComDir& dir, const std::string& args,
            const std::string& stdinFile = "/dev/null") {
    const std::string out = dir.Path() + "/out", err = dir.Path() + "/err";
    const std::string cmd = kJvs + " " + args + " <" + stdinFile + " >" + out + " 2>" + err;
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
