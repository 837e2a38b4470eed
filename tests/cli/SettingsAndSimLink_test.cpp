// `jvs config` and the settings file it works on, `jvs probe`, and `jvs sim`:
// what it stores, and its port link, which may only ever replace a dead
// simulator's link.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <memory>
#include <sstream>
#include <thread>

#include "cli_support.h"
#include "link/SerialPort.h"

namespace fs = std::filesystem;

namespace {

const char kDefaults[] =
    "COMPort=COM1\nBaudrate=115200\nCheckBit=0\nDataBit=8\nProtol=0\nReceiveTimeOut=10000\n"
    "RowDelay=200\nStopBit=0\nUSBRevRowDelay=0\nUSBRevTimeOut=0\n";

// A private port folder and working directory; `jvs sim` runs in the
// background.
struct Cli : ::testing::Test {
    CTempComDir ports;
    CTempDir work;
    std::vector<std::unique_ptr<CJvsProcess>> sims;
    CJvsOptions Options(std::vector<std::pair<std::string, std::string>> env = {}) const {
        CJvsOptions options;
        options.cwd = work.Path();
        // Started as from a terminal unless the case sets the switch.
        options.env = {{"JVS_SETTINGS", "\x01"}};
        options.env.insert(options.env.end(), env.begin(), env.end());
        return options;
    }
    CJvsResult Run(const std::vector<std::string>& args,
                   std::vector<std::pair<std::string, std::string>> env = {}) {
        return RunJvs(args, Options(std::move(env)));
    }
    CJvsProcess& Sim(std::vector<std::string> args) {
        args.insert(args.begin(), "sim");
        sims.push_back(std::make_unique<CJvsProcess>(args, Options()));
        return *sims.back();
    }
    CJvsProcess& Sim(int port) { return Sim({"qmx210", "--port", "COM" + std::to_string(port)}); }
    bool WaitForLink(int port, const std::string& notTarget = "") {
        for (int i = 0; i < 300; ++i) {
            std::error_code ec;
            const auto target = fs::read_symlink(ports.PortPath(port), ec);
            if (!ec && target.string() != notTarget) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
};

// The Key=value lines of `jvs config`, without the comment lines naming the
// file.
std::string Values(const std::string& out) {
    std::istringstream in(out);
    std::string values;
    for (std::string line; std::getline(in, line);)
        if (line.rfind('#', 0) != 0) values += line + "\n";
    return values;
}

}  // namespace

TEST_F(Cli, ConfigShowsTheFileInForceAndChecksIt) {
    // The path comes first, on comment lines; the values stay Key=value.
    CJvsResult r = Run({"config"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "# file: " + work.Path() +
                         "/jvs_cfg.ini\n# (no such file yet: the defaults are in force)\n" +
                         kDefaults);

    // Values no dialog could write: defaults, and a warning naming the keys.
    WriteFileBytes(work / "jvs_cfg.ini",
                   "[JVSCOMSETTING]\r\nBaudrate=11520\r\nCOMPort=COM3\r\nRowDelay=99999999\r\n");
    r = Run({"config"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "jvs: warning: " + work.Path() +
                         "/jvs_cfg.ini: Baudrate, RowDelay are not a value the settings can "
                         "hold; the default is used\n");
    EXPECT_NE(r.out.find("COMPort=COM3\nBaudrate=115200\n"), std::string::npos);
    EXPECT_NE(r.out.find("RowDelay=200\n"), std::string::npos);
    // (What a save keeps of the file, and where the switch puts it, are the
    // settings file's own test's.)
}

TEST_F(Cli, OnlyFreePlacesOrDeadSimulatorLinksAreTaken) {
    // A live simulator keeps its port; a second one is refused (the link's
    // own test owns the other kinds).
    CJvsProcess& first = Sim(6);
    ASSERT_TRUE(WaitForLink(6));
    const fs::path firstTarget = fs::read_symlink(ports.PortPath(6));
    EXPECT_TRUE(Ended(Sim(6).Wait(5000), 1, "running simulator"));
    EXPECT_EQ(fs::read_symlink(ports.PortPath(6)), firstTarget);
    // On its end (a hang-up too) it removes its link.
    first.Signal(SIGHUP);
    EXPECT_EQ(first.Wait(5000).status, 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(ports.PortPath(6))));

    // The link of a simulator that was killed is taken over (its pseudo-terminal
    // is gone, or the new one got its number).
    CJvsProcess& killed = Sim(8);
    ASSERT_TRUE(WaitForLink(8));
    killed.Signal(SIGKILL);
    killed.Wait(5000);
    EXPECT_TRUE(fs::is_symlink(ports.PortPath(8)));
    CJvsProcess& successor = Sim(8);
    EXPECT_TRUE(successor.WaitForErr("sim: COM8 -> /dev/pts/", 5000)) << successor.ErrSoFar();
    successor.Signal(SIGTERM);
    EXPECT_EQ(successor.Wait(5000).status, 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(ports.PortPath(8))));

    fs::create_symlink("/dev/pts/999999", ports.PortPath(7));
    CJvsProcess& second = Sim(7);
    ASSERT_TRUE(WaitForLink(7, "/dev/pts/999999"));
    // A link someone else put there meanwhile is not removed on exit.
    fs::remove(ports.PortPath(7));
    fs::create_symlink("/dev/null", ports.PortPath(7));
    second.Signal(SIGTERM);
    EXPECT_EQ(second.Wait(5000).status, 0);
    EXPECT_EQ(fs::read_symlink(ports.PortPath(7)), "/dev/null");
}

TEST_F(Cli, ConfigSetChecksLikeTheDialog) {
    // Nothing to set, or a wrong value of a choice option: unchanged, no file.
    EXPECT_EQ(Run({"config", "set"}).status, 3);
    EXPECT_EQ(Run({"config", "set", "--baud", "1234"}).status, 2);
    EXPECT_EQ(Run({"config", "set", "--data-bits"}).status, 2);
    EXPECT_FALSE(fs::exists(work / "jvs_cfg.ini"));

    CJvsResult r =
        Run({"config", "set", "--port", "COM12", "--baud", "9600", "--parity", "odd", "--stop-bits",
             "2", "--data-bits", "7", "--protocol", "acknak", "--timeout", "0", "--row-delay=5x"});
    EXPECT_EQ(r.status, 1) << "a replaced value is reported";
    EXPECT_EQ(r.err, "请输入1到999的整数!\n");
    EXPECT_EQ(ReadFileBytes(work / "jvs_cfg.ini"),
              "[JVSCOMSETTING]\r\nCOMPort=COM12\r\nBaudrate=9600\r\nCheckBit=1\r\nDataBit=7\r\n"
              "Protol=1\r\nReceiveTimeOut=10000\r\nRowDelay=5\r\nStopBit=2\r\n");

    // The settings in force are the file's; fields not given are checked as they are.
    r = Run({"config", "set", "--timeout", "30"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Values(Run({"config"}).out),
              "COMPort=COM12\nBaudrate=9600\nCheckBit=1\nDataBit=7\nProtol=1\n"
              "ReceiveTimeOut=30000\nRowDelay=5\nStopBit=2\nUSBRevRowDelay=0\nUSBRevTimeOut=0\n");
    // A value missing or one the file could not hold: a wrong command line,
    // and nothing is written.
    const std::string saved = ReadFileBytes(work / "jvs_cfg.ini");
    const std::vector<std::vector<std::string>> refused = {
        {"--port", "--timeout=10"},
        {"--port", "COM99"},
        {"--port=", "--baud", "9600"},
        {"--timeout=", "1"},
        {"--usb-timeout", "5", "--usb-row-delay"}};
    for (std::vector<std::string> args : refused) {
        args.insert(args.begin(), {"config", "set"});
        r = Run(args);
        EXPECT_EQ(r.status, 2) << args[2] << " " << r.err;
        EXPECT_EQ(ReadFileBytes(work / "jvs_cfg.ini"), saved) << args[2];
    }

    // COM and USB options are written in one replace, or not at all.
    const std::string before = ReadFileBytes(work / "jvs_cfg.ini");
    CJvsOptions limited = Options();
    limited.fileSizeLimit = before.size() + 20;
    r = RunJvs({"config", "set", "--baud", "2400", "--usb-timeout", "7", "--usb-row-delay", "9"},
               limited);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(ReadFileBytes(work / "jvs_cfg.ini"), before);

    r = Run({"config", "set", "--usb-timeout", "7"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "请输入正的整数!\n") << "the USB row delay 0 is out of range";
    EXPECT_NE(ReadFileBytes(work / "jvs_cfg.ini")
                  .find("[JVSUSBSETTING]\r\nUSBRevRowDelay=800\r\nUSBRevTimeOut=7000\r\n"),
              std::string::npos);

    // A file that cannot be written.
    fs::remove(work / "jvs_cfg.ini");
    fs::create_directory(work / "jvs_cfg.ini");
    r = Run({"config", "set", "--baud", "2400"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "jvs: warning: " + (work / "jvs_cfg.ini") +
                         ": Is a directory; the defaults are used\n保存配置文件失败!\n" +
                         (work / "jvs_cfg.ini") + ": Is a directory\n");
}

TEST_F(Cli, ProbeFindsTheSimulatorAndReportsFailure) {
    EXPECT_EQ(Run({"probe"}).status, 1);

    Sim(5);
    ASSERT_TRUE(WaitForLink(5));
    const CJvsResult r = Run({"probe", "--baud", "9600"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "COM5\n");
    EXPECT_EQ(r.err, "正在尝试与仪器进行连接...\n与仪器链接成功!\n");
    EXPECT_FALSE(fs::exists(work / "jvs_cfg.ini")) << "the probe does not write the file";
}

TEST_F(Cli, PortsListsTheDialogsChoicesAndAnRfcommLinkCarriesADownload) {
    CTempDevRoot dev;
    const std::string rfcomm = dev / "rfcomm0";
    ASSERT_EQ(mkfifo((dev / "ttyACM0").c_str(), 0600), 0);
    const std::string data = "PT1,,1.000,2.000,3.000\r\n\x03";
    WriteFileBytes(work / "send.txt", data);
    // Given --link, the simulator names the link it made, once it is there.
    CJvsProcess& sim =
        Sim({"qmx610", "--link", rfcomm, "--send", work / "send.txt", "--after", "100"});
    ASSERT_TRUE(sim.WaitForErr("sim: " + rfcomm + " -> /dev/pts/", 5000)) << sim.ErrSoFar();
    std::string expected;
    for (int n = 1; n <= 6; ++n)
        expected += "COM" + std::to_string(n) + "\t" + ports.PortPath(n) + "\t-\n";
    expected += rfcomm + "\t" + fs::canonical(rfcomm).string() + "\t蓝牙串口\n";
    CJvsResult r = Run({"ports"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, expected);

    // Stored by its path, the device is the port of the transfers.
    EXPECT_EQ(Run({"config", "set", "--port", rfcomm}).status, 0);
    r = Run({"download", "qmx610", "--timeout", "5"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, data);
    r = Run({"config", "set", "--port", dev / "ttyACM0"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "该路径不是串口设备!\n" + (dev / "ttyACM0") + ": a FIFO, not a serial device\n");
}

TEST_F(Cli, SimStoresAnUploadAndEndsWithOnce) {
    EXPECT_EQ(Run({"sim", "qmx999", "--port", "COM1"}).status, 2);

    // `jvs upload` into a simulator that ends with it: the echo and plain
    // progress lines; a store that fails (a folder) fails the simulator's run.
    WriteFileBytes(work / "coords.txt", "A1,T,1.000,2.000,3.000\r\n");
    const std::string dg = "/Dg 2.000,1.000,3.000,A1,T\r\n";
    for (const std::string& store : {work / "up.txt", work.Path()}) {
        CJvsProcess& once = Sim({"qmx610", "--port", "COM3", "--once", "--receive", store});
        ASSERT_TRUE(WaitForLink(3));
        const CJvsResult up =
            Run({"upload", "qmx610", "coords.txt", "--port", "COM3", "--yes", "--row-delay", "1"});
        EXPECT_TRUE(Ended(up, 0, "\n已发送 1 / 1 条记录 (100%)\n"));
        EXPECT_EQ(up.out, dg);
        EXPECT_EQ(up.err.find('\r'), std::string::npos);
        EXPECT_TRUE(Ended(once.Wait(5000), store == work.Path() ? 1 : 0));
    }
    EXPECT_EQ(ReadFileBytes(work / "up.txt"), dg);
    // More than 4 MiB: the first 4 MiB are stored, and the run fails.
    CJvsProcess& cut = Sim({"qmx610", "--port", "COM3", "--once", "--receive", work / "big.txt"});
    ASSERT_TRUE(WaitForLink(3));
    CSerialPort port;
    ComSettingsRecord s;
    std::snprintf(s.COMPort, sizeof s.COMPort, "COM3");
    ASSERT_TRUE(port.Open(s, SerialTimeouts{}));
    std::string big;
    while (big.size() < 4194304 + 4096) big += dg;
    big += "\x04\r\n";
    EXPECT_EQ(port.Write(big.data(), big.size()), big.size());
    EXPECT_TRUE(Ended(cut.Wait(5000), 1, "接收的数据超过4 MiB，已停止接收!"));
    EXPECT_TRUE(ReadFileBytes(work / "big.txt") == big.substr(0, 4194304));
    EXPECT_FALSE(fs::exists(fs::symlink_status(ports.PortPath(3)))) << "the link is removed";
    EXPECT_EQ(Run({"upload", "alignment", "coords.txt", "--port", "COM7", "--yes"}).status, 1);
    EXPECT_EQ(Run({"upload", "nosuch"}).status, 2);
}
