// `jvs probe`, `jvs config` and `jvs sim` as a user runs them: separate
// processes over pseudo-terminals in a private port directory.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "link/SerialPort.h"
#include "sim/SimHarness.h"

namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;

std::string Slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

struct CRun {
    int status = -1;
    std::string out, err;
};

struct JvsCli : ::testing::Test {
    CTempComDir ports;
    fs::path work;
    std::string jvs = std::string(JVS_BINARY_DIR) + "/bin/jvs";
    std::vector<pid_t> background;

    void SetUp() override {
        ASSERT_TRUE(fs::exists(jvs)) << "build the jvs target first";
        work = fs::path(ports.Path()).parent_path() /
               ("jvs-cli-" + std::to_string(getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(work);
    }
    void TearDown() override {
        for (pid_t pid : background) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
        std::error_code ignored;
        fs::remove_all(work, ignored);
    }

    // Runs jvs with the arguments (a shell word list) in the work directory.
    CRun Run(const std::string& args, const std::string& input = "") {
        fs::path in = work / "stdin", out = work / "stdout", err = work / "stderr";
        std::ofstream(in, std::ios::binary) << input;
        std::string cmd = "cd '" + work.string() + "' && '" + jvs + "' " + args + " <'" +
                          in.string() + "' >'" + out.string() + "' 2>'" + err.string() + "'";
        int raw = std::system(cmd.c_str());
        CRun r;
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        r.out = Slurp(out);
        r.err = Slurp(err);
        return r;
    }

    // Starts `jvs sim` in the background; its messages go to `log`.
    pid_t Sim(const std::vector<std::string>& args, const std::string& log) {
        pid_t pid = fork();
        if (pid == 0) {
            if (chdir(work.c_str()) != 0) _exit(127);
            FILE* f = std::fopen(log.c_str(), "w");
            if (f) dup2(fileno(f), 2);
            FILE* null = std::fopen("/dev/null", "r");
            if (null) dup2(fileno(null), 0);
            std::vector<char*> argv{const_cast<char*>(jvs.c_str()), const_cast<char*>("sim")};
            for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(jvs.c_str(), argv.data());
            _exit(127);
        }
        background.push_back(pid);
        return pid;
    }
    bool WaitForLink(int n) {
        for (int i = 0; i < 200; ++i) {
            if (fs::is_symlink(ports.PortPath(n))) return true;
            std::this_thread::sleep_for(milliseconds(10));
        }
        return false;
    }
};

// The Key=value lines of `jvs config`, without the comment lines naming the file.
std::string Values(const std::string& out) {
    std::istringstream in(out);
    std::string values;
    for (std::string line; std::getline(in, line);)
        if (line.rfind('#', 0) != 0) values += line + "\n";
    return values;
}

const char kDefaults[] =
    "COMPort=COM1\nBaudrate=115200\nCheckBit=0\nDataBit=8\nProtol=0\nReceiveTimeOut=10000\n"
    "RowDelay=200\nStopBit=0\nUSBRevRowDelay=0\nUSBRevTimeOut=0\n";

}  // namespace

TEST_F(JvsCli, ConfigShowAndSetCheckLikeTheDialog) {
    EXPECT_EQ(Values(Run("config show").out), kDefaults);
    // Nothing to set: unchanged, no file.
    EXPECT_EQ(Run("config set").status, 3);
    EXPECT_FALSE(fs::exists(work / "jvs_cfg.ini"));
    // Wrong values of the choice options are a wrong command line.
    EXPECT_EQ(Run("config set --baud 1234").status, 2);
    EXPECT_EQ(Run("config set --parity mark").status, 2);
    EXPECT_EQ(Run("config set --stop-bits 3").status, 2);
    EXPECT_EQ(Run("config set --data-bits").status, 2);
    EXPECT_FALSE(fs::exists(work / "jvs_cfg.ini"));

    CRun r =
        Run("config set --port COM12 --baud 9600 --parity odd --stop-bits 2 --data-bits 7 "
            "--protocol acknak --timeout 0 --row-delay=5x");
    EXPECT_EQ(r.status, 1) << "a replaced value is reported";
    EXPECT_EQ(r.err, "请输入1到999的整数!\n");
    EXPECT_EQ(Slurp(work / "jvs_cfg.ini"),
              "[JVSCOMSETTING]\r\nCOMPort=COM12\r\nBaudrate=9600\r\nCheckBit=1\r\nDataBit=7\r\n"
              "Protol=1\r\nReceiveTimeOut=10000\r\nRowDelay=5\r\nStopBit=2\r\n");

    // The settings in force are the file's; fields not given are checked as they are.
    r = Run("config set --timeout 30");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Values(Run("config").out),
              "COMPort=COM12\nBaudrate=9600\nCheckBit=1\nDataBit=7\nProtol=1\n"
              "ReceiveTimeOut=30000\nRowDelay=5\nStopBit=2\nUSBRevRowDelay=0\nUSBRevTimeOut=0\n");
    r = Run("config set --usb-timeout 7");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "请输入正的整数!\n") << "the USB row delay 0 is out of range";
    EXPECT_NE(Slurp(work / "jvs_cfg.ini")
                  .find("[JVSUSBSETTING]\r\nUSBRevRowDelay=800\r\n"
                        "USBRevTimeOut=7000\r\n"),
              std::string::npos);

    // A file that cannot be written.
    fs::remove(work / "jvs_cfg.ini");
    fs::create_directory(work / "jvs_cfg.ini");
    r = Run("config set --baud 2400");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "保存配置文件失败!\n" + (work / "jvs_cfg.ini").string() + ": Is a directory\n");
}

TEST_F(JvsCli, ProbeFindsTheSimulatorAndReportsFailure) {
    CRun none = Run("probe");
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.out, "");
    EXPECT_EQ(none.err, "正在尝试与仪器进行连接...\n与仪器链接失败!\n");

    Sim({"qmx210", "--port", "COM5"}, (work / "sim5.log").string());
    Sim({"qmx610", "--port", "COM9"}, (work / "sim9.log").string());
    ASSERT_TRUE(WaitForLink(5));
    ASSERT_TRUE(WaitForLink(9));
    CRun found = Run("probe --baud 9600");
    EXPECT_EQ(found.status, 0) << found.err;
    EXPECT_EQ(found.out, "COM5\n");
    EXPECT_EQ(found.err, "正在尝试与仪器进行连接...\n与仪器链接成功!\n");
    EXPECT_FALSE(fs::exists(work / "jvs_cfg.ini")) << "the probe does not write the file";
    EXPECT_EQ(Run("probe --baud 1").status, 2);
}

TEST_F(JvsCli, SimStoresAnUploadAndEndsWithOnce) {
    EXPECT_EQ(Run("sim").status, 2);
    EXPECT_EQ(Run("sim qmx999 --port COM1").status, 2);
    EXPECT_EQ(Run("sim qmx210 --port COM1 --reply maybe").status, 2);
    EXPECT_EQ(Run("sim qmx210 --port COM1 --send missing.bin").status, 1);

    const std::string receive = (work / "up.bin").string();
    pid_t pid =
        Sim({"qmx210", "--port", "COM2", "--protocol", "acknak", "--receive", receive, "--once"},
            (work / "sim.log").string());
    ASSERT_TRUE(WaitForLink(2));
    CSerialPort port;
    ComSettingsRecord s;
    std::snprintf(s.COMPort, sizeof s.COMPort, "COM2");
    ASSERT_TRUE(port.Open(s, SerialTimeouts{50, 100, 1000, 800, 800}));
    const std::string seg =
        "\x02"
        "F00F000\x03\r\n";
    ASSERT_EQ(port.Write(seg.data(), seg.size()), seg.size());
    char reply[3] = {};
    EXPECT_EQ(port.Read(reply, 3), 3u);
    EXPECT_EQ(std::string(reply, 3), "\x06\r\n");
    const std::string end = "\x02\x04\x03\r\n";
    port.Write(end.data(), end.size());
    int status = -1;
    for (int i = 0; i < 300; ++i) {
        if (waitpid(pid, &status, WNOHANG) == pid) {
            background.clear();
            break;
        }
        std::this_thread::sleep_for(milliseconds(10));
    }
    ASSERT_TRUE(background.empty()) << "--once ends after the upload";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(Slurp(receive), seg + end);
    EXPECT_FALSE(fs::exists(ports.PortPath(2))) << "the link is removed";
}
